// IBIS files read as a host reads them for an IBIS-AMI link: the kit's own
// and a small one that uses the corners of the format.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "IbisFile.h"
#include "IbisPlausibility.h"
#include "Scratch.h"

using namespace linksim;

namespace {

// Two drivers and an I/O, a comment character of its own, 100 ohm clamp
// slopes (50 ohm to mid-supply) and a 40 ohm driver.
const char* const kSmallIbs = R"([IBIS Ver] 5.0
[Comment Char] #_char
[File Name] small.ibs
[Component] small   # a comment
[Package]
R_pkg 0.2 NA NA
L_pkg 2nH NA NA
C_pkg 500fF NA NA
[Pin] signal_name model_name
A1 DATA_P drv
A2 DATA_N drv
B1 IN_P io
C1 SPARE drv2
[Model] drv
Model_type Output
C_comp = 1.5pF 1p 2p
[Voltage Range] 1.2V 1.1V 1.3V
[Pulldown]
-1.2 -30m -30m -30m
1.2 30mA 30m 30m
[Pullup]
-1.2 30m 30m 30m
1.2 -30m -30m -30m
[Algorithmic Model]
Executable Windows_VisualStudio_32 drv.dll drv.ami
Executable Linux_gcc_64 drv.so drv.ami
[End Algorithmic Model]
[Model] drv2
Model_type Output
[Algorithmic Model]
Executable Windows_VisualStudio_32 drv2.dll drv2.ami
[End Algorithmic Model]
[Model] io
Model_type I/O
C_comp 0.3pF
[Voltage Range] 1.0
[GND Clamp]
-1.0 -10mA
1.0 10mA
[POWER Clamp]
-1.0 10mA
1.0 -10mA
[Algorithmic Model]
Executable Linux_gcc_64 io.so io.ami
[End Algorithmic Model]
[End]
)";

}  // namespace

TEST(IbisFileTest, ReadsTheKitsBuffersAndExecutables) {
    IbisFile file;
    std::string error;
    ASSERT_TRUE(ReadIbisFile(TESSEL_SOURCE_DIR "/kit/orvex_retimer.ibs", file, error)) << error;
    EXPECT_NEAR(file.packageOhms, 0.1, 1e-12);
    EXPECT_NEAR(file.packageHenries, 1e-9, 1e-21);
    EXPECT_NEAR(file.packageFarads, 0.4e-12, 1e-24);
    const IbisModel* tx = nullptr;
    const IbisModel* rx = nullptr;
    ASSERT_TRUE(ChooseModel(file, true, "", tx, error)) << error;
    ASSERT_TRUE(ChooseModel(file, false, "", rx, error)) << error;
    EXPECT_EQ(tx->name, "orvex_tx");
    EXPECT_EQ(rx->name, "orvex_rx");
    EXPECT_NEAR(tx->cCompFarads, 0.8e-12, 1e-24);
    EXPECT_NEAR(rx->cCompFarads, 0.6e-12, 1e-24);
    EXPECT_NEAR(BufferImpedance(*tx), 50.0, 1e-9);  // the 50 ohm driver of the notes
    EXPECT_NEAR(BufferImpedance(*rx), 50.0, 1e-9);  // and its 50 ohm termination to mid-supply
    const IbisExecutable* executable = ExecutableForThisPlatform(*tx);
    ASSERT_NE(executable, nullptr);
    EXPECT_EQ(std::filesystem::path(executable->library).filename(), "Orvex_TX_AMI_01142014.so");
    EXPECT_EQ(std::filesystem::path(executable->ami).parent_path(), std::filesystem::path(TESSEL_SOURCE_DIR "/kit"));
    // Choosing by pin or by signal name reaches the same models.
    const IbisModel* byPin = nullptr;
    ASSERT_TRUE(ChooseModel(file, false, "RX_P", byPin, error)) << error;
    EXPECT_EQ(byPin, rx);
    ASSERT_TRUE(ChooseModel(file, true, "1", byPin, error)) << error;
    EXPECT_EQ(byPin, tx);
    // A name in another case when only one pin has it; a pin whose model
    // cannot play the part is refused with the file's pins listed.
    ASSERT_TRUE(ChooseModel(file, false, "rx_p", byPin, error)) << error;
    EXPECT_EQ(byPin, rx);
    for (const auto& [transmitter, pin] : {std::pair<bool, const char*>{true, "RX_P"}, {false, "TX_N"}, {false, "9"}}) {
        EXPECT_FALSE(ChooseModel(file, transmitter, pin, byPin, error)) << pin;
        EXPECT_NE(error.find("3 (RX_P, orvex_rx, Input)"), std::string::npos) << error;
    }
    EXPECT_EQ(FindIbisNaming(TESSEL_SOURCE_DIR "/kit", "Orvex_RX_AMI_05272013.so"),
              TESSEL_SOURCE_DIR "/kit/orvex_retimer.ibs");
    EXPECT_EQ(FindIbisNaming(TESSEL_SOURCE_DIR "/kit", "other.so"), "");
}

