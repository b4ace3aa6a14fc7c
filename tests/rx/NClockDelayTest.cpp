#include <gtest/gtest.h>

#include <climits>

#include "NClockDelay.h"
#include "OneItemWire.h"

namespace {

class NClockDelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        block.N = 2;
        ASSERT_TRUE(block.Setup());
        clock.Attach(block.Clock);
        trigger.Attach(block.Trigger);
        output.Attach(block.Output);
        ASSERT_TRUE(block.Initialize());
    }

    int Fire(int clockLevel, int triggerLevel) {
        clock.item = clockLevel;
        trigger.item = triggerLevel;
        EXPECT_TRUE(block.Run());
        return output.item;
    }

    // A low then a high clock sample: one rising edge, in the second firing.
    int ClockPeriod(int triggerLevel) {
        Fire(0, triggerLevel);
        return Fire(1, triggerLevel);
    }

    NClockDelay block;
    OneItemWire<int> clock;
    OneItemWire<int> trigger;
    OneItemWire<int> output;
};

TEST_F(NClockDelayTest, OutputRisesAtTheEdgeAfterNEdgesAndStaysHigh) {
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ClockPeriod(0), 0) << "no counting before a trigger edge";
    }
    Fire(0, 1);  // trigger edge, clock low
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 1) << "third rising edge with N = 2";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ClockPeriod(1), 1);
    }
    EXPECT_EQ(Fire(0, 0), 1) << "a falling trigger changes nothing";
}

TEST_F(NClockDelayTest, ClockEdgeInTheTriggerFiringCounts) {
    Fire(0, 0);
    EXPECT_EQ(Fire(1, 1), 0);  // edge 1, in the trigger's own firing
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 1);
}

TEST_F(NClockDelayTest, NewTriggerEdgeRestartsTheCountAndDropsTheOutput) {
    Fire(0, 1);
    ClockPeriod(1);
    ClockPeriod(1);
    Fire(0, 0);
    Fire(0, 1);  // restart before the third edge
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 1);

    Fire(0, 0);
    EXPECT_EQ(Fire(0, 1), 0) << "a trigger edge drops a raised output";
}

TEST_F(NClockDelayTest, OnlyExactStepsFromZeroToOneAreEdges) {
    Fire(0, 2);  // not a trigger edge
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ClockPeriod(2), 0);
    }
    Fire(0, 0);
    Fire(0, 1);
    // Clock steps -1 -> 1, 0 -> 2 and 2 -> 1 are no rising edges.
    for (int i = 0; i < 3; ++i) {
        Fire(-1, 1);
        EXPECT_EQ(Fire(1, 1), 0);
        Fire(0, 1);
        EXPECT_EQ(Fire(2, 1), 0);
        EXPECT_EQ(Fire(1, 1), 0);
    }
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 1);
}

TEST_F(NClockDelayTest, InitializeLowersTheOutputAndStopsCounting) {
    Fire(0, 1);
    ClockPeriod(1);
    ClockPeriod(1);
    ASSERT_EQ(ClockPeriod(1), 1);
    ASSERT_TRUE(block.Initialize());
    // Trigger stays 1 from before, but the remembered trigger is now 0, so
    // the first firing is a trigger edge again.
    EXPECT_EQ(Fire(0, 1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 1);
}

TEST_F(NClockDelayTest, CountSaturatesInsteadOfOverflowing) {
    block.N = INT_MAX;
    Fire(0, 1);
    block.EdgeCount = INT_MAX - 1;
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(ClockPeriod(1), 0);
    EXPECT_EQ(block.EdgeCount, INT_MAX);
    EXPECT_EQ(block.Counting, 1);
}

TEST_F(NClockDelayTest, FiringAfterFinalizeTouchesNoPort) {
    ASSERT_TRUE(block.Finalize());
    output.item = 9;
    EXPECT_FALSE(block.Run());
    EXPECT_EQ(output.item, 9);
}

}  // namespace
