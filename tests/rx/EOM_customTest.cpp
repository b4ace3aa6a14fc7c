#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "EOM_custom.h"
#include "OneItemWire.h"

namespace {

// Drives the monitor with a clock of one period per bit (high for the first
// half) and a waveform given as a function of the bit and the sample within
// it. The monitor's first falling clock edge, half a bit in, starts the
// measurement at phase 0, so the phase of a sample is counted from there.
class EomTest : public ::testing::Test {
protected:
    using Waveform = std::function<double(long bit, int phase)>;

    void Configure(int samplesPerBit, int window) {
        eom->SamplesPerBit = samplesPerBit;
        eom->EOM_window = window;
        ASSERT_TRUE(eom->Setup());
        clock.Attach(eom->Clock);
        input.Attach(eom->Input);
        restart.Attach(eom->Restart);
        done.Attach(eom->Done);
        width.Attach(eom->EyeWidth);
        height.Attach(eom->EyeHeight);
        ASSERT_TRUE(eom->Initialize());
        n = samplesPerBit;
        sample = 0;
    }

    // One firing; the sample number runs on from the previous call.
    void Fire(const Waveform& wave) {
        const long shifted = sample - n / 2;  // measurement time base
        const long bit = shifted >= 0 ? shifted / n : -1;
        const int phase = static_cast<int>(((shifted % n) + n) % n);
        clock.item = (sample % n) < (n + 1) / 2 ? 1 : 0;
        input.item = wave(bit, phase);
        ASSERT_TRUE(eom->Run());
        ++sample;
    }

    // Fires until Done rises; returns the number of firings it took.
    long RunUntilDone(const Waveform& wave, long limit) {
        long firings = 0;
        while (done.item == 0 && firings < limit) {
            Fire(wave);
            ++firings;
        }
        return firings;
    }

    double HistogramTotal() const {
        double total = 0.0;
        for (const auto& column : eom->Histogram) {
            for (double hits : column) total += hits;
        }
        return total;
    }

    std::unique_ptr<EOM_custom> eom = std::make_unique<EOM_custom>();  // 512 KiB
    OneItemWire<int> clock, restart, done;
    OneItemWire<double> input, width, height;
    int n = 0;
    long sample = 0;
};

const double kBinVolts = 0.4 / 128;  // 3.125 mV

TEST(EomBins, ThresholdBinIsDoubleWidthAndOutOfRangeSamplesLandInTheOutermostBins) {
    const double range = 0.4;
    EXPECT_EQ(EOM_custom::AmplitudeBin(0.0, range), 127);
    EXPECT_EQ(EOM_custom::AmplitudeBin(0.99 * kBinVolts, range), 127);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-0.99 * kBinVolts, range), 127);
    EXPECT_EQ(EOM_custom::AmplitudeBin(1.01 * kBinVolts, range), 128);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-1.01 * kBinVolts, range), 126);
    // Rows 125 to 130 span -9.375 mV to 12.5 mV.
    EXPECT_EQ(EOM_custom::AmplitudeBin(-2.99 * kBinVolts, range), 125);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-3.01 * kBinVolts, range), 124);
    EXPECT_EQ(EOM_custom::AmplitudeBin(3.99 * kBinVolts, range), 130);
    EXPECT_EQ(EOM_custom::AmplitudeBin(4.01 * kBinVolts, range), 131);

    EXPECT_EQ(EOM_custom::AmplitudeBin(0.3999, range), 254);
    EXPECT_EQ(EOM_custom::AmplitudeBin(0.4, range), 255);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-0.4, range), 0);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-0.3999, range), 0);
    EXPECT_EQ(EOM_custom::AmplitudeBin(1e300, range), 255);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-1e300, range), 0);
    EXPECT_EQ(EOM_custom::AmplitudeBin(std::numeric_limits<double>::infinity(), range), 255);
    EXPECT_EQ(EOM_custom::AmplitudeBin(-std::numeric_limits<double>::infinity(), range), 0);
    EXPECT_EQ(EOM_custom::AmplitudeBin(std::numeric_limits<double>::quiet_NaN(), range), 0);
}

TEST_F(EomTest, CleanTwoLevelEyeIsFullyOpen) {
    Configure(32, 1000);
    const Waveform twoLevel = [](long bit, int) { return bit % 3 == 0 ? 0.25 : -0.25; };
    // 16 firings before the first falling edge, then 1000 clock periods
    // plus the sample at the evaluating edge.
    EXPECT_EQ(RunUntilDone(twoLevel, 100000), 16 + 32001);
    EXPECT_EQ(HistogramTotal(), 32001.0);
    EXPECT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 1.0);
    // Column 16: bins 128..206 empty above (79), 127..48 below (80).
    EXPECT_DOUBLE_EQ(height.item, 159 * kBinVolts);

    // Results are held, and nothing more is collected, until a restart.
    for (int i = 0; i < 500; ++i) Fire(twoLevel);
    EXPECT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(height.item, 159 * kBinVolts);
    EXPECT_EQ(HistogramTotal(), 32001.0);
}

