// orvex-link on its defaults: the kit's transmitter and receiver through the
// built-in 12 dB line, as the main job runs it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "ProgramOutput.h"
#include "Scratch.h"

namespace {

bool KitModelsBuilt() {
    const std::string built = std::string(",") + LINK_KIT_MODELS + ",";
    return built.find(",Orvex_RX_AMI_05272013,") != std::string::npos &&
           built.find(",Orvex_TX_AMI_01142014,") != std::string::npos;
}

int RunProgram(const std::string& arguments, const std::string& errFile) {
    const std::string command = std::string(ORVEX_LINK_PROGRAM) + " --quiet " + arguments + " >/dev/null 2>" + errFile;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(EndToEnd, DefaultRunRecoversThePatternAfterTheIgnoredBits) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models (libraries and .ami files) are not all in this tree";
    const std::string out = Scratch("run");
    const std::string err = out + ".err";
    ASSERT_EQ(RunProgram("--require-timing 0.1 --out " + out, err), 0) << ReadFile(err);
    const nlohmann::json summary = ReadSummary(out);
    ASSERT_TRUE(summary.is_object()) << ReadFile(out + "/summary.json");
    const nlohmann::json& errors = summary["errors"];
    EXPECT_EQ(errors["aligned"], true);
    EXPECT_EQ(errors["bit_errors"], 0);
    EXPECT_GT(errors["bits_compared"].get<long>(), 0);
    EXPECT_TRUE(errors["ber"].is_null());
    EXPECT_EQ(summary["verdict"], "pass") << summary["verdict_reasons"];
    EXPECT_EQ(summary["margins"]["open"], true);
    EXPECT_LT(summary["clock"]["lock_at_bit"].get<long>(), summary["ignore_bits"].get<long>());
    EXPECT_EQ(summary["rx"]["parameters"]["Rx_config"]["value"], "1");
    // The default run's figures, as printed to four and three digits.
    EXPECT_NEAR(summary["eye"]["height_v"].get<double>(), 0.4442, 0.00005);
    EXPECT_NEAR(summary["eye"]["width_ui"].get<double>(), 0.745, 0.0005);
    EXPECT_EQ(summary["adaptation"]["ctle_column"], 9);
    EXPECT_FALSE(ReadFile(out + "/adapt.txt").empty());
    EXPECT_FALSE(ReadFile(out + "/eye.png").empty());
    // Margins at 1e-12, extrapolated from 50000 bits, with the sampling
    // instant inside the opening.
    const nlohmann::json& margins = summary["margins"];
    EXPECT_GT(margins["timing_margin_ui"].get<double>(), 0.0) << margins;
    EXPECT_GT(margins["voltage_margin_v"].get<double>(), 0.0);
    EXPECT_EQ(margins["extrapolated"], true);
    // Contours at 1e-6 .. 1e-15, each no wider than the one at a higher rate.
    const nlohmann::json& contours = summary["eye"]["contours"];
    ASSERT_EQ(contours.size(), 4u) << contours;
    for (size_t k = 1; k < contours.size(); ++k) {
        EXPECT_LT(contours[k]["ber"].get<double>(), contours[k - 1]["ber"].get<double>());
        EXPECT_LE(contours[k]["phase_ui"].size(), contours[k - 1]["phase_ui"].size());
    }
    EXPECT_EQ(ReadFile(out + "/adaptation.csv").rfind("measurement,by_bit,ctle,", 0), 0u);
    // A requirement the margins do not meet fails the run's exit status.
    EXPECT_EQ(RunProgram("--require-timing 0.5 --out " + out, err), 3) << ReadFile(err);
}

// The receiver's clock follows 0.1 UI of 100 kHz sinusoidal jitter on data
// 100 ppm fast.
TEST(EndToEnd, SinusoidalJitterAtAnOffsetRateIsFollowed) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models (libraries and .ami files) are not all in this tree";
    const std::string out = Scratch("run");
    ASSERT_EQ(RunProgram("--channel loss:10 --tx-ppm 100 --tx-sj 0.1@100e3 --bits 200000 --out " + out, out + ".err"),
              0)
        << ReadFile(out + ".err");
    const nlohmann::json summary = ReadSummary(out);
    ASSERT_TRUE(summary.is_object()) << ReadFile(out + "/summary.json");
    EXPECT_EQ(summary["errors"]["aligned"], true);
    EXPECT_EQ(summary["errors"]["bit_errors"], 0);
    EXPECT_GT(summary["errors"]["bits_compared"].get<long>(), 59000);
    EXPECT_GT(summary["margins"]["timing_margin_ui"].get<double>(), 0.0);
    // The receiver's clock, 100 ppm fast, finds more times than the
    // simulator's arrays hold: the host counts those lost.
    EXPECT_GT(summary["clock"]["lost_times"].get<long>(), 5);
    EXPECT_TRUE(summary["clock"]["lock_at_bit"].is_number());
}

