#include "IbisPlausibility.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace linksim {

namespace {

struct PlausibleRange {
    const char* quantity;
    const char* unit;
    double usualLow, usualHigh;  // outside: a warning
    double leastPhysical, mostPhysical;  // outside: refused
};

// What a serial-link buffer and its package have, and beyond what no part
// has. The impedance is per leg, read from the I-V tables around mid-supply.
//                                 quantity          unit   usual range       physical range
const PlausibleRange kCComp     = {"C_comp",          "F",   0.0,   5e-12,     0.0,   1e-9};
const PlausibleRange kSupply    = {"[Voltage Range]", "V",   0.5,   5.0,       1e-3,  50.0};
const PlausibleRange kImpedance = {"I-V impedance",   "ohm", 10.0,  200.0,     1.0,   1e5};
const PlausibleRange kPackage[] = {
    {"R_pkg", "ohm", 0.0, 5.0,   0.0, 100.0},
    {"L_pkg", "H",   0.0, 10e-9, 0.0, 1e-6},
    {"C_pkg", "F",   0.0, 10e-12, 0.0, 1e-9},
};

std::string Value(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%g %s", value, unit);
    return text;
}

// False with error when the value is beyond the physical range; a warning
// when it is outside the usual one.
bool Judge(const PlausibleRange& range, double value, const std::string& where, std::vector<std::string>& warnings,
           std::string& error) {
    const std::string what = std::string(range.quantity) + " of " + where + " is " + Value(value, range.unit);
    if (!(value >= range.leastPhysical && value <= range.mostPhysical)) {
        error = what + ", outside the " + Value(range.leastPhysical, range.unit) + " to " +
                Value(range.mostPhysical, range.unit) + " any real part has: correct the file";
        return false;
    }
    if (value < range.usualLow || value > range.usualHigh) {
        warnings.push_back(what + ", outside the " + Value(range.usualLow, range.unit) + " to " +
                           Value(range.usualHigh, range.unit) + " usual for a serial-link part");
    }
    return true;
}

}  // namespace

bool CheckBufferValues(const IbisFile& file, const IbisModel& model, std::vector<std::string>& warnings,
                       std::string& error) {
    const std::string where = "model " + model.name + " in " + file.path;
    if (!Judge(kCComp, model.cCompFarads, where, warnings, error)) return false;
    // No [Voltage Range] is 0: the tables are then read around 0 V.
    if (model.supplyVolts != 0.0 && !Judge(kSupply, model.supplyVolts, where, warnings, error)) return false;
    // An input without termination is open, as it should be.
    const double ohms = BufferImpedance(model);
    return std::isinf(ohms) || Judge(kImpedance, ohms, where, warnings, error);
}

bool CheckPackageValues(const IbisFile& file, std::vector<std::string>& warnings, std::string& error) {
    const double values[] = {file.packageOhms, file.packageHenries, file.packageFarads};
    const std::string where = "the package in " + file.path;
    for (size_t i = 0; i < std::size(kPackage); ++i) {
        if (!Judge(kPackage[i], values[i], where, warnings, error)) return false;
    }
    return true;
}

}  // namespace linksim
