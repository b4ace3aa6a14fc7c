#include "CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace linksim {

namespace {

const char* const kTxModel = "Orvex_TX_AMI_01142014";
const char* const kRxModel = "Orvex_RX_AMI_05272013";

bool ParseCount(const std::string& text, long long minimum, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= minimum;
}

// A number with an optional k, M or G.
bool ParseQuantity(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    const std::string suffix(end);
    if (suffix == "k") value *= 1e3;
    else if (suffix == "M") value *= 1e6;
    else if (suffix == "G") value *= 1e9;
    else if (!suffix.empty()) return false;
    return std::isfinite(value);
}

bool ParseChannel(const std::string& text, ChannelSpec& channel, std::string& error) {
    if (text.rfind("loss:", 0) == 0) {
        channel.kind = ChannelKind::Loss;
        if (!ParseQuantity(text.substr(5), channel.lossDb) || channel.lossDb < 0.0) {
            error = "--channel " + text + ": the loss must be a number of dB, 0 or more";
            return false;
        }
        return true;
    }
    if (text.rfind("file:", 0) == 0 && text.size() > 5) {
        channel.kind = ChannelKind::File;
        channel.path = text.substr(5);
        return true;
    }
    error = "--channel takes loss:DB or file:PATH, not " + text;
    return false;
}

bool ParseRxOutput(const std::string& text, RxOutputMode& mode) {
    if (text == "auto") mode = RxOutputMode::Auto;
    else if (text == "equalised" || text == "equalized") mode = RxOutputMode::Equalised;
    else if (text == "retimed") mode = RxOutputMode::Retimed;
    else return false;
    return true;
}

bool HasOverride(const ModelSpec& model, const std::string& name) {
    for (const ParameterOverride& override : model.overrides) {
        if (override.name == name) return true;
    }
    return false;
}

// One option with its value; false with the reason in error.
bool ApplyOption(const std::string& option, const std::string& value, CommandLine& line, bool& rxModelGiven,
                 std::string& error) {
    LinkSettings& s = line.settings;
    long long count = 0;
    const std::string bad = option + " " + value + ": ";
    if (option == "--tx-model") {
        s.tx.library = value;
    } else if (option == "--rx-model") {
        s.rx.library = value;
        rxModelGiven = true;
    } else if (option == "--tx-ami") {
        s.tx.ami = value;
    } else if (option == "--rx-ami") {
        s.rx.ami = value;
    } else if (option == "--tx" || option == "--rx") {
        ParameterOverride override;
        if (!ParseOverride(value, override, error)) {
            error = option + " " + error;
            return false;
        }
        (option == "--tx" ? s.tx : s.rx).overrides.push_back(override);
    } else if (option == "--prbs") {
        if (!ParseCount(value, 1, count) || (count != 7 && count != 15 && count != 23 && count != 31)) {
            error = bad + "the pattern is PRBS7, 15, 23 or 31";
            return false;
        }
        s.prbsOrder = int(count);
    } else if (option == "--bits") {
        if (!ParseCount(value, 1, count)) {
            error = bad + "give a positive number of bits";
            return false;
        }
        s.bits = size_t(count);
    } else if (option == "--bit-rate") {
        if (!ParseQuantity(value, s.bitRate) || s.bitRate <= 0.0) {
            error = bad + "give the bit rate in bits per second (10e9 or 10G)";
            return false;
        }
    } else if (option == "--samples-per-ui") {
        if (!ParseCount(value, 2, count) || count > 4096) {
            error = bad + "give 2 to 4096 samples per unit interval";
            return false;
        }
        s.samplesPerUi = int(count);
    } else if (option == "--channel") {
        return ParseChannel(value, s.channel, error);
    } else if (option == "--bits-per-call") {
        if (!ParseCount(value, 1, count)) {
            error = bad + "give a positive number of bits per AMI_GetWave call";
            return false;
        }
        s.bitsPerCall = size_t(count);
    } else if (option == "--out") {
        s.outDir = value;
    } else if (option == "--tx-rj" || option == "--tx-dj" || option == "--rx-noise") {
        double amount = 0.0;
        if (!ParseQuantity(value, amount) || amount < 0.0) {
            error = bad + (option == "--rx-noise" ? "give the noise in volts rms, 0 or more (10e-3 for 10 mV)"
                                                  : "give the jitter in seconds, 0 or more (1e-12 for 1 ps)");
            return false;
        }
        (option == "--tx-rj" ? s.stress.rjRms : option == "--tx-dj" ? s.stress.djPeakToPeak : s.stress.rxNoiseRms) =
            amount;
    } else if (option == "--tx-sj") {
        if (!ParseAmountAtFrequency(value, s.stress.sjPeakToPeakUi, s.stress.sjFrequency, error)) {
            error = option + " " + error;
            return false;
        }
    } else if (option == "--tx-ssc") {
        if (!ParseAmountAtFrequency(value, s.stress.sscPpm, s.stress.sscFrequency, error)) {
            error = option + " " + error;
            return false;
        }
    } else if (option == "--tx-ppm") {
        if (!ParseQuantity(value, s.stress.ppm)) {
            error = bad + "give the data-rate offset in parts per million, as in 100 or -100";
            return false;
        }
    } else if (option == "--seed") {
        if (!ParseCount(value, 0, count)) {
            error = bad + "give a seed of 0 or more";
            return false;
        }
        s.stress.seed = uint64_t(count);
    } else if (option == "--ber") {
        if (!ParseQuantity(value, s.targetBer) || !(s.targetBer > 0.0 && s.targetBer < 0.5)) {
            error = bad + "give the target bit error rate, as in 1e-12 or 1e-15";
            return false;
        }
    } else if (option == "--rx-output") {
        if (!ParseRxOutput(value, s.rxOutput)) {
            error = bad + "the receiver output is auto, equalised or retimed";
            return false;
        }
    } else {
        error = "unknown option " + option + " (see --help)";
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultTxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + kTxModel + ".so";
}

std::string DefaultRxLibrary(const std::string& programFolder) {
    return programFolder + "/kit/" + kRxModel + ".so";
}

CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, const std::string& programFolder,
                                   CommandLine& line, std::string& error) {
    line.settings.tx.library = DefaultTxLibrary(programFolder);
    line.settings.rx.library = DefaultRxLibrary(programFolder);
    line.settings.outDir = "link-run";
    bool rxModelGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        if (option == "--help" || option == "-h") {
            return CommandLineAction::Help;
        }
        if (option == "--quiet" || option == "-q") {
            line.quiet = true;
            continue;
        }
        if (option == "--sequential") {
            line.settings.overlapHostWork = false;
            continue;
        }
        std::string value;
        const size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            error = option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected argument " + option;
            return CommandLineAction::Fail;
        }
        if (option.rfind("--", 0) != 0) {
            error = "unexpected argument " + option;
            return CommandLineAction::Fail;
        }
        if (!ApplyOption(option, value, line, rxModelGiven, error)) {
            return CommandLineAction::Fail;
        }
    }
    if (!rxModelGiven && !HasOverride(line.settings.rx, "Rx_config")) {
        line.settings.rx.overrides.push_back({"Rx_config", "1"});
    }
    return CommandLineAction::Run;
}

