#include <gtest/gtest.h>

#include <vector>

#include "Prbs.h"

namespace {

// Over one period every order-bit window but all zeros occurs exactly once.
void ExpectMaximalLength(int order) {
    const size_t period = (size_t(1) << order) - 1;
    const std::vector<int> bits = linksim::Prbs(order, period + order);
    std::vector<bool> seen(size_t(1) << order, false);
    size_t ones = 0;
    for (size_t i = 0; i < period; ++i) {
        ones += size_t(bits[i]);
        size_t window = 0;
        for (int k = 0; k < order; ++k) window = (window << 1) | size_t(bits[i + size_t(k)]);
        ASSERT_FALSE(seen[window]) << "PRBS" << order << " repeats a window at bit " << i;
        seen[window] = true;
    }
    EXPECT_FALSE(seen[0]);
    EXPECT_EQ(ones, size_t(1) << (order - 1));
    for (int k = 0; k < order; ++k) {
        EXPECT_EQ(bits[period + size_t(k)], bits[size_t(k)]) << "PRBS" << order << " does not repeat after " << period;
    }
}

TEST(Prbs, SequencesHaveMaximalPeriod) {
    ExpectMaximalLength(7);
    ExpectMaximalLength(15);
    ExpectMaximalLength(23);
}

// x^n + x^k + 1 means s[i] = s[i-n] xor s[i-k]; seeded all ones, so the
// first bits (until a 0 reaches a tap) are 1 xor 1.
TEST(Prbs, BitsFollowTheirPolynomials) {
    const int polynomials[][2] = {{7, 6}, {15, 14}, {23, 18}, {31, 28}};
    for (const auto& polynomial : polynomials) {
        const int n = polynomial[0];
        const int k = polynomial[1];
        const std::vector<int> bits = linksim::Prbs(n, 20000);
        for (int i = 0; i < k; ++i) EXPECT_EQ(bits[size_t(i)], 0) << "PRBS" << n << " bit " << i;
        for (size_t i = size_t(n); i < bits.size(); ++i) {
            ASSERT_EQ(bits[i], bits[i - size_t(n)] ^ bits[i - size_t(k)]) << "PRBS" << n << " bit " << i;
        }
    }
}

TEST(Prbs, UnsupportedOrderGivesNothing) {
    EXPECT_TRUE(linksim::Prbs(9, 100).empty());
    EXPECT_EQ(linksim::FindPrbsPolynomial(16), nullptr);
}

}  // namespace
