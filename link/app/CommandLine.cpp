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
#include "KitModels.h"
#include "Touchstone.h"
#include "Quantity.h"
#include "Version.h"

namespace linksim {

std::string ProgramFolder(const char* argument0) {
    std::error_code failure;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure) program = std::filesystem::absolute(argument0, failure);
    return program.parent_path().string();
}

namespace {


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
        if (!ParseQuantity(text.substr(5), Unit::Decibels, channel.lossDb) || channel.lossDb < 0.0) {
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

// Ohms or farads (50, 50ohm, 0.8p, 0.8pF, 1.2k); "inf" or "open" where an
// open end is allowed.
double ParseBufferValue(const std::string& option, const std::string& text, Unit unit, bool openAllowed) {
    if (openAllowed && (text == "inf" || text == "open")) return std::numeric_limits<double>::infinity();
    double value = 0.0;
    if (!ParseQuantity(text, unit, value) || value < 0.0) {
        Refuse(option, text, std::string("give a value of 0 or more, with an SI prefix and ") + UnitSymbol(unit) +
                                 " if wanted (" + (unit == Unit::Farads ? "0.8p, 0.8pF" : "50, 50ohm") + ")" +
                                 (openAllowed ? ", or open" : ""));
    }
    return value;
}

// A .s2p's differential reference: ohms above 0 (100, 100ohm, 0.1k).
double ParseReferenceOhms(const std::string& text) {
    double value = 0.0;
    if (!ParseQuantity(text, Unit::Ohms, value) || !(value > 0.0) || !std::isfinite(value)) {
        Refuse("--s2p-reference", text, "give the differential reference in ohms, above 0 (100, 100ohm)");
    }
    return value;
}

int ParsePrbs(const std::string& text) {
    std::string digits = text;
    if (digits.rfind("PRBS", 0) == 0 || digits.rfind("prbs", 0) == 0) digits = digits.substr(4);
    long long order = 0;
    if (!ParseCount(digits, order) || (order != 7 && order != 15 && order != 23 && order != 31)) {
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
    "\nexit status:\n"
    "  0  the run completed (with --require-*: the verdict is pass and every requirement is met)\n"
    "  1  the run could not complete (a file, a model or the output folder failed; the message says which)\n"
    "  2  a bad option (a value outside the grammar, a repeated option)\n"
    "  3  a --require-* was not met, or the verdict was fail or unreliable\n"
    "  128 + signal  interrupted (SIGINT, SIGTERM, SIGHUP): the earlier outputs are left as they were\n"
    "\nthe verdict (first line printed; verdict and verdict_reasons in summary.json):\n"
    "  pass        the counted errors, the margins and the clock all show the link meets --ber\n"
    "  fail        errors above the target at the sampling instant, the clock on the data crossings,\n"
    "              errors at every phase, or a timing or voltage margin not above 0\n"
    "  unreliable  the run cannot tell: fits of fewer than 100 crossing times, fits that disagree\n"
    "              with the counts, an adaptation still measuring or a clock not locked after the\n"
    "              ignored bits\n"
    "\nwhat a run reports (summary.json, and printed):\n"
    "  margins at --ber, at the receiver's own sampling instants (its clock times + UI/2):\n"
    "    timing_margin_ui     from the instant to the nearer wall of the bathtub at the target\n"
    "                         rate; negative when the instant lies outside the opening\n"
    "    eye_width_at_ber_ui  the whole opening at the target rate (0 when shut)\n"
    "    voltage_margin_v     at the instant, from the threshold to the nearer level at the target\n"
    "                         rate (Gaussian fits of the ones' and zeros' tails)\n"
    "    sampling_offset_ui   the instant minus the middle of the opening (positive: late)\n"
    "    clock wander         peak to peak of the clock's phase against the data after its lock\n"
    "    margins.open         timing and voltage margins both above 0; eye.open: the counted\n"
    "                         samples show an opening at the sampling instants\n"
    "  errors are counted at 64 phases per UI; below what was counted, the bathtub follows a\n"
    "  dual-Dirac fit of each side of the edges' crossing times (parameters in summary.json),\n"
    "  never below the counted rate's lower 95 % bound; a fit that disagrees with the counts is\n"
    "  not used, and the margins then come from the counted phases alone\n"
    "  clock.lock_at_bit     the clock's phase against the data stays within a band from there on\n"
    "  clock.lost_times      clock times missing against the data's grid\n"
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
                if (!ParseCount(text, count) || count < minimum || count > maximum) Refuse(name, text, reason);
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
    app->set_version_flag("--version", ProgramVersion(), "the program's version")->group("output");
    app->footer(kFiguresHelp);
    return app;
}

}  // namespace

std::string DefaultTxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + KitTransmitterName() + ".so";
}

std::string DefaultRxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + KitReceiverName() + ".so";
}

