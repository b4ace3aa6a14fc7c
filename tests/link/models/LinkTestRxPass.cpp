// A receiver for the link simulator's tests that does nothing at all: its
// AMI_GetWave leaves the waveform as it came and reports no clock times,
// as a plain pass-through model may, so that the host must recover the
// clock itself.
#define LINK_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int instanceMarker = 0;
}

LINK_TEST_EXPORT long AMI_Init(double*, long, long, double, double, char*, char**, void** memory, char**) {
    *memory = &instanceMarker;
    return 1;
}

LINK_TEST_EXPORT long AMI_GetWave(double*, long, double* clock_times, char**, void*) {
    clock_times[0] = -1.0;
    return 1;
}

LINK_TEST_EXPORT long AMI_Close(void*) { return 1; }
