// The transmitter schematic driven the way AMI_Init drives it, one column at
// a time: which response the settings select, the gain, and that building
// the taps once per column changes no output bit. What the library returns
// for a unit sample is checked against the table by the loader tests.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "Orvex_TX_AMI_01142014.h"

namespace {

// One full Setup, Initialize, Run per sample, Finalize cycle over column.
bool ShapeColumn(Orvex_TX_AMI_01142014& model, std::vector<double>& column) {
    double in = 0.0, out = 0.0;
    model.WaveIn.SetBuffer(&in, 1, 1, 0);
    model.WaveOut.SetBuffer(&out, 1, 1, 0);
    bool ok = model.Setup() && model.Initialize();
    for (size_t i = 0; ok && i < column.size(); ++i) {
        in = column[i];
        ok = model.Run();
        column[i] = out;
    }
    ok = model.Finalize() && ok;
    model.WaveIn.SetBuffer(nullptr, 0, 0, 0);
    model.WaveOut.SetBuffer(nullptr, 0, 0, 0);
    return ok;
}

TEST(TxSchematic, SettingsChooseColumn64TimesDERangePlus8TimesDEPlusVOD) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        int de, vod;
        double range;
        size_t column;
    } cases[] = {
        {7, 7, 1.0, 127},  // the defaults
        {0, 0, 0.0, 0},
        {3, 5, 0.0, 29},
        {2, 6, 1.0, 86},
        {0, 0, 0.5, 32},        // index 33.0
        {0, 0, 2.0, 0},         // beyond the table
        {8, 0, 1.0, 0},         // number 129
        {0, -1, 0.0, 0},        // number 0
        {0, 3, -0.01, 2},       // number 3.36, truncated
        {INT_MAX, 0, 0.0, 0},   // no int overflow on the way
        {0, 0, 1e300, 0},       // beyond the int range
        {0, 0, nan, 0},
    };
    for (const auto& c : cases) {
        Orvex_TX_AMI_01142014 model;
        model.DE = c.de;
        model.VOD = c.vod;
        model.DE_range = c.range;
        EXPECT_TRUE(model.Setup());
        EXPECT_EQ(model.ResponseSelector.SelectedColumn(), c.column)
            << "DE " << c.de << " VOD " << c.vod << " DE_range " << c.range;
        EXPECT_TRUE(model.Finalize());
    }
}

TEST(TxSchematic, GainZeroSilencesAndGainMinusOneNegates) {
    std::vector<double> input(700);
    for (size_t i = 0; i < input.size(); ++i) input[i] = std::sin(0.05 * i) + (i % 7 == 0 ? 1.0 : 0.0);
    std::vector<double> plain = input, negated = input, silenced = input;
    Orvex_TX_AMI_01142014 model;
    ASSERT_TRUE(ShapeColumn(model, plain));
    model.gain = -1.0;
    ASSERT_TRUE(ShapeColumn(model, negated));
    model.gain = 0.0;
    ASSERT_TRUE(ShapeColumn(model, silenced));
    for (size_t i = 0; i < input.size(); ++i) {
        ASSERT_EQ(negated[i], -plain[i]) << i;
        ASSERT_EQ(silenced[i], 0.0) << i;
    }
    EXPECT_NE(plain, input);
}

// Compared bit for bit, not-a-number included.
bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(TxSchematic, TapsBuiltOncePerColumnGiveTheOutputOfRebuildingThemBeforeEveryFiring) {
    std::vector<double> input(600);
    for (size_t i = 0; i < input.size(); ++i) input[i] = std::cos(0.3 * i) * std::exp(-0.004 * i);
    input[450] = std::numeric_limits<double>::quiet_NaN();
    for (const int samplesPerBit : {32, 13}) {
        std::vector<double> once = input, everyFiring = input;
        Orvex_TX_AMI_01142014 model;
        model.SamplesPerBit = samplesPerBit;
        model.DE = 3;
        ASSERT_TRUE(ShapeColumn(model, once));
        model.ResponseSelector.RebuildTapsEveryFiring = true;
        ASSERT_TRUE(ShapeColumn(model, everyFiring));
        EXPECT_TRUE(SameBits(once, everyFiring)) << samplesPerBit << " samples per bit";
    }
}

}  // namespace