namespace {

// An option taking one quantity of the unit, kept when accept() holds.
CLI::Option* AddQuantity(CLI::App& app, const std::string& name, double& target, Unit unit,
                         bool (*accept)(double), const std::string& reason, const std::string& description) {
    return app.add_option_function<std::string>(
        name,
        [&target, name, unit, accept, reason](const std::string& text) {
            double value = 0.0;
            if (!ParseQuantity(text, unit, value) || !accept(value)) Refuse(name, text, reason);
            target = value;
        },
        description);
}

bool AnyNumber(double) { return true; }
bool NotNegative(double value) { return value >= 0.0; }
bool Positive(double value) { return value > 0.0; }
// Target rates a run can mean: from what a short run counts to far below
// any link's required error rate.
bool ErrorRate(double value) { return value >= 1e-18 && value <= 1e-3; }
// Model calls may take up to eleven days; beyond that the time is no limit.
bool CallTimeout(double value) { return value > 0.0 && value <= 1e6; }

// AMOUNT@FREQUENCY, the amount 0 or more and the frequency above 0.
CLI::Option* AddQuantityAtFrequency(CLI::App& app, const std::string& name, double& amount, double& frequency,
                                    Unit amountUnit, const std::string& example, const std::string& description) {
    return app.add_option_function<std::string>(
        name,
        [&amount, &frequency, name, amountUnit, example](const std::string& text) {
            double parsedAmount = 0.0;
            double parsedFrequency = 0.0;
            if (!ParseQuantityAtFrequency(text, amountUnit, parsedAmount, parsedFrequency) || parsedAmount < 0.0 ||
                parsedFrequency <= 0.0) {
                Refuse(name, text, "give AMOUNT@FREQUENCY, the amount 0 or more and the frequency above 0, as in " +
                                       example);
            }
            amount = parsedAmount;
            frequency = parsedFrequency;
        },
        description);
}

void AddModelOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "models";
    app.add_option("--tx-model", s.tx.library,
                   "transmitter library (default: kit/" + std::string(KitTransmitterName()) +
                       ".so beside this program)")
        ->type_name("PATH")->group(group);
    app.add_option("--rx-model", s.rx.library,
                   "receiver library (default: kit/" + std::string(KitReceiverName()) + ".so)")
        ->type_name("PATH")->group(group);
    app.add_option("--tx-ami", s.tx.ami, "transmitter .ami file (default: the library's name with .ami)")
        ->type_name("PATH")->group(group);
    app.add_option("--rx-ami", s.rx.ami, "receiver .ami file (likewise)")->type_name("PATH")->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--tx",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.tx.overrides.push_back(ParseParameter("--tx", text));
           },
           "transmitter parameter, checked against its .ami (repeatable)")
        ->type_name("NAME=VALUE")->allow_extra_args(false)->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--rx",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.rx.overrides.push_back(ParseParameter("--rx", text));
           },
           "receiver parameter (repeatable); the kit's receiver runs with Rx_config=1, its equalised output, "
           "unless this sets it")
        ->type_name("NAME=VALUE")->allow_extra_args(false)->group(group);
    app.add_option_function<std::string>(
           "--rx-output", [&s](const std::string& text) { s.rxOutput = ParseRxOutput(text); },
           "auto, equalised or retimed: whether the receiver's output is an analog waveform (sampled UI/2 after "
           "each clock time, eye drawn) or its retimed decisions (read at the clock times, no eye); auto knows "
           "the kit's receiver")
        ->type_name("MODE")->group(group);
}

void AddStimulusOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "stimulus";
    app.add_option_function<std::string>(
           "--prbs", [&s](const std::string& text) { s.prbsOrder = ParsePrbs(text); },
           "PRBS7, 15, 23 or 31, as 7 or PRBS7 (default 15)")
        ->type_name("N")->group(group);
    AddCount(app, "--bits", s.bits, 1, kNoMaximum, "give a positive number of bits",
             "bits to send, e.g. 200000 or 200k (default: the models' Ignore_Bits and 50000 or a fifth more, "
             "whichever is larger); at most " + std::to_string(MaxBits()) + ", half this machine's memory at " +
                 std::to_string(kBytesPerBit) + " bytes per bit")
        ->group(group);
    AddQuantity(app, "--bit-rate", s.bitRate, Unit::BitsPerSecond, Positive,
                "give the bit rate in bits per second (10e9, 10G or 10Gbps)",
                "bit rate, e.g. 10e9 or 10G (default 10 Gb/s); bit rate times samples per unit interval at most " +
                    Number(kMaxSampleRate) + " samples/s")
        ->type_name("BPS")->group(group);
    AddCount(app, "--samples-per-ui", s.samplesPerUi, 2, 4096, "give 2 to 4096 samples per unit interval",
             "samples per unit interval, 2 to 4096 (default 32)")
        ->group(group);
    AddCount(app, "--bits-per-call", s.bitsPerCall, 1, kNoMaximum, "give a positive number of bits per AMI_GetWave call",
             "bits per AMI_GetWave call (default 1024; at most the bits of the run)")
        ->group(group);
    AddCount(app, "--ignore-bits", s.ignoreBits, 0, kNoMaximum, "give a number of bits, 0 or more",
             "bits at the start not counted (default: the larger of the models' Ignore_Bits); a run must send "
             "more")
        ->group(group);
}

void AddStressOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "stress (in the stimulus the host builds; the same for the same seed)";
    AddQuantity(app, "--tx-rj", s.stress.rjRms, Unit::Seconds, NotNegative,
                "give the jitter in seconds, 0 or more (1p, 1ps or 1e-12 for 1 ps)",
                "random jitter on the transmitted edges, rms, e.g. 1p (1 ps)")
        ->type_name("SECONDS")->group(group);
    AddQuantity(app, "--tx-dj", s.stress.djPeakToPeak, Unit::Seconds, NotNegative,
                "give the jitter in seconds, 0 or more (5p or 5e-12 for 5 ps)",
                "deterministic jitter as dual-Dirac, peak to peak: each edge early or late by half of it, at "
                "random")
        ->type_name("SECONDS")->group(group);
    AddQuantityAtFrequency(app, "--tx-sj", s.stress.sjPeakToPeakUi, s.stress.sjFrequency, Unit::UnitIntervals,
                           "0.1@10M", "sinusoidal jitter, UI peak to peak at a frequency, e.g. 0.1@100k")
        ->type_name("UI@HZ")->group(group);
    AddQuantity(app, "--tx-ppm", s.stress.ppm, Unit::PartsPerMillion, AnyNumber,
                "give the data-rate offset in parts per million, as in 100 or -100",
                "data rate above the nominal one, parts per million (negative: below)")
        ->type_name("PPM")->group(group);
    AddQuantityAtFrequency(app, "--tx-ssc", s.stress.sscPpm, s.stress.sscFrequency, Unit::PartsPerMillion,
                           "5000@33k",
                           "spread-spectrum clocking: triangular down-spread of PPM at a frequency, e.g. 5000@33k")
        ->type_name("PPM@HZ")->group(group);
    AddQuantity(app, "--rx-noise", s.stress.rxNoiseRms, Unit::Volts, NotNegative,
                "give the noise in volts rms, 0 or more (10m or 10mV for 10 mV)",
                "Gaussian noise, rms, added to the receiver's input before its AMI_GetWave, e.g. 10m (10 mV)")
        ->type_name("VOLTS")->group(group);
    AddCount(app, "--seed", s.stress.seed, 0, kNoMaximum, "give a seed of 0 or more",
             "seed of the jitter and the noise (default 1)")
        ->group(group);
}

void AddMarginOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "margins and requirements (exit status 3 when one is not met)";
    AddQuantity(app, "--ber", s.targetBer, Unit::None, ErrorRate,
                "give the target bit error rate, from 1e-18 to 1e-3, as in 1e-12 or 1e-15",
                "target bit error rate of the margins, bathtub and eye outline (default 1e-12)")
        ->type_name("RATE")->group(group);
    AddQuantity(app, "--require-timing", s.requirements.timingUi, Unit::UnitIntervals, NotNegative,
                "give the timing margin required, in UI, 0 or more",
                "the timing margin at the target rate must be at least this, in UI")
        ->type_name("UI")->group(group);
    AddQuantity(app, "--require-voltage", s.requirements.voltageV, Unit::Volts, NotNegative,
                "give the voltage margin required, in volts, 0 or more",
                "the voltage margin at the target rate must be at least this, in volts (20m: 20 mV)")
        ->type_name("VOLTS")->group(group);
    AddQuantity(app, "--require-ber", s.requirements.ber, Unit::None, ErrorRate,
                "give the highest bit error rate allowed, from 1e-18 to 1e-3, as in 1e-12",
                "the counted error rate (its 95 % upper bound) must be at most this")
        ->type_name("RATE")->group(group);
}

void AddChannelOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "channel";
    app.add_option_function<std::string>(
           "--channel", [&s](const std::string& text) { ParseChannel(text, s.channel); },
           "loss:DB, a lossy line with DB dB of loss at Nyquist (default loss:12); file:PATH, an impulse "
           "response as two columns: time (s), value (1/s); or touchstone:PATH, S-parameters (.s2p: the "
           "differential path itself; .s4p or larger: single-ended ports, paired by --ports)")
        ->type_name("SPEC")->group(group);
    app.add_option_function<std::string>(
           "--ports", [&s](const std::string& text) { s.ports = ParsePorts("--ports", text); },
           "the input P, input N, output P and output N ports of a Touchstone channel (default 1,3,2,4: ports 1 "
           "and 3 at the input, 1->2 and 3->4 through; files numbered 1->3 and 2->4 take 1,2,3,4); in larger "
           "files, the pair to use")
        ->type_name("A,B,C,D")->group(group);
    app.add_option_function<std::string>(
           "--s2p-reference", [&s](const std::string& text) { s.channel.s2pReferenceOhms = ParseReferenceOhms(text); },
           "the differential (mixed-mode) reference impedance a .s2p channel's data are read against (default: its "
           "R as it stands; files saved with each leg's R take twice it)")
        ->type_name("OHMS")->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--aggressor",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.aggressors.push_back(ParseAggressor(text));
           },
           "a crosstalk path into the receiver, touchstone:PATH or file:PATH (repeatable), driven by its own "
           "PRBS and shaped by the transmitter's AMI_Init as an aggressor column; a Touchstone file may be the "
           "channel's own, with other ports")
        ->type_name("SPEC")->allow_extra_args(false)->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--aggressor-ports",
           [&s](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) s.aggressorPorts.push_back(ParsePorts("--aggressor-ports", text));
           },
           "the aggressor's input P, input N and the receiver's output P, output N ports in a Touchstone "
           "aggressor: once for every aggressor, or once per --aggressor in order (default: --ports)")
        ->type_name("A,B,C,D")->allow_extra_args(false)->group(group);
}