TEST(IbisFileTest, ReadsASmallFileAndSaysWhichModelIsMeant) {
    const std::string path = Scratch("small.ibs");
    std::ofstream(path) << kSmallIbs;
    IbisFile file;
    std::string error;
    ASSERT_TRUE(ReadIbisFile(path, file, error)) << error;
    EXPECT_EQ(file.component, "small");
    EXPECT_NEAR(file.packageHenries, 2e-9, 1e-21);
    EXPECT_NEAR(file.packageFarads, 0.5e-12, 1e-24);
    ASSERT_EQ(file.models.size(), 3u);
    const IbisModel& driver = file.models[0];
    EXPECT_NEAR(driver.cCompFarads, 1.5e-12, 1e-24);
    EXPECT_NEAR(BufferImpedance(driver), 40.0, 1e-9);
    EXPECT_NEAR(BufferImpedance(file.models[2]), 50.0, 1e-9);
    // Two drivers with algorithmic models: the pin decides; the second has
    // no executable for this platform; the I/O buffer is the receiver.
    const IbisModel* model = nullptr;
    EXPECT_FALSE(ChooseModel(file, true, "", model, error));
    EXPECT_NE(error.find("--tx-pin"), std::string::npos) << error;
    ASSERT_TRUE(ChooseModel(file, true, "DATA_N", model, error)) << error;
    EXPECT_EQ(model->name, "drv");
    EXPECT_FALSE(ChooseModel(file, true, "C1", model, error));
    EXPECT_NE(error.find("no executable for this platform"), std::string::npos) << error;
    EXPECT_FALSE(ChooseModel(file, true, "Z9", model, error));
    ASSERT_TRUE(ChooseModel(file, false, "", model, error)) << error;
    EXPECT_EQ(model->name, "io");
    // An executable named outside the file's folder loads only when allowed.
    IbisChoice choice;
    ASSERT_TRUE(ChooseLinkModels(file, file, {"DATA_N", ""}, {}, false, choice, error)) << error;
    std::string outside = kSmallIbs;
    outside.replace(outside.find("Linux_gcc_64 drv.so"), 19, "Linux_gcc_64 ../../drv.so");
    const std::string outsidePath = Scratch("outside.ibs");
    std::ofstream(outsidePath) << outside;
    ASSERT_TRUE(ReadIbisFile(outsidePath, file, error)) << error;
    EXPECT_FALSE(ChooseLinkModels(file, file, {"DATA_N", ""}, {}, false, choice, error));
    EXPECT_NE(error.find("--allow-outside-executables"), std::string::npos) << error;
    EXPECT_TRUE(ChooseLinkModels(file, file, {"DATA_N", ""}, {}, true, choice, error)) << error;
    // A flat clamp table is an open input.
    IbisModel open;
    open.type = "Input";
    open.supplyVolts = 1.0;
    open.gndClamp = IvTable{{-1.0, 0.0, 1.0}, {-0.04, 0.0, 0.0}};
    EXPECT_TRUE(std::isinf(BufferImpedance(open)));
}

TEST(IbisFileTest, RefusesFilesItCannotUse) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"[IBIS Ver] 7.1\n[Component] x\n", "no [Model]"},
        {"[Model] m\nModel_type Input\n[GND Clamp]\n0 0\n-1 0\n", "line 5: the voltages of an I-V table must increase"},
        {"[Model] m\nModel_type Input\nC_comp NA\n", "C_comp needs a typical value"},
        {"[Model] m\n[Algorithmic Model]\nExecutable Linux_gcc_64 m.so\n", "line 3: Executable needs"},
        {"[Model\n", "closing bracket"},
        {"[Model] m\nModel_type Input\n=\n", "line 3: a [Model] line holds nothing but '='"},
    };
    for (const auto& test : cases) {
        const std::string path = Scratch("bad.ibs");
        std::ofstream(path) << test.text;
        IbisFile file;
        std::string error;
        EXPECT_FALSE(ReadIbisFile(path, file, error)) << test.text;
        EXPECT_NE(error.find(test.expected), std::string::npos) << error;
    }
    IbisFile file;
    std::string error;
    EXPECT_FALSE(ReadIbisFile(Scratch("missing.ibs"), file, error));
}