std::string Joined(const nlohmann::json& sentences) {
    std::string text;
    for (const auto& sentence : sentences) text += sentence.get<std::string>() + "\n";
    return text;
}

// With a fixed strong CTLE, or DWDM_mode 1, the clock keeps the phase it
// starts with, on the crossings; on a 1 dB line the fully adapted CTLE
// over-equalises and the output is wrong at every phase. Each run fails and
// says why, and "open" means one thing in all it writes.
TEST(EndToEnd, VerdictNamesAClockOnTheCrossingsAndAWrongOutput) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models (libraries and .ami files) are not all in this tree";
    struct Case {
        const char* arguments;
        const char* reason;
    };
    for (const Case& c : {Case{"--rx CTLEAdapt=0 --rx EQ_Level=8", "the clock stayed on the data crossings"},
                          Case{"--rx DWDM_mode=1", "the clock stayed on the data crossings"},
                          Case{"--channel loss:1", "the output is wrong whatever the clock"}}) {
        const std::string out = Scratch("run");
        ASSERT_EQ(RunProgram(std::string(c.arguments) + " --out " + out, out + ".err"), 0) << ReadFile(out + ".err");
        const nlohmann::json summary = ReadSummary(out);
        ASSERT_TRUE(summary.is_object()) << ReadFile(out + "/summary.json");
        EXPECT_EQ(summary["verdict"], "fail") << c.arguments;
        EXPECT_NE(Joined(summary["verdict_reasons"]).find(c.reason), std::string::npos) << summary["verdict_reasons"];
        EXPECT_EQ(summary["margins"]["open"], false) << c.arguments;
        EXPECT_EQ(summary["eye"]["open"], false) << c.arguments;
        EXPECT_LE(summary["margins"]["timing_margin_ui"].get<double>(), 0.0) << c.arguments;
        EXPECT_EQ(summary["margins"]["eye_width_at_ber_ui"].get<double>(), 0.0) << c.arguments;
    }
}

// On a 27 dB link with the DFE fixed, the CTLE adaptation reaches the same
// column with 0, 1 and 2 ps of random jitter; the timing margin then falls
// as the jitter grows, and 10 mV of noise lowers the voltage margin. Only
// the bits after the CTLE's adaptation (done by about bit 24 000) are
// counted, so that the four runs stay short.
TEST(EndToEnd, MoreJitterOrNoiseGivesLessMarginAtTheSameSettings) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models (libraries and .ami files) are not all in this tree";
    auto run = [](const std::string& stress) {
        const std::string out = Scratch("run");
        const std::string arguments =
            "--channel loss:27 --rx DFEAdapt=0 --ignore-bits 30000 --bits 50000 " + stress + " --out " + out;
        EXPECT_EQ(RunProgram(arguments, out + ".err"), 0) << arguments << "\n" << ReadFile(out + ".err");
        return ReadSummary(out);
    };
    const nlohmann::json clean = run("");
    const nlohmann::json rj1 = run("--tx-rj 1e-12");
    const nlohmann::json rj2 = run("--tx-rj 2e-12");
    const nlohmann::json noisy = run("--rx-noise 10e-3");
    for (const nlohmann::json* summary : {&clean, &rj1, &rj2, &noisy}) {
        ASSERT_TRUE(summary->is_object());
        EXPECT_EQ((*summary)["adaptation"]["ctle_column"], clean["adaptation"]["ctle_column"]);
        EXPECT_EQ((*summary)["margins"]["known"], true);
    }
    auto timing = [](const nlohmann::json& summary) { return summary["margins"]["timing_margin_ui"].get<double>(); };
    auto voltage = [](const nlohmann::json& summary) { return summary["margins"]["voltage_margin_v"].get<double>(); };
    EXPECT_GT(timing(clean), timing(rj1));
    EXPECT_GT(timing(rj1), timing(rj2));
    EXPECT_LT(voltage(noisy), voltage(clean));
}

TEST(EndToEnd, BadParametersFailWithTheirMessage) {
    if (!KitModelsBuilt()) GTEST_SKIP() << "the kit's models (libraries and .ami files) are not all in this tree";
    const std::string err = Scratch("err");
    for (const char* option : {"--rx EQ_Level=99", "--tx DE=9", "--rx NoSuchParameter=1"}) {
        EXPECT_NE(RunProgram(std::string("--bits 1000 --out ") + Scratch("out") + " " + option, err), 0)
            << option;
        const std::string text = ReadFile(err);
        const std::string name = std::string(option).substr(5, std::string(option).find('=') - 5);
        EXPECT_EQ(text.rfind("orvex-link: ", 0), 0u) << text;
        EXPECT_NE(text.find(name), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    }
}

}  // namespace