// Ohms or farads per leg, as the buffer options take them.
CLI::Option* AddBufferValue(CLI::App& app, const std::string& name, double& target, Unit unit, bool openAllowed,
                            const std::string& description) {
    return app
        .add_option_function<std::string>(
            name, [&target, name, unit, openAllowed](const std::string& text) {
                target = ParseBufferValue(name, text, unit, openAllowed);
            },
            description)
        ->type_name(unit == Unit::Farads ? "FARADS" : "OHMS");
}

void AddBufferOptions(CLI::App& app, LinkSettings& s) {
    const std::string group = "buffers";
    app.add_option("--ibs", s.ibsPath,
                   "an IBIS file: the transmitter and receiver [Model]s (by Model_type, or --tx-pin and --rx-pin), "
                   "their [Algorithmic Model] executables and .ami files (no --tx-model or --rx-model needed), "
                   "their C_comp, I-V impedance and the [Package] R, L, C")
        ->type_name("PATH")->group(group);
    app.add_option("--tx-ibs", s.ibsPath, "the transmitter's IBIS file, when the receiver's is another (--rx-ibs)")
        ->type_name("PATH")->group(group);
    app.add_option("--rx-ibs", s.rxIbsPath, "the receiver's IBIS file, when the transmitter's is another (--tx-ibs)")
        ->type_name("PATH")->group(group);
    app.add_option("--tx-pin", s.txPin, "the transmitter's pin or signal name in its IBIS file")
        ->type_name("PIN")->group(group);
    app.add_option("--rx-pin", s.rxPin, "the receiver's pin or signal name in its IBIS file")
        ->type_name("PIN")->group(group);
    app.add_option("--tx-model-name", s.txModelName,
                   "the transmitter's [Model] among those of its pin's [Model Selector] (default: the first listed), "
                   "or by name where no pin is given")
        ->type_name("NAME")->group(group);
    app.add_option("--rx-model-name", s.rxModelName, "the same for the receiver")->type_name("NAME")->group(group);
    app.add_flag("--allow-outside-executables", s.allowOutsideExecutables,
                 "load model libraries the --ibs file names outside its own folder (an absolute path, or ..)")
        ->group(group);
    AddBufferValue(app, "--tx-impedance", s.buffers.txOhms, Unit::Ohms, false,
                   "the transmitter's output impedance per leg, ohms. Buffers apply to Touchstone channels and "
                   "--ibs runs (defaults from the .ibs file beside the models, 50 ohm without one), and to loss: "
                   "and file: channels only when one of these four is given")
        ->group(group);
    AddBufferValue(app, "--tx-c", s.buffers.txFarads, Unit::Farads, false,
                   "the transmitter's pad capacitance per leg, farads (0.8p); the kit's transmitter holds its pad "
                   "in its own responses and gets none by default")
        ->group(group);
    AddBufferValue(app, "--rx-impedance", s.buffers.rxOhms, Unit::Ohms, true,
                   "the receiver's termination per leg, ohms, or open")
        ->group(group);
    AddBufferValue(app, "--rx-c", s.buffers.rxFarads, Unit::Farads, false,
                   "the receiver's pad capacitance per leg, farads")
        ->group(group);
}

