// The options of orvex-link, and the program itself: what it writes on
// success and the one line it gives for each kind of bad input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"

#include "ProgramOutput.h"
#include "Scratch.h"
#include "TouchstoneFiles.h"

namespace {

const std::string kModels = LINK_TEST_MODEL_DIR;

linksim::CommandLineAction Parse(std::vector<std::string> arguments, linksim::CommandLine& line,
                                 std::string& error) {
    return linksim::ParseCommandLine(arguments, "/opt/orvex", line, error);
}

TEST(CommandLine, DefaultsAreTheKitsModelsWithTheEqualisedReceiverOutput) {
    linksim::CommandLine line;
    std::string error;
    ASSERT_EQ(Parse({}, line, error), linksim::CommandLineAction::Run);
    EXPECT_EQ(line.settings.tx.library, "/opt/orvex/kit/Orvex_TX_AMI_01142014.so");
    EXPECT_EQ(line.settings.rx.library, "/opt/orvex/kit/Orvex_RX_AMI_05272013.so");
    ASSERT_EQ(line.settings.rx.overrides.size(), 1u);
    EXPECT_EQ(line.settings.rx.overrides[0].name, "Rx_config");
    EXPECT_EQ(line.settings.rx.overrides[0].value, "1");
    EXPECT_EQ(line.settings.prbsOrder, 15);
    EXPECT_EQ(line.settings.channel.kind, linksim::ChannelKind::Loss);
    EXPECT_DOUBLE_EQ(line.settings.channel.lossDb, 12.0);
    EXPECT_FALSE(line.quiet);
    EXPECT_TRUE(line.settings.overlapHostWork);

    // Another receiver, or Rx_config given: nothing is added.
    linksim::CommandLine other;
    ASSERT_EQ(Parse({"--rx-model", "x.so"}, other, error), linksim::CommandLineAction::Run);
    EXPECT_TRUE(other.settings.rx.overrides.empty());
    linksim::CommandLine retimed;
    ASSERT_EQ(Parse({"--rx", "Rx_config=0"}, retimed, error), linksim::CommandLineAction::Run);
    ASSERT_EQ(retimed.settings.rx.overrides.size(), 1u);
    EXPECT_EQ(retimed.settings.rx.overrides[0].value, "0");
}

TEST(CommandLine, ReadsEveryOptionInBothForms) {
    linksim::CommandLine line;
    std::string error;
    ASSERT_EQ(Parse({"--tx", "DE=3", "--tx=VOD=5", "--prbs", "31", "--bits=1000", "--bit-rate", "25G",
                     "--samples-per-ui", "16", "--channel", "file:ch.txt", "--bits-per-call", "64", "--out", "o",
                     "--rx-output", "retimed", "--quiet", "--tx-ami", "t.ami", "--sequential"},
                    line, error),
              linksim::CommandLineAction::Run)
        << error;
    const linksim::LinkSettings& s = line.settings;
    ASSERT_EQ(s.tx.overrides.size(), 2u);
    EXPECT_EQ(s.tx.overrides[1].name, "VOD");
    EXPECT_EQ(s.prbsOrder, 31);
    EXPECT_EQ(s.bits, 1000u);
    EXPECT_DOUBLE_EQ(s.bitRate, 25e9);
    EXPECT_EQ(s.samplesPerUi, 16);
    EXPECT_EQ(s.channel.kind, linksim::ChannelKind::File);
    EXPECT_EQ(s.channel.path, "ch.txt");
    EXPECT_EQ(s.bitsPerCall, 64u);
    EXPECT_EQ(s.outDir, "o");
    EXPECT_EQ(s.rxOutput, linksim::RxOutputMode::Retimed);
    EXPECT_EQ(s.tx.ami, "t.ami");
    EXPECT_TRUE(line.quiet);
    EXPECT_FALSE(s.overlapHostWork);
    EXPECT_EQ(Parse({"--quiet", "--help"}, line, error), linksim::CommandLineAction::Help);

    const std::vector<std::string> bad[] = {
        {"--prbs", "9"}, {"--bits", "0"}, {"--bit-rate", "fast"}, {"--samples-per-ui", "1"},
        {"--channel", "loss:-2"}, {"--channel", "s4p:x"}, {"--tx", "DE"}, {"--rx-output", "raw"},
        {"--frobnicate", "1"}, {"--out"}, {"stray"}, {"--bits", "1", "--bits", "2"}, {"--ignore-bits", "-1"},
    };
    for (const std::vector<std::string>& arguments : bad) {
        EXPECT_EQ(Parse(arguments, line, error), linksim::CommandLineAction::Fail) << arguments[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(CommandLine, StressAndTargetRate) {
    linksim::CommandLine line;
    std::string error;
    ASSERT_EQ(Parse({"--tx-rj", "1e-12", "--tx-dj=5e-12", "--tx-sj", "0.1@100e3", "--tx-ppm", "-100", "--tx-ssc",
                     "5000@33e3", "--rx-noise", "10e-3", "--seed", "7", "--ber", "1e-15"},
                    line, error),
              linksim::CommandLineAction::Run)
        << error;
    const linksim::StressSettings& stress = line.settings.stress;
    EXPECT_EQ(stress.rjRms, 1e-12);
    EXPECT_EQ(stress.djPeakToPeak, 5e-12);
    EXPECT_EQ(stress.sjPeakToPeakUi, 0.1);
    EXPECT_EQ(stress.sjFrequency, 100e3);
    EXPECT_EQ(stress.ppm, -100.0);
    EXPECT_EQ(stress.sscPpm, 5000.0);
    EXPECT_EQ(stress.sscFrequency, 33e3);
    EXPECT_EQ(stress.rxNoiseRms, 10e-3);
    EXPECT_EQ(stress.seed, 7u);
    EXPECT_EQ(line.settings.targetBer, 1e-15);
    EXPECT_EQ(linksim::CommandLine().settings.targetBer, 1e-12);

    // One grammar: SI prefixes and the option's own unit, both halves of A@F.
    linksim::CommandLine prefixed;
    ASSERT_EQ(Parse({"--tx-rj", "1p", "--tx-dj", "5ps", "--tx-sj", "0.1UI@10M", "--tx-ssc", "5000ppm@33kHz",
                     "--rx-noise", "10mV", "--bit-rate", "10Gbps", "--bits", "1.5k", "--require-timing", "0.1"},
                    prefixed, error),
              linksim::CommandLineAction::Run)
        << error;
    EXPECT_EQ(prefixed.settings.stress.rjRms, 1e-12);
    EXPECT_EQ(prefixed.settings.stress.djPeakToPeak, 5e-12);
    EXPECT_EQ(prefixed.settings.stress.sjFrequency, 10e6);
    EXPECT_EQ(prefixed.settings.stress.sscFrequency, 33e3);
    EXPECT_EQ(prefixed.settings.stress.rxNoiseRms, 10e-3);
    EXPECT_EQ(prefixed.settings.bitRate, 10e9);
    EXPECT_EQ(prefixed.settings.bits, 1500u);
    EXPECT_EQ(prefixed.settings.requirements.timingUi, 0.1);

    const std::vector<std::string> bad[] = {
        {"--tx-rj", "-1e-12"}, {"--tx-sj", "0.1"},       {"--tx-ssc", "5000@0"},   {"--rx-noise", "loud"},
        {"--ber", "0"},        {"--ber", "0.7"},         {"--seed", "-3"},         {"--tx-c", "0.8x"},
        {"--tx-c", "0,8p"},    {"--tx-impedance", "1meg"}, {"--ber", "1e-12k"},    {"--bits", "32.5"},
        {"--tx-rj", "1pF"},    {"--tx-sj", "0.1@10M@1"}, {"--bits", "1", "--bits", "2"},
        {"--ber", "0.01"},     {"--model-timeout", "1e10"},
        // options that would do nothing without another
        {"--ports", "1,2,3,4"}, {"--aggressor-ports", "1,2,3,4"}, {"--tx-pin", "1"}, {"--rx-pin", "RX_P"},
        {"--allow-outside-executables"},
        {"--ports", "1,3,2,4", "--channel", "touchstone:pair.s2p"},
        {"--s2p-reference", "100", "--channel", "touchstone:a.s4p"},
        {"--s2p-reference", "0", "--channel", "touchstone:pair.s2p"},
        // an aggressor that is the channel's own through path; ports for some aggressors only
        {"--aggressor", "touchstone:a.s4p", "--channel", "touchstone:a.s4p"},
        {"--aggressor-ports", "1,2,5,6", "--aggressor-ports", "3,4,5,6", "--aggressor", "touchstone:b.s4p"},
    };
    for (const std::vector<std::string>& arguments : bad) {
        linksim::CommandLine fresh;
        EXPECT_EQ(Parse(arguments, fresh, error), linksim::CommandLineAction::Fail) << arguments[0];
        EXPECT_NE(error.find(arguments[0]), std::string::npos) << error;
    }
}

TEST(CommandLine, ReadsChannelCrosstalkAndBufferOptions) {
    linksim::CommandLine line;
    std::string error;
    ASSERT_EQ(Parse({"--channel", "touchstone:a.s4p", "--ports", "1,2,3,4", "--aggressor", "touchstone:a.s4p",
                     "--aggressor=file:x.txt", "--aggressor-ports", "5,7,2,4", "--tx-impedance", "45", "--tx-c",
                     "0.8p", "--rx-impedance", "open", "--rx-c", "1.5e-13", "--ibs", "/nonexistent/k.ibs",
                     "--tx-pin", "1", "--rx-pin", "RX_P"},
                    line, error),
              linksim::CommandLineAction::Run)
        << error;
    const linksim::LinkSettings& s = line.settings;
    EXPECT_EQ(s.channel.kind, linksim::ChannelKind::Touchstone);
    EXPECT_EQ(s.channel.path, "a.s4p");
    EXPECT_TRUE(std::isnan(s.channel.s2pReferenceOhms));
    linksim::CommandLine pair;
    ASSERT_EQ(Parse({"--channel", "touchstone:pair.s2p", "--s2p-reference", "0.1k"}, pair, error),
              linksim::CommandLineAction::Run)
        << error;
    EXPECT_DOUBLE_EQ(pair.settings.channel.s2pReferenceOhms, 100.0);
    EXPECT_EQ(linksim::PortMapText(s.ports), "1,2,3,4");
    ASSERT_EQ(s.aggressors.size(), 2u);
    EXPECT_EQ(s.aggressors[1].kind, linksim::ChannelKind::File);
    ASSERT_EQ(s.aggressorPorts.size(), 1u);
    EXPECT_EQ(linksim::PortMapText(s.AggressorPorts(1)), "5,7,2,4");
    EXPECT_DOUBLE_EQ(s.buffers.txOhms, 45.0);
    EXPECT_DOUBLE_EQ(s.buffers.txFarads, 0.8e-12);
    EXPECT_TRUE(std::isinf(s.buffers.rxOhms));
    EXPECT_DOUBLE_EQ(s.buffers.rxFarads, 1.5e-13);
    // The IBIS file names the models; an unreadable one is no kit receiver.
    EXPECT_EQ(s.ibsPath, "/nonexistent/k.ibs");
    EXPECT_EQ(s.txPin, "1");
    EXPECT_TRUE(s.tx.library.empty());
    EXPECT_TRUE(s.rx.library.empty());
    EXPECT_TRUE(s.rx.overrides.empty());
    // Without the options, the ports are the usual numbering and no buffer is given.
    linksim::CommandLine plain;
    ASSERT_EQ(Parse({}, plain, error), linksim::CommandLineAction::Run);
    EXPECT_EQ(linksim::PortMapText(plain.settings.ports), "1,3,2,4");
    EXPECT_FALSE(plain.settings.buffers.Any());

    const std::vector<std::string> bad[] = {
        {"--ports", "1,1,2,3"}, {"--ports", "1,2,3"},      {"--aggressor", "loss:3"}, {"--tx-c", "-1p"},
        {"--tx-impedance", "open"}, {"--channel", "touchstone:"}, {"--rx-c", "big"},
    };
    for (const std::vector<std::string>& arguments : bad) {
        EXPECT_EQ(Parse(arguments, line, error), linksim::CommandLineAction::Fail) << arguments[0] << " " << arguments[1];
        EXPECT_NE(error.find(arguments[0]), std::string::npos) << error;
    }
}

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

ProgramRun RunProgram(const std::string& arguments) {
    const std::string base = Scratch("program");
    const std::string command = std::string(ORVEX_LINK_PROGRAM) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(base + ".out"), ReadFile(base + ".err")};
}

std::string Models(const std::string& tx, const std::string& rx) {
    return "--tx-model " + kModels + "/" + tx + ".so --rx-model " + kModels + "/" + rx + ".so ";
}

TEST(Program, WritesSummaryAndEyeOfARun) {
    const std::string out = Scratch("run");
    const ProgramRun run =
        RunProgram(Models("LinkTestTx", "LinkTestRxClock") + "--channel loss:3 --bits 5000 --statistical --out " + out);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_NE(run.out.find("bit errors: 0 in 4000 bits after 1000 ignored"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("eye picture: " + out + "/eye.png"), std::string::npos) << run.out;
    const nlohmann::json summary = ReadSummary(out);
    ASSERT_TRUE(summary.is_object()) << ReadFile(out + "/summary.json");
    EXPECT_EQ(summary["errors"]["bit_errors"], 0);
    EXPECT_DOUBLE_EQ(summary["errors"]["ber_upper_bound_95"].get<double>(), 0.00075);
    EXPECT_EQ(summary["rx"]["model"], "LinkTestRxClock");
    EXPECT_EQ(summary["tx"]["parameter_string"],
              "(LinkTestTx (Deemphasis 0.1) (Swing 2) (Label \"lane 0\") (FailInit False) (Fault 0))");
    EXPECT_TRUE(summary["eye"]["width_ui"].is_number());
    EXPECT_EQ(summary["clock"]["clock_times"], 5000);
    EXPECT_TRUE(summary["adaptation"].is_null());
    EXPECT_EQ(ReadFile(out + "/eye.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    // Margins, the clock's track and their picture.
    EXPECT_TRUE(summary["margins"]["timing_margin_ui"].is_number()) << summary["margins"];
    EXPECT_TRUE(summary["margins"]["voltage_margin_v"].is_number());
    EXPECT_EQ(summary["margins"]["target_ber"], 1e-12);
    EXPECT_EQ(summary["stress"]["rj_rms_s"], 0.0);
    EXPECT_TRUE(summary["clock"]["lock_at_bit"].is_number()) << summary["clock"];
    EXPECT_TRUE(summary["verdict"].is_string());
    EXPECT_NE(run.out.find("margins at BER 1e-12"), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(out + "/bathtub.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(ReadFile(out + "/trajectory.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    // The report shows the verdict and the pictures beside it.
    const std::string report = ReadFile(out + "/report.html");
    EXPECT_NE(report.find("<span class=\"verdict " + summary["verdict"].get<std::string>() + "\">"), std::string::npos);
    EXPECT_NE(report.find("<img src=\"bathtub.png\""), std::string::npos);
    // The jitter's breakdown, and the statistical eye asked for, with their pictures.
    EXPECT_TRUE(summary["jitter"]["against_clock"]["rj_rms_s"].is_number()) << summary["jitter"];
    EXPECT_EQ(summary["jitter"]["image"], "jitter.png");
    EXPECT_EQ(summary["statistical"]["without"], "without the receiver's equalisation, nor the transmitter's");
    EXPECT_EQ(summary["statistical"]["image"], "stateye.png");
    for (const char* picture : {"jitter.png", "stateye.png"}) {
        EXPECT_EQ(ReadFile(out + "/" + picture).substr(0, 8), "\x89PNG\r\n\x1a\n") << picture;
        EXPECT_NE(report.find("<img src=\"" + std::string(picture) + "\""), std::string::npos) << picture;
    }

    const ProgramRun help = RunProgram("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: orvex-link", 0), 0u);
}

// Every kind of bad input, option, file or model: one line naming the
// cause, exit 2 for the options and 1 for the rest, and no run (no output on
// standard output) wherever the cause can be known before it.
TEST(Program, EveryBadInputGetsOneLineAndAFailure) {
    const std::string bad = Scratch("bad.ami");
    std::ofstream(bad) << "(LinkTestTx (Reserved_Parameters (GetWave_Exists (Value True))";
    auto table = [](const std::string& name, const char* text) {
        const std::string path = Scratch(name);
        std::ofstream(path) << text;
        return " --channel file:" + path;
    };
    const std::string picoseconds = table("ps.txt", "0 0\n1 3.2e11\n2 0\n");
    const std::string zeros = table("zeros.txt", "0 0\n3.125e-12 0\n6.25e-12 0\n");
    const std::string huge = table("huge.txt", "0 0\n3.125e-12 1e300\n6.25e-12 0\n");
    // Each option is given once (a repeated one is refused); the output
    // folder is added unless a case names its own.
    const std::string tx = "--tx-model " + kModels + "/LinkTestTx.so ";
    const std::string rx = "--rx-model " + kModels + "/LinkTestRxInit.so ";
    const std::string models = tx + rx;
    const std::string ok = models + "--bits 2000 ";
    // A FIFO as any input file would block the run forever.
    const std::string fifo = Scratch("fifo.s4p");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string nuls = Scratch("nuls.s2p");
    std::ofstream(nuls) << std::string(100000, '\0');
    // A 10.4 ns line at an 80 MHz step would wrap into the transform's negative time.
    const std::string coarse = Scratch("coarse.s4p");
    const SkinLine longLine(10.0, 5e9, 10.4e-9);
    WriteTouchstone(coarse, 4, EvenGrid(80e6, 20e9), Lines(4, {{1, 2}, {3, 4}}, [&](double f) { return longLine.At(f); }));
    const struct {
        std::string arguments;
        std::string expected;
        int exitCode;
    } cases[] = {
        // options
        {ok + "--prbs 8", "--prbs 8: the pattern is PRBS7, 15, 23 or 31", 2},
        {ok + "--bogus", "--bogus", 2},
        {ok + "--bits 3000", "--bits", 2},
        {ok + "--tx-model " + kModels + "/LinkTestTx.so", "--tx-model", 2},
        {ok + "--model-timeout never", "--model-timeout never: give a number of seconds", 2},
        // limits, known before the run
        {models + "--bits 10000000000", "more than this machine's memory holds", 1},
        {ok + "--bit-rate 1e14", "beyond 1e+13 samples/s", 1},
        {models + "--bits 150", "150 bits are all within the 200 bits to ignore", 1},
        {models + "--bits 150 --ignore-bits 150", "150 bits are all within the 150 bits to ignore", 1},
        {ok + "--out /proc/self", "cannot write in the output folder /proc/self", 1},
        {ok + "--channel touchstone:" + fifo, "it is a FIFO, not a file", 1},
        {ok + "--channel file:" + fifo, "it is a FIFO, not a file", 1},
        {ok + "--ibs " + fifo, "it is a FIFO, not a file", 1},
        {ok + "--channel touchstone:" + nuls, "is not a text file: line 1 holds the byte 0x00", 1},
        {ok + table("bell.txt", "0 0\n3.125e-12 3.2e11\a\n"), "is not a text file: line 2 holds the byte 0x07", 1},
        {rx + "--bits 2000 --tx-ami " + kModels + "/LinkTestTx.ami --tx-model " + fifo,
         "cannot read the model library " + fifo + ": it is a FIFO, not a file", 1},
        // model files and parameters
        {rx + "--bits 2000 --tx-model /nonexistent/x.so --tx-ami " + kModels + "/LinkTestTx.ami",
         "cannot load the model library /nonexistent/x.so: there is no such file", 1},
        {rx + "--bits 2000 --tx-model /nonexistent/x.so", "cannot load the model library /nonexistent/x.so: there is no such file", 1},
        {rx + "--bits 2000 --tx-model " + kModels + "/LinkTestTx.ami --tx-ami " + kModels + "/LinkTestTx.ami",
         "cannot load the model library", 1},
        {tx + "--bits 2000 --rx-model " + kModels + "/LinkTestRxInit.so --rx-ami " + kModels + "/LinkTestRxClock.ami",
         "has no entry point AMI_GetWave although its .ami file says GetWave_Exists True", 1},
        {ok + "--tx-ami " + bad, "does not parse: its parentheses do not match", 1},
        {ok + "--tx Gain=3", "LinkTestTx has no parameter Gain", 1},
        {ok + "--rx Boost=0.9", "parameter Boost=0.9 is outside its range 0.0 to 0.6", 1},
        // channels
        {ok + "--channel file:/nonexistent/channel.txt", "cannot read the channel file /nonexistent/channel.txt", 1},
        {ok + picoseconds, "spans 2 s: its times must be in seconds", 1},
        {ok + zeros, "is all zeros", 1},
        {ok + huge, "its values must be in 1/s", 1},
        // models that fail, crash, hang or return garbage
        {ok + "--tx FailInit=True", "LinkTestTx AMI_Init failed: received (LinkTestTx", 1},
        {ok + "--tx Fault=1", "LinkTestTx crashed in AMI_Init (segmentation fault)", 1},
        {ok + "--tx Fault=3 --model-timeout 0.5", "LinkTestTx AMI_Init did not return within 0.5 s", 1},
        {ok + "--tx Fault=2", "LinkTestTx AMI_GetWave returned samples that are not finite at bit 0", 1},
        {ok + "--tx Fault=4", "LinkTestTx ended the process (exit) in AMI_Init instead of returning", 1},
        {ok + "--tx Fault=5", "LinkTestTx ended the process (exit) in AMI_GetWave instead of returning", 1},
        {ok + "--tx Fault=6", "LinkTestTx crashed in AMI_GetWave (segmentation fault)", 1},
        // Touchstone channels, crosstalk and buffers
        {ok + "--channel touchstone:/nonexistent/x.s4p", "cannot read the Touchstone file /nonexistent/x.s4p", 1},
        {ok + "--aggressor file:/nonexistent/a.txt", "aggressor 1: cannot read the channel file", 1},
        {ok + "--channel touchstone:" + coarse, "the 80.000 MHz frequency step gives the transform a 12.500 ns window", 1},
        {ok + "--rx-c 1e-3 --rx-impedance 0", "the receiver impedance must be more than 0 ohm", 1},
        {"--ibs " TESSEL_SOURCE_DIR "/kit/orvex_retimer.ibs --tx-pin RX_P --rx-pin TX_P", "which cannot drive", 2},
    };
    for (const auto& c : cases) {
        const std::string out = c.arguments.find("--out ") == std::string::npos ? " --out " + Scratch("out") : "";
        const ProgramRun run = RunProgram(c.arguments + out);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.err.rfind("orvex-link: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "more than one line: " << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// A run writes only its own outputs: what an earlier run into the same
// folder wrote and this one does not is gone, and a run that fails leaves
// the earlier one's as they were. The pattern is named either way, and
// --bits-per-call goes no further than the run. Bytes that are not UTF-8
// reach summary.json as U+FFFD.
TEST(Program, LeavesNoOutputOfAnEarlierRunBehind) {
    const std::string out = Scratch("again");
    const std::string models = Models("LinkTestTx", "LinkTestRxClock") + "--bits 3000 --out " + out;
    const std::string latin1 = Scratch("caf\xe9.txt");
    std::ofstream(latin1) << "0 0\n3.125e-12 3.2e11\n6.25e-12 0\n";
    ASSERT_EQ(RunProgram(models + " --prbs PRBS7 --channel file:" + latin1).exitCode, 0);
    ASSERT_FALSE(ReadFile(out + "/eye.png").empty());
    const std::string good = ReadFile(out + "/summary.json");
    EXPECT_NE(good.find("caf\xef\xbf\xbd.txt"), std::string::npos) << good.substr(0, 400);
    EXPECT_EQ(RunProgram(models + " --channel touchstone:/nonexistent/typo.s4p").exitCode, 1);
    // An inverted channel is named as such, elsewhere.
    const std::string inverted = Scratch("inverted.txt");
    std::ofstream(inverted) << "0 0\n3.125e-12 -3.2e11\n6.25e-12 0\n";
    const std::string invertedOut = Scratch("inverted");
    ASSERT_EQ(RunProgram(Models("LinkTestTx", "LinkTestRxClock") + "--bits 3000 --channel file:" + inverted +
                         " --out " + invertedOut)
                  .exitCode,
              0);
    const nlohmann::json invertedRun = ReadSummary(invertedOut);
    EXPECT_EQ(invertedRun["verdict"], "fail");
    EXPECT_EQ(invertedRun["errors"]["inverted"], true);
    EXPECT_NE(invertedRun["verdict_reasons"][0].get<std::string>().find("the output is inverted"), std::string::npos)
        << invertedRun["verdict_reasons"];
    EXPECT_EQ(ReadFile(out + "/summary.json"), good);
    EXPECT_FALSE(ReadFile(out + "/eye.png").empty());
    // Lean: summary.json alone.
    ASSERT_EQ(RunProgram(models + " --channel loss:3 --outputs summary").exitCode, 0);
    EXPECT_FALSE(std::ifstream(out + "/eye.png").good());
    EXPECT_FALSE(std::ifstream(out + "/report.html").good());
    EXPECT_EQ(ReadSummary(out)["eye"]["image"], "");
    const ProgramRun retimed =
        RunProgram(models + " --channel loss:3 --prbs 7 --rx-output retimed --bits-per-call 2000000000");
    ASSERT_EQ(retimed.exitCode, 0) << retimed.err;
    EXPECT_FALSE(std::ifstream(out + "/eye.png").good()) << "the first run's eye picture is still there";
    const nlohmann::json summary = ReadSummary(out);
    EXPECT_EQ(summary["rx_output"], "retimed decisions");
    EXPECT_EQ(summary["stimulus"]["pattern"], "PRBS7");
    EXPECT_EQ(summary["stimulus"]["bits_per_call"], 3000);
    // A second run into the folder while one holds it is refused.
    const int held = open((out + "/.orvex-link.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const ProgramRun second = RunProgram(models + " --channel loss:3");
    close(held);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("another run is writing into the output folder"), std::string::npos) << second.err;
    EXPECT_EQ(ReadSummary(out)["rx_output"], "retimed decisions");
}

// Careless models: one that sets a locale with decimal commas changes none
// of the host's numbers; one that returns an impulse response of zeros is
// named as the cause of the failed link.
TEST(Program, NamesWhatCarelessModelsDoToTheRun) {
    const std::string locales = Scratch("locales");
    std::filesystem::create_directories(locales);
    std::system(("localedef -i de_DE -f UTF-8 " + locales + "/de_DE.UTF-8 >/dev/null 2>&1").c_str());
    // Whether the locale was made, asked of a program of the system's (the
    // C library keeps memory for good when a process opens a locale from
    // LOCPATH itself).
    const std::string radix = Scratch("radix");
    std::system(("LOCPATH=" + locales + " LC_ALL=de_DE.UTF-8 /usr/bin/printf %.1f 0.5 >" + radix + " 2>/dev/null").c_str());
    if (ReadFile(radix) != "0,5") GTEST_SKIP() << "no de_DE.UTF-8 locale can be made here (localedef and the locales package)";
    setenv("LOCPATH", locales.c_str(), 1);
    const std::string out = Scratch("comma");
    const ProgramRun run =
        RunProgram(Models("LinkTestTx", "LinkTestRxClock") + "--bits 3000 --channel loss:3 --tx Fault=7 --out " + out);
    unsetenv("LOCPATH");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("margins at BER 1e-12"), std::string::npos) << run.out;
    for (size_t comma = run.out.find(','); comma != std::string::npos; comma = run.out.find(',', comma + 1)) {
        const bool decimal = comma > 0 && comma + 1 < run.out.size() && std::isdigit(static_cast<unsigned char>(run.out[comma - 1])) &&
                             std::isdigit(static_cast<unsigned char>(run.out[comma + 1]));
        EXPECT_FALSE(decimal) << "a decimal comma at " << comma << ": " << run.out;
    }
    EXPECT_TRUE(ReadSummary(out)["margins"]["timing_margin_ui"].is_number());

    const std::string mutedOut = Scratch("muted");
    ASSERT_EQ(RunProgram(Models("LinkTestTx", "LinkTestRxInit") + "--bits 3000 --rx Mute=True --out " + mutedOut)
                  .exitCode,
              0);
    const nlohmann::json muted = ReadSummary(mutedOut);
    EXPECT_EQ(muted["verdict"], "fail");
    EXPECT_EQ(muted["verdict_reasons"][0],
              "LinkTestRxInit AMI_Init returned an impulse response of zeros: nothing of the transmitted bits reaches "
              "the receiver's output");
}

// An interrupted run says so and leaves the earlier run's outputs as they
// were; the next run removes the folder it abandoned.
TEST(Program, AnInterruptedRunLeavesTheEarlierOutputs) {
    const std::string out = Scratch("interrupted");
    const std::string models = Models("LinkTestTx", "LinkTestRxClock") + "--bits 3000 --channel loss:3 --out " + out;
    ASSERT_EQ(RunProgram(models).exitCode, 0);
    const std::string earlier = ReadFile(out + "/summary.json");
    const auto abandoned = [&out] {
        size_t folders = 0;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            folders += entry.path().filename().string().rfind(".orvex-link-run-", 0) == 0;
        }
        return folders;
    };
    const std::string err = Scratch("interrupted.err");
    const std::string command =
        "exec " + std::string(ORVEX_LINK_PROGRAM) + " " + models + " --tx Fault=3 --model-timeout 60 2>" + err;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    // Hanging in AMI_Init once its folder is there and a moment has passed.
    for (int wait = 0; wait < 400 && abandoned() == 0; ++wait) usleep(50000);
    usleep(300000);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_NE(ReadFile(err).find("orvex-link: interrupted (SIGTERM): the outputs of an earlier run, if any, are left "
                                 "as they were in " + out),
              std::string::npos)
        << ReadFile(err);
    EXPECT_EQ(ReadFile(out + "/summary.json"), earlier);
    EXPECT_EQ(abandoned(), 1u);
    ASSERT_EQ(RunProgram(models).exitCode, 0);
    EXPECT_EQ(abandoned(), 0u);
}

// A model's reserved inputs get the values the host knows, and what it
// returns in AMI_parameters_out is read as a tree, or named malformed and
// kept as it came. A model of another modulation is refused.
TEST(Program, HandsModelsTheirReservedInputsAndReadsWhatTheyReturn) {
    const std::string out = Scratch("echo");
    const std::string models = Models("LinkTestTx", "LinkTestRxPass") + "--bits 3000 --channel loss:3 --out " + out;
    ASSERT_EQ(RunProgram(models + " --rx Gain=1.5").exitCode, 0);
    nlohmann::json rx = ReadSummary(out)["rx"];
    EXPECT_EQ(rx["parameter_string"], "(LinkTestRxPass (Model_Name \"LinkTestRxPass\") (Gain 1.5) (Garble False))");
    const nlohmann::json& returned = rx["parameters_out_read"];
    EXPECT_EQ(returned["init"]["tree"]["LinkTestRxPass"]["Model_Name"], "LinkTestRxPass");
    EXPECT_EQ(returned["last_getwave"]["tree"]["LinkTestRxPass"]["Gain"], 1.5);
    EXPECT_GT(returned["last_getwave"]["tree"]["LinkTestRxPass"]["Calls"].get<long>(), 0);
    EXPECT_NE(ReadSummary(out)["notes"].dump().find("Component_Name, which only an IBIS file gives"),
              std::string::npos);

    ASSERT_EQ(RunProgram(models + " --rx Garble=True").exitCode, 0);
    rx = ReadSummary(out)["rx"];
    const nlohmann::json& garbled = rx["parameters_out_read"]["last_getwave"];
    EXPECT_EQ(garbled["error"], "does not parse: its parentheses do not match");
    EXPECT_EQ(garbled["text"].get<std::string>().rfind("(LinkTestRxPass (Calls ", 0), 0u);

    const std::string pam4 = Scratch("pam4.ami");
    std::ofstream(pam4) << "(LinkTestRxPass (Reserved_Parameters (Init_Returns_Impulse (Value False)) "
                           "(GetWave_Exists (Value True)) (Modulation (Usage Info) (Type String) (Value \"PAM4\"))))";
    const ProgramRun refused = RunProgram(models + " --rx-ami " + pam4);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("LinkTestRxPass declares Modulation PAM4: orvex-link runs NRZ links only"),
              std::string::npos)
        << refused.err;
}

// Jitter and noise a model declares of itself are applied as the same
// stress given on the command line would be; a receiver's sensitivity comes
// off the voltage margin; what cannot be applied is named.
TEST(Program, AppliesTheJitterAndNoiseTheModelsDeclare) {
    const auto declaring = [](const std::string& model, const std::string& reserved) {
        std::string text = ReadFile(kModels + "/" + model + ".ami");
        text.insert(text.find("(Reserved_Parameters") + 20, reserved);
        const std::string path = Scratch(model + "_declaring.ami");
        std::ofstream(path) << text;
        return path;
    };
    const std::string tx = declaring("LinkTestTx", " (Tx_Rj (Usage Info) (Type Float) (Value 2e-12))");
    const std::string rx = declaring("LinkTestRxClock", " (Rx_Noise (Usage Info) (Type Float) (Value 0.005))"
                                                        " (Rx_Receiver_Sensitivity (Usage Info) (Type Float) (Value 0.01))"
                                                        " (Rx_Clock_Recovery_Mean (Usage Info) (Type Float) (Value 1e-12))");
    const std::string run = Models("LinkTestTx", "LinkTestRxClock") + "--bits 6000 --channel loss:6 ";
    const std::string given = Scratch("given");
    const std::string declared = Scratch("declared");
    ASSERT_EQ(RunProgram(run + "--tx-rj 2e-12 --rx-noise 0.005 --out " + given).exitCode, 0);
    ASSERT_EQ(RunProgram(run + "--tx-ami " + tx + " --rx-ami " + rx + " --out " + declared).exitCode, 0);
    const nlohmann::json a = ReadSummary(given);
    const nlohmann::json b = ReadSummary(declared);
    EXPECT_EQ(b["stress"]["rj_rms_s"], 2e-12);
    EXPECT_EQ(b["stress"]["rx_noise_rms_v"], 0.005);
    ASSERT_EQ(b["stress"]["declared_by_models"].size(), 3u) << b["stress"];
    EXPECT_EQ(a["errors"], b["errors"]);
    EXPECT_EQ(a["margins"]["timing_margin_ui"], b["margins"]["timing_margin_ui"]);
    EXPECT_NEAR(b["margins"]["voltage_margin_v"].get<double>(), a["margins"]["voltage_margin_v"].get<double>() - 0.01,
                1e-12);
    EXPECT_NE(b["notes"].dump().find("declares Rx_Clock_Recovery_Mean 1e-12, not applied"), std::string::npos)
        << b["notes"];
}

// The responses: the pulse is the step less itself one unit interval
// later, and the cursors are the pulse at unit-interval spacing from its
// peak, as responses.csv and summary.json give them.
TEST(Program, WritesTheResponsesAndTheirCursors) {
    const std::string out = Scratch("responses");
    ASSERT_EQ(RunProgram(Models("LinkTestTx", "LinkTestRxInit") + "--bits 3000 --channel loss:6 --out " + out).exitCode,
              0);
    const nlohmann::json responses = ReadSummary(out)["responses"];
    const nlohmann::json& cursors = responses["cursors"];
    ASSERT_TRUE(cursors.is_object()) << responses;
    EXPECT_EQ(responses["paths"], (nlohmann::json{"channel", "after LinkTestRxInit AMI_Init"}));
    std::map<std::string, std::vector<double>> series;  // by quantity, for the cursors' path
    std::istringstream csv(ReadFile(out + "/responses.csv"));
    std::string line;
    std::getline(csv, line);
    const std::string prefix = "\"" + cursors["path"].get<std::string>() + "\",";
    while (std::getline(csv, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::istringstream fields(line.substr(prefix.size()));
        std::string quantity, x, value;
        std::getline(fields, quantity, ',');
        std::getline(fields, x, ',');
        std::getline(fields, value, ',');
        series[quantity].push_back(std::stod(value));
    }
    const std::vector<double>& step = series["step_v"];
    const std::vector<double>& pulse = series["pulse_v"];
    ASSERT_EQ(step.size(), pulse.size());
    const size_t ui = 32;  // samples per unit interval, the default
    for (size_t n = ui; n < pulse.size(); ++n) ASSERT_NEAR(pulse[n], step[n] - step[n - ui], 1e-8) << n;
    const size_t peak = size_t(std::lround(cursors["main_peak_s"].get<double>() / (1e-10 / double(ui))));
    ASSERT_LT(peak + 10 * ui, pulse.size());
    EXPECT_NEAR(cursors["main_v"].get<double>(), pulse[peak], 1e-8);
    // A pre-cursor before the response starts is 0.
    for (size_t k = 1; k <= 3; ++k) {
        EXPECT_NEAR(cursors["pre_v"][k - 1].get<double>(), peak >= k * ui ? pulse[peak - k * ui] : 0.0, 1e-8) << k;
    }
    for (size_t k = 1; k <= 10; ++k) EXPECT_NEAR(cursors["post_v"][k - 1].get<double>(), pulse[peak + k * ui], 1e-8);
    EXPECT_EQ(ReadFile(out + "/responses.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

}  // namespace
