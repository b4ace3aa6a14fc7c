// Counting the bit errors of a receiver run against the bits sent.
#ifndef TESTS_RX_LIBRARY_BIT_ERRORS_H
#define TESTS_RX_LIBRARY_BIT_ERRORS_H

#include <cmath>
#include <cstddef>

#include "RxLibrary.h"
#include "Stimulus.h"

// Bit errors of the output read at each clock time after `from` (plus
// readDelay), each clock time mapped to its bit by its time: the bit whose
// slot holds the clock time once the latency is taken off. The latency is a
// fractional part, found from the clock times themselves, and a whole number
// of bits, searched for; the best count is returned.
struct BitErrors {
    long errors = -1;
    long compared = 0;
};

inline BitErrors CountBitErrors(const linksim::RxStimulus& stimulus, const RunOutput& run, double from, double readDelay) {
    double sx = 0.0, sy = 0.0;
    for (double t : run.clockTimes) {
        if (t < from) continue;
        const double slots = t / stimulus.dataUi;
        const double angle = 2.0 * M_PI * (slots - std::floor(slots));
        sx += std::cos(angle);
        sy += std::sin(angle);
    }
    const double fraction = std::atan2(sy, sx) / (2.0 * M_PI);
    BitErrors best;
    for (long latency = -4; latency <= 40; ++latency) {
        BitErrors count;
        count.errors = 0;
        for (double t : run.clockTimes) {
            if (t < from) continue;
            const size_t sample = static_cast<size_t>(std::llround((t + readDelay) / kSampleInterval));
            const long bit = std::lround(t / stimulus.dataUi - fraction) - latency;
            if (sample >= run.wave.size() || bit < 0 || bit >= static_cast<long>(stimulus.bits.size())) continue;
            count.errors += (run.wave[sample] > 0.0) != (stimulus.bits[static_cast<size_t>(bit)] == 1);
            ++count.compared;
        }
        if (best.errors < 0 || count.errors < best.errors) best = count;
    }
    return best;
}

#endif
