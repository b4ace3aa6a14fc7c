// The kit's receiver parameter file, read with the model's own parser,
// against the schematic it describes: the reserved parameters, the eleven
// settings with the schematic's defaults and ranges the blocks support, and
// an Ignore_Bits that outlasts the longest adaptation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AmiParamParser.h"
#include "KitParameterFile.h"
#include "Orvex_RX_AMI_05272013.h"

namespace {

const std::string kRoot = "Orvex_RX_AMI_05272013";

class RxParameterFile : public ::testing::Test, protected KitParameterFile {
protected:
    RxParameterFile() : KitParameterFile(kRoot) {}

    // Range typ min max: the default first; List v... with its Default.
    struct Setting {
        double typical;
        double lowest;
        double highest;
    };
    Setting Declared(const std::string& name) const {
        const std::string path = "Model_Specific." + name + ".";
        const std::vector<double> range = Numbers(path + "Range");
        if (range.size() == 3) return {range[0], range[1], range[2]};
        const std::vector<double> list = Numbers(path + "List");
        const std::vector<double> typical = Numbers(path + "Default");
        if (list.empty() || typical.size() != 1) return {std::nan(""), 0, 0};
        Setting setting{typical[0], list[0], list[0]};
        for (double v : list) {
            setting.lowest = std::fmin(setting.lowest, v);
            setting.highest = std::fmax(setting.highest, v);
        }
        return setting;
    }

};

TEST_F(RxParameterFile, ParsesUnderTheModelsRootWithTheReservedParameters) {
    ASSERT_FALSE(text.empty());
    ASSERT_TRUE(parser.IsValid());
    const BRANCH_STRUCT* root = static_cast<const BRANCH_STRUCT*>(parser.GetTree()->pNodes[0].pNode);
    EXPECT_EQ(std::string(root->pszName), kRoot);
    EXPECT_EQ(Value("Reserved_Parameters.AMI_Version.Value"), "7.1");
    EXPECT_EQ(Value("Reserved_Parameters.Init_Returns_Impulse.Value"), "False");
    EXPECT_EQ(Value("Reserved_Parameters.GetWave_Exists.Value"), "True");
    EXPECT_EQ(Value("Reserved_Parameters.Modulation.Value"), "NRZ");
    EXPECT_EQ(Value("Reserved_Parameters.Ignore_Bits.Type"), "Integer");
}

TEST_F(RxParameterFile, DeclaresTheElevenSettingsWithTheSchematicsDefaults) {
    std::set<std::string> declared;
    for (int i = 0; i < parser.GetTree()->iNumNodes; ++i) {
        const NODE_STRUCT& node = parser.GetTree()->pNodes[i];
        if (node.iLevel == 3 && node.enumNodeType == NODE_TYPE_BRANCH) {
            declared.insert(static_cast<const BRANCH_STRUCT*>(node.pNode)->pszName);
        }
    }
    const std::set<std::string> expected = {
        "AMI_Version", "Init_Returns_Impulse", "GetWave_Exists", "Modulation", "Ignore_Bits",  // reserved
        "EQ_Level",    "DWDM_mode",            "Rx_config",      "DFEtap1",    "DFEtap2",     "DFEtap3",
        "DFEtap4",     "DFEtap5",              "DFEAdapt",       "CTLEAdapt",  "EOM_window"};
    EXPECT_EQ(declared, expected);

    const Orvex_RX_AMI_05272013 model;
    const struct {
        const char* name;
        double schematicDefault;
    } settings[] = {{"EQ_Level", model.EQ_Level},   {"DWDM_mode", model.DWDM_mode}, {"Rx_config", model.Rx_config},
                    {"DFEtap1", model.DFEtap1},     {"DFEtap2", model.DFEtap2},     {"DFEtap3", model.DFEtap3},
                    {"DFEtap4", model.DFEtap4},     {"DFEtap5", model.DFEtap5},     {"DFEAdapt", model.DFEAdapt},
                    {"CTLEAdapt", model.CTLEAdapt}, {"EOM_window", model.EOM_window}};
    for (const auto& setting : settings) {
        const std::string path = std::string("Model_Specific.") + setting.name + ".";
        EXPECT_EQ(Value(path + "Usage"), "In") << setting.name;
        EXPECT_EQ(Value(path + "Type"), "Integer") << setting.name;
        const Setting declaredSetting = Declared(setting.name);
        EXPECT_EQ(declaredSetting.typical, setting.schematicDefault) << setting.name;
        EXPECT_LE(declaredSetting.lowest, declaredSetting.typical) << setting.name;
        EXPECT_GE(declaredSetting.highest, declaredSetting.typical) << setting.name;
    }
    EXPECT_EQ(ListsNotLedByTheirDefault(), std::vector<std::string>{});
}

// What the blocks can do: one EQ_Level per response of the larger bank,
// fixed taps as far as the adaptation may take them, both selectors' inputs.
TEST_F(RxParameterFile, RangesAreWhatTheBlocksSupport) {
    Orvex_RX_AMI_05272013 model;
    model.Setup();
    const Setting eqLevel = Declared("EQ_Level");
    EXPECT_EQ(eqLevel.lowest, 0);
    EXPECT_EQ(eqLevel.highest, model.Subnetwork1.C4.Num_Responses - 1);
    for (const char* selector : {"DWDM_mode", "Rx_config", "DFEAdapt", "CTLEAdapt"}) {
        EXPECT_EQ(Declared(selector).lowest, 0) << selector;
        EXPECT_EQ(Declared(selector).highest, 1) << selector;
    }
    model.Initialize();
    for (int k = 0; k < Adapt_custom::kNumTaps; ++k) {
        const std::string name = "DFEtap" + std::to_string(k + 1);
        const double steps = model.Adapt.TapMax[k] / model.Adapt.TapStep;
        EXPECT_DOUBLE_EQ(Declared(name).highest, steps) << name;
        EXPECT_DOUBLE_EQ(Declared(name).lowest, -steps) << name;
    }
    EXPECT_GE(Declared("EOM_window").lowest, 1);
}

// The longest adaptation with the default settings at 32 samples per bit:
// the start delay, then per measurement a wait for the next clock period, the
// window, two firings of handshake and the rearm delay; the CTLE search
// measures every response, each DFE tap takes at most a trial step, the step
// that reverses it and one step per code to its limit, and a last tap that
// ends at its limit is followed by one more measurement.
TEST_F(RxParameterFile, IgnoreBitsOutlastTheLongestAdaptation) {
    Orvex_RX_AMI_05272013 model;
    model.Setup();
    model.Initialize();
    const double samplesPerBit = model.SamplesPerBit;
    const double measurementBits =
        1 + model.EOM_window + (2 + static_cast<double>(Orvex_RX_AMI_05272013::kRearmDelayFirings)) / samplesPerBit;
    double measurements = model.Subnetwork1.C4.Num_Responses + 1;
    for (int k = 0; k < Adapt_custom::kNumTaps; ++k) {
        measurements += 2 + std::round(model.Adapt.TapMax[k] / model.Adapt.TapStep);
    }
    const double longest = Orvex_RX_AMI_05272013::kAdaptStartClocks + 1 + measurements * measurementBits;
    const std::vector<double> ignoreBits = Numbers("Reserved_Parameters.Ignore_Bits.Value");
    ASSERT_EQ(ignoreBits.size(), 1u);
    EXPECT_GE(ignoreBits[0], longest);
    EXPECT_LT(ignoreBits[0], longest + 1000) << "not needlessly long";
}

}  // namespace
