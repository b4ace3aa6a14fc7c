#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>

#include "IbisFile.h"

namespace linksim {

bool ParseQuantity(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return false;
    const std::string suffix(end);
    if (suffix == "k") value *= 1e3;
    else if (suffix == "M") value *= 1e6;
    else if (suffix == "G") value *= 1e9;
    else if (!suffix.empty()) return false;
    return std::isfinite(value);
}

std::string ProgramFolder(const char* argument0) {
    std::error_code failure;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure) program = std::filesystem::absolute(argument0, failure);
    return program.parent_path().string();
}

namespace {

const char* const kTxModel = "Orvex_TX_AMI_01142014";
const char* const kRxModel = "Orvex_RX_AMI_05272013";

// A whole number of at least minimum, also written with a suffix (10k, 2M).
bool ParseCount(const std::string& text, long long minimum, long long& value) {
    double quantity = 0.0;
    if (!ParseQuantity(text, quantity) || quantity != std::floor(quantity) || quantity < double(minimum) ||
        quantity > 9e18) {
        return false;
    }
    value = (long long)quantity;
    return true;
}

// Help lines wrapped to fit a terminal beside the option column.
std::string Wrapped(const std::string& text) {
    const size_t width = 64;
    std::string result;
    size_t lineStart = 0;
    size_t position = 0;
    while (position < text.size()) {
        size_t wordEnd = text.find(' ', position);
        if (wordEnd == std::string::npos) wordEnd = text.size();
        if (wordEnd - lineStart > width && position > lineStart) {
            result.back() = '\n';
            lineStart = position;
        }
        result.append(text, position, wordEnd - position);
        if (wordEnd < text.size()) result += ' ';
        position = wordEnd + 1;
    }
    return result;
}

[[noreturn]] void Refuse(const std::string& option, const std::string& value, const std::string& reason) {
    throw CLI::ValidationError(option + " " + value + ": " + reason);
}

void ParseChannel(const std::string& text, ChannelSpec& channel) {
    if (text.rfind("loss:", 0) == 0) {
        channel.kind = ChannelKind::Loss;
        if (!ParseQuantity(text.substr(5), channel.lossDb) || channel.lossDb < 0.0) {
            Refuse("--channel", text, "the loss must be a number of dB, 0 or more");
        }
        return;
    }
    if (text.rfind("file:", 0) == 0 && text.size() > 5) {
        channel.kind = ChannelKind::File;
        channel.path = text.substr(5);
        return;
    }
    if (text.rfind("touchstone:", 0) == 0 && text.size() > 11) {
        channel.kind = ChannelKind::Touchstone;
        channel.path = text.substr(11);
        return;
    }
    Refuse("--channel", text, "give loss:DB, file:PATH or touchstone:PATH");
}

ChannelSpec ParseAggressor(const std::string& text) {
    ChannelSpec aggressor;
    if (text.rfind("loss:", 0) == 0) Refuse("--aggressor", text, "give file:PATH or touchstone:PATH");
    try {
        ParseChannel(text, aggressor);
    } catch (const CLI::ValidationError&) {
        Refuse("--aggressor", text, "give file:PATH or touchstone:PATH");
    }
    return aggressor;
}

PortMap ParsePorts(const std::string& option, const std::string& text) {
    PortMap map;
    std::string error;
    if (!ParsePortMap(text, map, error)) Refuse(option, text, error.substr(error.find("takes")));
    return map;
}

// Ohms or farads with an SI scale letter (50, 0.8p, 1.2k); "inf" or "open"
// where an open end is allowed.
double ParseBufferValue(const std::string& option, const std::string& text, bool openAllowed) {
    if (openAllowed && (text == "inf" || text == "open")) return std::numeric_limits<double>::infinity();
    double value = 0.0;
    if (!ParseScaledNumber(text, value) || value < 0.0) {
        Refuse(option, text, std::string("give a value of 0 or more, with an SI scale letter if wanted (0.8p, 50)") +
                                 (openAllowed ? ", or open" : ""));
    }
    return value;
}

int ParsePrbs(const std::string& text) {
    std::string digits = text;
    if (digits.rfind("PRBS", 0) == 0 || digits.rfind("prbs", 0) == 0) digits = digits.substr(4);
    long long order = 0;
    if (!ParseCount(digits, 1, order) || (order != 7 && order != 15 && order != 23 && order != 31)) {
        Refuse("--prbs", text, "the pattern is PRBS7, 15, 23 or 31");
    }
    return int(order);
}

RxOutputMode ParseRxOutput(const std::string& text) {
    if (text == "auto") return RxOutputMode::Auto;
    if (text == "equalised" || text == "equalized") return RxOutputMode::Equalised;
    if (text == "retimed") return RxOutputMode::Retimed;
    Refuse("--rx-output", text, "the receiver output is auto, equalised or retimed");
}

ParameterOverride ParseParameter(const std::string& option, const std::string& text) {
    ParameterOverride override;
    std::string error;
    if (!ParseOverride(text, override, error)) throw CLI::ValidationError(option + " " + error);
    return override;
}

bool HasOverride(const ModelSpec& model, const std::string& name) {
    for (const ParameterOverride& override : model.overrides) {
        if (override.name == name) return true;
    }
    return false;
}

const char* const kFiguresHelp =
    "\nwhat a run reports (summary.json, and printed):\n"
    "  margins at --ber, at the receiver's own sampling instants (its clock times + UI/2):\n"
    "    timing_margin_ui     from the instant to the nearer wall of the bathtub at the target\n"
    "                         rate; negative when the instant lies outside the opening\n"
    "    eye_width_at_ber_ui  the whole opening at the target rate (0 when shut)\n"
    "    voltage_margin_v     at the instant, from the threshold to the nearer level at the target\n"
    "                         rate (Gaussian fits of the ones' and zeros' tails)\n"
    "    sampling_offset_ui   the instant minus the middle of the opening (positive: late)\n"
    "    clock wander         peak to peak of the clock's phase against the data after its lock\n"
    "  errors are counted at 64 phases per UI; below what was counted, the bathtub follows a\n"
    "  dual-Dirac fit of each side of the edges' crossing times (parameters in summary.json)\n"
    "  bathtub.png     error rate against sampling phase (log axis), target and instant marked\n"
    "  eye.png         the output's density (log colour scale), the opening at the target rate\n"
    "                  outlined and the sampling point marked\n"
    "  trajectory.png  CTLE response, eye width/height, the five DFE taps per adaptation\n"
    "                  measurement, and the clock's phase, with the lock and Ignore_Bits marked\n"
    "  adaptation.csv  the receiver's adapt.txt with a header and the bit each line was logged by\n"
    "\nsigning off a 20 dB link at 1e-12 with 1 ps of random jitter and 10 mV of noise:\n"
    "  orvex-link --channel loss:20 --tx-rj 1e-12 --rx-noise 10e-3 --ber 1e-12 --out signoff\n"
    "  then read timing_margin_ui, voltage_margin_v and the notes in signoff/summary.json\n";

// "usage: orvex-link [options]" first, then what the program does.
class UsageFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App*) const override { return ""; }
    std::string make_usage(const CLI::App* app, std::string name) const override {
        return "usage: " + name + " [options]\n" + app->get_description() + "\n";
    }
};