TEST_F(EomTest, WaveformStuckAtZeroHasAFullWidthButOnlyTheUpperHeight) {
    Configure(32, 20);
    const Waveform zero = [](long, int) { return 0.0; };
    RunUntilDone(zero, 10000);
    ASSERT_EQ(done.item, 1);
    // Row 127 is full and not counted; the other five rows are empty and see
    // bins 128..255 empty above a hit in bin 127.
    EXPECT_DOUBLE_EQ(width.item, 1.0);
    EXPECT_DOUBLE_EQ(height.item, 0.4);
}

TEST_F(EomTest, ClosedEyeIsReportedAsZeroWidthAndHeight) {
    Configure(32, 20);
    // +-5 mV: rows 126 and 128 full, the others empty but with at most one
    // empty bin around the threshold: an average height below 4 bins.
    const Waveform small = [](long bit, int) { return bit % 2 == 0 ? 0.005 : -0.005; };
    RunUntilDone(small, 10000);
    ASSERT_EQ(done.item, 1);
    EXPECT_EQ(width.item, 0.0);
    EXPECT_EQ(height.item, 0.0);

    // Open vertically, but every other column of the threshold rows has hits:
    // openings of one column are below 5 % of a bit.
    restart.item = 1;
    Fire(small);
    restart.item = 0;
    const Waveform comb = [](long bit, int phase) {
        if (phase % 2 == 0) return bit % 2 == 0 ? 0.3 : -0.3;
        return -0.008 + 0.004 * static_cast<double>(bit % 6);  // one of rows 125..130
    };
    RunUntilDone(comb, 10000);
    ASSERT_EQ(done.item, 1);
    EXPECT_EQ(width.item, 0.0);
    EXPECT_EQ(height.item, 0.0);
}

// Up to 256 samples per bit a row can hold more than 20 openings; only the
// first 20 of a row are recorded, so a wider 21st one is not seen.
TEST_F(EomTest, OpeningsBeyondTheTwentiethOfARowAreIgnored) {
    Configure(256, 60);
    // Hit columns 0 and 61, 64, ..., 118 in every threshold row: opening 1 is
    // columns 1..60, openings 2 to 20 are two columns each, and opening 21
    // runs from column 119 to 255 (137 columns).
    const auto hitColumn = [](int phase) {
        return phase == 0 || (phase >= 61 && phase <= 118 && (phase - 61) % 3 == 0);
    };
    const Waveform wave = [&hitColumn](long bit, int phase) {
        if (hitColumn(phase)) {
            return -0.008 + 0.004 * static_cast<double>(bit % 6);  // rows 125..130 in turn
        }
        return bit % 2 == 0 ? 96.5 * kBinVolts : -96.5 * kBinVolts;  // bins 223 and 31
    };
    RunUntilDone(wave, 100000);
    ASSERT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 60.0 / 256);
    // Centre column 1 + 30 = 31: bins 128..222 and 127..32 empty.
    EXPECT_DOUBLE_EQ(height.item, (95 + 96) * kBinVolts);

    // With one hit column fewer the wide opening is the 20th and wins.
    restart.item = 1;
    Fire(wave);
    restart.item = 0;
    const Waveform nineteenNarrow = [&wave](long bit, int phase) {
        return phase == 118 ? wave(bit, 117) : wave(bit, phase);
    };
    RunUntilDone(nineteenNarrow, 100000);
    ASSERT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 140.0 / 256);
}

TEST_F(EomTest, OpeningAcrossTheEndOfTheBitWrapsAround) {
    Configure(32, 30);
    // Hits at columns 20..23 only: the one opening runs from column 24 round
    // to column 19, 28 columns, and its centre 24 + 14 wraps to column 6.
    const Waveform wave = [](long bit, int phase) {
        if (phase >= 20 && phase <= 23) return -0.008 + 0.004 * static_cast<double>(bit % 6);
        return bit % 2 == 0 ? 0.1 : -0.2;  // bins 159 and 63
    };
    RunUntilDone(wave, 10000);
    ASSERT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 28.0 / 32);
    EXPECT_DOUBLE_EQ(height.item, (31 + 64) * kBinVolts);
    // The centre column is the one measured: a hit in bin 131 of column 6,
    // just above the threshold rows, leaves 3 empty bins above.
    restart.item = 1;
    Fire(wave);
    restart.item = 0;
    const Waveform marked = [&wave](long bit, int phase) {
        return phase == 6 && bit % 7 == 3 ? 4.5 * kBinVolts : wave(bit, phase);
    };
    RunUntilDone(marked, 10000);
    ASSERT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 28.0 / 32);
    EXPECT_DOUBLE_EQ(height.item, (3 + 64) * kBinVolts);
}

