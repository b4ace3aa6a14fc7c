#include <gtest/gtest.h>

#include <vector>

#include "DFE_custom.h"
#include "OneItemWire.h"

namespace {

class DfeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dfe.Setup());
        ASSERT_EQ(dfe.Taps.GetSize(), 5u);
        clock.Attach(dfe.Clock);
        input.Attach(dfe.Input);
        for (int k = 0; k < 5; ++k) {
            taps[k].Attach(dfe.Taps[k]);
        }
        decision.Attach(dfe.Decision);
        output.Attach(dfe.Output);
        ASSERT_TRUE(dfe.Initialize());
    }

    void Fire(int clockLevel, double sample) {
        clock.item = clockLevel;
        input.item = sample;
        ASSERT_TRUE(dfe.Run());
    }

    // One clock period: a rising edge with the given sample, then a falling
    // edge, each followed by a sample at the same clock level.
    void Bit(double sample) {
        Fire(1, sample);
        Fire(1, sample);
        Fire(0, sample);
        Fire(0, sample);
    }

    DFE_custom dfe;
    OneItemWire<int> clock;
    OneItemWire<double> input;
    OneItemWire<double> taps[5];
    OneItemWire<int> decision;
    OneItemWire<double> output;
};

TEST_F(DfeTest, WithZeroTapsOutputFollowsInputAndDecisionsFollowItsSignAtRisingEdges) {
    Fire(0, 0.3);
    EXPECT_EQ(decision.item, 0) << "no decision before the first rising edge";
    EXPECT_EQ(output.item, 0.3);

    const double samples[] = {0.2, -0.1, 0.0, 0.05, -0.4};
    const int expected[] = {1, -1, -1, 1, -1};  // exactly 0.0 decides -1
    for (int i = 0; i < 5; ++i) {
        Fire(1, samples[i]);
        EXPECT_EQ(decision.item, expected[i]) << "bit " << i;
        EXPECT_EQ(output.item, samples[i]);
        // The decision holds while the clock stays high and after it falls,
        // whatever the input does meanwhile.
        Fire(1, -samples[i]);
        Fire(0, -samples[i]);
        EXPECT_EQ(decision.item, expected[i]);
        EXPECT_EQ(output.item, -samples[i]);
    }
}

TEST_F(DfeTest, DecisionEntersFeedbackAtTheFollowingFallingEdge) {
    taps[0].item = 0.1;
    Fire(0, 0.5);
    Fire(1, 0.5);  // decides +1
    EXPECT_EQ(decision.item, 1);
    EXPECT_DOUBLE_EQ(output.item, 0.5) << "not fed back while the clock is high";
    Fire(1, 0.5);
    EXPECT_DOUBLE_EQ(output.item, 0.5);
    // The falling edge shifts +1 into the history after this firing's output
    // was formed, so the feedback shows from the next sample on.
    Fire(0, 0.5);
    EXPECT_DOUBLE_EQ(output.item, 0.5);
    Fire(0, 0.5);
    EXPECT_DOUBLE_EQ(output.item, 0.4);
    for (int i = 0; i < 4; ++i) {
        Bit(0.5);
        EXPECT_DOUBLE_EQ(output.item, 0.4) << "a run of +1 keeps lowering by c1 only";
    }
}

TEST_F(DfeTest, EachTapWeighsTheDecisionOfItsAge) {
    const double weights[] = {0.1, 0.02, 0.003, 0.0004, 0.00005};
    for (int k = 0; k < 5; ++k) {
        taps[k].item = weights[k];
    }
    // Decisions, oldest first: +1, -1, -1, +1, +1. Large inputs keep every
    // decision on the sign of the input despite the feedback.
    const double inputs[] = {1.0, -1.0, -1.0, 1.0, 1.0};
    for (double x : inputs) {
        Bit(x);
    }
    // History d1..d5, newest first: +1, +1, -1, -1, +1.
    Fire(0, 0.0);
    const double feedback = 1 * 0.1 + 1 * 0.02 - 1 * 0.003 - 1 * 0.0004 + 1 * 0.00005;
    EXPECT_DOUBLE_EQ(output.item, -feedback);

    // A sixth bit pushes the oldest decision out.
    Bit(-1.0);
    const double shifted = -1 * 0.1 + 1 * 0.02 + 1 * 0.003 - 1 * 0.0004 - 1 * 0.00005;
    EXPECT_DOUBLE_EQ(output.item, -1.0 - shifted);
}

TEST_F(DfeTest, ClockThatStartsHighDecidesAtOnceAndNeverShiftsWhileHigh) {
    taps[0].item = 0.25;
    Fire(1, 0.3);  // the previous clock starts at 0, so this is a rising edge
    EXPECT_EQ(decision.item, 1);
    for (int i = 0; i < 100; ++i) {
        Fire(1, -0.3);
        EXPECT_DOUBLE_EQ(output.item, -0.3) << "history shifted without a falling edge";
    }
    EXPECT_EQ(decision.item, 1);
}

TEST_F(DfeTest, FiringAfterFinalizeTouchesNoPort) {
    Fire(1, 0.5);
    ASSERT_TRUE(dfe.Finalize());
    output.item = -7.0;
    decision.item = 42;
    clock.item = 0;
    EXPECT_FALSE(dfe.Run());
    EXPECT_EQ(output.item, -7.0);
    EXPECT_EQ(decision.item, 42);

    ASSERT_TRUE(dfe.Initialize());
    EXPECT_TRUE(dfe.Run());
    EXPECT_EQ(output.item, 0.5);
}

}  // namespace