const long long kNoMaximum = 9000000000000000000LL;

// A whole-number option from minimum to maximum, suffixes allowed (10k).
template <typename Count>
CLI::Option* AddCount(CLI::App& app, const std::string& name, Count& target, long long minimum, long long maximum,
                      const std::string& reason, const std::string& description) {
    return app
        .add_option_function<std::string>(
            name,
            [&target, name, minimum, maximum, reason](const std::string& text) {
                long long count = 0;
                if (!ParseCount(text, minimum, count) || count > maximum) Refuse(name, text, reason);
                target = Count(count);
            },
            description)
        ->type_name("N");
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::unique_ptr<CLI::App> MakeApp(CommandLine& line, const std::string& programFolder) {
    auto app = std::make_unique<CLI::App>(
        "Runs a serial link end to end through an IBIS-AMI transmitter and receiver.", "orvex-link");
    app->formatter(std::make_shared<UsageFormatter>());
    app->footer("Each option is given once, except --tx and --rx, which add a parameter each time.");
    app->get_formatter()->column_width(26);
    AddLinkOptions(*app, line, programFolder);
    app->set_help_flag("-h,--help", "this text")->group("output");
    app->footer(kFiguresHelp);
    return app;
}

}  // namespace

std::string DefaultTxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + kTxModel + ".so";
}

std::string DefaultRxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + kRxModel + ".so";
}

