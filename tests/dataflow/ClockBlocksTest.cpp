#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ClockTimes.h"
#include "VCO.h"

using Tessel::ClockTimes;
using Tessel::VCO;

namespace {

const double kTwoPi = 2.0 * 3.14159265358979323846;

// A VCO wired to one-item arcs, driven by a constant control value.
struct Oscillator {
    explicit Oscillator(double sampleInterval, double frequency, double sensitivity = 1.0) {
        vco.SampleInterval = sampleInterval;
        vco.FreeRunningFrequency = frequency;
        vco.Sensitivity = sensitivity;
        vco.ControlInput.SetBuffer(&control, 1, 1, 0);
        vco.SignalOutput.SetBuffer(&signal, 1, 1, 0);
        vco.ClockOutput.SetBuffer(&clock, 1, 1, 0);
    }
    VCO vco;
    double control = 0.0, signal = 0.0;
    int clock = -1;
};

struct Recorder {
    explicit Recorder(int edges, double sampleInterval = 1e-10) {
        recorder.EdgeSelect = edges;
        recorder.SampleInterval = sampleInterval;
        recorder.ClockInput.SetBuffer(&clock, 1, 1, 0);
        recorder.TimeOutput.SetBuffer(&time, 1, 1, 0);
    }
    std::vector<double> Feed(const std::vector<int>& levels) {
        std::vector<double> times;
        for (int level : levels) {
            clock = level;
            EXPECT_TRUE(recorder.Run());
            times.push_back(time);
        }
        return times;
    }
    ClockTimes recorder;
    int clock = 0;
    double time = 0.0;
};

}  // namespace

TEST(VCO, FreeRunsAsACosineWithAClockWhileItIsPositive) {
    Oscillator osc(1e-10, 1e9);
    ASSERT_TRUE(osc.vco.Initialize());
    std::vector<int> clocks;
    for (int n = 0; n < 30; ++n) {
        EXPECT_TRUE(osc.vco.Run());
        EXPECT_NEAR(osc.signal, std::cos(kTwoPi * 0.1 * n), 1e-12) << "firing " << n;
        clocks.push_back(osc.clock);
    }
    const std::vector<int> period{1, 1, 1, 0, 0, 0, 0, 0, 1, 1};
    for (int n = 0; n < 30; ++n) EXPECT_EQ(clocks[n], period[n % 10]) << "firing " << n;
}

TEST(VCO, ControlOfAFiringMovesThatFiringsOutputAndInitializeRestarts) {
    Oscillator osc(1e-10, 1e9, 1e8);
    osc.vco.Amplitude = 2.0;
    osc.vco.InitialPhase = 1.0;
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(osc.vco.Initialize());
        osc.control = 1.0;
        osc.vco.Run();
        EXPECT_NEAR(osc.signal, 2.0 * std::cos(1.0 + kTwoPi * 1e8 * 1e-10), 1e-12);
        osc.vco.Run();
        EXPECT_NEAR(osc.signal, 2.0 * std::cos(kTwoPi * 0.1 + 1.0 + 2 * kTwoPi * 1e-2), 1e-12);
    }
}

TEST(VCO, ConstantControlShiftsTheFrequencyBySensitivityTimesControl) {
    const double T = 1e-12, f0 = 1e9, sensitivity = 1e8;
    const long samples = 1000000;  // 1 microsecond
    for (double control : {0.0, 2.5, -4.0, 0.37}) {
        const double expected = f0 + sensitivity * control;
        Oscillator osc(T, f0, sensitivity);
        osc.control = control;
        ASSERT_TRUE(osc.vco.Initialize());
        long risingEdges = 0;
        double previous = 0.0, firstCrossing = -1.0, lastCrossing = -1.0;
        int previousClock = 1;
        for (long n = 0; n < samples; ++n) {
            osc.vco.Run();
            if (osc.clock == 1 && previousClock == 0) {
                ++risingEdges;
                // Upward zero crossing, interpolated between the two samples.
                lastCrossing = (n - 1 + previous / (previous - osc.signal)) * T;
                if (firstCrossing < 0) firstCrossing = lastCrossing;
            }
            previous = osc.signal;
            previousClock = osc.clock;
        }
        EXPECT_NEAR(risingEdges, expected * samples * T, 1.0) << "control " << control;
        const double period = (lastCrossing - firstCrossing) / (risingEdges - 1);
        EXPECT_NEAR(1.0 / period, expected, expected * 1e-6) << "control " << control;
    }
}

