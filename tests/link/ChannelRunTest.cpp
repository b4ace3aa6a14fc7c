// Runs on real channels: Touchstone files in either port numbering, the
// kit run from its IBIS file alone, crosstalk aggressors through the
// transmitter's aggressor columns, and a receiver that reports no clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "AmiLibrary.h"
#include "LinkRun.h"
#include "ProgramOutput.h"
#include "Scratch.h"
#include "TestModelRuns.h"
#include "TouchstoneFiles.h"

namespace {

const std::string kModels = LINK_TEST_MODEL_DIR;
const double kBitRate = 10e9;
const double kDt = 1.0 / (kBitRate * 32);

bool KitModelsBuilt() {
    const std::string built = std::string(",") + LINK_KIT_MODELS + ",";
    return built.find(",Orvex_RX_AMI_05272013,") != std::string::npos &&
           built.find(",Orvex_TX_AMI_01142014,") != std::string::npos;
}

linksim::LinkSettings TestModels(const std::string& tx, const std::string& rx, size_t bits) {
    return TestModelSettings(tx, rx, 0.0, bits, 500);
}

// An impulse response file of single-sample cursors, areas[i] at bit i.
std::string CursorFile(const std::string& name, const std::vector<double>& areas) {
    const std::string path = Scratch(name);
    std::ofstream out(path);
    out.precision(17);
    for (size_t n = 0; n < 32 * (areas.size() + 2); ++n) {
        out << double(n) * kDt << " " << (n % 32 == 0 && n / 32 < areas.size() ? areas[n / 32] / kDt : 0.0) << "\n";
    }
    return path;
}

nlohmann::json RunProgram(const std::string& arguments, const std::string& out) {
    const std::string command =
        std::string(ORVEX_LINK_PROGRAM) + " --quiet --out " + out + " " + arguments + " >/dev/null 2>" + out + ".err";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(out + ".err");
    return ReadSummary(out);
}

}  // namespace