void AddLinkOptions(CLI::App& app, CommandLine& line, const std::string& programFolder) {
    LinkSettings& s = line.settings;
    s.tx.library = DefaultTxLibrary(programFolder);
    s.rx.library = DefaultRxLibrary(programFolder);
    s.outDir = "link-run";

    const std::string models = "models";
    const size_t first = app.get_options().size();
    app.add_option("--tx-model", s.tx.library,
                   "transmitter library (default: kit/" + std::string(kTxModel) + ".so beside this program)")
        ->type_name("PATH")->group(models);
    app.add_option("--rx-model", s.rx.library,
                   "receiver library (default: kit/" + std::string(kRxModel) + ".so)")
        ->type_name("PATH")->group(models);
    app.add_option("--tx-ami", s.tx.ami, "transmitter .ami file (default: the library's name with .ami)")
        ->type_name("PATH")->group(models);
    app.add_option("--rx-ami", s.rx.ami, "receiver .ami file (likewise)")->type_name("PATH")->group(models);
    app.add_option_function<std::vector<std::string>>(
           "--tx",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.tx.overrides.push_back(ParseParameter("--tx", text));
           },
           "transmitter parameter, checked against its .ami (repeatable)")
        ->type_name("NAME=VALUE")->allow_extra_args(false)->group(models);
    app.add_option_function<std::vector<std::string>>(
           "--rx",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.rx.overrides.push_back(ParseParameter("--rx", text));
           },
           "receiver parameter (repeatable); the kit's receiver runs with Rx_config=1, its equalised output, "
           "unless this sets it")
        ->type_name("NAME=VALUE")->allow_extra_args(false)->group(models);
    app.add_option_function<std::string>(
           "--rx-output", [&s](const std::string& text) { s.rxOutput = ParseRxOutput(text); },
           "auto, equalised or retimed: whether the receiver's output is an analog waveform (sampled UI/2 after "
           "each clock time, eye drawn) or its retimed decisions (read at the clock times, no eye); auto knows "
           "the kit's receiver")
        ->type_name("MODE")->group(models);

    const std::string stimulus = "stimulus";
    app.add_option_function<std::string>(
           "--prbs", [&s](const std::string& text) { s.prbsOrder = ParsePrbs(text); },
           "PRBS7, 15, 23 or 31, as 7 or PRBS7 (default 15)")
        ->type_name("N")->group(stimulus);
    AddCount(app, "--bits", s.bits, 1, kNoMaximum, "give a positive number of bits",
             "bits to send, e.g. 200000 or 200k (default: the models' Ignore_Bits and 50000 or a fifth more, "
             "whichever is larger); at most " + std::to_string(MaxBits()) + ", half this machine's memory at " +
                 std::to_string(kBytesPerBit) + " bytes per bit")
        ->group(stimulus);
    app.add_option_function<std::string>(
           "--bit-rate",
           [&s](const std::string& text) {
               if (!ParseQuantity(text, s.bitRate) || s.bitRate <= 0.0) {
                   Refuse("--bit-rate", text, "give the bit rate in bits per second (10e9 or 10G)");
               }
           },
           "bit rate, e.g. 10e9 or 10G (default 10 Gb/s); bit rate times samples per unit interval at most " +
               Number(kMaxSampleRate) + " samples/s")
        ->type_name("HZ")->group(stimulus);
    AddCount(app, "--samples-per-ui", s.samplesPerUi, 2, 4096, "give 2 to 4096 samples per unit interval",
             "samples per unit interval, 2 to 4096 (default 32)")
        ->group(stimulus);
    AddCount(app, "--bits-per-call", s.bitsPerCall, 1, kNoMaximum, "give a positive number of bits per AMI_GetWave call",
             "bits per AMI_GetWave call (default 1024; at most the bits of the run)")
        ->group(stimulus);
    AddCount(app, "--ignore-bits", s.ignoreBits, 0, kNoMaximum, "give a number of bits, 0 or more",
             "bits at the start not counted (default: the larger of the models' Ignore_Bits); a run must send "
             "more")
        ->group(stimulus);

    const std::string stress = "stress (in the stimulus the host builds; the same for the same seed)";
    auto amount = [&app, &stress](const char* name, double& value, const char* reason, const char* help) {
        app.add_option_function<std::string>(
               name,
               [&value, name, reason](const std::string& text) {
                   if (!ParseQuantity(text, value) || value < 0.0) Refuse(name, text, reason);
               },
               help)
            ->type_name(std::string(name) == "--rx-noise" ? "VOLTS" : "SECONDS")
            ->group(stress);
    };
    auto amountAt = [&app, &stress](const char* name, double& value, double& frequency, const char* typeName,
                                    const char* help) {
        app.add_option_function<std::string>(
               name,
               [&value, &frequency, name](const std::string& text) {
                   std::string error;
                   if (!ParseAmountAtFrequency(text, value, frequency, error)) {
                       throw CLI::ValidationError(std::string(name) + " " + error);
                   }
               },
               help)
            ->type_name(typeName)
            ->group(stress);
    };
    amount("--tx-rj", s.stress.rjRms, "give the jitter in seconds, 0 or more (1e-12 for 1 ps)",
           "random jitter on the transmitted edges, rms, e.g. 1e-12 (1 ps)");
    amount("--tx-dj", s.stress.djPeakToPeak, "give the jitter in seconds, 0 or more (5e-12 for 5 ps)",
           "deterministic jitter as dual-Dirac, peak to peak: each edge early or late by half of it, at random");
    amountAt("--tx-sj", s.stress.sjPeakToPeakUi, s.stress.sjFrequency, "UI@HZ",
             "sinusoidal jitter, UI peak to peak at a frequency, e.g. 0.1@100e3");
    app.add_option_function<std::string>(
           "--tx-ppm",
           [&s](const std::string& text) {
               if (!ParseQuantity(text, s.stress.ppm)) {
                   Refuse("--tx-ppm", text, "give the data-rate offset in parts per million, as in 100 or -100");
               }
           },
           "data rate above the nominal one, parts per million (negative: below)")
        ->type_name("PPM")->group(stress);
    amountAt("--tx-ssc", s.stress.sscPpm, s.stress.sscFrequency, "PPM@HZ",
             "spread-spectrum clocking: triangular down-spread of PPM at a frequency, e.g. 5000@33e3");
    amount("--rx-noise", s.stress.rxNoiseRms, "give the noise in volts rms, 0 or more (10e-3 for 10 mV)",
           "Gaussian noise, rms, added to the receiver's input before its AMI_GetWave, e.g. 10e-3 (10 mV)");
    app.add_option_function<std::string>(
           "--seed",
           [&s](const std::string& text) {
               long long count = 0;
               if (!ParseCount(text, 0, count)) Refuse("--seed", text, "give a seed of 0 or more");
               s.stress.seed = uint64_t(count);
           },
           "seed of the jitter and the noise (default 1)")
        ->type_name("N")->group(stress);

    app.add_option_function<std::string>(
           "--ber",
           [&s](const std::string& text) {
               if (!ParseQuantity(text, s.targetBer) || !(s.targetBer > 0.0 && s.targetBer < 0.5)) {
                   Refuse("--ber", text, "give the target bit error rate, as in 1e-12 or 1e-15");
               }
           },
           "target bit error rate of the margins, bathtub and eye outline (default 1e-12)")
        ->type_name("RATE")->group("margins");

    const std::string channel = "channel";
    app.add_option_function<std::string>(
           "--channel", [&s](const std::string& text) { ParseChannel(text, s.channel); },
           "loss:DB, a lossy line with DB dB of loss at Nyquist (default loss:12); file:PATH, an impulse "
           "response as two columns: time (s), value (1/s); or touchstone:PATH, S-parameters (.s2p: the "
           "differential path itself; .s4p or larger: single-ended ports, paired by --ports)")
        ->type_name("SPEC")->group(channel);
    app.add_option_function<std::string>(
           "--ports", [&s](const std::string& text) { s.ports = ParsePorts("--ports", text); },
           "the input P, input N, output P and output N ports of a Touchstone channel (default 1,3,2,4: ports 1 "
           "and 3 at the input, 1->2 and 3->4 through; files numbered 1->3 and 2->4 take 1,2,3,4); in larger "
           "files, the pair to use")
        ->type_name("A,B,C,D")->group(channel);
    app.add_option_function<std::vector<std::string>>(
           "--aggressor",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.aggressors.push_back(ParseAggressor(text));
           },
           "a crosstalk path into the receiver, touchstone:PATH or file:PATH (repeatable), driven by its own "
           "PRBS and shaped by the transmitter's AMI_Init as an aggressor column; a Touchstone file may be the "
           "channel's own, with other ports")
        ->type_name("SPEC")->allow_extra_args(false)->group(channel);
    app.add_option_function<std::string>(
           "--aggressor-ports",
           [&s](const std::string& text) {
               s.aggressorPorts = ParsePorts("--aggressor-ports", text);
               s.aggressorPortsGiven = true;
           },
           "the aggressor's input P, input N and the receiver's output P, output N ports in every Touchstone "
           "aggressor (default: --ports)")
        ->type_name("A,B,C,D")->group(channel);

    const std::string buffers = "buffers";
    app.add_option("--ibs", s.ibsPath,
                   "an IBIS file: the transmitter and receiver [Model]s (by Model_type, or --tx-pin and --rx-pin), "
                   "their [Algorithmic Model] executables and .ami files (no --tx-model or --rx-model needed), "
                   "their C_comp, I-V impedance and the [Package] R, L, C")
        ->type_name("PATH")->group(buffers);
    app.add_option("--tx-pin", s.txPin, "the transmitter's pin or signal name in the --ibs file")
        ->type_name("PIN")->group(buffers);
    app.add_option("--rx-pin", s.rxPin, "the receiver's pin or signal name in the --ibs file")
        ->type_name("PIN")->group(buffers);
    app.add_option_function<std::string>(
           "--tx-impedance",
           [&s](const std::string& text) { s.buffers.txOhms = ParseBufferValue("--tx-impedance", text, false); },
           "the transmitter's output impedance per leg, ohms. Buffers apply to Touchstone channels and --ibs "
           "runs (defaults from the .ibs file beside the models, 50 ohm without one), and to loss: and file: "
           "channels only when one of these four is given")
        ->type_name("OHMS")->group(buffers);
    app.add_option_function<std::string>(
           "--tx-c", [&s](const std::string& text) { s.buffers.txFarads = ParseBufferValue("--tx-c", text, false); },
           "the transmitter's pad capacitance per leg, farads (0.8p); the kit's transmitter holds its pad in its "
           "own responses and gets none by default")
        ->type_name("FARADS")->group(buffers);
    app.add_option_function<std::string>(
           "--rx-impedance",
           [&s](const std::string& text) { s.buffers.rxOhms = ParseBufferValue("--rx-impedance", text, true); },
           "the receiver's termination per leg, ohms, or open")
        ->type_name("OHMS")->group(buffers);
    app.add_option_function<std::string>(
           "--rx-c", [&s](const std::string& text) { s.buffers.rxFarads = ParseBufferValue("--rx-c", text, false); },
           "the receiver's pad capacitance per leg, farads")
        ->type_name("FARADS")->group(buffers);

    const std::string output = "output";
    app.add_option("--out", s.outDir,
                   "output folder (default link-run): summary.json, eye.png, bathtub.png, trajectory.png, "
                   "adaptation.csv and the receiver's adapt.txt; the models run inside it")
        ->type_name("DIR")->group(output);
    app.add_option_function<std::string>(
           "--model-timeout",
           [&s](const std::string& text) {
               if (!ParseQuantity(text, s.modelTimeout) || s.modelTimeout <= 0.0) {
                   Refuse("--model-timeout", text, "give a number of seconds above 0");
               }
           },
           "end the run when a model's AMI_Init, AMI_GetWave or AMI_Close call takes longer than this "
           "(default: no limit)")
        ->type_name("SECONDS")->group(output);
    app.add_flag("-q,--quiet", line.quiet, "no progress bar")->group(output);
    app.add_flag_callback(
           "--sequential", [&s]() { s.overlapHostWork = false; },
           "the channel and the analysis between the receiver's calls, not beside them on a second thread "
           "(same results, slower)")
        ->group(output);
    for (size_t i = first; i < app.get_options().size(); ++i) {
        CLI::Option* option = app.get_options()[i];
        option->description(Wrapped(option->get_description()));
    }
}

