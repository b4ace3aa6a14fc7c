// The kit's IBIS file: its keywords, its pins and models, and the files its
// [Algorithmic Model] sections name, all present in the kit folder.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kKit = TESSEL_KIT_DIR;

struct IbsFile {
    std::vector<std::string> keywords;                 // in order
    std::map<std::string, std::string> modelTypes;     // [Model] -> Model_type
    std::map<std::string, std::set<std::string>> modelKeywords;
    std::vector<std::string> pinModels;
    std::vector<std::vector<std::string>> executables;  // platform, library, .ami
    std::string fileName;
};

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line.substr(0, line.find('|')));
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

IbsFile ReadIbs(const std::string& path) {
    IbsFile ibs;
    std::ifstream file(path);
    std::string line, keyword, model;
    while (std::getline(file, line)) {
        const std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        if (line[0] == '[') {
            keyword = line.substr(0, line.find(']') + 1);
            ibs.keywords.push_back(keyword);
            if (keyword == "[Model]") model = words[1];
            else if (!model.empty()) ibs.modelKeywords[model].insert(keyword);
            if (keyword == "[File Name]") ibs.fileName = words[2];
            continue;
        }
        if (keyword == "[Pin]" && words.size() >= 3) ibs.pinModels.push_back(words[2]);
        if (keyword == "[Model]" && words[0] == "Model_type") ibs.modelTypes[model] = words[1];
        if (keyword == "[Model]" && words[0] == "C_comp") ibs.modelKeywords[model].insert("C_comp");
        if (keyword == "[Algorithmic Model]" && words[0] == "Executable" && words.size() == 4) {
            ibs.executables.push_back({words[1], words[2], words[3]});
        }
    }
    return ibs;
}

const IbsFile& Kit() {
    static const IbsFile ibs = ReadIbs(kKit + "/orvex_retimer.ibs");
    return ibs;
}

TEST(KitIbs, HasTheKeywordsOfAComponentWithATransmitterAndAReceiver) {
    const IbsFile& ibs = Kit();
    ASSERT_FALSE(ibs.keywords.empty()) << "no " << kKit << "/orvex_retimer.ibs";
    EXPECT_EQ(ibs.keywords.front(), "[IBIS Ver]");
    EXPECT_EQ(ibs.keywords.back(), "[End]");
    EXPECT_EQ(ibs.fileName, "orvex_retimer.ibs");
    const std::set<std::string> present(ibs.keywords.begin(), ibs.keywords.end());
    for (const char* keyword : {"[File Name]", "[File Rev]", "[Date]", "[Source]", "[Notes]", "[Disclaimer]",
                                "[Copyright]", "[Component]", "[Manufacturer]", "[Package]", "[Pin]", "[Diff Pin]"}) {
        EXPECT_EQ(present.count(keyword), 1u) << keyword;
    }
    EXPECT_EQ(ibs.modelTypes.at("orvex_tx"), "Output");
    EXPECT_EQ(ibs.modelTypes.at("orvex_rx"), "Input");
    const std::set<std::string>& tx = ibs.modelKeywords.at("orvex_tx");
    for (const char* keyword : {"C_comp", "[Voltage Range]", "[Pulldown]", "[Pullup]", "[Ramp]", "[Algorithmic Model]",
                                "[End Algorithmic Model]"}) {
        EXPECT_EQ(tx.count(keyword), 1u) << "orvex_tx " << keyword;
    }
    const std::set<std::string>& rx = ibs.modelKeywords.at("orvex_rx");
    for (const char* keyword : {"C_comp", "[Voltage Range]", "[GND Clamp]", "[POWER Clamp]", "[Algorithmic Model]",
                                "[End Algorithmic Model]"}) {
        EXPECT_EQ(rx.count(keyword), 1u) << "orvex_rx " << keyword;
    }
    for (const std::string& model : ibs.pinModels) {
        EXPECT_TRUE(model == "POWER" || model == "GND" || ibs.modelTypes.count(model)) << model;
    }
}

bool BuiltHere(const std::string& file) {
    const std::string built = std::string(",") + LINK_KIT_MODELS + ",";
    return built.find("," + file.substr(0, file.find('.')) + ",") != std::string::npos;
}

// The Windows DLL comes from the cross build (scripts/build-windows.sh); a
// model this tree does not build yet has neither library nor .ami file.
TEST(KitIbs, NamesOnlyFilesTheKitHolds) {
    const IbsFile& ibs = Kit();
    ASSERT_EQ(ibs.executables.size(), 3u);
    std::vector<std::string> skipped;
    for (const std::vector<std::string>& executable : ibs.executables) {
        for (size_t i = 1; i < executable.size(); ++i) {
            const std::string& name = executable[i];
            const bool exists = std::ifstream(kKit + "/" + name).good();
            const bool dll = name.size() > 4 && name.substr(name.size() - 4) == ".dll";
            if (!exists && (dll || !BuiltHere(name))) {
                skipped.push_back(name + (dll ? " (scripts/build-windows.sh builds it)" : " (its model is not in this tree yet)"));
                continue;
            }
            EXPECT_TRUE(exists) << kKit << "/" << name << " (" << executable[0] << ")";
        }
    }
    if (!skipped.empty()) {
        std::string list;
        for (const std::string& name : skipped) list += (list.empty() ? "" : ", ") + name;
        GTEST_SKIP() << "not in the kit folder: " << list;
    }
}

}  // namespace