void AddOutputOptions(CLI::App& app, CommandLine& line) {
    LinkSettings& s = line.settings;
    const std::string group = "output";
    app.add_option("--out", s.outDir,
                   "output folder (default link-run): summary.json, report.html, eye.png, bathtub.png, "
                   "trajectory.png, jitter.png, responses.png and .csv, stateye.png (--statistical), adaptation.csv "
                   "and the receiver's adapt.txt; the models run inside it")
        ->type_name("DIR")->group(group);
    AddQuantity(app, "--model-timeout", s.modelTimeout, Unit::Seconds, CallTimeout,
                "give a number of seconds above 0 and at most 1e6",
                "end the run when a model's AMI_Init, AMI_GetWave or AMI_Close call takes longer than this "
                "(default: no limit)")
        ->type_name("SECONDS")->group(group);
    app.add_flag("-q,--quiet", line.quiet, "no progress bar")->group(group);
    app.add_option("--run-tag", s.runTag, "a label of your own for the run, kept in summary.json as run.tag")
        ->type_name("TEXT")->group(group);
    app.add_option_function<std::string>(
           "--outputs",
           [&line](const std::string& text) {
               if (text != "all" && text != "summary") Refuse("--outputs", text, "give all or summary");
               line.pictures = text == "all";
           },
           "all (default): summary.json, the pictures and adaptation.csv; summary: summary.json and the models' "
           "own files only (lean sweep corners)")
        ->type_name("WHAT")->group(group);
    app.add_flag("--statistical", s.statistical,
                 "also the statistical eye of the final AMI_Init impulse response, with the jitter and noise "
                 "(stateye.png, summary.json's statistical); the time-domain run's verdict stands")
        ->group(group);
    app.add_flag_callback(
           "--sequential", [&s]() { s.overlapHostWork = false; },
           "the host's work on one thread: the channel and the analysis between the receiver's calls, not "
           "beside them, and the margins and pictures one after another (same results, slower)")
        ->group(group);
}

}  // namespace

void AddLinkOptions(CLI::App& app, CommandLine& line, const std::string& programFolder) {
    LinkSettings& s = line.settings;
    s.tx.library = DefaultTxLibrary(programFolder);
    s.rx.library = DefaultRxLibrary(programFolder);
    s.outDir = "link-run";

    const size_t first = app.get_options().size();
    AddModelOptions(app, s);
    AddStimulusOptions(app, s);
    AddStressOptions(app, s);
    AddMarginOptions(app, s);
    AddChannelOptions(app, s);
    AddBufferOptions(app, s);
    AddOutputOptions(app, line);
    for (size_t i = first; i < app.get_options().size(); ++i) {
        CLI::Option* option = app.get_options()[i];
        option->description(Wrapped(option->get_description()));
    }
}

std::string RepeatedOption(const CLI::App& app, const std::vector<std::string>& arguments) {
    std::vector<const CLI::Option*> seen;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || argument[0] != '-') continue;
        const std::string name = argument.substr(0, argument.find('='));
        const CLI::Option* option = app.get_option_no_throw(name);
        if (option == nullptr || option->get_items_expected_max() > 1) continue;
        if (std::find(seen.begin(), seen.end(), option) != seen.end()) {
            return option->get_name() + " is given more than once; give it once";
        }
        seen.push_back(option);
    }
    return "";
}