TEST(ChannelRun, AggressorShrinksTheEyeByItsPulseResponseAsTheTransmitterShapedIt) {
    // A clean NRZ victim at the receiver's fixed sampling instants, and an
    // aggressor of two cursors (0.1 and -0.05 per volt). The transmitter's
    // AMI_Init, a two-tap equaliser with boost b, shapes its column to
    // (c1, c2 - b c1, -b c2) / (1 - b): every aggressor pattern occurs, so
    // the inner eye shrinks by the sum of their magnitudes.
    linksim::LinkSettings settings = TestModels("LinkTestRxInit", "LinkTestRxClock", 20000);
    settings.tx.overrides = {{"Boost", "0.2"}};
    const linksim::LinkResult clean = RunOk(settings);
    EXPECT_EQ(clean.errors.errors, 0u);
    EXPECT_NEAR(clean.errors.innerHeight, 1.0, 1e-6);

    settings.aggressors.push_back({linksim::ChannelKind::File, 0.0, CursorFile("aggressor.txt", {0.1, -0.05})});
    const linksim::LinkResult crossed = RunOk(settings);
    const double b = 0.2;
    const double shaped = (0.1 + std::fabs(-0.05 - b * 0.1) + b * 0.05) / (1.0 - b);
    EXPECT_EQ(crossed.errors.errors, 0u);
    EXPECT_NEAR(crossed.errors.innerHeight, 1.0 - shaped, 1e-3);
    ASSERT_EQ(crossed.aggressors.size(), 1u);
    EXPECT_NEAR(crossed.aggressors[0].pulsePeakV, 0.5 * 0.1 / (1.0 - b), 1e-6);
    EXPECT_NEAR(crossed.aggressors[0].largestV, 0.5 * shaped, 1e-6);
    EXPECT_NE(crossed.aggressors[0].seed, 0u);

    // A transmitter that declares it takes no aggressor column is handed
    // none: the column reaches the receiver as it came, and a note says so.
    std::ifstream original(kModels + "/LinkTestRxInit.ami");
    std::string text((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
    text.insert(text.find("(Reserved_Parameters") + 20, " (Max_Init_Aggressors (Usage Info) (Type Integer) (Value 0))");
    settings.tx.ami = Scratch("limited.ami");
    std::ofstream(settings.tx.ami) << text;
    const linksim::LinkResult limited = RunOk(settings);
    EXPECT_NEAR(limited.errors.innerHeight, 1.0 - 0.15, 1e-3);
    std::string notes;
    for (const std::string& note : limited.notes) notes += note + "\n";
    EXPECT_NE(notes.find("Max_Init_Aggressors 0"), std::string::npos) << notes;
}

TEST(ChannelRun, ReceiverWithoutClockTimesIsSampledOnTheHostsClockRecovery) {
    linksim::LinkSettings settings = TestModels("LinkTestTx", "LinkTestRxPass", 30000);
    settings.channel.lossDb = 10.0;
    settings.bitsPerCall = 1000;
    const linksim::LinkResult result = RunOk(settings);
    EXPECT_TRUE(result.hostClock);
    EXPECT_TRUE(result.errors.aligned);
    EXPECT_EQ(result.errors.errors, 0u);
    EXPECT_EQ(result.errors.compared, 28000u);
    EXPECT_GT(result.errors.innerHeight, 0.1);
    EXPECT_GT(result.widthMargins.Width(), 0.5 * result.unitInterval);
    EXPECT_FALSE(result.traceInstants.empty());
    // A receiver that reports its clock keeps it.
    settings.rx.library = kModels + "/LinkTestRxClock.so";
    settings.rx.overrides = {{"ClockPhase", "0.25"}};
    EXPECT_FALSE(RunOk(settings).hostClock);
}

TEST(ChannelRun, KitTransmitterShapesAnAggressorColumnAsItShapesTheThroughColumn) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models are not all in this tree";
    const std::string library = std::string(TESSEL_KIT_DIR) + "/Orvex_TX_AMI_01142014.so";
    linksim::AmiLibrary tx;
    std::string error;
    ASSERT_TRUE(tx.Load(library, false, error)) << error;
    const SkinLine through(12.0, kBitRate / 2, 0.2e-9), crosstalk(20.0, kBitRate / 2, 0.4e-9);
    std::vector<double> first, second;
    for (size_t n = 0; n < 2048; ++n) {
        first.push_back((through.Step(double(n + 1) * kDt) - through.Step(double(n) * kDt)) / kDt);
        second.push_back(0.1 * (crosstalk.Step(double(n + 1) * kDt) - crosstalk.Step(double(n) * kDt)) / kDt);
    }
    std::vector<double> matrix(first);
    matrix.insert(matrix.end(), second.begin(), second.end());
    const std::vector<double> unshaped(second);
    const std::string parameters = "(Orvex_TX_AMI_01142014 (DE 3) (VOD 5))";
    linksim::AmiModelInstance both(tx), alone(tx);
    ASSERT_TRUE(both.Initialize(matrix, kDt, 32 * kDt, parameters, 1));
    ASSERT_TRUE(alone.Initialize(second, kDt, 32 * kDt, parameters));
    EXPECT_NE(second, unshaped);
    EXPECT_EQ(std::vector<double>(matrix.begin() + 2048, matrix.end()), second);
}

TEST(ChannelRun, TouchstoneLineInEitherNumberingRunsTheKitCleanlyAndAnAggressorShrinksItsEye) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models are not all in this tree";
    const SkinLine line(15.0, kBitRate / 2, 1e-9);
    auto at = [&line](double f) { return line.At(f); };
    const std::vector<double> grid = EvenGrid(50e6, 60e9);
    const std::string ordered = Scratch("line.s4p"), crossed = Scratch("line_other.s4p"), pair = Scratch("line.s2p");
    WriteTouchstone(ordered, 4, grid, Lines(4, {{1, 2}, {3, 4}}, at));
    WriteTouchstone(crossed, 4, grid, Lines(4, {{1, 3}, {2, 4}}, at), TouchstoneLayout{2, "MA", "GHz", 50, false});
    WriteTouchstone(pair, 2, grid, Lines(2, {{1, 2}}, at), TouchstoneLayout{1, "DB", "MHz", 100, false});
    const struct {
        std::string arguments;
        const char* ports;
    } runs[] = {{"touchstone:" + ordered, "1,3,2,4"},
                {"touchstone:" + crossed + " --ports 1,2,3,4", "1,2,3,4"},
                {"touchstone:" + pair, "1,2"}};
    double height = 0.0;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments);
        const nlohmann::json summary = RunProgram("--channel " + run.arguments, Scratch("run"));
        ASSERT_TRUE(summary.is_object());
        EXPECT_EQ(summary["errors"]["bit_errors"], 0);
        EXPECT_EQ(summary["channel"]["ports"], run.ports);
        EXPECT_NEAR(summary["channel"]["loss_db_at_nyquist"].get<double>(), 15.0, 0.05);
        EXPECT_NEAR(summary["channel"]["unaliased_span_s"].get<double>(), 0.75 / 50e6, 1e-15);
        EXPECT_EQ(summary["channel"]["differential_reference_ohms"], 100.0);  // 2 x 50, or the .s2p's R 100
        EXPECT_TRUE(summary["channel"]["warnings"].empty()) << summary["channel"]["warnings"];
        EXPECT_EQ(summary["channel"]["buffers"]["applied"], true);
        height = summary["eye"]["height_v"].get<double>();
    }
    // An 8-port: the same pair, and a second pair whose far end couples
    // into ours, named as the aggressor with its own ports.
    const std::string eight = Scratch("pairs.s8p");
    WriteTouchstone(eight, 8, grid, [&](double f) {
        std::vector<std::complex<double>> s(64, 0.0);
        auto set = [&s](int row, int column, std::complex<double> value) {
            s[size_t((row - 1) * 8 + column - 1)] = value;
            s[size_t((column - 1) * 8 + row - 1)] = value;
        };
        for (auto through : {std::make_pair(1, 2), std::make_pair(3, 4), std::make_pair(5, 6), std::make_pair(7, 8)}) {
            set(through.first, through.second, line.At(f));
        }
        // Far-end crosstalk 26 dB below the through path.
        set(5, 2, 0.05 * line.At(f));
        set(7, 4, 0.05 * line.At(f));
        return s;
    });
    const nlohmann::json summary =
        RunProgram("--channel touchstone:" + eight + " --aggressor touchstone:" + eight + " --aggressor-ports 5,7,2,4",
                   Scratch("aggressed"));
    ASSERT_TRUE(summary.is_object());
    EXPECT_EQ(summary["errors"]["bit_errors"], 0);
    ASSERT_EQ(summary["aggressors"].size(), 1u);
    EXPECT_EQ(summary["aggressors"][0]["ports"], "5,7,2,4");
    EXPECT_EQ(summary["aggressors"][0]["impulse_matrix_column"], 1);
    EXPECT_NEAR(summary["aggressors"][0]["loss_db_at_nyquist"].get<double>(), 15.0 + 26.0, 0.05);
    EXPECT_TRUE(summary["aggressors"][0]["warnings"].empty()) << summary["aggressors"][0]["warnings"];
    EXPECT_GT(summary["aggressors"][0]["pulse_peak_v"].get<double>(), 0.005);
    EXPECT_LT(summary["eye"]["height_v"].get<double>(), height - 0.005);
}

