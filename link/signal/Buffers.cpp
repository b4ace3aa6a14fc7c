#include "Buffers.h"

#include <cmath>

namespace linksim {

namespace {

const double kTwoPi = 6.283185307179586;

// A Thevenin source: open-circuit voltage (relative) and impedance.
struct Source {
    ComplexValue voltage;
    ComplexValue impedance;
};

// A capacitance to ground across a source.
Source WithShunt(const Source& source, ComplexValue admittance) {
    const ComplexValue divider = 1.0 + source.impedance * admittance;
    return Source{source.voltage / divider, source.impedance / divider};
}

// Admittance of a series impedance in front of a load admittance; an open
// load (0) stays open however large the series impedance.
ComplexValue ThroughSeries(ComplexValue series, ComplexValue loadAdmittance) {
    return loadAdmittance / (1.0 + series * loadAdmittance);
}

ComplexValue Reflection(ComplexValue admittance, double referenceOhms) {
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
                  {loads.packageOhms, "package resistance", false}, {loads.packageHenries, "package inductance", false},
                  {loads.packageFarads, "package capacitance", false}};
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

ComplexValue TerminatedGain(const BufferLoads& loads, double hertz, ComplexValue s11, ComplexValue s12,
                            ComplexValue s21, ComplexValue s22, double referenceOhms) {
    const ComplexValue jw(0.0, kTwoPi * hertz);
    const ComplexValue packageSeries = 2.0 * (loads.packageOhms + jw * loads.packageHenries);
    const ComplexValue packageShunt = jw * (loads.packageFarads / 2.0);

    Source source{1.0, 2.0 * loads.txOhms};
    source = WithShunt(source, jw * (loads.txFarads / 2.0));
    source.impedance += packageSeries;
    source = WithShunt(source, packageShunt);

    const ComplexValue padAdmittance = 1.0 / (2.0 * loads.rxOhms) + jw * (loads.rxFarads / 2.0);
    const ComplexValue loadAdmittance = packageShunt + ThroughSeries(packageSeries, padAdmittance);
    const ComplexValue padShare = 1.0 / (1.0 + packageSeries * padAdmittance);

    const ComplexValue sourceReflection = (source.impedance - referenceOhms) / (source.impedance + referenceOhms);
    const ComplexValue loadReflection = Reflection(loadAdmittance, referenceOhms);
    // The voltage at the network's output port over the source's open-circuit
    // voltage, from the wave equations of a 2-port between two reflections.
    const ComplexValue pinShare = s21 * (1.0 + loadReflection) * (1.0 - sourceReflection) /
                                  (2.0 * ((1.0 - s11 * sourceReflection) * (1.0 - s22 * loadReflection) -
                                          s12 * s21 * sourceReflection * loadReflection));
    return 2.0 * source.voltage * pinShare * padShare;
}

}  // namespace linksim
