// rx-demo: loads the receiver model library by path, as a channel simulator
// does, sends a short received waveform through it in two blocks and prints
// what comes back: the AMI_Init message, a few output samples and the
// recovered clock times.
//
//   rx-demo [library [parameters]]
//
// The library defaults to kit/Orvex_RX_AMI_05272013.so beside the program.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef long (*AmiInit)(double*, long, long, double, double, char*, char**, void**, char**);
typedef long (*AmiGetWave)(double*, long, double*, char**, void*);
typedef long (*AmiClose)(void*);

const int kSamplesPerBit = 32;
const double kBitTime = 1e-10;  // 10 Gb/s
const double kSampleInterval = kBitTime / kSamplesPerBit;
const size_t kBitsPerBlock = 100;
const int kBlocks = 2;

const char kDefaultParameters[] =
    "(Orvex_RX_AMI_05272013 (EQ_Level 0) (DWDM_mode 0) (Rx_config 1) (DFEtap1 0) (DFEtap2 0)"
    " (DFEtap3 0) (DFEtap4 0) (DFEtap5 0) (DFEAdapt 1) (CTLEAdapt 1) (EOM_window 1000))";

std::string DefaultLibrary(const char* program) {
    const std::string path = program;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    return folder + "/kit/Orvex_RX_AMI_05272013.so";
}

// A PRBS7 bit stream at +-0.5 V through a first-order low-pass with a time
// constant of a third of a unit interval: a mildly band-limited channel.
std::vector<double> ReceivedWaveform(size_t bits) {
    std::vector<double> wave;
    wave.reserve(bits * kSamplesPerBit);
    unsigned state = 0x7f;
    const double alpha = 1.0 - std::exp(-3.0 / kSamplesPerBit);
    double level = -0.5;
    for (size_t bit = 0; bit < bits; ++bit) {
        const unsigned next = ((state >> 6) ^ (state >> 5)) & 1u;
        state = ((state << 1) | next) & 0x7fu;
        const double target = next ? 0.5 : -0.5;
        for (int i = 0; i < kSamplesPerBit; ++i) {
            level += alpha * (target - level);
            wave.push_back(level);
        }
    }
    return wave;
}

void PrintBlock(int block, long result, const std::vector<double>& in, const std::vector<double>& out,
                const std::vector<double>& clocks) {
    std::printf("AMI_GetWave block %d: %ld samples, result %ld\n", block, static_cast<long>(out.size()), result);
    std::printf("  sample   in (V)      out (V)\n");
    for (size_t i = kSamplesPerBit / 2; i < out.size() && i < 8 * kSamplesPerBit; i += kSamplesPerBit) {
        std::printf("  %6zu  %+9.5f  %+9.5f\n", i, in[i], out[i]);
    }
    size_t count = 0;
    while (count < clocks.size() && clocks[count] != -1.0) ++count;
    std::printf("  %zu clock times", count);
    for (size_t i = 0; i < count && i < 6; ++i) std::printf("%s %.4g s", i == 0 ? ":" : ",", clocks[i]);
    std::printf("%s\n", count > 6 ? ", ..." : "");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string library = argc > 1 ? argv[1] : DefaultLibrary(argv[0]);
    std::string parameters = argc > 2 ? argv[2] : kDefaultParameters;

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "rx-demo: cannot load %s: %s\n", library.c_str(), dlerror());
        return 1;
    }
    AmiInit init = reinterpret_cast<AmiInit>(dlsym(handle, "AMI_Init"));
    AmiGetWave getWave = reinterpret_cast<AmiGetWave>(dlsym(handle, "AMI_GetWave"));
    AmiClose close = reinterpret_cast<AmiClose>(dlsym(handle, "AMI_Close"));
    if (init == nullptr || getWave == nullptr || close == nullptr) {
        std::fprintf(stderr, "rx-demo: %s lacks an IBIS-AMI entry point\n", library.c_str());
        dlclose(handle);
        return 1;
    }

    std::printf("library:    %s\nparameters: %s\n", library.c_str(), parameters.c_str());
    std::printf("bit time %g s, sample interval %g s (%d samples per bit)\n", kBitTime, kSampleInterval,
                kSamplesPerBit);

    // The receiver leaves the impulse response alone; it still gets one.
    std::vector<double> impulse(kSamplesPerBit, 0.0);
    impulse[0] = 1.0 / kSampleInterval;
    void* instance = nullptr;
    char* msg = nullptr;
    const long initResult = init(impulse.data(), static_cast<long>(impulse.size()), 0, kSampleInterval, kBitTime,
                                 &parameters[0], nullptr, &instance, &msg);
    std::printf("AMI_Init: result %ld\n  message: %s\n", initResult, msg != nullptr ? msg : "(none)");

    int status = initResult == 1 ? 0 : 1;
    if (initResult == 1) {
        const std::vector<double> received = ReceivedWaveform(kBitsPerBlock * kBlocks);
        const size_t blockSize = kBitsPerBlock * kSamplesPerBit;
        for (int block = 0; block < kBlocks; ++block) {
            const std::vector<double> in(received.begin() + block * blockSize,
                                         received.begin() + (block + 1) * blockSize);
            std::vector<double> out = in;
            std::vector<double> clocks(blockSize / kSamplesPerBit + 1, -1.0);
            const long result = getWave(out.data(), static_cast<long>(out.size()), clocks.data(), nullptr, instance);
            PrintBlock(block, result, in, out, clocks);
            if (result != 1) status = 1;
        }
    }
    const long closeResult = close(instance);
    std::printf("AMI_Close: result %ld\n", closeResult);
    dlclose(handle);
    return closeResult == 1 ? status : 1;
}
