// Hands the receiver's clock times to the simulator, call by call.
//
// The simulator gives each AMI_GetWave call room for wave_size / samples per
// bit + 1 entries, the -1.0 terminator included. A block can hold one clock
// edge more than that (jitter, wander, a block that is not whole unit
// intervals), so up to kMostPending times that did not fit wait, in order,
// and go out first in the next call that has room: no time is lost to a few
// surplus edges, and every time is delivered exactly as the clock recovery
// found it. A clock faster than the nominal bit time finds about ppm * 1e-6
// more edges a unit interval than the arrays hold, whatever the block size,
// so over a long run the surplus outgrows what can wait: the oldest are then
// dropped (about ppm * 1e-6 * bits - kMostPending over a run).
#ifndef ORVEX_CLOCK_TIME_DELIVERY_H
#define ORVEX_CLOCK_TIME_DELIVERY_H

#include <cstddef>

namespace Orvex {

class ClockTimeDelivery {
public:
    static const size_t kMostPending = 4;

    // Writes the waiting times, then found[0 .. count), as far as room allows
    // (limit entries including the terminator, limit >= 1), then -1.0 into
    // clockTimes. What does not fit waits for the next call; beyond
    // kMostPending the oldest are dropped. Returns how many were dropped.
    size_t Deliver(const double* found, size_t count, size_t limit, double* clockTimes) {
        const size_t room = limit - 1;
        size_t written = 0;
        size_t fromPending = 0;
        for (; fromPending < m_count && written < room; ++fromPending) {
            clockTimes[written++] = m_times[fromPending];
        }
        size_t fromFound = 0;
        for (; fromFound < count && written < room; ++fromFound) {
            clockTimes[written++] = found[fromFound];
        }
        clockTimes[written] = -1.0;

        // What is left, oldest first: the rest of the waiting times, then
        // the rest of the found ones. The newest kMostPending of it wait.
        const size_t leftPending = m_count - fromPending;
        const size_t left = leftPending + (count - fromFound);
        const size_t dropped = left > kMostPending ? left - kMostPending : 0;
        double kept[kMostPending];
        size_t keptCount = 0;
        for (size_t i = dropped; i < left; ++i) {
            kept[keptCount++] = i < leftPending ? m_times[fromPending + i] : found[fromFound + (i - leftPending)];
        }
        for (size_t i = 0; i < keptCount; ++i) {
            m_times[i] = kept[i];
        }
        m_count = keptCount;
        return dropped;
    }

    size_t Pending() const { return m_count; }

private:
    double m_times[kMostPending] = {};
    size_t m_count = 0;
};

}  // namespace Orvex

#endif