TEST_F(EomTest, OfEquallyWideOpeningsTheFirstFoundIsMeasured) {
    Configure(32, 30);
    // Hits at columns 0, 1, 16 and 17: two openings of 14 columns, from
    // column 2 (centre 9, where the eye is wide open) and from column 18
    // (centre 25, where it is barely open).
    const Waveform wave = [](long bit, int phase) {
        if (phase % 16 <= 1) return -0.008 + 0.004 * static_cast<double>(bit % 6);
        if (phase < 16) return bit % 2 == 0 ? 0.1 : -0.2;  // bins 159 and 63
        return bit % 2 == 0 ? 0.05 : -0.05;                // bins 143 and 111
    };
    RunUntilDone(wave, 10000);
    ASSERT_EQ(done.item, 1);
    EXPECT_DOUBLE_EQ(width.item, 14.0 / 32);
    EXPECT_DOUBLE_EQ(height.item, (31 + 64) * kBinVolts);
}

TEST_F(EomTest, RestartPulseClearsAndTheNextMeasurementStartsAtTheNextFallingClockEdge) {
    Configure(32, 1000);
    const Waveform twoLevel = [](long bit, int) { return bit % 2 == 0 ? 0.25 : -0.25; };
    RunUntilDone(twoLevel, 100000);
    ASSERT_EQ(done.item, 1);

    restart.item = 1;
    Fire(twoLevel);
    EXPECT_EQ(done.item, 0);
    EXPECT_EQ(width.item, 0.0);
    EXPECT_EQ(height.item, 0.0);
    EXPECT_EQ(HistogramTotal(), 0.0);
    for (int i = 0; i < 100; ++i) Fire(twoLevel);
    EXPECT_EQ(HistogramTotal(), 0.0) << "held in reset while Restart is high";

    restart.item = 0;
    // Restart falls in the middle of a low clock half; collecting starts at
    // the next falling clock edge.
    while (sample % 32 != 16) {
        Fire(twoLevel);
        EXPECT_EQ(HistogramTotal(), 0.0);
    }
    Fire(twoLevel);
    EXPECT_EQ(HistogramTotal(), 1.0);
    EXPECT_EQ(RunUntilDone(twoLevel, 100000), 32000);
    EXPECT_DOUBLE_EQ(width.item, 1.0);
    EXPECT_DOUBLE_EQ(height.item, 159 * kBinVolts);
}

TEST_F(EomTest, RestartRisingWithTheEvaluatingEdgeClearsInsteadOfEvaluating) {
    Configure(32, 3);
    const Waveform twoLevel = [](long bit, int) { return bit % 2 == 0 ? 0.25 : -0.25; };
    // Start at sample 16; the evaluating edge is three periods later.
    while (sample < 16 + 3 * 32) Fire(twoLevel);
    ASSERT_EQ(done.item, 0);
    restart.item = 1;
    Fire(twoLevel);
    EXPECT_EQ(done.item, 0);
    EXPECT_EQ(width.item, 0.0);
    EXPECT_EQ(HistogramTotal(), 0.0);
}

TEST_F(EomTest, WindowBelowOneEvaluatesTheSampleThatStartsTheMeasurement) {
    Configure(32, 0);
    const Waveform zero = [](long, int) { return 0.0; };
    EXPECT_EQ(RunUntilDone(zero, 1000), 17);
    EXPECT_EQ(HistogramTotal(), 1.0);
}

TEST(EomSetup, SamplesPerBitMustFitTheHistogramColumns) {
    for (int samplesPerBit : {0, -3, 257, 1000}) {
        auto eom = std::make_unique<EOM_custom>();
        eom->SamplesPerBit = samplesPerBit;
        eom->EOM_window = 2;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(eom->Setup()) << samplesPerBit;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("SamplesPerBit must be between 1 and 256.\n"));

        // Fired anyway, it collects nothing and never leaves the histogram.
        OneItemWire<int> clock, restart, done;
        OneItemWire<double> input, width, height;
        clock.Attach(eom->Clock);
        input.Attach(eom->Input);
        restart.Attach(eom->Restart);
        done.Attach(eom->Done);
        width.Attach(eom->EyeWidth);
        height.Attach(eom->EyeHeight);
        ASSERT_TRUE(eom->Initialize());
        for (int i = 0; i < 3000; ++i) {
            clock.item = (i / 7) % 2;
            input.item = 0.1;
            ASSERT_TRUE(eom->Run());
        }
        double total = 0.0;
        for (const auto& column : eom->Histogram) {
            for (double hits : column) total += hits;
        }
        EXPECT_EQ(total, 0.0);
        EXPECT_EQ(width.item, 0.0);
    }
    for (int samplesPerBit : {1, 256}) {
        auto eom = std::make_unique<EOM_custom>();
        eom->SamplesPerBit = samplesPerBit;
        EXPECT_TRUE(eom->Setup()) << samplesPerBit;
    }
}

TEST_F(EomTest, FiringAfterFinalizeTouchesNoPort) {
    Configure(32, 10);
    ASSERT_TRUE(eom->Finalize());
    done.item = 5;
    EXPECT_FALSE(eom->Run());
    EXPECT_EQ(done.item, 5);
}

}  // namespace