// Values no real part has are refused, naming the value and the limit, and
// unusual ones are warned of; the kit's own file is neither.
TEST(IbisFileTest, JudgesItsValuesAgainstRealParts) {
    IbisFile kit;
    std::string error;
    ASSERT_TRUE(ReadIbisFile(TESSEL_SOURCE_DIR "/kit/orvex_retimer.ibs", kit, error)) << error;
    std::vector<std::string> warnings;
    for (const IbisModel& model : kit.models) EXPECT_TRUE(CheckBufferValues(kit, model, warnings, error)) << error;
    EXPECT_TRUE(CheckPackageValues(kit, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty()) << warnings.front();

    const auto judged = [](const std::string& from, const std::string& to, std::vector<std::string>& found,
                           std::string& refusal) {
        std::string text = kSmallIbs;
        text.replace(text.find(from), from.size(), to);
        std::istringstream in(text);
        IbisFile file;
        EXPECT_TRUE(ReadIbisStream(in, "small.ibs", file, refusal)) << refusal;
        return CheckBufferValues(file, file.models[0], found, refusal) && CheckPackageValues(file, found, refusal);
    };
    const struct {
        const char* from;
        const char* to;
        bool refused;  // else taken with a warning
        const char* who;
        const char* what;
    } cases[] = {
        {"C_comp = 1.5pF", "C_comp = 1e6", true, "C_comp of model drv in", "small.ibs is 1e+06 F, outside the 0 F to 1e-09 F any real part has"},
        {"L_pkg 2nH", "L_pkg 1H", true, "L_pkg of the package in", "small.ibs is 1 H, outside the 0 H to 1e-06 H"},
        {"R_pkg 0.2", "R_pkg 1e300", true, "R_pkg of the package in", "small.ibs is 1e+300 ohm"},
        {"C_pkg 500fF", "C_pkg 1", true, "C_pkg of the package in", "small.ibs is 1 F"},
        {"[Voltage Range] 1.2V", "[Voltage Range] -1.2V", true, "[Voltage Range] of model drv in", "small.ibs is -1.2 V"},
        {"C_comp = 1.5pF", "C_comp = 8pF", false, "C_comp of model drv in", "small.ibs is 8e-12 F, outside the 0 F to 5e-12 F usual"},
        {"1.2 30mA 30m 30m", "1.2 3A 30m 30m", false, "I-V impedance of model drv in", "small.ibs is 1.55"},
    };
    for (const auto& test : cases) {
        std::vector<std::string> found;
        std::string refusal;
        const bool taken = judged(test.from, test.to, found, refusal);
        EXPECT_EQ(taken, !test.refused) << test.to;
        const std::string said = test.refused ? refusal : (found.empty() ? "" : found[0]);
        EXPECT_EQ(said.rfind(test.who, 0), 0u) << said;
        EXPECT_NE(said.find(test.what), std::string::npos) << said;
    }
}

// A pin may name a [Model Selector], whose first model is the default and
// whose others are chosen by name; an I/O buffer may name one executable
// per side.
TEST(IbisFileTest, FollowsModelSelectorsAndEachSidesExecutable) {
    std::istringstream in(R"([IBIS Ver] 7.1
[Component] sel
[Pin] signal_name model_name
1 TX_P txsel
2 RX_P io
[Model Selector] txsel
weak    the weaker drive
strong  the stronger drive
[Model] weak
Model_type Output
[Algorithmic Model]
Executable Linux_gcc_64 weak.so weak.ami
[End Algorithmic Model]
[Model] strong
Model_type Output
[Algorithmic Model]
Executable Linux_gcc_64 strong.so strong.ami
[End Algorithmic Model]
[Model] io
Model_type I/O
[Algorithmic Model]
Executable_Tx Linux_gcc_64 io_tx.so io_tx.ami
Executable_Rx Linux_gcc_64 io_rx.so io_rx.ami
[End Algorithmic Model]
[End]
)");
    IbisFile file;
    std::string error;
    ASSERT_TRUE(ReadIbisStream(in, "sel.ibs", file, error)) << error;
    const IbisModel* model = nullptr;
    ASSERT_TRUE(ChooseModel(file, true, IbisEndChoice{"TX_P", ""}, model, error)) << error;
    EXPECT_EQ(model->name, "weak");
    ASSERT_TRUE(ChooseModel(file, true, IbisEndChoice{"TX_P", "strong"}, model, error)) << error;
    EXPECT_EQ(model->name, "strong");
    EXPECT_FALSE(ChooseModel(file, true, IbisEndChoice{"TX_P", "medium"}, model, error));
    EXPECT_NE(error.find("--tx-model-name medium: not one of the models of the [Model Selector] txsel of pin 1 (weak, strong)"),
              std::string::npos)
        << error;
    ASSERT_TRUE(ChooseModel(file, true, IbisEndChoice{"", "strong"}, model, error)) << error;
    EXPECT_EQ(model->name, "strong");

    IbisChoice choice;
    ASSERT_TRUE(ChooseLinkModels(file, file, {"RX_P", ""}, {"RX_P", ""}, false, choice, error)) << error;
    EXPECT_EQ(std::filesystem::path(choice.TxExecutable()->library).filename(), "io_tx.so");
    EXPECT_EQ(std::filesystem::path(choice.RxExecutable()->library).filename(), "io_rx.so");
}
