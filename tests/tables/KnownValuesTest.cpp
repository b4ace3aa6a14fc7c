// The values each table is known by: samples stored exactly as given, peaks
// and minima at their rows, areas and peaks to the digits given, and the
// layout (dimension records, time stamps).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Orvex_RX_AMI_05272013_Tables.h"
#include "Orvex_TX_AMI_01142014_Tables.h"
#include "ResponseSelectorDefaults.h"
#include "TableView.h"

namespace {

enum class Kind { Exact, Peak, Minimum };

struct KnownSample {
    TableView (*table)();
    std::size_t column;  // 0-based
    std::size_t row;
    Kind kind;
    const char* text;  // as the value is known, parsed at run time
};

const KnownSample kKnownSamples[] = {
    {C4Table, 0, 0, Kind::Exact, "159037704.8288764"},
    {C4Table, 0, 1, Kind::Exact, "-20251354.19696231"},
    {C4Table, 0, 47, Kind::Peak, "43836551468.67668"},
    {C4Table, 0, 499, Kind::Exact, "-81841901.33619162"},
    {C4Table, 15, 0, Kind::Exact, "-211274560.8700584"},
    {C4Table, 15, 56, Kind::Peak, "675769684629.1638"},
    {C4Table, 15, 111, Kind::Minimum, "-599776506591.6158"},
    {C4Table, 15, 499, Kind::Exact, "-776587981.1843619"},
    {C1Table, 0, 0, Kind::Exact, "157368303.7610849"},
    {C1Table, 0, 1, Kind::Exact, "-948917730.3837126"},
    {C1Table, 0, 37, Kind::Peak, "31438042548.05067"},
    {C1Table, 0, 499, Kind::Exact, "-49872153.63260825"},
    {C1Table, 4, 0, Kind::Exact, "634711489.3400469"},
    {C1Table, 4, 40, Kind::Peak, "124997497896.4943"},
    {C1Table, 4, 88, Kind::Minimum, "-38904733722.77264"},
    {C1Table, 4, 499, Kind::Exact, "-737801019.951233"},
    {SelectorDefaultTable, 0, 0, Kind::Exact, "327933660.9854924"},
    {SelectorDefaultTable, 0, 1, Kind::Exact, "739871275.4551129"},
    {SelectorDefaultTable, 0, 9, Kind::Exact, "2037295190.183519"},
    {SelectorDefaultTable, 0, 19, Kind::Exact, "-98030157.73736899"},
    {SelectorDefaultTable, 0, 42, Kind::Minimum, "-12611752110.7974"},
    {SelectorDefaultTable, 0, 109, Kind::Peak, "30757787367.05758"},
    {SelectorDefaultTable, 0, 200, Kind::Exact, "4265635794.344643"},
    {SelectorDefaultTable, 0, 499, Kind::Exact, "-22951916.51126082"},
    {TransmitterTable, 0, 0, Kind::Exact, "-160605.75"},
    {TransmitterTable, 0, 1, Kind::Exact, "-160516.8"},
    {TransmitterTable, 0, 2, Kind::Exact, "-160426.58"},
    {TransmitterTable, 127, 0, Kind::Exact, "3096948.7"},
    {TransmitterTable, 127, 1, Kind::Exact, "3081037.4"},
    {TransmitterTable, 127, 32, Kind::Peak, "38008068000.0"},
    {TransmitterTable, 127, 100, Kind::Exact, "-1398385800.0"},
    {TransmitterTable, 127, 700, Kind::Exact, "-13228706.0"},
    {TransmitterTable, 127, 749, Kind::Exact, "-10273172.0"},
    {TransmitterTable, 127, 750, Kind::Exact, "0.0"},
};

// A value known to the digits given: within half a unit of the last digit.
void ExpectAbout(double actual, const std::string& text, const std::string& what) {
    const std::size_t point = text.find('.');
    const std::size_t exponent = text.find_first_of("eE");
    const std::size_t end = exponent == std::string::npos ? text.size() : exponent;
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(end - point - 1);
    const int power = exponent == std::string::npos ? 0 : std::atoi(text.c_str() + exponent + 1);
    const double tolerance = 0.5 * std::pow(10.0, power - decimals);
    EXPECT_LE(std::fabs(actual - std::strtod(text.c_str(), nullptr)), tolerance)
        << what << " = " << actual << ", known as about " << text;
}

std::size_t TxColumn(int de_range, int de, int vod) {
    return static_cast<std::size_t>(64 * de_range + 8 * de + vod);
}

}  // namespace

TEST(KnownValues, SamplesAreStoredExactlyAsGiven) {
    for (const KnownSample& known : kKnownSamples) {
        const TableView table = known.table();
        const std::vector<double> column = table.Column(known.column);
        const double required = std::strtod(known.text, nullptr);
        EXPECT_EQ(column[known.row], required)
            << table.name << " column " << known.column << " row " << known.row;
        // The stored double reads back from its shortest exact text.
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", column[known.row]);
        EXPECT_EQ(std::strtod(text, nullptr), required);
    }
}

TEST(KnownValues, StatedPeaksAndMinimaAreTheGlobalOnes) {
    for (const KnownSample& known : kKnownSamples) {
        if (known.kind == Kind::Exact) continue;
        const TableView table = known.table();
        const std::vector<double> column = table.Column(known.column);
        const std::size_t found = known.kind == Kind::Peak ? ArgMax(column) : ArgMin(column);
        EXPECT_EQ(found, known.row) << table.name << " column " << known.column;
    }
}

