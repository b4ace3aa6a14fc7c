#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "BitErrors.h"
#include "EyeAnalysis.h"
#include "PulseEye.h"
#include "Prbs.h"

namespace {

const double kUi = 100e-12;
const int kSpui = 32;
const double kDt = kUi / kSpui;

// NRZ of +-0.5 V with straight edges rampSamples long, centred on the bit
// boundaries; boundary m may be moved by shiftUi[m] unit intervals.
std::vector<double> CleanWave(const std::vector<int>& bits, int rampSamples, const std::map<size_t, double>& shiftUi = {}) {
    auto level = [&](size_t bit) { return bits[std::min(bit, bits.size() - 1)] ? 0.5 : -0.5; };
    std::vector<double> wave(bits.size() * kSpui);
    for (size_t k = 0; k < wave.size(); ++k) {
        const double t = double(k) / kSpui;  // in unit intervals
        const size_t boundary = size_t(std::lround(t));
        if (boundary == 0 || boundary >= bits.size()) {
            wave[k] = level(size_t(t));
            continue;
        }
        const auto shift = shiftUi.find(boundary);
        const double edge = double(boundary) + (shift == shiftUi.end() ? 0.0 : shift->second);
        const double d = (t - edge) * kSpui;  // samples after the edge
        if (std::fabs(d) < rampSamples / 2.0) {
            wave[k] = level(boundary - 1) + (level(boundary) - level(boundary - 1)) * (d + rampSamples / 2.0) / rampSamples;
        } else {
            wave[k] = d < 0.0 ? level(boundary - 1) : level(boundary);
        }
    }
    return wave;
}

// One clock time per bit, phaseUi into it.
std::vector<double> ClockTimes(size_t bits, double phaseUi) {
    std::vector<double> times;
    for (size_t n = 0; n < bits; ++n) times.push_back((double(n) + phaseUi) * kUi);
    return times;
}

linksim::EyeAnalyzerSettings Settings(double measureFromUi) {
    linksim::EyeAnalyzerSettings settings;
    settings.sampleInterval = kDt;
    settings.unitInterval = kUi;
    settings.samplingOffset = 0.5 * kUi;
    settings.measureFrom = measureFromUi * kUi;
    return settings;
}

// Feeds the wave in blocks of blockSamples, each with its clock times; with
// lateUi, each time comes with the first block that ends that many unit
// intervals after it (the last block brings all that are left), as from a
// receiver that carries clock times over to later calls.
void Feed(linksim::EyeAnalyzer& analyzer, const std::vector<double>& wave, const std::vector<double>& clocks,
          size_t blockSamples, double lateUi = 0.0) {
    size_t next = 0;
    for (size_t first = 0; first < wave.size(); first += blockSamples) {
        const size_t count = std::min(blockSamples, wave.size() - first);
        const bool last = first + count == wave.size();
        std::vector<double> inBlock;
        while (next < clocks.size() && (last || clocks[next] < double(first + count) * kDt - lateUi * kUi)) {
            inBlock.push_back(clocks[next++]);
        }
        analyzer.AddBlock(wave.data() + first, count, inBlock.data(), inBlock.size());
    }
}

TEST(EyeAnalyzer, CleanEyeIsOneUnitIntervalWideAndItsSamplesAreTheBits) {
    const std::vector<int> bits = linksim::Prbs(7, 3000);
    linksim::EyeAnalyzer analyzer(Settings(100.0));
    Feed(analyzer, CleanWave(bits, 8), ClockTimes(bits.size(), 0.0), 1000);
    const std::vector<linksim::InstantSample>& samples = analyzer.MeasuredSamples();
    ASSERT_GE(samples.size(), 2890u);
    for (const linksim::InstantSample& sample : samples) {
        const size_t bit = size_t(sample.time / kUi);
        ASSERT_NEAR(sample.time / kUi - double(bit), 0.5, 1e-9);
        ASSERT_DOUBLE_EQ(sample.value, bits[bit] ? 0.5 : -0.5);
    }
    EXPECT_GT(analyzer.WidthMargins().crossings, 1000u);
    EXPECT_NEAR(analyzer.WidthMargins().right / kUi, 0.5, 1e-9);
    EXPECT_NEAR(analyzer.WidthMargins().left / kUi, 0.5, 1e-9);

    const linksim::BitErrorCount errors = linksim::CountBitErrors(samples, bits, kUi, 0.0, 50);
    EXPECT_TRUE(errors.aligned);
    EXPECT_EQ(errors.latencyBits, 0);
    EXPECT_EQ(errors.errors, 0u);
    EXPECT_EQ(errors.compared, samples.size());
    EXPECT_DOUBLE_EQ(errors.innerHeight, 1.0);
}

// The eye is as narrow as its worst edge on either side, wherever the
// instants sit in it; edges before the measured stretch do not count.
TEST(EyeAnalyzer, WidthFollowsTheWorstEdgeAfterTheIgnoredBits) {
    const std::vector<int> bits = linksim::Prbs(7, 2000);
    size_t early = 0, late = 0;
    for (size_t m = 1; m < bits.size(); ++m) {
        if (bits[m] == bits[m - 1]) continue;
        if (m < 400 && early == 0) early = m;
        if (m > 1500 && late == 0) late = m;
    }
    const std::vector<double> wave = CleanWave(bits, 6, {{early, -0.4}, {late, 0.1}});
    linksim::EyeAnalyzer analyzer(Settings(500.0));
    Feed(analyzer, wave, ClockTimes(bits.size(), 0.25), 777);
    const linksim::EyeWidthMargins& margins = analyzer.WidthMargins();
    // Instants 0.75 UI into each bit: edges at the boundaries are 0.25 UI
    // after them, and the late edge moved 0.1 UI further away.
    EXPECT_NEAR(margins.right / kUi, 0.25, 1e-9);
    EXPECT_NEAR(margins.left / kUi, 0.65, 1e-9);
    EXPECT_NEAR(margins.Width() / kUi, 0.9, 1e-9);
}

TEST(EyeAnalyzer, BlockSizesAndClockTimesUpToFourUnitIntervalsLateDoNotChangeTheResult) {
    const std::vector<int> bits = linksim::Prbs(15, 600);
    const std::vector<double> wave = CleanWave(bits, 12, {{300, 0.2}});
    const std::vector<double> clocks = ClockTimes(bits.size(), 0.1);
    linksim::EyeAnalyzer reference(Settings(50.0));
    Feed(reference, wave, clocks, wave.size());
    for (size_t block : {size_t(1), size_t(7), size_t(32), size_t(1001), size_t(1), size_t(63)}) {
        linksim::EyeAnalyzer analyzer(Settings(50.0));
        Feed(analyzer, wave, clocks, block, block == 1 || block == 63 ? 4.0 : 0.0);
        ASSERT_EQ(analyzer.MeasuredSamples().size(), reference.MeasuredSamples().size()) << block;
        for (size_t i = 0; i < reference.MeasuredSamples().size(); ++i) {
            EXPECT_EQ(analyzer.MeasuredSamples()[i].value, reference.MeasuredSamples()[i].value) << block;
        }
        EXPECT_EQ(analyzer.WidthMargins().crossings, reference.WidthMargins().crossings) << block;
        EXPECT_EQ(analyzer.WidthMargins().Width(), reference.WidthMargins().Width()) << block;
        EXPECT_EQ(analyzer.TraceSamples(), reference.TraceSamples()) << block;
    }
}

TEST(EyeAnalyzer, ClockSettlesWhenItsPhaseStopsMoving) {
    // Phase walks from 0.45 UI to 0.05 UI over the first 3000 clocks.
    std::vector<double> clocks;
    for (size_t n = 0; n < 10000; ++n) {
        const double phase = n < 3000 ? 0.45 - 0.4 * double(n) / 3000.0 : 0.05;
        clocks.push_back((double(n) + phase) * kUi);
    }
    linksim::EyeAnalyzer settling(Settings(0.0));
    settling.AddBlock(std::vector<double>(10000 * kSpui, 0.0).data(), 10000 * kSpui, clocks.data(), clocks.size());
    const linksim::ClockSettling settled = settling.Settling();
    EXPECT_EQ(settled.clockCount, 10000u);
    ASSERT_TRUE(settled.settled);
    // Within 0.1 UI of the end from about clock 2250 on; windows are 64 long.
    EXPECT_NEAR(settled.settleTime / kUi, 2250.0, 70.0);
    EXPECT_NEAR(settled.meanPeriod / kUi, 1.0, 1e-4);
    EXPECT_NEAR(settled.finalPhaseUi, 0.55, 1e-6);  // the instants, half a UI after the clock

    // A clock 0.1 % slow never holds its phase.
    std::vector<double> slow;
    for (size_t n = 0; n < 10000; ++n) slow.push_back(double(n) * 1.001 * kUi);
    linksim::EyeAnalyzer drifting(Settings(0.0));
    drifting.AddBlock(std::vector<double>(10100 * kSpui, 0.0).data(), 10100 * kSpui, slow.data(), slow.size());
    EXPECT_FALSE(drifting.Settling().settled);
}

TEST(EyeAnalyzer, IdealClockAndTraceWindow) {
    const std::vector<int> bits = linksim::Prbs(7, 400);
    const std::vector<double> wave = CleanWave(bits, 4);
    linksim::EyeAnalyzerSettings settings = Settings(100.0);
    settings.traceSamples = 50 * kSpui;
    linksim::EyeAnalyzer analyzer(settings);
    analyzer.UseIdealClock(16 * kDt);
    Feed(analyzer, wave, {}, 333);
    const std::vector<linksim::InstantSample>& samples = analyzer.MeasuredSamples();
    ASSERT_EQ(samples.size(), 300u);
    EXPECT_NEAR(samples.front().time / kUi, 100.5, 1e-9);
    EXPECT_NEAR(samples.back().time / kUi, 399.5, 1e-9);

    const std::vector<double> trace = analyzer.TraceSamples();
    ASSERT_EQ(trace.size(), 50u * kSpui);
    EXPECT_NEAR(analyzer.TraceStartTime() / kUi, 350.0, 1e-9);
    EXPECT_TRUE(std::equal(trace.begin(), trace.end(), wave.end() - long(trace.size())));
    const std::vector<double> instants = analyzer.TraceInstants();
    ASSERT_FALSE(instants.empty());
    EXPECT_GE(instants.front(), analyzer.TraceStartTime() - kUi);
}

TEST(EyeAnalyzer, CentreSamplingPhaseIsHalfWayBetweenTheEdges) {
    // A narrow pulse 50 samples in delays every edge to 50 samples after a
    // bit boundary (18 into the unit interval): the eye's centre is at 34,
    // sample 2 of the next unit interval.
    std::vector<double> impulse(400, 0.0);
    for (int k = 46; k <= 54; ++k) impulse[size_t(k)] = std::exp(-0.5 * (k - 50) * (k - 50) / 2.0);
    EXPECT_EQ(linksim::CentreSamplingPhase(impulse, kSpui, kDt), 2);
    // Longer than the pattern's period, with echoes too weak to move an
    // edge by a whole sample: every edge crosses between samples 9 and 10,
    // so the centre is 16 samples later.
    std::vector<double> echo(6000, 0.0);
    echo[10] = 0.8 / kDt;
    echo[40] = 0.15 / kDt;
    echo[5000] = 0.05 / kDt;
    const int phase = linksim::CentreSamplingPhase(echo, kSpui, kDt);
    EXPECT_GE(phase, 25);
    EXPECT_LE(phase, 26);
}

}  // namespace

