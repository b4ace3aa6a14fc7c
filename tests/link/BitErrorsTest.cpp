#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "BitErrors.h"
#include "Prbs.h"

namespace {

const double kUi = 100e-12;

// Received bit j at (j + phase) UI, carrying transmitted bit j - latency.
std::vector<linksim::InstantSample> Received(const std::vector<int>& bits, long latency, double phase,
                                             double jitter = 0.0) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> spread(-jitter, jitter);
    std::vector<linksim::InstantSample> samples;
    for (long j = latency; j < long(bits.size()) + latency; ++j) {
        const double level = bits[size_t(j - latency)] ? 0.4 : -0.3;
        samples.push_back({(double(j) + phase + spread(generator)) * kUi, level});
    }
    return samples;
}

TEST(BitErrors, FindsTheLatencyAndCountsEveryWrongDecision) {
    const std::vector<int> bits = linksim::Prbs(15, 5000);
    std::vector<linksim::InstantSample> samples = Received(bits, 37, 0.5);
    linksim::BitErrorCount clean = linksim::CountBitErrors(samples, bits, kUi, 0.0, 200);
    ASSERT_TRUE(clean.aligned);
    EXPECT_EQ(clean.latencyBits, 37);
    EXPECT_EQ(clean.compared, 5000u);
    EXPECT_EQ(clean.errors, 0u);
    EXPECT_DOUBLE_EQ(clean.BerUpperBound95(), 3.0 / 5000.0);
    EXPECT_TRUE(clean.heightKnown);
    EXPECT_NEAR(clean.innerHeight, 0.7, 1e-12);

    for (size_t i : {size_t(10), size_t(2000), size_t(4999)}) samples[i].value = -samples[i].value;
    const linksim::BitErrorCount flipped = linksim::CountBitErrors(samples, bits, kUi, 0.0, 200);
    EXPECT_EQ(flipped.latencyBits, 37);
    EXPECT_EQ(flipped.errors, 3u);
    EXPECT_DOUBLE_EQ(flipped.Ber(), 3.0 / 5000.0);
    EXPECT_LT(flipped.innerHeight, 0.0);
}

// Instants jittering around a unit-interval boundary still map one to one.
TEST(BitErrors, InstantsNearABoundaryMapToOneBitEach) {
    const std::vector<int> bits = linksim::Prbs(7, 3000);
    const linksim::BitErrorCount result =
        linksim::CountBitErrors(Received(bits, 5, 0.99, 0.04), bits, kUi, 0.0, 20);
    EXPECT_EQ(result.errors, 0u);
    EXPECT_EQ(result.compared, 3000u);
}

// Decisions that follow the pattern at two latencies, 40 % at the earlier
// one and 60 % at the later one: the earlier one is seen first and the later
// one must still win.
// A clock that follows data 300 ppm fast drifts 18 unit intervals off the
// nominal grid over 60000 bits; its bits are still its own.
TEST(BitErrors, AClockFollowingAnOffsetRateKeepsItsBits) {
    const std::vector<int> bits = linksim::Prbs(15, 60000);
    std::vector<linksim::InstantSample> samples = Received(bits, 12, 0.5, 0.1);
    for (linksim::InstantSample& sample : samples) sample.time /= 1.0003;
    const linksim::BitErrorCount count = linksim::CountBitErrors(samples, bits, kUi, 0.0, 100);
    ASSERT_TRUE(count.aligned);
    EXPECT_EQ(count.latencyBits, 12);
    EXPECT_EQ(count.errors, 0u);
    EXPECT_EQ(count.compared, bits.size());
}

TEST(BitErrors, TheBestOfTwoPartlyMatchingLatenciesWins) {
    const std::vector<int> bits = linksim::Prbs(15, 6000);
    std::vector<linksim::InstantSample> samples = Received(bits, 37, 0.5);
    for (size_t j = 37; j < samples.size(); ++j) {
        if (j % 10 < 4) samples[j - 37].value = bits[j - 20] ? 0.4 : -0.3;
    }
    const linksim::BitErrorCount result = linksim::CountBitErrors(samples, bits, kUi, 0.0, 100);
    ASSERT_TRUE(result.aligned);
    EXPECT_EQ(result.latencyBits, 37);
    EXPECT_NEAR(double(result.errors) / double(result.compared), 0.2, 0.03);
}

TEST(BitErrors, LatencyBeyondTheSearchIsNotFound) {
    const std::vector<int> bits = linksim::Prbs(15, 5000);
    const linksim::BitErrorCount result = linksim::CountBitErrors(Received(bits, 300, 0.5), bits, kUi, 0.0, 100);
    EXPECT_GT(result.errors, result.compared / 4);
    EXPECT_FALSE(linksim::CountBitErrors({}, bits, kUi, 0.0, 100).aligned);
}

}  // namespace