namespace {

bool AnyTouchstone(const std::vector<ChannelSpec>& paths) {
    for (const ChannelSpec& path : paths) {
        if (path.kind == ChannelKind::Touchstone) return true;
    }
    return false;
}

// An option whose meaning needs another is refused without it, naming
// that one, rather than ignored. Empty when every option given applies.
std::string OptionWithoutEffect(const CLI::App& app, const LinkSettings& s) {
    const bool touchstoneChannel = s.channel.kind == ChannelKind::Touchstone;
    if (app.count("--ports") && !touchstoneChannel && !AnyTouchstone(s.aggressors)) {
        return "--ports pairs the ports of a Touchstone file: it needs --channel touchstone:PATH (or a Touchstone "
               "--aggressor)";
    }
    if (app.count("--ports") && touchstoneChannel && PortsFromFileName(s.channel.path) == 2 &&
        !AnyTouchstone(s.aggressors)) {
        return "--ports pairs the single-ended ports of a 4-port or larger file: a .s2p is the differential path "
               "itself";
    }
    if (app.count("--s2p-reference") && !(touchstoneChannel && PortsFromFileName(s.channel.path) == 2)) {
        return "--s2p-reference sets the differential reference of a .s2p channel: it needs --channel "
               "touchstone:PATH.s2p";
    }
    if (app.count("--aggressor-ports") && !AnyTouchstone(s.aggressors)) {
        return "--aggressor-ports pairs the ports of a Touchstone aggressor: it needs --aggressor touchstone:PATH";
    }
    if (s.aggressorPorts.size() > 1 && s.aggressorPorts.size() != s.aggressors.size()) {
        return "--aggressor-ports is given " + std::to_string(s.aggressorPorts.size()) + " times for " +
               std::to_string(s.aggressors.size()) + " --aggressor: give it once, or once per aggressor";
    }
    for (size_t i = 0; i < s.aggressors.size(); ++i) {
        if (touchstoneChannel && s.aggressors[i].kind == ChannelKind::Touchstone &&
            s.aggressors[i].path == s.channel.path && PortMapText(s.AggressorPorts(i)) == PortMapText(s.ports)) {
            return "--aggressor " + std::to_string(i + 1) + " is the channel's own through path (the same file and "
                   "ports " + PortMapText(s.ports) + "): give its crosstalk ports with --aggressor-ports";
        }
    }
    if (app.count("--ibs") && (app.count("--tx-ibs") || app.count("--rx-ibs"))) {
        return "--ibs gives the IBIS file of both ends: give it, or --tx-ibs and --rx-ibs, not both";
    }
    if (app.count("--tx-ibs") != app.count("--rx-ibs")) {
        return std::string(app.count("--tx-ibs") ? "--tx-ibs" : "--rx-ibs") +
               " takes one end's IBIS file: give the other end's too (or --ibs for one file)";
    }
    for (const char* option : {"--tx-pin", "--rx-pin", "--tx-model-name", "--rx-model-name", "--allow-outside-executables"}) {
        if (app.count(option) && s.ibsPath.empty()) {
            return std::string(option) + " applies to the models of an IBIS file: it needs --ibs PATH";
        }
    }
    return "";
}

}  // namespace

bool CompleteLinkOptions(const CLI::App& app, CommandLine& line, std::string& error) {
    LinkSettings& s = line.settings;
    error = OptionWithoutEffect(app, s);
    if (!error.empty()) return false;
    bool kitReceiver = app.count("--rx-model") == 0;
    if (!s.ibsPath.empty()) {
        // The IBIS file names the models the options leave open. It is read
        // here once; a file that cannot be read is the run's to report.
        if (app.count("--tx-model") == 0) s.tx.library.clear();
        if (app.count("--rx-model") == 0) s.rx.library.clear();
        IbisFile txFile;
        IbisFile rxFile;
        std::string unreadable;
        if (ReadIbisFile(s.ibsPath, txFile, unreadable) && ReadIbisFile(s.RxIbsPath(), rxFile, unreadable)) {
            if (!ChooseLinkModels(txFile, rxFile, s.TxEnd(), s.RxEnd(), s.allowOutsideExecutables, s.ibs, error)) {
                return false;
            }
            kitReceiver = kitReceiver && std::filesystem::path(s.ibs.RxExecutable()->library).stem() == KitReceiverName();
        } else {
            kitReceiver = false;
        }
    }
    const KitModel* kit = FindKitModel(KitReceiverName());
    if (kitReceiver && !HasOverride(s.rx, kit->defaultParameter)) {
        s.rx.overrides.push_back({kit->defaultParameter, kit->defaultValue});
    }
    return true;
}

CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, const std::string& programFolder,
                                   CommandLine& line, std::string& error) {
    const std::unique_ptr<CLI::App> app = MakeApp(line, programFolder);
    error = RepeatedOption(*app, arguments);
    if (!error.empty()) return CommandLineAction::Fail;
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return CommandLineAction::Help;
    } catch (const CLI::CallForVersion&) {
        return CommandLineAction::Version;
    } catch (const CLI::ParseError& failure) {
        error = failure.what();
        return CommandLineAction::Fail;
    }
    if (!CompleteLinkOptions(*app, line, error)) return CommandLineAction::Fail;
    line.settings.commandLine = arguments;
    return CommandLineAction::Run;
}

std::string UsageText() {
    CommandLine line;
    return MakeApp(line, ".")->help();
}

}  // namespace linksim
