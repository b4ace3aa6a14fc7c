#include "Buffers.h"

#include <cmath>

namespace linksim {

namespace {

const double kTwoPi = 6.283185307179586;

// A Thevenin source: open-circuit voltage (relative) and impedance.
struct Source {
    Complex voltage;
    Complex impedance;
};

// A capacitance to ground across a source.
Source WithShunt(const Source& source, Complex admittance) {
    const Complex divider = 1.0 + source.impedance * admittance;
    return Source{source.voltage / divider, source.impedance / divider};
}

// Admittance of a series impedance in front of a load admittance; an open
// load (0) stays open however large the series impedance.
Complex ThroughSeries(Complex series, Complex loadAdmittance) {
    return loadAdmittance / (1.0 + series * loadAdmittance);
}

Complex Reflection(Complex admittance, double referenceOhms) {
    return (1.0 - admittance * referenceOhms) / (1.0 + admittance * referenceOhms);
}

}  // namespace

bool CheckBufferLoads(const BufferLoads& loads, std::string& error) {
    const struct {
        double value;
        const char* name;
        bool infiniteAllowed;
    } values[] = {{loads.txOhms, "transmitter impedance", false},  {loads.txFarads, "transmitter capacitance", false},
                  {loads.rxOhms, "receiver impedance", true},      {loads.rxFarads, "receiver capacitance", false},
                  {loads.txPackage.ohms, "package resistance", false},
                  {loads.txPackage.henries, "package inductance", false},
                  {loads.txPackage.farads, "package capacitance", false},
                  {loads.rxPackage.ohms, "receiver's package resistance", false},
                  {loads.rxPackage.henries, "receiver's package inductance", false},
                  {loads.rxPackage.farads, "receiver's package capacitance", false}};
    for (const auto& entry : values) {
        if (std::isnan(entry.value) || entry.value < 0.0 || (std::isinf(entry.value) && !entry.infiniteAllowed)) {
            error = std::string("the ") + entry.name + " must be a finite value, 0 or more";
            return false;
        }
    }
    if (loads.rxOhms == 0.0) {
        error = "the receiver impedance must be more than 0 ohm (infinity leaves the input unterminated)";
        return false;
    }
    return true;
}

Complex TerminatedGain(const BufferLoads& loads, double hertz, Complex s11, Complex s12,
                            Complex s21, Complex s22, double referenceOhms) {
    const Complex jw(0.0, kTwoPi * hertz);
    const Complex txSeries = 2.0 * (loads.txPackage.ohms + jw * loads.txPackage.henries);
    const Complex txShunt = jw * (loads.txPackage.farads / 2.0);
    const Complex rxSeries = 2.0 * (loads.rxPackage.ohms + jw * loads.rxPackage.henries);
    const Complex rxShunt = jw * (loads.rxPackage.farads / 2.0);

    Source source{1.0, 2.0 * loads.txOhms};
    source = WithShunt(source, jw * (loads.txFarads / 2.0));
    source.impedance += txSeries;
    source = WithShunt(source, txShunt);

    const Complex padAdmittance = 1.0 / (2.0 * loads.rxOhms) + jw * (loads.rxFarads / 2.0);
    const Complex loadAdmittance = rxShunt + ThroughSeries(rxSeries, padAdmittance);
    const Complex padShare = 1.0 / (1.0 + rxSeries * padAdmittance);

    const Complex sourceReflection = (source.impedance - referenceOhms) / (source.impedance + referenceOhms);
    const Complex loadReflection = Reflection(loadAdmittance, referenceOhms);
    // The voltage at the network's output port over the source's open-circuit
    // voltage, from the wave equations of a 2-port between two reflections.
    const Complex pinShare = s21 * (1.0 + loadReflection) * (1.0 - sourceReflection) /
                                  (2.0 * ((1.0 - s11 * sourceReflection) * (1.0 - s22 * loadReflection) -
                                          s12 * s21 * sourceReflection * loadReflection));
    return 2.0 * source.voltage * pinShare * padShare;
}

}  // namespace linksim
