// The statistical eye: its distributions against a case worked by hand,
// and against the errors a time-domain run counts on the same link.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "StatisticalEye.h"
#include "TailFit.h"
#include "TestModelRuns.h"

namespace {

// A pulse of 0.4 V over one unit interval and a post-cursor of 0.1 V over
// the next. With Gaussian noise the rate at any phase inside the bit is
// known exactly, and so is the opening at 1e-12.
TEST(StatisticalEye, MatchesTwoCursorsAndNoiseWorkedByHand) {
    const int spui = 16;
    const double dt = 1e-10 / spui;
    linksim::StatisticalEyeInput input;
    input.sampleInterval = dt;
    input.samplesPerUi = spui;
    input.impulse.assign(8 * spui, 0.0);
    input.impulse[0] = 0.8 / dt;     // a step of 0.4 V for a 0.5 V bit
    input.impulse[spui] = 0.2 / dt;  // and 0.1 V more one unit interval on
    input.targetBer = 1e-12;
    using linksim::GaussianTail;
    // The bit's error rate: half its patterns have the post-cursor with it, half against.
    input.noiseRms = 0.1;
    const double expectedBer = 0.5 * (GaussianTail(5.0) + GaussianTail(3.0));
    const double ber = linksim::ComputeStatisticalEye(input).BerAtGridPhase(0.25);
    EXPECT_NEAR(ber / expectedBer, 1.0, 0.03) << ber;

    input.noiseRms = 0.03;
    const linksim::StatisticalEye eye = linksim::ComputeStatisticalEye(input);
    ASSERT_TRUE(eye.known) << eye.why;
    // The ones' level where half their patterns fall below it at 2e-12.
    const double level = 0.3 - 0.03 * linksim::InverseGaussianTail(4e-12);
    EXPECT_TRUE(eye.open);
    EXPECT_NEAR(eye.heightV, 2.0 * level, 0.004);
    // Flat inside the bit, shut outside it: the width is the bit's own.
    EXPECT_NEAR(eye.widthUi, 1.0, 2.0 / spui);
    ASSERT_EQ(eye.contours.size(), 4u);
    EXPECT_EQ(eye.contours.front().ber, 1e-6);
    EXPECT_EQ(eye.contours.back().ber, 1e-15);
    // Jitter narrows it by its peak to peak: two Diracs a tenth of a unit interval apart.
    input.djPeakToPeak = 0.1e-10;
    EXPECT_NEAR(linksim::ComputeStatisticalEye(input).widthUi, 0.9, 2.0 / spui);
}

// The statistical eye and the time domain on one linear link: a transmitter
// that equalises in AMI_Init, a lossy line, a receiver that passes its input
// through on a clock of its own at a fixed phase, random jitter and noise.
// The receiver's clock times fall on samples, so the time domain reads the
// noise at its full rms. With about 100 errors counted, the count's own
// spread is 10 % (Poisson); the tolerance of 35 % holds that at 3.5 sigma
// with room for the pattern (PRBS15, not independent bits) and the level
// grid's rounding, and still tells a noise or a cursor taken wrongly (a
// 10 % error in the noise's rms moves this rate by a factor of 2).
TEST(StatisticalEye, AgreesWithTheTimeDomainCountAtOneInTenThousand) {
    linksim::LinkSettings settings = TestModelSettings("LinkTestRxInit", "LinkTestRxClock", 10.0, 1000000, 4096);
    settings.samplesPerUi = 8;
    settings.rx.overrides = {{"ClockPhase", "0.375"}};
    settings.stress.rjRms = 2e-12;
    settings.stress.rxNoiseRms = 0.105;
    settings.statistical = true;
    const linksim::LinkResult result = RunOk(settings);
    const linksim::StatisticalEye& eye = result.statistical;
    ASSERT_TRUE(eye.known) << eye.why;
    EXPECT_EQ(result.statisticalWithout, "without the receiver's equalisation");
    ASSERT_TRUE(result.errors.aligned);
    ASSERT_GE(result.errors.compared, 990000u);
    // Sampled half a unit interval after the clock times.
    const double predicted = eye.BerAtGridPhase(0.375 + 0.5);
    const double counted = result.errors.Ber();
    EXPECT_GT(counted, 5e-5);
    EXPECT_LT(counted, 2e-4);
    EXPECT_NEAR(predicted / counted, 1.0, 0.35) << "predicted " << predicted << ", counted " << counted << " ("
                                                << result.errors.errors << " errors)";
}

}  // namespace
