#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "CountedRate.h"
#include "Margins.h"
#include "Prbs.h"
#include "StressedStimulus.h"
#include "TailFit.h"

namespace {

using linksim::InverseGaussianTail;

double NormalCdf(double x) { return 1.0 - linksim::GaussianTail(x); }

// n values at the exact quantiles of a distribution given by its CDF: a
// sample with no sampling noise, so that a fit can be held to its answer.
std::vector<double> Quantiles(const std::function<double(double)>& cdf, size_t n, double low, double high) {
    std::vector<double> values;
    for (size_t i = 0; i < n; ++i) {
        const double p = (double(i) + 0.5) / double(n);
        double a = low, b = high;
        for (int step = 0; step < 80; ++step) (cdf(0.5 * (a + b)) < p ? a : b) = 0.5 * (a + b);
        values.push_back(0.5 * (a + b));
    }
    return values;
}

std::vector<double> Gaussian(double mean, double sigma, size_t n) {
    return Quantiles([=](double x) { return NormalCdf((x - mean) / sigma); }, n, mean - 12 * sigma, mean + 12 * sigma);
}

// Half the edges early, half late by dj/2, each spread by rj.
std::vector<double> DualDirac(double centre, double dj, double rj, size_t n) {
    auto cdf = [=](double x) {
        return 0.5 * NormalCdf((x - centre + 0.5 * dj) / rj) + 0.5 * NormalCdf((x - centre - 0.5 * dj) / rj);
    };
    return Quantiles(cdf, n, centre - dj - 12 * rj, centre + dj + 12 * rj);
}

TEST(TailFit, GaussianTailAndItsInverse) {
    EXPECT_NEAR(InverseGaussianTail(1e-12), 7.034484, 1e-5);
    EXPECT_NEAR(InverseGaussianTail(1e-15), 7.941345, 1e-5);
    EXPECT_NEAR(InverseGaussianTail(0.5), 0.0, 1e-12);
    EXPECT_NEAR(InverseGaussianTail(0.975), -1.959964, 1e-6);
    for (double p : {0.3, 1e-3, 1e-9, 1e-14}) EXPECT_NEAR(linksim::GaussianTail(InverseGaussianTail(p)) / p, 1.0, 1e-9);
    EXPECT_TRUE(std::isinf(InverseGaussianTail(0.0)));
}

TEST(TailFit, PureGaussianGivesItsMeanSigmaAndWeight) {
    // 20000 values in 40000 trials: the tail's Gaussian carries half of them.
    const std::vector<double> values = Gaussian(0.3, 0.02, 20000);
    for (auto side : {linksim::TailSide::Upper, linksim::TailSide::Lower}) {
        const linksim::TailFit fit = linksim::FitGaussianTail(values, 40000.0, side);
        ASSERT_TRUE(fit.fitted);
        EXPECT_NEAR(fit.weight, 0.5, 0.03);
        EXPECT_NEAR(fit.mean, 0.3, 0.002);
        EXPECT_NEAR(fit.sigma, 0.02, 0.0006);
        const double reach = 0.02 * InverseGaussianTail(1e-12 / 0.5);
        EXPECT_NEAR(fit.Where(1e-12), side == linksim::TailSide::Upper ? 0.3 + reach : 0.3 - reach, 0.002);
    }
    // Too few values: no fit, the extreme value stands.
    const linksim::TailFit few = linksim::FitGaussianTail({1.0, 3.0, 2.0}, 10.0, linksim::TailSide::Upper);
    EXPECT_FALSE(few.fitted);
    EXPECT_EQ(few.Where(1e-12), 3.0);
}

// A fitter shared by many fits gives each the fit it would get alone, also
// when the counts or the trials change between fits.
TEST(TailFit, SharedFitterGivesTheFitsOfSeparateOnes) {
    linksim::TailFitter fitter;
    const std::vector<double> narrow = Gaussian(0.3, 0.02, 20000);
    const std::vector<double> wide = DualDirac(0.0, 0.2, 0.03, 12000);
    for (const auto& [values, trials] : {std::make_pair(narrow, 40000.0), std::make_pair(wide, 40000.0),
                                         std::make_pair(narrow, 40000.0), std::make_pair(narrow, 30000.0)}) {
        for (auto side : {linksim::TailSide::Upper, linksim::TailSide::Lower}) {
            const linksim::TailFit shared = fitter.Fit(values, trials, side);
            const linksim::TailFit alone = linksim::FitGaussianTail(values, trials, side);
            EXPECT_EQ(shared.weight, alone.weight);
            EXPECT_EQ(shared.mean, alone.mean);
            EXPECT_EQ(shared.sigma, alone.sigma);
        }
    }
}

TEST(TailFit, DualDiracWallsComeFromTheOuterPeaks) {
    // Crossings at 0.5 UI from the reference, 0.1 UI of dual-Dirac and
    // 0.01 UI rms, one per two bits.
    const double dj = 0.1, rj = 0.01;
    const linksim::EyeWalls walls = linksim::FitEyeWalls(DualDirac(0.5, dj, rj, 20000), 40000.0, 1e-12);
    EXPECT_NEAR(walls.DeterministicUi(), dj, 0.004);
    EXPECT_NEAR(walls.RandomRmsUi(), rj, 0.0006);
    // Sides whose means cross are one Gaussian: never a negative DJ.
    linksim::EyeWalls crossed = walls;
    crossed.early.mean = crossed.late.mean + 1.02;
    EXPECT_TRUE(crossed.Gaussian());
    EXPECT_EQ(crossed.DeterministicUi(), 0.0);
    EXPECT_NEAR(walls.early.weight, 0.25, 0.03);
    const double reach = rj * InverseGaussianTail(1e-12 / 0.25);
    EXPECT_NEAR(walls.right, 0.5 - dj / 2 - reach, 0.004);
    EXPECT_NEAR(walls.left, -0.5 + dj / 2 + reach, 0.004);
    EXPECT_NEAR(walls.Width(), 1.0 - dj - 2 * reach, 0.006);
    EXPECT_NEAR(walls.Ber(walls.right), 1e-12, 0.2e-12);
    // A lower target rate moves both walls inwards.
    const linksim::EyeWalls deeper = linksim::FitEyeWalls(DualDirac(0.5, dj, rj, 20000), 40000.0, 1e-15);
    EXPECT_LT(deeper.Width(), walls.Width());
}

TEST(TailFit, WideEdgesCloseTheEyeAndLevelsGiveTheVoltageMargin) {
    const linksim::EyeWalls closed = linksim::FitEyeWalls(Gaussian(0.5, 0.1, 20000), 40000.0, 1e-12);
    EXPECT_LT(closed.Width(), 0.0);
    EXPECT_GT(closed.left, closed.right);

    const linksim::LevelMargins levels =
        linksim::FitLevels(Gaussian(0.2, 0.01, 20000), Gaussian(-0.15, 0.02, 20000), 1e-12);
    const double q = InverseGaussianTail(1e-12 / 0.5);
    EXPECT_NEAR(levels.oneAtBer, 0.2 - 0.01 * q, 0.002);
    EXPECT_NEAR(levels.zeroAtBer, -0.15 + 0.02 * q, 0.004);
    EXPECT_NEAR(levels.Margin(0.0), 0.15 - 0.02 * q, 0.004);
}

// A link without a receiver model: the stimulus through a quarter-UI moving
// average, sampled at instants a chosen phase after the edges.
struct SyntheticLink {
    double rjRms = 0.0;
    double noiseRms = 0.0;
    double instantPhaseUi = 0.5;  // after the edge grid, before the filter's delay

