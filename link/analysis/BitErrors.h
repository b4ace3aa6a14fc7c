// Bit errors and eye height: the receiver's decisions at its sampling
// instants compared with the transmitted pattern, once the latency between
// the two has been found.
#ifndef LINK_BIT_ERRORS_H
#define LINK_BIT_ERRORS_H

#include <cstddef>
#include <vector>

#include "EyeAnalysis.h"

namespace linksim {

struct BitErrorCount {
    bool aligned = false;   // false when no latency lined the decisions up
    long latencyBits = 0;   // received bit n carries transmitted bit n - latency
    size_t compared = 0;
    size_t errors = 0;
    // Inner eye height at the instants: the lowest sample of a transmitted 1
    // minus the highest of a transmitted 0 (negative when the eye is shut).
    bool heightKnown = false;
    double innerHeight = 0.0;
    // No latency matches, but the opposite decisions do (at this latency,
    // with this rate in the search's window): an inverted link.
    bool inverted = false;
    long invertedLatencyBits = 0;
    double invertedBer = 0.0;

    double Ber() const { return compared ? double(errors) / double(compared) : 0.0; }
    // With no error in N bits the BER is below 3/N at 95 % confidence.
    double BerUpperBound95() const { return compared ? 3.0 / double(compared) : 1.0; }
};

// The received bit each instant decides: the first by time (the nearest
// unit interval on the grid of the instants' mean phase), each next one as
// many bits on as the periods between them, counted in the instants' mean
// period. So a clock that follows a data rate off the nominal one, or a
// spread rate, keeps its bits, and a slipped cycle stays slipped.
std::vector<long> InstantBitIndices(const std::vector<InstantSample>& samples, double unitInterval);

// Maps each instant to its bit as above, decides by the threshold (above: 1),
// tries every latency from 0 to maxLatency on the first instants, and counts
// the errors of the best one over all of them.
BitErrorCount CountBitErrors(const std::vector<InstantSample>& samples, const std::vector<int>& bits,
                             double unitInterval, double threshold, size_t maxLatency);

}  // namespace linksim

#endif
