#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Channel.h"

#include "Scratch.h"

namespace {

const double kBitRate = 10e9;
const int kSamplesPerUi = 32;
const double kDt = 1.0 / (kBitRate * kSamplesPerUi);

double GainDbAt(const std::vector<double>& impulse, double frequency) {
    std::complex<double> sum(0.0, 0.0);
    for (size_t k = 0; k < impulse.size(); ++k) {
        sum += impulse[k] * kDt * std::polar(1.0, -2.0 * M_PI * frequency * double(k) * kDt);
    }
    return 20.0 * std::log10(std::abs(sum));
}

TEST(LossyChannel, HasUnitDcGainAndTheLossAskedForAtNyquist) {
    for (double loss : {3.0, 12.0, 25.0}) {
        for (double skin : {0.0, 0.5, 1.0}) {
            const std::vector<double> h = linksim::LossyChannelImpulse(loss, kBitRate, kSamplesPerUi, skin);
            EXPECT_NEAR(linksim::DcGain(h, kDt), 1.0, 1e-9) << loss << " dB, skin " << skin;
            EXPECT_NEAR(GainDbAt(h, kBitRate / 2.0), -loss, 0.05) << loss << " dB, skin " << skin;
            // Half way up, dielectric loss is half as much, skin-effect loss
            // about 1/sqrt(2) as much.
            const double quarter = loss * (skin * std::sqrt(0.5) + (1.0 - skin) * 0.5);
            EXPECT_NEAR(GainDbAt(h, kBitRate / 4.0), -quarter, 0.05 + 0.05 * skin * loss) << loss << " dB, skin " << skin;
            // Long enough for the slow approach to DC, not the whole model span.
            EXPECT_LT(h.size(), size_t(500 * kSamplesPerUi)) << loss << " dB, skin " << skin;
        }
    }
}

// A minimum-phase response starts at once: its peak comes within a few unit
// intervals, and next to nothing of the circular result lies at negative
// times (the last half of it).
TEST(LossyChannel, IsCausal) {
    const std::vector<double> h = linksim::LossyChannelImpulse(20.0, kBitRate, kSamplesPerUi);
    size_t peak = 0;
    for (size_t k = 0; k < h.size(); ++k) if (h[k] > h[peak]) peak = k;
    EXPECT_LT(peak, size_t(3 * kSamplesPerUi));

    const size_t n = 1 << 14;
    std::vector<double> logMagnitude(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) logMagnitude[k] = -3.0 * std::sqrt(double(k) / double(n / 2)) - 2.0 * double(k) / double(n / 2);
    const std::vector<double> taps = linksim::MinimumPhaseTaps(logMagnitude);
    double causal = 0.0, wrapped = 0.0;
    for (size_t k = 0; k < n; ++k) (k < n / 2 ? causal : wrapped) += taps[k] * taps[k];
    EXPECT_LT(wrapped, 1e-8 * causal);
    double dc = 0.0;
    for (double tap : taps) dc += tap;
    EXPECT_NEAR(dc, 1.0, 1e-9);
}

TEST(LossyChannel, NoLossIsAnImpulse) {
    const std::vector<double> h = linksim::LossyChannelImpulse(0.0, kBitRate, kSamplesPerUi);
    EXPECT_NEAR(h[0] * kDt, 1.0, 1e-9);
    for (size_t k = 1; k < h.size(); ++k) ASSERT_NEAR(h[k] * kDt, 0.0, 1e-9);
}

TEST(ResampleImpulse, CopiesOnTheGridInterpolatesCoarserAndAveragesFiner) {
    const std::vector<double> onGrid = linksim::ResampleImpulse({0.0, kDt, 2 * kDt, 3 * kDt}, {1.0, 4.0, 2.0, 0.0}, kDt);
    EXPECT_DOUBLE_EQ(onGrid[0], 1.0);
    EXPECT_DOUBLE_EQ(onGrid[1], 4.0);
    EXPECT_DOUBLE_EQ(onGrid[2], 2.0);

    // Twice as coarse: the samples between lie on straight lines.
    const std::vector<double> coarse = linksim::ResampleImpulse({0.0, 2 * kDt, 4 * kDt}, {0.0, 2.0, 0.0}, kDt);
    EXPECT_DOUBLE_EQ(coarse[1], 1.0);
    EXPECT_DOUBLE_EQ(coarse[2], 2.0);
    EXPECT_DOUBLE_EQ(coarse[3], 1.0);

    // A spike far narrower than a sample keeps its area; negative times move.
    const double fine = kDt / 100.0;
    std::vector<double> times, values;
    for (int i = 0; i < 1000; ++i) {
        times.push_back(-5 * kDt + i * fine);
        values.push_back(i == 620 ? 1.0 / fine : 0.0);
    }
    const std::vector<double> averaged = linksim::ResampleImpulse(times, values, kDt);
    EXPECT_NEAR(linksim::DcGain(averaged, kDt), 1.0, 1e-9);
    EXPECT_NEAR(averaged[6] * kDt, 1.0, 1e-9);  // 6.2 samples after the first time
}

TEST(ImpulseFile, ReadsTwoColumnsAndRejectsWhatItCannotUse) {
    const std::string path = Scratch("channel.txt");
    auto write = [&](const char* text) { std::ofstream(path) << text; };
    std::vector<double> impulse;
    std::string error;

    write("# time value\n\n0 0\n3.125e-12, 3.2e11\n6.25e-12 0\n");
    ASSERT_TRUE(linksim::LoadImpulseFile(path, kDt, impulse, error)) << error;
    EXPECT_DOUBLE_EQ(impulse[1], 3.2e11);
    EXPECT_NEAR(linksim::DcGain(impulse, kDt), 1.0, 1e-12);
    // A spreadsheet's CSV: column names first, comments, semicolons.
    write("time (s),h (1/s)\n// exported\n0;0\n3.125e-12,3.2e11\n6.25e-12,0\n");
    ASSERT_TRUE(linksim::LoadImpulseFile(path, kDt, impulse, error)) << error;
    EXPECT_DOUBLE_EQ(impulse[1], 3.2e11);

    const struct {
        const char* text;
        const char* expected;
    } bad[] = {
        {"0 1\n1e-12 x\n", "no time and value on line 2"},
        {"0 1\n1e-12 2 3\n", "no time and value on line 2"},
        {"0 1\n2e-12 1\n1e-12 1\n", "do not increase at line 3"},
        {"0 1\n", "fewer than two samples"},
        {"time value\n0 1\nbad line\n", "no time and value on line 3"},
        {"0 0\n1 3.2e11\n2 0\n", "spans 2 s: its times must be in seconds"},
        {"0 0\n3.125e-12 0\n6.25e-12 0\n", "is all zeros"},
        {"0 0\n3.125e-12 1e300\n6.25e-12 0\n", "its values must be in 1/s"},
    };
    for (const auto& c : bad) {
        write(c.text);
        EXPECT_FALSE(linksim::LoadImpulseFile(path, kDt, impulse, error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    std::remove(path.c_str());
    EXPECT_FALSE(linksim::LoadImpulseFile(path, kDt, impulse, error));
    EXPECT_NE(error.find("cannot read the channel file"), std::string::npos) << error;
}

}  // namespace
