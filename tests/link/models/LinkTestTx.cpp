// A transmitter for the link simulator's tests that works in AMI_GetWave:
// a bit-spaced two-tap de-emphasis, y[n] = x[n] - d x[n - one bit], scaled
// back to unit DC gain. Its AMI_Init leaves the impulse response alone and
// echoes the parameter string it received in its message, so that tests
// can see what the host built; FailInit makes AMI_Init fail. Fault makes it
// misbehave the ways a host must survive: 1 crashes in AMI_Init, 2 returns
// NaN from AMI_GetWave, 3 never returns from AMI_Init, 4 calls exit(0) in
// AMI_Init, 5 calls exit(3) in AMI_GetWave, 6 writes 100 000 entries past
// the clock_times room, 7 sets the process's locale to one with decimal
// commas (de_DE.UTF-8, where the system has it) in AMI_Init.
#include <csignal>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define LINK_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Instance {
    std::string message;
    double deemphasis = 0.0;
    int fault = 0;
    size_t samplesPerBit = 1;
    std::vector<double> previousBit;  // the last bit's worth of input
};

// The number after "(name " in the parameter string, or the fallback.
double Number(const char* parameters, const char* name, double fallback) {
    const std::string key = std::string("(") + name + " ";
    const char* found = std::strstr(parameters, key.c_str());
    return found ? std::atof(found + key.size()) : fallback;
}

}  // namespace

LINK_TEST_EXPORT long AMI_Init(double*, long, long, double sample_interval, double bit_time, char* parameters_in,
                               char**, void** memory, char** msg) {
    Instance* instance = new Instance;
    *memory = instance;
    instance->deemphasis = Number(parameters_in, "Deemphasis", 0.0);
    instance->samplesPerBit = size_t(bit_time / sample_interval + 0.5);
    instance->previousBit.assign(instance->samplesPerBit, 0.0);
    instance->message = std::string("received ") + parameters_in;
    instance->fault = int(Number(parameters_in, "Fault", 0.0));
    if (instance->fault == 1) std::raise(SIGSEGV);
    if (instance->fault == 4) std::exit(0);
    if (instance->fault == 7) std::setlocale(LC_ALL, "de_DE.UTF-8");
    while (instance->fault == 3) {
        static volatile int spin = 0;
        spin = spin + 1;
    }
    *msg = &instance->message[0];
    return std::strstr(parameters_in, "(FailInit True)") ? 0 : 1;
}

LINK_TEST_EXPORT long AMI_GetWave(double* wave, long size, double* clock_times, char**, void* memory) {
    Instance* instance = static_cast<Instance*>(memory);
    const size_t spb = instance->samplesPerBit;
    const double d = instance->deemphasis;
    std::vector<double> history(instance->previousBit);
    history.insert(history.end(), wave, wave + size);
    for (long i = 0; i < size; ++i) {
        wave[i] = (history[size_t(i) + spb] - d * history[size_t(i)]) / (1.0 - d);
    }
    instance->previousBit.assign(history.end() - long(spb), history.end());
    if (instance->fault == 2) wave[size / 2] = std::nan("");
    if (instance->fault == 5) std::exit(3);
    if (instance->fault == 6) {
        for (long i = 0; i < size / long(spb) + 100000; ++i) clock_times[i] = double(i);
    }
    clock_times[0] = -1.0;
    return 1;
}

LINK_TEST_EXPORT long AMI_Close(void* memory) {
    delete static_cast<Instance*>(memory);
    return 1;
}
