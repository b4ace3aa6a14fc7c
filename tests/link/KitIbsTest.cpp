// The kit's IBIS file: its keywords, its pins and models, and the files its
// [Algorithmic Model] sections name, all present in the kit folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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
    // [Model] -> I-V table keyword -> rows of voltage, I(typ), I(min), I(max)
    std::map<std::string, std::map<std::string, std::vector<std::vector<double>>>> tables;
    std::map<std::string, std::vector<double>> voltageRanges;  // [Model] -> typ, min, max
};

// A number with an IBIS scale suffix (1.5mA, 20.0ps, 0.950V).
double IbisNumber(const std::string& word) {
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    switch (*end) {
        case 'm': return value * 1e-3;
        case 'u': return value * 1e-6;
        case 'n': return value * 1e-9;
        case 'p': return value * 1e-12;
        case 'k': return value * 1e3;
        default: return value;
    }
}

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
            if (keyword == "[Voltage Range]" && words.size() == 5) {
                ibs.voltageRanges[model] = {IbisNumber(words[2]), IbisNumber(words[3]), IbisNumber(words[4])};
            }
            continue;
        }
        if (keyword == "[Pin]" && words.size() >= 3) ibs.pinModels.push_back(words[2]);
        if (keyword == "[Model]" && words[0] == "Model_type") ibs.modelTypes[model] = words[1];
        if (keyword == "[Model]" && words[0] == "C_comp") ibs.modelKeywords[model].insert("C_comp");
        const bool table = keyword == "[Pulldown]" || keyword == "[Pullup]" || keyword == "[GND Clamp]" ||
                           keyword == "[POWER Clamp]";
        if (table && words.size() == 4) {
            std::vector<double> row;
            for (const std::string& word : words) row.push_back(IbisNumber(word));
            ibs.tables[model][keyword].push_back(row);
        }
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
    // Both models for 64-bit Linux and Windows, the transmitter for 32-bit
    // Windows too: the five files of the complete kit.
    std::set<std::string> named;
    for (const std::vector<std::string>& executable : ibs.executables) named.insert(executable[0] + " " + executable[1]);
    EXPECT_EQ(named, (std::set<std::string>{"Linux_gcc_64 Orvex_RX_AMI_05272013.so",
                                            "Linux_gcc_64 Orvex_TX_AMI_01142014.so",
                                            "Windows_VisualStudio_64 Orvex_RX_AMI_05272013_x64.dll",
                                            "Windows_VisualStudio_64 Orvex_TX_AMI_01142014_x64.dll",
                                            "Windows_VisualStudio_32 Orvex_TX_AMI_01142014.dll"}));
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

// The current into a pin at `volts` from one I-V table and corner (1 typ,
// 2 min, 3 max), interpolated linearly between its rows.
double TableCurrent(const std::vector<std::vector<double>>& rows, double volts, size_t corner) {
    for (size_t i = 1; i < rows.size(); ++i) {
        if (volts <= rows[i][0] || i + 1 == rows.size()) {
            const double share = (volts - rows[i - 1][0]) / (rows[i][0] - rows[i - 1][0]);
            return rows[i - 1][corner] + share * (rows[i][corner] - rows[i - 1][corner]);
        }
    }
    return std::nan("");
}

// What a host derives from the I-V data inside the supply range, corner by
// corner: the receiver's clamp tables together are a 50 ohm termination per
// leg to mid-supply (a tenth off at the slow and fast corners), and the
// driver's pulldown and pullup are 50 ohm per leg each.
TEST(KitIbs, TablesHoldTheFiftyOhmPerLegTerminationAndDriver) {
    const IbsFile& ibs = Kit();
    ASSERT_EQ(ibs.tables.count("orvex_rx"), 1u);
    ASSERT_EQ(ibs.tables.count("orvex_tx"), 1u);
    const std::map<std::string, std::vector<std::vector<double>>>& rx = ibs.tables.at("orvex_rx");
    const std::map<std::string, std::vector<std::vector<double>>>& tx = ibs.tables.at("orvex_tx");
    ASSERT_TRUE(rx.count("[GND Clamp]") && rx.count("[POWER Clamp]"));
    ASSERT_TRUE(tx.count("[Pulldown]") && tx.count("[Pullup]"));
    const char* names[] = {"", "typ", "min", "max"};
    for (size_t corner = 1; corner <= 3; ++corner) {
        const double supply = ibs.voltageRanges.at("orvex_rx").at(corner - 1);
        // Powered pins: the GND clamp from ground, the POWER clamp from the supply.
        auto current = [&](double volts) {
            return TableCurrent(rx.at("[GND Clamp]"), volts, corner) +
                   TableCurrent(rx.at("[POWER Clamp]"), supply - volts, corner);
        };
        const double tolerance = corner == 1 ? 0.5 : 5.5;
        EXPECT_NEAR(current(supply / 2), 0.0, 1e-6) << names[corner] << ": no current at mid-supply";
        for (double low = 0.0; low < 0.9 * supply; low += 0.1 * supply) {
            const double high = low + 0.1 * supply;
            EXPECT_NEAR((high - low) / (current(high) - current(low)), 50.0, tolerance)
                << names[corner] << " receiver, from " << low << " V";
        }
        for (const char* driver : {"[Pulldown]", "[Pullup]"}) {
            const double slope = TableCurrent(tx.at(driver), 0.5, corner) - TableCurrent(tx.at(driver), 0.0, corner);
            EXPECT_NEAR(std::fabs(0.5 / slope), 50.0, tolerance) << names[corner] << " driver " << driver;
        }
    }
}

}  // namespace
