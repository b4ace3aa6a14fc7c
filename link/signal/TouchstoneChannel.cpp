#include "TouchstoneChannel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "FrequencyImpulse.h"
#include "PortPairing.h"

namespace linksim {

namespace {

// A through path below this magnitude at every frequency (-120 dB) carries
// nothing a receiver could use.
const double kNothingThrough = 1e-6;

// Nothing at all reads as -600 dB, as the numbering advice says it.
double Decibels(Complex value) { return 20.0 * std::log10(std::max(std::abs(value), 1e-30)); }

// What the user should know about the frequency step: the delay it leaves
// unknown by whole windows, and how long a response it holds.
std::string StepNote(const FrequencyImpulse& converted) {
    char text[240];
    std::snprintf(text, sizeof text,
                  "the %.3f MHz frequency step leaves the delay known only modulo %.3f ns: the response is read "
                  "at its smallest delay, and holds %.3f ns unaliased",
                  converted.stepHertz / 1e6, 1e9 / converted.stepHertz, converted.unaliasedSpanSeconds * 1e9);
    return text;
}

// A sentence when the data's own energy before time 0 is above the
// threshold, or empty.
std::string CausalityWarning(const FrequencyImpulse& converted) {
    if (converted.precursorEnergyShare <= kPrecursorWarningShare) return std::string();
    char text[280];
    std::snprintf(text, sizeof text,
                  "%.3f %% of the response's energy came before time 0 and was removed, beyond the %.3f %% the "
                  "band limit's own ringing puts there (warned above %.3f %%): the data are not causal",
                  100.0 * converted.precursorEnergyShare, 100.0 * converted.windowRingShare,
                  100.0 * kPrecursorWarningShare);
    return text;
}

// A .s2p's return loss is judged up to this share of its data's last
// frequency: low, yet where a line of any length shows its impedance.
const double kLowBandShare = 1.0 / 20.0;
// |SDD11| against the buffers at most this looks matched (-15 dB)...
const double kMatchedReflection = 0.178;
// ...and at least this, mismatched (-10 dB).
const double kMismatchedReflection = 0.316;

// The reflection a buffer of ohms per leg (differential: twice that) sees
// looking into a port referenced to referenceOhms differential.
double ReflectionAgainst(double ohms, double referenceOhms) {
    if (std::isinf(ohms)) return 1.0;
    return (2.0 * ohms - referenceOhms) / (2.0 * ohms + referenceOhms);
}

// The largest |SDD11| below hertz with the data referenced to referenceOhms
// and both ports renormalised to the buffers': S' = (S - G)(I - G S)^-1,
// G the diagonal of the two ports' reflections.
double LargestReturnAgainstBuffers(const DifferentialPath& path, double referenceOhms, const BufferLoads& loads,
                                   double hertz) {
    const double r1 = ReflectionAgainst(loads.txOhms, referenceOhms);
    const double r2 = ReflectionAgainst(loads.rxOhms, referenceOhms);
    double largest = 0.0;
    for (size_t f = 0; f < path.frequencies.size() && path.frequencies[f] <= hertz; ++f) {
        const Complex s11 = path.s11[f], s12 = path.s12[f], s21 = path.s21[f], s22 = path.s22[f];
        const Complex determinant = (1.0 - r1 * s11) * (1.0 - r2 * s22) - r1 * r2 * s12 * s21;
        if (std::abs(determinant) == 0.0) continue;
        largest = std::max(largest, std::abs(((s11 - r1) * (1.0 - r2 * s22) + s12 * r2 * s21) / determinant));
    }
    return largest;
}

// A reflection in dB, a perfect match printed as the -120 dB no measurement
// reaches rather than as nothing at all.
double ReflectionDb(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-6)); }

// A .s2p's R reads two ways: as the differential (mode) reference itself,
// or as each leg's, doubled. When the return loss against the buffers looks
// matched under one reading only and the run uses the other, a sentence
// saying so; otherwise empty.
std::string ReferenceReadingWarning(const DifferentialPath& path, double fileOhms, double usedOhms,
                                    const BufferLoads& loads) {
    if (path.frequencies.empty() || !(fileOhms > 0.0)) return std::string();
    const double upTo = kLowBandShare * path.frequencies.back();
    const double perMode = LargestReturnAgainstBuffers(path, fileOhms, loads, upTo);
    const double perLeg = LargestReturnAgainstBuffers(path, 2.0 * fileOhms, loads, upTo);
    double matchedOhms = 0.0;
    const char* matched = nullptr;
    const char* other = nullptr;
    if (perMode <= kMatchedReflection && perLeg >= kMismatchedReflection) {
        matchedOhms = fileOhms;
        matched = "per mode";
        other = "per leg, doubled";
    } else if (perLeg <= kMatchedReflection && perMode >= kMismatchedReflection) {
        matchedOhms = 2.0 * fileOhms;
        matched = "per leg, doubled";
        other = "per mode";
    } else {
        return std::string();
    }
    if (std::fabs(usedOhms - matchedOhms) <= 1e-6 * matchedOhms) return std::string();
    char text[480];
    std::snprintf(text, sizeof text,
                  "the .s2p looks referenced to %.1f ohm differential (its R %.1f ohm read %s): up to %.3f GHz its "
                  "|SDD11| against the buffers peaks at %.1f dB so read and %.1f dB read %s; this run reads it "
                  "against %.1f ohm (set it with --s2p-reference %.1f)",
                  matchedOhms, fileOhms, matched, upTo / 1e9, ReflectionDb(std::min(perMode, perLeg)),
                  ReflectionDb(std::max(perMode, perLeg)), other, usedOhms, matchedOhms);
    return text;
}

}  // namespace

