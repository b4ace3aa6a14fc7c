// A receiver for the link simulator's tests that works in AMI_GetWave: it
// passes the waveform through unchanged and reports the falling edges of a
// free-running clock at the bit rate, ClockPhase unit intervals into each
// bit. Overrun makes it write one clock time past the room a host gives
// (wave_size / samples per bit + 2, plus a sixteenth); ExtraTime makes it
// give one time more than the bits of the call, at the call's last sample;
// HalfRate makes it give a time every other bit only;
// Backwards makes its second call's first time 0, before the times it gave;
// AdaptLine makes AMI_Close append one adaptation-log line to "adapt.txt"
// in the working folder, as the kit's receiver does. BusyNsPerSample makes
// AMI_GetWave take that long per sample (spinning on the clock), to stand
// for a receiver's own work when the link simulator's share is measured.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define LINK_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Instance {
    double sampleInterval = 0.0;
    double bitTime = 0.0;
    double phase = 0.0;
    bool overrun = false;
    bool backwards = false;
    bool extraTime = false;
    bool halfRate = false;
    int calls = 0;
    bool adaptLine = false;
    long busyNsPerSample = 0;
    long samplesSeen = 0;
};
}  // namespace

LINK_TEST_EXPORT long AMI_Init(double*, long, long, double sample_interval, double bit_time, char* parameters_in,
                               char**, void** memory, char**) {
    Instance* instance = new Instance;
    *memory = instance;
    instance->sampleInterval = sample_interval;
    instance->bitTime = bit_time;
    const char* found = std::strstr(parameters_in, "(ClockPhase ");
    instance->phase = found ? std::atof(found + 12) : 0.0;
    instance->overrun = std::strstr(parameters_in, "(Overrun True)") != nullptr;
    instance->backwards = std::strstr(parameters_in, "(Backwards True)") != nullptr;
    instance->extraTime = std::strstr(parameters_in, "(ExtraTime True)") != nullptr;
    instance->halfRate = std::strstr(parameters_in, "(HalfRate True)") != nullptr;
    instance->adaptLine = std::strstr(parameters_in, "(AdaptLine True)") != nullptr;
    const char* busy = std::strstr(parameters_in, "(BusyNsPerSample ");
    instance->busyNsPerSample = busy ? std::atol(busy + 17) : 0;
    return 1;
}

LINK_TEST_EXPORT long AMI_GetWave(double*, long size, double* clock_times, char**, void* memory) {
    Instance* instance = static_cast<Instance*>(memory);
    const auto busyUntil = std::chrono::steady_clock::now() + std::chrono::nanoseconds(instance->busyNsPerSample * size);
    while (std::chrono::steady_clock::now() < busyUntil) {
    }
    const long spb = long(instance->bitTime / instance->sampleInterval + 0.5);
    const long room = size / spb + 2 + (size / spb) / 16;
    const long offset = long(instance->phase * double(spb));
    long count = 0;
    for (long i = 0; i < size; ++i) {
        const long sample = instance->samplesSeen + i;
        if (sample % spb == offset && count < room - 1 && !(instance->halfRate && (sample / spb) % 2 == 1)) {
            clock_times[count++] = double(sample) * instance->sampleInterval;
        }
    }
    const long last = instance->samplesSeen + size - 1;
    if (instance->extraTime && last % spb != offset) clock_times[count++] = double(last) * instance->sampleInterval;
    instance->samplesSeen += size;
    // The second call's times start again from 0.
    if (instance->backwards && instance->calls++ == 1 && count > 0) clock_times[0] = 0.0;
    clock_times[count] = -1.0;
    if (instance->overrun) clock_times[room] = 0.0;
    return 1;
}

LINK_TEST_EXPORT long AMI_Close(void* memory) {
    Instance* instance = static_cast<Instance*>(memory);
    if (instance->adaptLine) {
        if (std::FILE* log = std::fopen("adapt.txt", "a")) {
            std::fputs("4\t0.008\t0\t0\t0\t0\t0.5\t0.1\n", log);
            std::fclose(log);
        }
    }
    delete instance;
    return 1;
}