// The peak-distortion eye of a pulse response worked by hand: four samples
// per unit interval, an impulse (1/s at 1 s per sample) whose pulse is
// 0.1 0.6 0.9 1.0 | 0.9 0.4 0.1 0.0 | 0 ...: the main cursor is the sample
// within half a unit interval of the peak (3), so phase 0 opens 0.9 - 0.1,
// phase 1 0.4 - 0.6 (shut), phase 2 0.9 - 0.1 and phase 3 1.0: the open
// phases run from 2 round to 0, whose middle is 3.
TEST(PulseEyeTest, SamplesTheMiddleOfWhereTheMainCursorBeatsTheOthers) {
    const std::vector<double> pulse = {0.1, 0.6, 0.9, 1.0, 0.9, 0.4, 0.1, 0.0, 0.0, 0.0, 0.0, 0.0};
    // The impulse whose running sum over one unit interval is that pulse.
    std::vector<double> impulse(pulse.size(), 0.0);
    for (size_t n = 0; n < pulse.size(); ++n) {
        impulse[n] = pulse[n] - (n ? pulse[n - 1] : 0.0) + (n >= 4 ? impulse[n - 4] : 0.0);
    }
    const linksim::PulseEye eye = linksim::PeakDistortionEye(impulse, 4, 1.0);
    ASSERT_EQ(eye.openingV.size(), 4u);
    const double expected[] = {0.9 - 0.1, 0.4 - 0.6, 0.9 - 0.1, 1.0};
    for (size_t phase = 0; phase < 4; ++phase) EXPECT_NEAR(eye.openingV[phase], expected[phase], 1e-12) << phase;
    EXPECT_EQ(eye.bestPhase, 3);
    EXPECT_FALSE(eye.OpenAt(1));
    EXPECT_GE(eye.edgeLeadUi, 0.1);
    EXPECT_LE(eye.edgeLeadUi, 0.9);
}
