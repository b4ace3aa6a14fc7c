// Every path of the blocked dot product, for samples stored either way,
// gives the plain path's bits: the same products, each rounded, added in the
// same lane order. Values spread
// over many binary orders make any change of order or any fused
// multiply-add show in the last bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "DotProduct.h"

namespace {

using Tessel::DotProductPath;

std::vector<double> WideRangeValues(std::mt19937& random, size_t count) {
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<double> values(count);
    for (double& v : values) v = std::ldexp(mantissa(random), exponent(random));
    return values;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const char* Name(DotProductPath path) {
    return path == DotProductPath::Avx2 ? "AVX2" : path == DotProductPath::Sse2 ? "SSE2" : "plain";
}

TEST(DotProduct, EveryAvailablePathGivesThePlainPathsBits) {
    std::mt19937 random(160);
    std::vector<DotProductPath> paths;
    for (DotProductPath path : {DotProductPath::Sse2, DotProductPath::Avx2}) {
        if (Tessel::DotProductPathAvailable(path)) {
            paths.push_back(path);
        } else {
            std::printf("[   NOTE   ] the %s path is not available here: not compared\n", Name(path));
        }
    }
    // Tap counts around the block of eight; samples and taps on and off a
    // 32-byte boundary.
    const std::vector<double> samples = WideRangeValues(random, 400);
    const std::vector<double> taps = WideRangeValues(random, 180);
    size_t compared = 0;
    for (size_t count : {1u, 7u, 8u, 9u, 16u, 50u, 159u, 160u, 161u, 170u}) {
        for (size_t sampleOffset = 0; sampleOffset < 4; ++sampleOffset) {
            for (size_t tapOffset = 0; tapOffset < 4; ++tapOffset) {
                const double* newest = samples.data() + 200 + sampleOffset;
                const double* t = taps.data() + tapOffset;
                const double plain = Tessel::BlockedDotProductOn(DotProductPath::Plain, newest, t, count);
                ASSERT_TRUE(std::isfinite(plain));
                // The same samples stored newest first.
                // Six more in front of them for the sums below that start earlier.
                std::vector<double> newestFirst(samples.begin(), samples.begin() + (count + sampleOffset + 6));
                for (size_t j = 0; j < count; ++j) newestFirst[sampleOffset + 6 + j] = *(newest - j);
                const double* reversed = newestFirst.data() + sampleOffset + 6;
                ASSERT_TRUE(SameBits(Tessel::BlockedDotProductNewestFirstOn(DotProductPath::Plain, reversed, t, count),
                                     plain));
                for (DotProductPath path : paths) {
                    const double fast = Tessel::BlockedDotProductOn(path, newest, t, count);
                    ASSERT_TRUE(SameBits(fast, plain)) << Name(path) << ", " << count << " taps, offsets "
                                                       << sampleOffset << "/" << tapOffset << ": " << fast
                                                       << " against " << plain;
                    const double fastForward = Tessel::BlockedDotProductNewestFirstOn(path, reversed, t, count);
                    ASSERT_TRUE(SameBits(fastForward, plain)) << Name(path) << " newest first, " << count << " taps";
                    ++compared;
                }
                // Several sums at once, each starting one place further on: seven are
                // formed as a four, a pair and one alone on the widest path.
                for (DotProductPath path : paths) {
                    double several[7];
                    Tessel::BlockedDotProductsNewestFirstOn(path, reversed - 6, t, count, 7, several);
                    for (size_t i = 0; i < 7; ++i) {
                        const double alone =
                            Tessel::BlockedDotProductNewestFirstOn(DotProductPath::Plain, reversed - 6 + i, t, count);
                        ASSERT_TRUE(SameBits(several[i], alone)) << Name(path) << ", sum " << i << " of 7";
                    }
                }
                ASSERT_TRUE(SameBits(Tessel::BlockedDotProduct(newest, t, count), plain));
                ASSERT_TRUE(SameBits(Tessel::BlockedDotProductNewestFirst(reversed, t, count), plain));
            }
        }
    }
    EXPECT_EQ(compared, paths.size() * 10 * 16);
}

// The chosen path is the widest one available.
TEST(DotProduct, TheWidestAvailablePathIsChosen) {
    const DotProductPath chosen = Tessel::ChosenDotProductPath();
    EXPECT_TRUE(Tessel::DotProductPathAvailable(chosen));
    if (Tessel::DotProductPathAvailable(DotProductPath::Avx2)) {
        EXPECT_EQ(chosen, DotProductPath::Avx2);
    } else if (Tessel::DotProductPathAvailable(DotProductPath::Sse2)) {
        EXPECT_EQ(chosen, DotProductPath::Sse2);
    }
    std::printf("[   NOTE   ] dot product path in use: %s\n", Name(chosen));
}

// A benchmark measures each path by putting it in force; one this processor
// or build lacks is refused and leaves the path in force as it was.
TEST(DotProduct, AnAvailablePathCanBePutInForce) {
    const DotProductPath widest = Tessel::ChosenDotProductPath();
    for (DotProductPath path : {DotProductPath::Plain, DotProductPath::Avx2, DotProductPath::Sse2}) {
        const DotProductPath before = Tessel::ChosenDotProductPath();
        const bool available = Tessel::DotProductPathAvailable(path);
        EXPECT_EQ(Tessel::UseDotProductPath(path), available) << Name(path);
        EXPECT_EQ(Tessel::ChosenDotProductPath(), available ? path : before) << Name(path);
    }
    EXPECT_TRUE(Tessel::UseDotProductPath(widest));
}

}  // namespace