std::string UsageText() {
    return "usage: orvex-link [options]\n"
           "Runs a serial link end to end through an IBIS-AMI transmitter and receiver.\n"
           "\n"
           "models\n"
           "  --tx-model PATH        transmitter library (default: kit/Orvex_TX_AMI_01142014.so beside\n"
           "                         this program)\n"
           "  --rx-model PATH        receiver library (default: kit/Orvex_RX_AMI_05272013.so)\n"
           "  --tx-ami PATH          transmitter .ami file (default: the library's name with .ami)\n"
           "  --rx-ami PATH          receiver .ami file (likewise)\n"
           "  --tx NAME=VALUE        transmitter parameter, checked against its .ami (repeatable)\n"
           "  --rx NAME=VALUE        receiver parameter (repeatable); the kit's receiver runs with\n"
           "                         Rx_config=1, its equalised output, unless this sets it\n"
           "  --rx-output MODE       auto, equalised or retimed: whether the receiver's output is an\n"
           "                         analog waveform (sampled UI/2 after each clock time, eye drawn) or\n"
           "                         its retimed decisions (read at the clock times, no eye); auto knows\n"
           "                         the kit's receiver\n"
           "stimulus\n"
           "  --prbs N               PRBS7, 15, 23 or 31 (default 15)\n"
           "  --bits N               bits to send (default: the models' Ignore_Bits and 50000 or a\n"
           "                         fifth more, whichever is larger)\n"
           "  --bit-rate HZ          bit rate, e.g. 10e9 or 10G (default 10 Gb/s)\n"
           "  --samples-per-ui N     samples per unit interval (default 32)\n"
           "  --bits-per-call N      bits per AMI_GetWave call (default 1024)\n"
           "stress (all in the stimulus the host builds; the same for the same seed)\n"
           "  --tx-rj SECONDS        random jitter on the transmitted edges, rms (1e-12: 1 ps)\n"
           "  --tx-dj SECONDS        deterministic jitter as dual-Dirac: each edge early or late by half\n"
           "                         of this, at random (peak to peak)\n"
           "  --tx-sj UI@HZ          sinusoidal jitter, UI peak to peak at a frequency (0.1@100e3)\n"
           "  --tx-ppm PPM           data rate above the nominal one, parts per million (-100 below)\n"
           "  --tx-ssc PPM@HZ        spread-spectrum clocking: triangular down-spread of PPM at HZ\n"
           "  --rx-noise VOLTS       Gaussian noise, rms, added at the receiver's input (10e-3: 10 mV)\n"
           "  --seed N               seed of the jitter and the noise (default 1)\n"
           "channel\n"
           "  --channel loss:DB      lossy line with DB dB of loss at Nyquist (default loss:12)\n"
           "  --channel file:PATH    impulse response as two columns: time (s), value (1/s)\n"
           "margins\n"
           "  --ber RATE             target bit error rate of the margins (default 1e-12; 1e-15 too)\n"
           "output\n"
           "  --out DIR              output folder (default link-run): summary.json, eye.png and the\n"
           "                         receiver's adapt.txt; the models run inside it\n"
           "  --quiet                no progress bar\n"
           "  --sequential           the channel and the analysis between the receiver's calls, not\n"
           "                         beside them on a second thread (same results, slower)\n"
           "  --help                 this text\n";
}

}  // namespace linksim
