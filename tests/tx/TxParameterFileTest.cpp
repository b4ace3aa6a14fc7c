// The kit's parameter file, read with the model's own parser, against the
// schematic it describes: the reserved parameters, the four settings with
// the model's types and defaults, and ranges that span the response table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AmiParamParser.h"
#include "KitParameterFile.h"
#include "Orvex_TX_AMI_01142014.h"
#include "TxParameters.h"

namespace {

const std::string kRoot = "Orvex_TX_AMI_01142014";

class TxParameterFile : public ::testing::Test, protected KitParameterFile {
protected:
    TxParameterFile() : KitParameterFile(kRoot) {}

    const Orvex_TX_AMI_01142014 model;
};

TEST_F(TxParameterFile, ParsesUnderTheModelsRootWithTheReservedParameters) {
    ASSERT_FALSE(text.empty());
    ASSERT_TRUE(parser.IsValid());
    const BRANCH_STRUCT* root = static_cast<const BRANCH_STRUCT*>(parser.GetTree()->pNodes[0].pNode);
    EXPECT_EQ(std::string(root->pszName), kRoot);
    EXPECT_FALSE(Value("Reserved_Parameters.AMI_Version.Value").empty());
    EXPECT_EQ(Value("Reserved_Parameters.Init_Returns_Impulse.Value"), "True");
    EXPECT_EQ(Value("Reserved_Parameters.GetWave_Exists.Value"), "False");
    EXPECT_EQ(Value("Reserved_Parameters.Modulation.Value"), "NRZ");
    // Hosts pass crosstalk columns only up to the declared count, and the
    // model shapes any number of them.
    EXPECT_EQ(Value("Reserved_Parameters.Max_Init_Aggressors.Type"), "Integer");
    const std::vector<double> aggressors = Numbers("Reserved_Parameters.Max_Init_Aggressors.Value");
    ASSERT_EQ(aggressors.size(), 1u);
    EXPECT_GE(aggressors[0], 8.0);
}

TEST_F(TxParameterFile, DeclaresExactlyTheFourSettingsWithTheModelsTypesAndDefaults) {
    std::set<std::string> declared;
    for (int i = 0; i < parser.GetTree()->iNumNodes; ++i) {
        const NODE_STRUCT& node = parser.GetTree()->pNodes[i];
        if (node.iLevel == 3 && node.enumNodeType == NODE_TYPE_BRANCH) {
            declared.insert(static_cast<const BRANCH_STRUCT*>(node.pNode)->pszName);
        }
    }
    // Level 3 holds the reserved parameters and the settings.
    const std::set<std::string> expected = {"AMI_Version", "Init_Returns_Impulse", "GetWave_Exists", "Modulation",
                                            "Max_Init_Aggressors", "DE", "VOD", "gain", "DE_range"};
    EXPECT_EQ(declared, expected);

    for (const char* name : {"DE", "VOD", "gain", "DE_range"}) {
        EXPECT_EQ(Value(std::string("Model_Specific.") + name + ".Usage"), "In") << name;
    }
    EXPECT_EQ(Value("Model_Specific.DE.Type"), "Integer");
    EXPECT_EQ(Value("Model_Specific.VOD.Type"), "Integer");
    EXPECT_EQ(Value("Model_Specific.gain.Type"), "Float");
    EXPECT_EQ(Value("Model_Specific.DE_range.Type"), "Float");

    ASSERT_EQ(Numbers("Model_Specific.DE.Range").size(), 3u);
    EXPECT_EQ(Numbers("Model_Specific.DE.Range")[0], model.DE);
    ASSERT_EQ(Numbers("Model_Specific.VOD.Range").size(), 3u);
    EXPECT_EQ(Numbers("Model_Specific.VOD.Range")[0], model.VOD);
    ASSERT_EQ(Numbers("Model_Specific.gain.Range").size(), 3u);
    EXPECT_EQ(Numbers("Model_Specific.gain.Range")[0], model.gain);
    ASSERT_EQ(Numbers("Model_Specific.DE_range.Default").size(), 1u);
    EXPECT_EQ(Numbers("Model_Specific.DE_range.Default")[0], model.DE_range);
    EXPECT_EQ(Values("Model_Specific.DE_range.List_Tip").size(), Values("Model_Specific.DE_range.List").size());
    EXPECT_EQ(ListsNotLedByTheirDefault(), std::vector<std::string>{});
}

// Every setting the file allows picks a response of its own, and together
// they pick every response of the table once.
TEST_F(TxParameterFile, RangesSpanTheResponseTableOncePerCombination) {
    const std::vector<double> de = Numbers("Model_Specific.DE.Range");
    const std::vector<double> vod = Numbers("Model_Specific.VOD.Range");
    const std::vector<double> ranges = Numbers("Model_Specific.DE_range.List");
    ASSERT_EQ(de.size(), 3u);
    ASSERT_EQ(vod.size(), 3u);
    ASSERT_FALSE(ranges.empty());

    std::set<size_t> columns;
    size_t combinations = 0;
    for (double range : ranges) {
        for (int d = static_cast<int>(de[1]); d <= static_cast<int>(de[2]); ++d) {
            for (int v = static_cast<int>(vod[1]); v <= static_cast<int>(vod[2]); ++v) {
                Orvex_TX_AMI_01142014 chosen;
                chosen.DE = d;
                chosen.VOD = v;
                chosen.DE_range = range;
                chosen.Setup();
                ++combinations;
                // The selector falls back to the first response for numbers
                // outside the table; a valid setting never needs that.
                ASSERT_GE(chosen.ResponseIndex, 1.0);
                ASSERT_LE(chosen.ResponseIndex, chosen.ResponseSelector.Num_Responses);
                columns.insert(chosen.ResponseSelector.SelectedColumn());
            }
        }
    }
    EXPECT_EQ(combinations, 128u);
    EXPECT_EQ(columns.size(), 128u);
    const std::vector<double> gain = Numbers("Model_Specific.gain.Range");
    ASSERT_EQ(gain.size(), 3u);
    EXPECT_LE(gain[1], gain[0]);
    EXPECT_LE(gain[0], gain[2]);
}

// What a simulator sends when the user changes nothing reads back without a
// message and leaves the model as constructed.
TEST_F(TxParameterFile, TheFilesDefaultsSentBackLoadSilentlyAsTheModelsOwn) {
    const std::string sent = "(" + kRoot + " (DE " + Values("Model_Specific.DE.Range")[0] + ") (VOD " +
                             Values("Model_Specific.VOD.Range")[0] + ") (gain " +
                             Values("Model_Specific.gain.Range")[0] + ") (DE_range " +
                             Values("Model_Specific.DE_range.Default")[0] + "))";
    Orvex_TX_AMI_01142014 loaded;
    loaded.DE = loaded.VOD = -1;
    loaded.gain = loaded.DE_range = -1.0;
    std::string message;
    Orvex::LoadTxParameters(loaded, sent.c_str(), message);
    EXPECT_EQ(message, "") << sent;
    EXPECT_EQ(loaded.DE, model.DE);
    EXPECT_EQ(loaded.VOD, model.VOD);
    EXPECT_EQ(loaded.gain, model.gain);
    EXPECT_EQ(loaded.DE_range, model.DE_range);
}

}  // namespace