TEST(ChannelRun, IbisFileAloneRunsTheKit) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models are not all in this tree";
    const nlohmann::json summary = RunProgram("--ibs " + std::string(TESSEL_KIT_DIR) + "/orvex_retimer.ibs", Scratch("ibs"));
    ASSERT_TRUE(summary.is_object());
    EXPECT_EQ(summary["errors"]["bit_errors"], 0);
    EXPECT_EQ(summary["rx"]["parameters"]["Rx_config"]["value"], "1");
    EXPECT_EQ(summary["tx"]["model"], "Orvex_TX_AMI_01142014");
    const nlohmann::json& buffers = summary["channel"]["buffers"];
    EXPECT_EQ(buffers["applied"], true);
    EXPECT_NEAR(buffers["per_leg"]["tx_ohms"].get<double>(), 50.0, 1e-6);
    EXPECT_EQ(buffers["per_leg"]["tx_farads"], 0.0);  // the transmitter's responses hold its pad
    EXPECT_NEAR(buffers["per_leg"]["rx_farads"].get<double>(), 0.6e-12, 1e-18);
    EXPECT_NEAR(buffers["per_leg"]["package_henries"].get<double>(), 1e-9, 1e-15);
    EXPECT_NE(summary["ibs"]["file"].get<std::string>().find("orvex_retimer.ibs"), std::string::npos);
    EXPECT_EQ(summary["ibs"]["rx"]["model"], "orvex_rx");

    // The receiver from a second file, beside the same libraries: its own
    // package at its end.
    const std::filesystem::path kit(TESSEL_KIT_DIR);
    const std::filesystem::path other = Scratch("other_kit");
    std::filesystem::create_directories(other);
    for (const auto& entry : std::filesystem::directory_iterator(kit)) {
        if (entry.path().extension() != ".ibs") std::filesystem::create_symlink(entry.path(), other / entry.path().filename());
    }
    std::string text = ReadFile((kit / "orvex_retimer.ibs").string());
    text.replace(text.find("1.00nH"), 6, "1.20nH");
    std::ofstream((other / "other.ibs").string()) << text;
    const nlohmann::json two = RunProgram("--tx-ibs " + (kit / "orvex_retimer.ibs").string() + " --rx-ibs " +
                                              (other / "other.ibs").string(),
                                          Scratch("two_ibs"));
    ASSERT_TRUE(two.is_object());
    EXPECT_NE(two["eye"]["height_v"], summary["eye"]["height_v"]);
    EXPECT_EQ(two["ibs"]["rx_file"], (other / "other.ibs").string());
    EXPECT_NEAR(two["channel"]["buffers"]["per_leg"]["package_henries"].get<double>(), 1e-9, 1e-15);
    EXPECT_NEAR(two["channel"]["buffers"]["per_leg"]["rx_package_henries"].get<double>(), 1.2e-9, 1e-15);
}
