// The eye density: long traces are folded on two threads, whose counts must
// add up to what one pass over the instants gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "EyeDensity.h"
#include "Prbs.h"

namespace {

const int kSpui = 16;
const double kUi = 1e-10;
const double kDt = kUi / kSpui;

// A band-limited NRZ trace: every level and edge the folding meets.
std::vector<double> Trace(size_t bits) {
    const std::vector<int> pattern = linksim::Prbs(7, bits);
    std::vector<double> trace(bits * kSpui);
    double level = 0.0;
    for (size_t i = 0; i < trace.size(); ++i) {
        level += 0.2 * ((pattern[i / kSpui] ? 0.5 : -0.5) - level);
        trace[i] = level;
    }
    return trace;
}

std::vector<double> Instants(size_t first, size_t count) {
    std::vector<double> instants;
    for (size_t n = first; n < first + count; ++n) instants.push_back((double(n) + 0.3) * kUi);
    return instants;
}

TEST(EyeDensity, CountsOfAllInstantsAreTheSumOfTheirParts) {
    const std::vector<double> trace = Trace(6000);
    const size_t columns = 96;
    const size_t rows = 64;
    // 5000 instants take two threads, 1000 take one.
    const linksim::EyeDensity whole = linksim::FoldEye(trace, 0.0, kDt, Instants(1, 5000), kUi, columns, rows);
    const linksim::EyeDensity early = linksim::FoldEye(trace, 0.0, kDt, Instants(1, 1000), kUi, columns, rows);
    const linksim::EyeDensity late = linksim::FoldEye(trace, 0.0, kDt, Instants(1001, 4000), kUi, columns, rows);
    ASSERT_EQ(whole.counts.size(), columns * rows);
    unsigned highest = 0;
    for (size_t i = 0; i < whole.counts.size(); ++i) {
        ASSERT_EQ(whole.counts[i], early.counts[i] + late.counts[i]) << "cell " << i;
        highest = std::max(highest, whole.counts[i]);
    }
    EXPECT_EQ(whole.highest, highest);
    // Each instant leaves at least one count in every column.
    for (size_t column = 0; column < columns; ++column) {
        unsigned inColumn = 0;
        for (size_t row = 0; row < rows; ++row) inColumn += whole.At(row, column);
        EXPECT_GE(inColumn, 5000u) << "column " << column;
    }
}

}  // namespace
