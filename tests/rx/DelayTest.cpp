#include <gtest/gtest.h>

#include <cmath>

#include "Delay.h"
#include "OneItemWire.h"

namespace {

const double kTwoPi = 6.283185307179586;

class DelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        input.Attach(delay.Input);
        ASSERT_TRUE(delay.Setup());
        ASSERT_TRUE(delay.Initialize());
    }

    double Fire(double x) {
        input.item = x;
        EXPECT_TRUE(delay.Run());
        return delay.Output;
    }

    Delay delay;
    OneItemWire<double> input;
};

// On the receiver's grid, 32 samples per period, the samples meet the peaks
// exactly, so the rising or falling half is never misjudged.
TEST_F(DelayTest, SineComesOutAsMinusCosineAfterTheFirstSample) {
    const int samplesPerPeriod = 32;
    // Start on the falling half of the cycle: the first sample cannot know
    // that, since the previous input starts at 0.
    const int startSample = 12;  // 3 pi / 4: positive and falling
    const double startPhase = kTwoPi * startSample / samplesPerPeriod;
    EXPECT_GT(std::fabs(Fire(std::sin(startPhase)) + std::cos(startPhase)), 0.1);
    for (int n = startSample + 1; n < startSample + 5 * samplesPerPeriod; ++n) {
        const double phase = kTwoPi * n / samplesPerPeriod;
        EXPECT_NEAR(Fire(std::sin(phase)), -std::cos(phase), 1e-9) << "sample " << n;
    }
}

TEST_F(DelayTest, FiringAfterFinalizeReadsNothing) {
    Fire(0.5);
    const double before = delay.Output;
    ASSERT_TRUE(delay.Finalize());
    input.item = -0.5;
    EXPECT_FALSE(delay.Run());
    EXPECT_EQ(delay.Output, before);
    EXPECT_EQ(delay.PreviousInput, 0.5);
}

}  // namespace