    linksim::MarginReport Measure() const {
        const double ui = 100e-12;
        const int spui = 32;
        const size_t bits = 20000;
        const std::vector<int> pattern = linksim::Prbs(15, bits + 16);
        linksim::StressSettings stress;
        stress.rjRms = rjRms;
        linksim::StressedStimulus stimulus(pattern, ui, spui, stress);
        std::vector<double> raw(bits * spui);
        stimulus.Fill(raw.data(), raw.size());
        linksim::NoiseSource(5, noiseRms).AddTo(raw.data(), raw.size());
        linksim::MarginInput input;
        input.unitInterval = ui;
        input.targetBer = 1e-12;
        input.sampleInterval = ui / spui;
        const int taps = spui / 4;
        double sum = -0.5 * taps;
        for (size_t k = 0; k < raw.size(); ++k) {
            sum += raw[k] - (k >= size_t(taps) ? raw[k - taps] : -0.5);
            input.wave.push_back(float(sum / taps));
        }
        // A step that fills sample k (which holds the mean from k dt on)
        // crosses zero at the output's sample k + taps/2 - 1.
        const double delay = (0.5 * taps - 1.0) * input.sampleInterval;
        for (size_t n = 2; n + 2 < bits; ++n) {
            input.instants.push_back(double(n) * ui + delay + instantPhaseUi * ui);
            input.instantBits.push_back(pattern[n]);
        }
        return linksim::MeasureMargins(input);
    }
};

TEST(Margins, SamplingPhaseAgainstTheOpeningIsFound) {
    SyntheticLink link;
    const linksim::MarginReport centred = link.Measure();
    ASSERT_TRUE(centred.known) << centred.why;
    EXPECT_TRUE(centred.open);
    EXPECT_NEAR(centred.samplingOffsetUi, 0.0, 0.02);
    EXPECT_NEAR(centred.voltageMarginV, 0.5, 0.01);
    EXPECT_TRUE(centred.Extrapolated());
    link.instantPhaseUi = 0.7;
    const linksim::MarginReport late = link.Measure();
    EXPECT_NEAR(late.samplingOffsetUi, 0.2, 0.02);
    EXPECT_NEAR(late.timingMarginUi, centred.timingMarginUi - 0.2, 0.02);
    EXPECT_NEAR(late.eyeWidthAtBerUi, centred.eyeWidthAtBerUi, 0.02);
    // Nearer the next bit's eye than its own: measured against the nearer one.
    link.instantPhaseUi = 1.3;
    const linksim::MarginReport nextEye = link.Measure();
    EXPECT_NEAR(nextEye.samplingOffsetUi, -0.2, 0.02);
    EXPECT_NEAR(nextEye.timingMarginUi, centred.timingMarginUi - 0.2, 0.02);
    ASSERT_FALSE(nextEye.outline.empty());
    EXPECT_LT(nextEye.outline.front().phaseUi, 0.0);
    EXPECT_GT(nextEye.outline.back().phaseUi, 0.0);
    // Sampling on the crossings, which jitter: outside the opening, but
    // still measured.
    link.instantPhaseUi = 1.0;
    link.rjRms = 2e-12;
    const linksim::MarginReport onEdges = link.Measure();
    EXPECT_LT(onEdges.timingMarginUi, 0.0);
    EXPECT_NEAR(std::fabs(onEdges.samplingOffsetUi), 0.5, 0.04);
    // The bathtub reaches the instants, where many bits fail.
    size_t atInstant = 0;
    for (const linksim::BathtubPoint& point : onEdges.bathtub) {
        if (point.phaseUi == 0.0) atInstant = point.errors;
    }
    EXPECT_GT(atInstant, 20000u / 5);
    // Counted errors bound the margins: none where the instants fail, and a
    // bathtub never below the counts' lower bound.
    EXPECT_TRUE(onEdges.instantFails);
    EXPECT_EQ(onEdges.eyeWidthAtBerUi, 0.0);
    EXPECT_FALSE(onEdges.open);
    for (const linksim::BathtubPoint& point : onEdges.bathtub) {
        EXPECT_GE(point.ber, linksim::CountedLowerBound95(point.errors, point.compared)) << point.phaseUi;
    }
    EXPECT_FALSE(centred.instantFails);
    EXPECT_TRUE(centred.fitsUsed) << centred.fitsWhy;
}

TEST(Margins, CountedRateBounds) {
    EXPECT_EQ(linksim::CountedLowerBound95(0, 1000), 0.0);
    // Wilson's bound for 10 in 100 at 95 % one-sided.
    EXPECT_NEAR(linksim::CountedLowerBound95(10, 100), 0.0612, 0.001);
    EXPECT_TRUE(linksim::CountedAbove(1, 50000, 1e-12));
    EXPECT_FALSE(linksim::CountedAbove(1, 50000, 1e-3));
}

TEST(Margins, MoreJitterOrNoiseNeverGivesMoreMargin) {
    SyntheticLink link;
    double previousTiming = 1.0, previousWidth = 1.0;
    for (double rj : {0.0, 1e-12, 2e-12, 4e-12}) {
        link.rjRms = rj;
        const linksim::MarginReport report = link.Measure();
        EXPECT_LT(report.timingMarginUi, previousTiming) << "RJ " << rj;
        EXPECT_LT(report.eyeWidthAtBerUi, previousWidth) << "RJ " << rj;
        if (rj > 0.0) {
            EXPECT_NEAR(report.walls.RandomRmsUi(), rj / 100e-12, 0.35 * rj / 100e-12);
        }
        previousTiming = report.timingMarginUi;
        previousWidth = report.eyeWidthAtBerUi;
    }
    link.rjRms = 0.0;
    const double quiet = link.Measure().voltageMarginV;
    link.noiseRms = 0.04;
    const linksim::MarginReport noisy = link.Measure();
    EXPECT_LT(noisy.voltageMarginV, quiet - 0.05);
    ASSERT_FALSE(noisy.outline.empty());
    for (const linksim::OutlinePoint& point : noisy.outline) EXPECT_GT(point.upperV, point.lowerV);

    // 15 ps rms in a 100 ps unit interval shuts the eye at 1e-12.
    link.rjRms = 15e-12;
    const linksim::MarginReport shut = link.Measure();
    EXPECT_FALSE(shut.open);
    EXPECT_EQ(shut.eyeWidthAtBerUi, 0.0);
    EXPECT_LT(shut.timingMarginUi, 0.0);
}

}  // namespace
