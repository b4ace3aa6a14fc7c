// The clock_times array a host hands a model's AMI_GetWave. The model may
// write its room; after it come guard entries the host watches, and after
// those a page no one may touch: a model that writes a little too far is
// caught by the guard, and one that writes far beyond it faults at once,
// inside its own call, where the crash report names it, instead of
// corrupting the host's memory unseen.
#ifndef LINK_HOST_CLOCK_TIMES_BUFFER_H
#define LINK_HOST_CLOCK_TIMES_BUFFER_H

#include <cstddef>

namespace linksim {

class ClockTimesBuffer {
public:
    static const size_t kGuardEntries = 16;

    ClockTimesBuffer() = default;
    ~ClockTimesBuffer();
    ClockTimesBuffer(const ClockTimesBuffer&) = delete;
    ClockTimesBuffer& operator=(const ClockTimesBuffer&) = delete;

    // Room for `room` entries, all set to fill, and the guard set to NaN.
    // False when the memory cannot be had.
    bool Prepare(size_t room, double fill);
    double* Data() { return m_data; }
    size_t Room() const { return m_room; }
    // Whether the model wrote into the guard.
    bool GuardTouched() const;

private:
    void Release();

    void* m_mapping = nullptr;
    size_t m_mappingBytes = 0;
    size_t m_usableBytes = 0;  // before the page no one may touch
    double* m_data = nullptr;
    size_t m_room = 0;
};

}  // namespace linksim

#endif
