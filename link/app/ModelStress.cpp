#include "ModelStress.h"

#include <cmath>
#include <cstdlib>

namespace linksim {

namespace {

enum class StressPart { Rj, Dj, Sj, Noise, Sensitivity, None };

struct StressParameter {
    const char* name;
    bool transmitter;  // read from the transmitter's .ami file, else the receiver's
    StressPart part;
    const char* appliedAs;  // or, for None, why it is not applied
};

// The receiver's clock jitter moves its sampling instants against the edges
// as the edges' own jitter would: for the counts and the margins the two are
// one.
const StressParameter kStressParameters[] = {
    // name                      side   part                     applied as
    {"Tx_Rj",                    true,  StressPart::Rj,          "random jitter of the edges, rms, added in quadrature"},
    {"Tx_Dj",                    true,  StressPart::Dj,          "dual-Dirac jitter of the edges, peak to peak, added"},
    {"Tx_DCD",                   true,  StressPart::Dj,          "duty-cycle distortion, taken as dual-Dirac jitter of the "
                                                                 "same peak to peak, added"},
    {"Tx_Sj",                    true,  StressPart::Sj,          "sinusoidal jitter of the edges, peak to peak, at "
                                                                 "Tx_Sj_Frequency"},
    {"Rx_Rj",                    false, StressPart::Rj,          "the sampling clock's random jitter, rms, put on the edges, "
                                                                 "added in quadrature"},
    {"Rx_Dj",                    false, StressPart::Dj,          "the sampling clock's dual-Dirac jitter, peak to peak, put "
                                                                 "on the edges, added"},
    {"Rx_Noise",                 false, StressPart::Noise,       "noise at the receiver's input, rms, added in quadrature"},
    {"Rx_Receiver_Sensitivity",  false, StressPart::Sensitivity, "taken off the voltage margin"},
    {"Rx_Clock_PDF",             false, StressPart::None,        "the sampling instants are the receiver's clock times or "
                                                                 "the host's recovery, not a declared distribution"},
    {"Rx_Clock_Recovery_Mean",   false, StressPart::None,        "the sampling instants are the receiver's clock times or "
                                                                 "the host's recovery, not a declared offset"},
};

bool Number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value) && value >= 0.0;
}

double InQuadrature(double a, double b) { return std::sqrt(a * a + b * b); }

// Applies one declared value; false with the reason when it cannot be.
bool Apply(const StressParameter& declared, double value, double unitInterval, const AmiDescription& model,
           ModelStress& combined, std::string& why) {
    StressSettings& stress = combined.stress;
    switch (declared.part) {
        case StressPart::Rj: stress.rjRms = InQuadrature(stress.rjRms, value); return true;
        case StressPart::Dj: stress.djPeakToPeak += value; return true;
        case StressPart::Noise: stress.rxNoiseRms = InQuadrature(stress.rxNoiseRms, value); return true;
        case StressPart::Sensitivity: combined.rxSensitivityV += value; return true;
        case StressPart::Sj: {
            const std::string* frequency = model.ReservedValue("Tx_Sj_Frequency");
            double hertz = 0.0;
            if (frequency == nullptr || !Number(*frequency, hertz) || hertz <= 0.0) {
                why = "it declares no Tx_Sj_Frequency";
                return false;
            }
            if (stress.sjFrequency > 0.0) {
                why = "--tx-sj gives the run's one sinusoidal jitter";
                return false;
            }
            stress.sjPeakToPeakUi = value / unitInterval;
            stress.sjFrequency = hertz;
            return true;
        }
        case StressPart::None: why = declared.appliedAs; return false;
    }
    return false;
}

}  // namespace

ModelStress CombineModelStress(const StressSettings& given, double unitInterval, const AmiDescription& tx,
                               const AmiDescription& rx) {
    ModelStress combined;
    combined.stress = given;
    for (const StressParameter& declared : kStressParameters) {
        const AmiDescription& model = declared.transmitter ? tx : rx;
        const std::string* text = model.ReservedValue(declared.name);
        if (text == nullptr) continue;
        double value = 0.0;
        std::string why;
        if (!Number(*text, value)) {
            why = "its value " + *text + " is not a number of 0 or more";
        } else if (value == 0.0) {
            continue;  // declares none
        } else if (Apply(declared, value, unitInterval, model, combined, why)) {
            combined.applied.push_back({model.modelName, declared.name, value, declared.appliedAs});
            continue;
        }
        combined.notApplied.push_back(model.modelName + " declares " + declared.name + " " + *text +
                                      ", not applied: " + why);
    }
    return combined;
}

}  // namespace linksim
