#include "AdaptLog.h"

#include <cmath>
#include <sstream>

namespace linksim {

bool ParseAdaptLog(const std::string& text, std::vector<AdaptMeasurement>& measurements, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        AdaptMeasurement measurement;
        fields >> measurement.ctle;
        for (double& tap : measurement.taps) {
            fields >> tap;
        }
        fields >> measurement.eyeWidth >> measurement.eyeHeight;
        std::string extra;
        if (!fields || (fields >> extra)) {
            error = "line " + std::to_string(lineNumber) + " of the adaptation log does not hold eight fields";
            return false;
        }
        measurements.push_back(measurement);
    }
    return true;
}

namespace {
// The hill climb visits the taps in order and ends with the fifth; it stops
// a tap at +-32 steps of 8 mV (the first) or +-16 steps (the others).
const size_t kLastTap = 4;
const double kLastTapLimit = 0.128;

// The one tap in which two measurements differ, or -1.
int MovedTap(const AdaptMeasurement& a, const AdaptMeasurement& b) {
    int moved = -1;
    for (size_t k = 0; k < a.taps.size(); ++k) {
        if (a.taps[k] != b.taps[k]) {
            if (moved >= 0) return -1;
            moved = int(k);
        }
    }
    return moved;
}
}  // namespace

AdaptOutcome FinalAdaptation(const std::vector<AdaptMeasurement>& measurements) {
    AdaptOutcome outcome;
    outcome.measurements = measurements.size();
    if (measurements.empty()) {
        return outcome;
    }
    const AdaptMeasurement& last = measurements.back();
    outcome.ctle = last.ctle;
    outcome.taps = last.taps;
    outcome.eyeWidth = last.eyeWidth;
    outcome.eyeHeight = last.eyeHeight;
    if (measurements.size() >= 2) {
        const AdaptMeasurement& before = measurements[measurements.size() - 2];
        // Only the last tap's final step can be taken back unseen: after any
        // other tap the next tap's first measurement shows it. A step that
        // hit the limit is followed by one more measurement instead.
        const bool lastTapMoved = MovedTap(before, last) == int(kLastTap);
        const bool insideLimits = std::fabs(last.taps[kLastTap]) < kLastTapLimit - 1e-9;
        if (before.ctle == last.ctle && lastTapMoved && insideLimits && last.Score() < before.Score()) {
            outcome.taps = before.taps;
            outcome.lastStepUndone = true;
        }
    }
    return outcome;
}

}  // namespace linksim