void CompleteLinkOptions(const CLI::App& app, CommandLine& line) {
    LinkSettings& s = line.settings;
    bool kitReceiver = app.count("--rx-model") == 0;
    if (!s.ibsPath.empty()) {
        // The IBIS file names the models the options leave open.
        if (app.count("--tx-model") == 0) s.tx.library.clear();
        if (app.count("--rx-model") == 0) {
            s.rx.library.clear();
            IbisFile file;
            const IbisModel* model = nullptr;
            std::string ignored;
            kitReceiver = ReadIbisFile(s.ibsPath, file, ignored) && ChooseModel(file, false, s.rxPin, model, ignored) &&
                          std::filesystem::path(ExecutableForThisPlatform(*model)->library).stem() == kRxModel;
        }
    }
    if (kitReceiver && !HasOverride(s.rx, "Rx_config")) {
        s.rx.overrides.push_back({"Rx_config", "1"});
    }
}

CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, const std::string& programFolder,
                                   CommandLine& line, std::string& error) {
    const std::unique_ptr<CLI::App> app = MakeApp(line, programFolder);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return CommandLineAction::Help;
    } catch (const CLI::ParseError& failure) {
        error = failure.what();
        return CommandLineAction::Fail;
    }
    CompleteLinkOptions(*app, line);
    return CommandLineAction::Run;
}

std::string UsageText() {
    CommandLine line;
    return MakeApp(line, ".")->help();
}

}  // namespace linksim
