// The jitter breakdown recovers what the transmitter was given: random,
// dual-Dirac and sinusoidal jitter through a short linear line into the
// pass-through receiver, on the host's clock recovery. That loop follows
// sinusoidal jitter up to some tens of MHz at this amplitude (a phase step
// of 1/128 UI per transition slews 3.9e7 UI/s, a 0.05 UI sinusoid needs
// 2 pi f 0.05): at 2 MHz it is tracked and shows against the data's grid
// only, at 500 MHz it shows against both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "JitterBreakdown.h"
#include "Prbs.h"
#include "TestModelRuns.h"

namespace {

const double kRj = 2e-12;
const double kDj = 5e-12;
const double kSjUi = 0.1;  // 10 ps peak to peak at 10 Gb/s

linksim::LinkResult StressedRun(double sjHertz) {
    linksim::LinkSettings settings = TestModelSettings("LinkTestRxInit", "LinkTestRxPass", 3.0, 52000, 4096);
    settings.tx.overrides = {{"Boost", "0.0"}};
    settings.stress.rjRms = kRj;
    settings.stress.djPeakToPeak = kDj;
    settings.stress.sjPeakToPeakUi = kSjUi;
    settings.stress.sjFrequency = sjHertz;
    return RunOk(settings);
}

// Tolerances: the random jitter's tail fit over 25 000 edges within 15 %
// against the grid; against the clock the loop's own dither (its phase
// steps of 0.8 ps) adds to it, so within 35 %. The dual-Dirac distance
// within 1.2 ps of the injected 5 ps: the fit shares the tails with the
// random jitter. The sinusoid, fitted at the edges' times, within 10 % and
// its frequency within 1 %.
void ExpectRandomAndBounded(const linksim::JitterComponents& c, double rjTolerance) {
    EXPECT_NEAR(c.rj / kRj, 1.0, rjTolerance) << c.rj;
    EXPECT_NEAR(c.buj, kDj, 1.2e-12);
    // The line's short data-dependent jitter, no duty-cycle distortion.
    EXPECT_TRUE(c.patternsKnown);
    EXPECT_LT(c.ddj, 6e-12);
    EXPECT_LT(c.dcd, 0.5e-12);
    EXPECT_GT(c.total, c.buj + 2.0 * 7.0 * c.rj * 0.9);
}

void ExpectSinusoid(const linksim::JitterComponents& c, double hertz) {
    ASSERT_FALSE(c.lines.empty());
    EXPECT_NEAR(c.lines[0].hertz / hertz, 1.0, 0.01) << c.lines[0].hertz;
    EXPECT_NEAR(c.pj / (kSjUi * 1e-10), 1.0, 0.1) << c.pj;
}

TEST(JitterBreakdown, RecoversInjectedJitterAboveTheClockLoopsCorner) {
    const linksim::LinkResult result = StressedRun(500e6);
    const linksim::JitterBreakdown& jitter = result.jitter;
    ASSERT_TRUE(jitter.known) << jitter.why;
    ASSERT_TRUE(jitter.againstClock.known && jitter.againstGrid.known);
    ExpectRandomAndBounded(jitter.againstGrid, 0.15);
    ExpectRandomAndBounded(jitter.againstClock, 0.35);
    ExpectSinusoid(jitter.againstGrid, 500e6);
    ExpectSinusoid(jitter.againstClock, 500e6);
}

TEST(JitterBreakdown, SinusoidBelowTheClockLoopsCornerShowsAgainstTheGridOnly) {
    const linksim::LinkResult result = StressedRun(2e6);
    const linksim::JitterBreakdown& jitter = result.jitter;
    ASSERT_TRUE(jitter.known) << jitter.why;
    ExpectRandomAndBounded(jitter.againstGrid, 0.15);
    ExpectRandomAndBounded(jitter.againstClock, 0.35);
    ExpectSinusoid(jitter.againstGrid, 2e6);
    EXPECT_LT(jitter.againstClock.pj, 0.2 * kSjUi * 1e-10) << jitter.againstClock.pj;
}

// An output whose rising edges come 2 ps late, with linear 20 ps edges
// and nothing else: duty-cycle distortion alone, against a clock whose
// times stop before the last tenth of the edges (those are left out, the
// rest still measured against it).
TEST(JitterBreakdown, DutyCycleDistortionIsNoIntersymbolInterference) {
    const double ui = 1e-10, dt = ui / 32, rise = 20e-12, late = 2e-12;
    const std::vector<int> bits = linksim::Prbs(7, 4000);
    std::vector<float> wave(bits.size() * 32);
    for (size_t n = 0; n < wave.size(); ++n) {
        const double t = double(n) * dt;
        const size_t boundary = std::min(size_t(std::lround(t / ui)), bits.size() - 1);
        const int before = bits[boundary > 0 ? boundary - 1 : 0], after = bits[boundary];
        const double edge = double(boundary) * ui + (after > before ? late : 0.0);
        const double across = std::min(1.0, std::max(0.0, (t - edge) / rise + 0.5));
        wave[n] = float(before == after ? after - 0.5 : before - 0.5 + double(after - before) * across);
    }
    std::vector<double> clock;
    for (size_t k = 0; k < bits.size() * 9 / 10; ++k) clock.push_back(double(k) * ui);
    linksim::JitterInput input;
    input.unitInterval = ui;
    input.sampleInterval = dt;
    input.wave = &wave;
    input.measureFrom = 10 * ui;
    input.clockTimes = &clock;
    input.dataUiAt = [ui](double t) { return t / ui; };
    input.bits = &bits;
    input.maxLatencyBits = 10;
    const linksim::JitterBreakdown jitter = linksim::BreakDownJitter(input, linksim::FindOutputEdges(input));
    ASSERT_TRUE(jitter.known) << jitter.why;
    for (const linksim::JitterComponents* c : {&jitter.againstGrid, &jitter.againstClock}) {
        ASSERT_TRUE(c->known && c->patternsKnown);
        EXPECT_NEAR(c->dcd, late, 0.05e-12);
        EXPECT_NEAR(c->ddj, late, 0.05e-12);
        EXPECT_LT(c->isi, 0.05e-12);
        EXPECT_LT(c->pj + c->rj, 0.05e-12);
    }
}

}  // namespace
