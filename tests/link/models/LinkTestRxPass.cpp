// A receiver for the link simulator's tests that does nothing to the wave:
// its AMI_GetWave leaves the waveform as it came and reports no clock
// times, as a plain pass-through model may, so that the host must recover
// the clock itself. It answers as models with Out parameters do: AMI_Init
// returns the parameter string it received, each AMI_GetWave its count of
// calls and the InOut Gain it was given (malformed text when Garble is
// True).
#include <cstring>
#include <string>

#define LINK_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Instance {
    std::string received;
    std::string gain = "1.0";
    bool garble = false;
    long calls = 0;
    std::string out;
};
}  // namespace

LINK_TEST_EXPORT long AMI_Init(double*, long, long, double, double, char* parameters_in, char** parameters_out,
                               void** memory, char**) {
    Instance* instance = new Instance;
    *memory = instance;
    instance->received = parameters_in;
    if (const char* gain = std::strstr(parameters_in, "(Gain ")) {
        instance->gain = std::string(gain + 6, std::strcspn(gain + 6, ")"));
    }
    instance->garble = std::strstr(parameters_in, "(Garble True)") != nullptr;
    *parameters_out = &instance->received[0];
    return 1;
}

LINK_TEST_EXPORT long AMI_GetWave(double*, long, double* clock_times, char** parameters_out, void* memory) {
    Instance* instance = static_cast<Instance*>(memory);
    ++instance->calls;
    instance->out = "(LinkTestRxPass (Calls " + std::to_string(instance->calls) + ") (Gain " + instance->gain + ")" +
                    (instance->garble ? "" : ")");
    *parameters_out = &instance->out[0];
    clock_times[0] = -1.0;
    return 1;
}

LINK_TEST_EXPORT long AMI_Close(void* memory) {
    delete static_cast<Instance*>(memory);
    return 1;
}