TEST(KnownValues, DimensionRecordsAndTimeStamps) {
    EXPECT_EQ(C4_Response_Matrix_Dimensions[0], 500u);
    EXPECT_EQ(C4_Response_Matrix_Dimensions[1], 16u);
    EXPECT_EQ(C1_Response_Matrix_Dimensions[0], 500u);
    EXPECT_EQ(C1_Response_Matrix_Dimensions[1], 5u);
    EXPECT_EQ(Orvex_TX_AMI_01142014_Response_Matrix_Dimensions[0], 751u);
    EXPECT_EQ(Orvex_TX_AMI_01142014_Response_Matrix_Dimensions[1], 128u);
    for (const unsigned long long* dims : {C4_Time_Stamps_Dimensions, C1_Time_Stamps_Dimensions}) {
        EXPECT_EQ(dims[0], 500u);
        EXPECT_EQ(dims[1], 1u);
    }
    EXPECT_EQ(Orvex_TX_AMI_01142014_Time_Stamps_Dimensions[0], 751u);
    EXPECT_EQ(Orvex_TX_AMI_01142014_Time_Stamps_Dimensions[1], 1u);
    for (int k = 0; k < 500; ++k) {
        EXPECT_EQ(C4_Time_Stamps[k], k * 1e-12) << k;
        EXPECT_EQ(C1_Time_Stamps[k], C4_Time_Stamps[k]) << k;
        EXPECT_EQ(Time_Stamps_default[k], k * 1e-12) << k;
    }
    for (int k = 0; k < 751; ++k) {
        EXPECT_EQ(Orvex_TX_AMI_01142014_Time_Stamps[k], k * 2e-12) << k;
    }
    EXPECT_DOUBLE_EQ(Orvex_TX_AMI_01142014_Time_Stamps[750], 1.5e-9);
}

TEST(KnownValues, SelectorDefaultSignChangesAndArea) {
    const std::vector<double> h = SelectorDefaultTable().Column(0);
    std::vector<std::size_t> changes;
    for (std::size_t k = 0; k + 1 < h.size(); ++k) {
        if ((h[k] < 0.0) != (h[k + 1] < 0.0) || h[k] == 0.0) changes.push_back(k);
    }
    EXPECT_EQ(changes, (std::vector<std::size_t>{18, 64, 453}));
    ExpectAbout(Area(h, 1e-12), "2.286", "default area");
}

TEST(KnownValues, TransmitterAreas) {
    const TableView tx = TransmitterTable();
    const char* by_vod[] = {"0.610", "0.714", "0.817", "0.921", "1.025", "1.127", "1.228", "1.325"};
    const char* by_de_coarse[] = {"0.610", "0.584", "0.521", "0.459", "0.416", "0.362", "0.310", "0.226"};
    const char* by_de_fine[] = {"0.611", "0.600", "0.576", "0.552", "0.534", "0.509", "0.484", "0.442"};
    for (int i = 0; i < 8; ++i) {
        ExpectAbout(Area(tx.Column(TxColumn(0, 0, i)), tx.step), by_vod[i], "area DE 0 VOD " + std::to_string(i));
        ExpectAbout(Area(tx.Column(TxColumn(0, i, 0)), tx.step), by_de_coarse[i],
                    "area range 0 DE " + std::to_string(i));
        ExpectAbout(Area(tx.Column(TxColumn(1, i, 0)), tx.step), by_de_fine[i],
                    "area range 1 DE " + std::to_string(i));
    }
    ExpectAbout(Area(tx.Column(127), tx.step), "0.626", "area of column 127");
}

TEST(KnownValues, TransmitterPeaks) {
    const TableView tx = TransmitterTable();
    const std::vector<double> first = tx.Column(0);
    EXPECT_EQ(ArgMax(first), 34u);
    ExpectAbout(first[34], "1.737e10", "peak of column 0");
    ExpectAbout(first[ArgMax(first)], "1.74e10", "peak at VOD 0");
    const std::vector<double> widest = tx.Column(TxColumn(0, 0, 7));
    ExpectAbout(widest[ArgMax(widest)], "3.46e10", "peak at VOD 7");
    double previous = 0.0;
    for (int vod = 0; vod < 8; ++vod) {
        const std::vector<double> h = tx.Column(TxColumn(0, 0, vod));
        EXPECT_GT(h[ArgMax(h)], previous) << "peak grows with VOD, " << vod;
        previous = h[ArgMax(h)];
    }
    for (int de_range = 0; de_range < 2; ++de_range) {
        for (int de = 0; de < 8; ++de) {
            const std::vector<double> h = tx.Column(TxColumn(de_range, de, 0));
            EXPECT_NEAR(h[ArgMax(h)], 2e10, 0.2 * 2e10) << "range " << de_range << " DE " << de;
        }
    }
}

TEST(KnownValues, EveryTransmitterColumnEndsAtZero) {
    const TableView tx = TransmitterTable();
    for (std::size_t n = 0; n < tx.columns; ++n) {
        EXPECT_EQ(tx.Column(n)[750], 0.0) << n;
    }
}

TEST(KnownValues, EqualiserLowFrequencyGain) {
    for (const TableView& bank : EqualiserBanks()) {
        for (std::size_t c = 0; c < bank.columns; ++c) {
            const double gain = Area(bank.Column(c), bank.step);
            EXPECT_GE(gain, 1.13) << bank.name << " setting " << c + 1;
            EXPECT_LE(gain, 1.39) << bank.name << " setting " << c + 1;
        }
    }
}
