// The kit's data sheet against the tables it is drawn from, its figures
// computed here independently: each CTLE level's DC gain and boost at
// 5 GHz, each transmitter setting's DC gain, and its pulse, one bit of
// 0.5 V at 10 Gb/s, whose area is therefore 0.5 V x 100 ps x the DC gain.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ProgramOutput.h"
#include "TableView.h"

namespace {

// Rows of a sheet's CSV ("setting,quantity,x,value"): [setting][quantity]
// holds the (x, value) pairs in file order.
typedef std::map<int, std::map<std::string, std::vector<std::pair<double, double>>>> SheetRows;

SheetRows ReadSheet(const std::string& path) {
    SheetRows rows;
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);  // the header
    while (std::getline(file, line)) {
        const size_t a = line.find(','), b = line.find(',', a + 1), c = line.find(',', b + 1);
        if (c == std::string::npos) continue;
        rows[std::stoi(line.substr(0, a))][line.substr(a + 1, b - a - 1)].push_back(
            {std::stod(line.substr(b + 1, c - b - 1)), std::stod(line.substr(c + 1))});
    }
    return rows;
}

double Only(const SheetRows& rows, int setting, const std::string& quantity) {
    const auto& values = rows.at(setting).at(quantity);
    EXPECT_EQ(values.size(), 1u) << quantity;
    return values.front().second;
}

class DataSheet : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testing::TempDir() + "datasheet_" + std::to_string(getpid());
        status = std::system((std::string(ORVEX_DATASHEET_PROGRAM) + " '" + folder + "'").c_str());
    }
    void SetUp() override { ASSERT_EQ(status, 0) << "orvex-datasheet failed"; }

    static std::string folder;
    static int status;
};
std::string DataSheet::folder;
int DataSheet::status = -1;

TEST_F(DataSheet, CtleFiguresAreTheTables) {
    const std::vector<std::string> names = {"ctle_dwdm0", "ctle_dwdm1"};  // C4, then C1
    const std::vector<TableView> banks = EqualiserBanks();
    for (size_t b = 0; b < banks.size(); ++b) {
        EXPECT_GE(PngWidth(folder + "/" + names[b] + ".png"), 1000u) << names[b];
        const SheetRows rows = ReadSheet(folder + "/" + names[b] + ".csv");
        ASSERT_EQ(rows.size(), banks[b].columns) << names[b];
        for (size_t level = 0; level < banks[b].columns; ++level) {
            const std::vector<double> h = banks[b].Column(level);
            const double dc = 20.0 * std::log10(Area(h, banks[b].step));
            const double boost = 20.0 * std::log10(Magnitude(h, banks[b].step, 5e9)) - dc;
            const int at = int(level);
            EXPECT_NEAR(Only(rows, at, "dc_gain_db"), dc, 1e-6) << names[b] << " EQ_Level " << level;
            EXPECT_NEAR(Only(rows, at, "boost_db"), boost, 1e-6) << names[b] << " EQ_Level " << level;
            // The curve drawn passes through the figures.
            for (const auto& point : rows.at(at).at("magnitude_db")) {
                if (point.first == 0.0) {
                    EXPECT_NEAR(point.second, dc, 1e-6);
                } else if (point.first == 5e9) {
                    EXPECT_NEAR(point.second, dc + boost, 1e-6);
                }
            }
        }
    }
}

TEST_F(DataSheet, TransmitterPagesHoldEverySetting) {
    const TableView table = TransmitterTable();
    const double unitInterval = 100e-12;
    for (int range = 0; range < 2; ++range) {
        for (int vod = 0; vod < 8; ++vod) {
            const std::string name = "tx_vod" + std::to_string(vod) + "_range" + std::to_string(range);
            EXPECT_GE(PngWidth(folder + "/" + name + ".png"), 1000u) << name;
            const SheetRows rows = ReadSheet(folder + "/" + name + ".csv");
            ASSERT_EQ(rows.size(), 8u) << name;
            for (int de = 0; de < 8; ++de) {
                const double area = Area(table.Column(size_t(64 * range + 8 * de + vod)), table.step);
                EXPECT_NEAR(Only(rows, de, "dc_gain_db"), 20.0 * std::log10(area), 1e-6) << name << " DE " << de;
                double pulseArea = 0.0;
                for (const auto& point : rows.at(de).at("pulse_v")) pulseArea += point.second * table.step;
                EXPECT_NEAR(pulseArea, 0.5 * unitInterval * area, 0.005 * 0.5 * unitInterval * area)
                    << name << " DE " << de;
            }
        }
    }
}

}  // namespace
