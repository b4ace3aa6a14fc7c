// The eye density and its picture: long traces are folded on two threads,
// whose counts must add up to what one pass over the instants gives; the
// picture is a PNG file, or one line saying why it could not be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EyeDensity.h"
#include "EyePlot.h"
#include "Prbs.h"

#include "Scratch.h"

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

unsigned BigEndian32(const std::string& bytes, size_t at) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(EyePlot, WritesAnRgbPngOrSaysWhyNot) {
    const std::vector<double> trace = Trace(600);
    const linksim::EyeDensity density = linksim::FoldEye(trace, 0.0, kDt, Instants(1, 500), kUi, 48, 32);
    const linksim::EyePlotText text{"title", "subtitle"};
    const std::string path = Scratch("eye.png");
    std::string error;
    ASSERT_TRUE(linksim::WriteEyePng(path, density, text, error)) << error;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string png = bytes.str();
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), 960u);
    EXPECT_EQ(BigEndian32(png, 20), 640u);
    EXPECT_EQ(png[24], 8);  // bits per channel
    EXPECT_EQ(png[25], 2);  // RGB
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

    // No folder to write in, and a device that takes no bytes: the library's
    // failure comes back as text, not as an abort.
    for (const std::string& bad : {Scratch("no-such-folder") + "/eye.png", std::string("/dev/full")}) {
        error.clear();
        EXPECT_FALSE(linksim::WriteEyePng(bad, density, text, error)) << bad;
        EXPECT_EQ(error.rfind("cannot write the eye picture " + bad, 0), 0u) << error;
    }
    linksim::ReleasePlotCaches();  // as the program does, for the leak checker
}

}  // namespace