// The clock-only firing against Run, bit for bit: a free run whose samples
// fall exactly on the cosine's zeros and tops, a steered run, one running
// backwards through its turns, one past the range where the sign is told
// without the cosine, and a not-a-number control.
TEST(VCO, ClockOnlyFiringGivesRunsClockAndWaveformBits) {
    struct Case {
        double frequency, sensitivity, control, initialPhase;
        uint64_t firstFiring;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : {Case{2.5e9, 0.0, 0.0, 0.0, 0}, Case{1e9, 1e8, 0.37, 1.0, 0}, Case{-1.3e9, 0.0, 0.0, 0.5, 0},
                          Case{1e9, 1e8, -4.0, 0.0, 1000000000000ull}, Case{1e9, 1e8, nan, 0.0, 0}}) {
        Oscillator plain(1e-10, c.frequency, c.sensitivity), clockOnly(1e-10, c.frequency, c.sensitivity);
        for (Oscillator* osc : {&plain, &clockOnly}) {
            osc->vco.InitialPhase = c.initialPhase;
            osc->control = c.control;
            ASSERT_TRUE(osc->vco.Initialize());
            osc->vco.m_iSampleCount = c.firstFiring;
        }
        double previous = 0.0;
        for (int n = 0; n < 2000; ++n) {
            ASSERT_TRUE(plain.vco.Run());
            ASSERT_TRUE(clockOnly.vco.RunClockOnly());
            ASSERT_EQ(clockOnly.clock, plain.clock) << "firing " << n << " from " << c.firstFiring;
            const double waveform = clockOnly.vco.Waveform();
            ASSERT_EQ(std::memcmp(&waveform, &plain.signal, sizeof waveform), 0) << "firing " << n;
            if (n > 0) {
                const double before = clockOnly.vco.PreviousWaveform();
                ASSERT_EQ(std::memcmp(&before, &previous, sizeof before), 0) << "firing " << n;
            }
            previous = plain.signal;
        }
    }
}

TEST(VCO, RefusesANonPositiveSampleIntervalAfterResetting) {
    for (double interval : {0.0, -1e-10, std::numeric_limits<double>::quiet_NaN()}) {
        Oscillator osc(1e-10, 1e9);
        osc.vco.m_dPhase = 5.0;
        osc.vco.m_iSampleCount = 7;
        osc.vco.InitialPhase = 0.25;
        osc.vco.SampleInterval = interval;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(osc.vco.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleInterval must be a positive number.\n");
        EXPECT_EQ(osc.vco.m_dPhase, 0.25);
        EXPECT_EQ(osc.vco.m_iSampleCount, 0u);
    }
}

TEST(ClockTimes, ReportsTheSelectedEdgesOnly) {
    Recorder rising(ClockTimes::RisingEdges);
    ASSERT_TRUE(rising.recorder.Initialize());
    EXPECT_EQ(rising.Feed({0, 1, 1, 0, 1}), (std::vector<double>{-1, 1e-10, -1, -1, 4e-10}));

    Recorder falling(ClockTimes::FallingEdges);
    ASSERT_TRUE(falling.recorder.Initialize());
    EXPECT_EQ(falling.Feed({1, 0}), (std::vector<double>{-1, 1e-10}));

    // A high level on the very first firing is no edge, whatever the selector;
    // after a new Initialize the time base starts again, here shifted by 1 ns.
    ASSERT_TRUE(rising.recorder.Initialize());
    rising.recorder.TimeOffset = 1e-9;
    EXPECT_EQ(rising.Feed({1, 0, 1}), (std::vector<double>{-1, -1, 2e-10 + 1e-9}));

    Recorder none(2);
    ASSERT_TRUE(none.recorder.Initialize());
    EXPECT_EQ(none.Feed({0, 1, 0, 1}), (std::vector<double>(4, -1.0)));
}

TEST(ClockTimes, RefusesANonPositiveSampleIntervalWithItsStateUntouched) {
    Recorder falling(ClockTimes::FallingEdges);
    ASSERT_TRUE(falling.recorder.Initialize());
    falling.Feed({1, 1, 1});
    for (double interval : {-1e-10, std::numeric_limits<double>::quiet_NaN()}) {
        falling.recorder.SampleInterval = interval;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(falling.recorder.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleInterval must be larger than 0.\n");
        EXPECT_EQ(falling.recorder.m_iSampleCount, 3u);
        EXPECT_EQ(falling.recorder.m_iPreviousInput, 1);
    }
}

// The recorder fed by a free-running VCO reports, for each cycle k, the first
// sample at or past the falling zero crossing of cos(2 pi f t), at t = (k + 1/4) / f.
TEST(ClockTimes, RecordsTheFallingEdgesOfAFreeRunningVCO) {
    const double T = 1e-12, f = 1.234567e9;
    const long samples = 200000;
    Oscillator osc(T, f);
    Recorder falling(ClockTimes::FallingEdges, T);
    osc.vco.ClockOutput.SetBuffer(&falling.clock, 1, 1, 0);
    ASSERT_TRUE(osc.vco.Initialize());
    ASSERT_TRUE(falling.recorder.Initialize());
    std::vector<double> recorded, expected;
    for (long n = 0; n < samples; ++n) {
        osc.vco.Run();
        falling.recorder.Run();
        if (falling.time >= 0) recorded.push_back(falling.time);
    }
    for (int k = 0;; ++k) {
        const double n = std::ceil((k + 0.25) / (f * T));
        if (n >= samples) break;
        expected.push_back(n * T);
    }
    ASSERT_EQ(recorded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(recorded[i], expected[i]) << "edge " << i;
}
