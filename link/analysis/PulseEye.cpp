#include "PulseEye.h"

#include <algorithm>
#include <cmath>

#include "EyeAnalysis.h"

namespace linksim {

namespace {

const double kShortestLeadUi = 0.1;
const double kLongestLeadUi = 0.9;

// The response to one bit of 1 (an NRZ pulse one unit interval long).
std::vector<double> PulseResponse(const std::vector<double>& impulse, size_t samplesPerUi, double sampleInterval) {
    std::vector<double> pulse(impulse.size() + samplesPerUi, 0.0);
    double running = 0.0;
    for (size_t n = 0; n < pulse.size(); ++n) {
        if (n < impulse.size()) running += impulse[n] * sampleInterval;
        if (n >= samplesPerUi && n - samplesPerUi < impulse.size()) running -= impulse[n - samplesPerUi] * sampleInterval;
        pulse[n] = running;
    }
    return pulse;
}

// Positions on the unit circle unwrapped around their circular mean, so
// that a cluster across 0 is not split, and sorted.
std::vector<double> AroundTheirMean(std::vector<double> positions) {
    double x = 0.0, y = 0.0;
    const double turn = 2.0 * std::acos(-1.0);
    for (double p : positions) x += std::cos(turn * p), y += std::sin(turn * p);
    const double mean = std::atan2(y, x) / turn;
    for (double& p : positions) p = mean + (p - mean - std::floor(p - mean + 0.5));
    std::sort(positions.begin(), positions.end());
    return positions;
}

// The middle of the longest run of phases (around the unit interval) where
// the eye is open; where it is open nowhere, the phase closest to opening.
int CentreOfOpening(const std::vector<double>& opening) {
    const size_t n = opening.size();
    size_t bestStart = 0, bestLength = 0;
    for (size_t start = 0; start < n; ++start) {
        if (opening[start] <= 0.0 || opening[(start + n - 1) % n] > 0.0) continue;  // not a run's start
        size_t length = 0;
        while (length < n && opening[(start + length) % n] > 0.0) ++length;
        if (length > bestLength) bestStart = start, bestLength = length;
    }
    if (bestLength == 0 && std::all_of(opening.begin(), opening.end(), [](double v) { return v > 0.0; })) {
        bestLength = n;  // open everywhere: no run starts
    }
    if (bestLength == 0) return int(std::max_element(opening.begin(), opening.end()) - opening.begin());
    return int((bestStart + (bestLength - 1) / 2) % n);
}

}  // namespace

PulseEye PeakDistortionEye(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval) {
    const size_t spui = size_t(samplesPerUi);
    const std::vector<double> pulse = PulseResponse(impulse, spui, sampleInterval);
    PulseEye eye;
    eye.openingV.assign(spui, 0.0);
    // The main cursor is the bit's own: sampled within half a unit interval
    // of the pulse's peak, later rather than earlier at exactly half.
    const long peak = long(std::max_element(pulse.begin(), pulse.end()) - pulse.begin());
    const long ui = long(spui);
    for (long phase = 0; phase < ui; ++phase) {
        long offset = ((phase - peak) % ui + ui) % ui;
        if (offset > ui / 2) offset -= ui;
        const long mainAt = peak + offset;
        if (mainAt < 0) {
            eye.openingV[size_t(phase)] = -pulse[size_t(peak)];
            continue;
        }
        double others = 0.0;
        for (long n = mainAt % ui; n < long(pulse.size()); n += ui) {
            if (n != mainAt) others += std::fabs(pulse[size_t(n)]);
        }
        // The worst pattern lowers the main cursor by every other cursor's
        // magnitude.
        eye.openingV[size_t(phase)] = pulse[size_t(mainAt)] - others;
    }
    eye.bestPhase = CentreOfOpening(eye.openingV);
    const std::vector<double> crossings = SteadyStateCrossings(impulse, samplesPerUi, sampleInterval);
    if (!crossings.empty()) {
        const std::vector<double> around = AroundTheirMean(crossings);
        const double lead = double(eye.bestPhase) / double(spui) - around[around.size() / 2];
        // An edge reading on the sampling instant itself would steer nothing.
        eye.edgeLeadUi = std::min(kLongestLeadUi, std::max(kShortestLeadUi, lead - std::floor(lead)));
    }
    return eye;
}

}  // namespace linksim
