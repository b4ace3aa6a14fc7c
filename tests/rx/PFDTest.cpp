#include <gtest/gtest.h>

#include "PFD.h"

namespace {

struct Sample {
    double clockI;
    double clockQ;
    double data;
};

void Fire(PFD& detector, const Sample& s) {
    detector.ClockI = s.clockI;
    detector.ClockQ = s.clockQ;
    detector.DataIn = s.data;
    ASSERT_TRUE(detector.Run());
}

TEST(PFD, PumpsOnlyWhenTheInPhaseSignChangesWithTheQuadratureClockNegative) {
    PFD detector;
    ASSERT_TRUE(detector.Setup());
    ASSERT_TRUE(detector.Initialize());
    struct Step {
        double clockI, clockQ;
        int bitI, bitQ, upDown;
    };
    // One data transition per step, rising and falling alternately.
    const Step steps[] = {
        {-1.0, -1.0, -1, -1, +1},  // 0 to -1 counts as a fall, quadrature negative
        {+1.0, -1.0, +1, -1, -1},  // rise with quadrature negative
        {+1.0, +1.0, +1, +1, -1},  // no change of the in-phase sign: holds
        {-1.0, +1.0, -1, +1, 0},   // fall with quadrature positive: in phase
        {+1.0, -1.0, +1, -1, -1},
    };
    double data = -0.1;
    Fire(detector, {0.5, 0.5, data});
    for (const Step& step : steps) {
        data = -data;
        Fire(detector, {step.clockI, step.clockQ, data});
        EXPECT_EQ(detector.BitI, step.bitI);
        EXPECT_EQ(detector.BitQ, step.bitQ);
        EXPECT_EQ(detector.UpDown, step.upDown);
        // Between transitions the outputs hold, whatever the clocks do.
        Fire(detector, {-step.clockI, -step.clockQ, data});
        EXPECT_EQ(detector.BitI, step.bitI);
        EXPECT_EQ(detector.UpDown, step.upDown);
    }
}

TEST(PFD, DataHeldOnOneSideChangesNothingAfterTheFirstTransition) {
    PFD detector;
    Fire(detector, {1.0, -1.0, 0.0});  // 0.0 is low: no transition from the start level
    EXPECT_EQ(detector.BitI, 0);
    EXPECT_EQ(detector.UpDown, 0);
    Fire(detector, {1.0, -1.0, 0.2});  // the first rising transition
    EXPECT_EQ(detector.BitI, 1);
    EXPECT_EQ(detector.UpDown, -1);
    const double clocks[][2] = {{-1, -1}, {1, 1}, {-1, 1}, {1, -1}};
    for (int i = 0; i < 40; ++i) {
        Fire(detector, {clocks[i % 4][0], clocks[i % 4][1], 0.2 + i});
        EXPECT_EQ(detector.BitI, 1);
        EXPECT_EQ(detector.BitQ, -1);
        EXPECT_EQ(detector.UpDown, -1);
    }
}

}  // namespace
