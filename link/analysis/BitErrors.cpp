#include "BitErrors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace linksim {

namespace {

const size_t kLatencySearchInstants = 4096;

// Circular mean of the instants' positions within the unit interval, 0 .. 1.
double MeanPhase(const std::vector<InstantSample>& samples, double unitInterval) {
    const double twoPi = 6.283185307179586;
    double sine = 0.0;
    double cosine = 0.0;
    for (const InstantSample& sample : samples) {
        const double angle = twoPi * (sample.time / unitInterval);
        sine += std::sin(angle);
        cosine += std::cos(angle);
    }
    const double phase = std::atan2(sine, cosine) / twoPi;
    return phase < 0.0 ? phase + 1.0 : phase;
}

struct Tally {
    size_t compared = 0;
    size_t errors = 0;
    bool abandoned = false;
};

// Stops early, with abandoned set, once the errors alone reach `giveUpAt`.
Tally CountAt(const std::vector<long>& indices, const std::vector<int>& decisions, const std::vector<int>& bits,
              size_t count, long latency, size_t giveUpAt = std::numeric_limits<size_t>::max()) {
    Tally tally;
    const long bitCount = long(bits.size());
    for (size_t i = 0; i < count; ++i) {
        const long transmitted = indices[i] - latency;
        if (transmitted < 0 || transmitted >= bitCount) {
            continue;
        }
        ++tally.compared;
        tally.errors += (decisions[i] != bits[size_t(transmitted)]) ? 1 : 0;
        if (tally.errors >= giveUpAt) {
            tally.abandoned = true;
            break;
        }
    }
    return tally;
}

// The error count from which a latency cannot beat bestRate over a window:
// it compares at most `window` bits, so its rate is at least errors / window.
size_t HopelessErrors(double bestRate, size_t window) {
    if (!std::isfinite(bestRate)) {
        return std::numeric_limits<size_t>::max();
    }
    size_t errors = size_t(std::ceil(bestRate * double(window)));
    // Rounding aside, the smallest count whose rate reaches bestRate.
    while (errors > 0 && double(errors - 1) / double(window) >= bestRate) --errors;
    while (double(errors) / double(window) < bestRate) ++errors;
    return errors;
}

}  // namespace

std::vector<long> InstantBitIndices(const std::vector<InstantSample>& samples, double unitInterval) {
    std::vector<long> indices(samples.size());
    if (samples.empty()) return indices;
    // The mean period, when the instants are about one per unit interval.
    double period = unitInterval;
    if (samples.size() > 1) {
        const double span = samples.back().time - samples.front().time;
        const double periods = std::round(span / unitInterval);
        if (periods > 0.0 && std::fabs(periods - double(samples.size() - 1)) < 0.01 * periods) {
            period = span / double(samples.size() - 1);
        }
    }
    const double phase = MeanPhase(samples, unitInterval);
    indices[0] = std::lround(samples[0].time / unitInterval - phase);
    for (size_t i = 1; i < samples.size(); ++i) {
        const long step = std::lround((samples[i].time - samples[i - 1].time) / period);
        indices[i] = indices[i - 1] + std::max(step, 1L);
    }
    return indices;
}

namespace {

// A best error rate above this makes the search try the opposite decisions.
const double kInvertedSuspicion = 0.25;

// The latency from 0 to maxLatency whose first `window` decisions match the
// pattern best; false when none matches most of the window.
bool BestLatency(const std::vector<long>& indices, const std::vector<int>& decisions, const std::vector<int>& bits,
                 size_t window, size_t maxLatency, double& bestRate, long& bestLatency) {
    bool found = false;
    for (size_t latency = 0; latency <= maxLatency; ++latency) {
        // Most latencies are hopeless after a few bits once the right one
        // has been seen: counting the rest would not change the choice.
        const Tally tally =
            CountAt(indices, decisions, bits, window, long(latency), HopelessErrors(bestRate, window));
        // A latency that leaves most of the window unmatched proves nothing.
        if (tally.abandoned || 2 * tally.compared < window) {
            continue;
        }
        const double rate = double(tally.errors) / double(tally.compared);
        if (rate < bestRate) {
            bestRate = rate;
            bestLatency = long(latency);
            found = true;
        }
    }
    return found;
}

}  // namespace

BitErrorCount CountBitErrors(const std::vector<InstantSample>& samples, const std::vector<int>& bits,
                             double unitInterval, double threshold, size_t maxLatency) {
    BitErrorCount result;
    if (samples.empty() || bits.empty()) {
        return result;
    }
    const std::vector<long> indices = InstantBitIndices(samples, unitInterval);
    std::vector<int> decisions(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        decisions[i] = samples[i].value > threshold ? 1 : 0;
    }

    const size_t window = std::min(samples.size(), kLatencySearchInstants);
    double bestRate = std::numeric_limits<double>::infinity();
    result.aligned = BestLatency(indices, decisions, bits, window, maxLatency, bestRate, result.latencyBits);
    if (!result.aligned) {
        return result;
    }
    // No latency lines the output up, but the opposite decisions do: the
    // link is inverted (P and N swapped somewhere), which the counts alone
    // would leave as a mystery.
    if (bestRate > kInvertedSuspicion) {
        std::vector<int> opposite(decisions.size());
        for (size_t i = 0; i < decisions.size(); ++i) opposite[i] = 1 - decisions[i];
        double invertedRate = std::numeric_limits<double>::infinity();
        long invertedLatency = 0;
        if (BestLatency(indices, opposite, bits, window, maxLatency, invertedRate, invertedLatency) &&
            invertedRate * 10.0 < bestRate) {
            result.inverted = true;
            result.invertedLatencyBits = invertedLatency;
            result.invertedBer = invertedRate;
        }
    }

    const Tally total = CountAt(indices, decisions, bits, samples.size(), result.latencyBits);
    result.compared = total.compared;
    result.errors = total.errors;

    double lowestOne = std::numeric_limits<double>::infinity();
    double highestZero = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < samples.size(); ++i) {
        const long transmitted = indices[i] - result.latencyBits;
        if (transmitted < 0 || transmitted >= long(bits.size())) {
            continue;
        }
        if (bits[size_t(transmitted)] == 1) {
            lowestOne = std::min(lowestOne, samples[i].value);
        } else {
            highestZero = std::max(highestZero, samples[i].value);
        }
    }
    result.heightKnown = std::isfinite(lowestOne) && std::isfinite(highestZero);
    if (result.heightKnown) {
        result.innerHeight = lowestOne - highestZero;
    }
    return result;
}

}  // namespace linksim
