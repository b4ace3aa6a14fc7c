// A receiver for the link simulator's tests that has no AMI_GetWave: its
// AMI_Init returns the impulse response through a bit-spaced two-tap
// equaliser, h'[k] = (h[k] - b h[k - one bit]) / (1 - b), which keeps the DC
// gain and undoes some of a lossy channel's intersymbol interference. Mute
// makes it return an impulse response of zeros.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define LINK_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Instance {
    std::string message;
};
}  // namespace

LINK_TEST_EXPORT long AMI_Init(double* impulse, long rows, long aggressors, double sample_interval,
                               double bit_time, char* parameters_in, char**, void** memory, char** msg) {
    Instance* instance = new Instance;
    *memory = instance;
    const char* found = std::strstr(parameters_in, "(Boost ");
    const double boost = found ? std::atof(found + 7) : 0.0;
    const long spb = long(bit_time / sample_interval + 0.5);
    for (long column = 0; column <= aggressors; ++column) {
        double* h = impulse + column * rows;
        std::vector<double> original(h, h + rows);
        for (long k = 0; k < rows; ++k) {
            const double earlier = k >= spb ? original[size_t(k - spb)] : 0.0;
            h[k] = (original[size_t(k)] - boost * earlier) / (1.0 - boost);
        }
    }
    if (std::strstr(parameters_in, "(Mute True)")) std::fill(impulse, impulse + rows * (aggressors + 1), 0.0);
    instance->message = std::string("received ") + parameters_in;
    *msg = &instance->message[0];
    return 1;
}

LINK_TEST_EXPORT long AMI_Close(void* memory) {
    delete static_cast<Instance*>(memory);
    return 1;
}