double DecibelsAt(const std::vector<double>& f, const std::vector<Complex>& values, double hertz) {
    if (f.size() < 2 || values.size() != f.size() || hertz < f.front() || hertz > f.back()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    size_t i = 0;
    while (i + 2 < f.size() && f[i + 1] < hertz) ++i;
    const double share = (hertz - f[i]) / (f[i + 1] - f[i]);
    return Decibels(values[i]) + share * (Decibels(values[i + 1]) - Decibels(values[i]));
}

double LossDbAt(const DifferentialPath& path, double hertz) { return -DecibelsAt(path.frequencies, path.s21, hertz); }

bool TouchstoneImpulse(const std::string& file, const PortMap& ports, double s2pReferenceOhms, bool through,
                       const BufferLoads& loads, double bitRate, double sampleInterval, std::vector<double>& impulse,
                       TouchstoneChannelReport& report, std::string& error) {
    report = TouchstoneChannelReport();
    report.file = file;
    NetworkData network;
    if (!ReadTouchstoneFile(file, network, error)) return false;
    report.networkPorts = network.ports;
    if (network.ports != 2 && network.ports < 4) {
        error = file + ": a " + std::to_string(network.ports) +
                "-port network holds no differential pair (2-port differential or 4 or more single-ended ports)";
        return false;
    }
    report.ports = network.ports == 2 ? std::string("1,2") : PortMapText(ports);
    DifferentialPath path;
    if (!DifferentialThrough(network, ports, path, report.warnings, error)) {
        error = file + ": " + error;
        return false;
    }
    if (network.ports == 2) {
        const double fileOhms = network.referenceOhms[0];
        if (!std::isnan(s2pReferenceOhms)) path.referenceOhms = s2pReferenceOhms;
        const std::string reading = ReferenceReadingWarning(path, fileOhms, path.referenceOhms, loads);
        if (!reading.empty()) report.warnings.push_back(reading);
    }
    report.differentialReferenceOhms = path.referenceOhms;
    if (through) {
        const std::string numbering = PortOrderWarning(network, ports);
        double largest = 0.0;
        for (const Complex& value : path.s21) largest = std::max(largest, std::abs(value));
        if (largest < kNothingThrough) {
            // A run on it would only count errors: say why instead.
            error = file + ": the through path " + report.ports + " carries nothing" +
                    (numbering.empty() ? std::string() : "; " + numbering);
            return false;
        }
        if (!numbering.empty()) report.warnings.push_back(numbering);
    }
    const PassivityExcess excess = WorstPassivityExcess(network);
    const PassivityExcess pairExcess = WorstPassivityExcess(path);
    report.passivityExcessDb = excess.excessDb;
    report.passivityWorstHz = excess.frequencyHz;
    report.pairPassivityExcessDb = pairExcess.excessDb;
    report.pairPassivityWorstHz = pairExcess.frequencyHz;
    const std::string passivity = PassivityWarning(excess, pairExcess, report.ports);
    if (!passivity.empty()) report.warnings.push_back(passivity);

    const double nyquist = bitRate / 2.0;
    report.lossDbAtNyquist = LossDbAt(path, nyquist);
    report.sdd11DbAtNyquist = DecibelsAt(path.frequencies, path.s11, nyquist);
    report.scd21DbAtNyquist = DecibelsAt(path.frequencies, path.scd21, nyquist);
    if (path.frequencies.back() < nyquist) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the data end at %.3f GHz, below the Nyquist frequency %.3f GHz: the response above is cut",
                      path.frequencies.back() / 1e9, nyquist / 1e9);
        report.warnings.push_back(text);
    }

    std::vector<Complex> gain(path.frequencies.size());
    for (size_t f = 0; f < gain.size(); ++f) {
        gain[f] = TerminatedGain(loads, path.frequencies[f], path.s11[f], path.s12[f], path.s21[f], path.s22[f],
                                 path.referenceOhms);
    }
    FrequencyImpulse converted;
    if (!ImpulseFromFrequencyResponse(path.frequencies, gain, sampleInterval, converted, error)) {
        error = file + ": " + error;
        return false;
    }
    for (const std::string& warning : converted.warnings) report.warnings.push_back(warning);
    report.unaliasedSpanSeconds = converted.unaliasedSpanSeconds;
    report.notes.push_back(StepNote(converted));
    if (converted.dcPointOffTrend) {
        report.notes.push_back("the data's DC point is far off the trend of the points above it (a time constant "
                               "longer than the step resolves, as of AC coupling): DC is taken from that trend");
    }
    report.precursorEnergyShare = converted.precursorEnergyShare;
    const std::string causality = CausalityWarning(converted);
    if (!causality.empty()) report.warnings.push_back(causality);
    impulse.swap(converted.impulse);
    report.delaySeconds = ResponseDelay(impulse, sampleInterval);
    return true;
}

}  // namespace linksim
