// The 64-bit Windows receiver DLL as a Windows simulator sees it: loaded by
// path with LoadLibrary, its three entry points found by name, nothing but
// the system's own DLLs needed.
//
//   test_windows_rx_loader <dll>
//       the loader checks; prints "N passed, N failed"
//   test_windows_rx_loader <dll> --workload <input> <output>
//       runs the waveform in <input> (raw doubles, 32 samples per 100 ps
//       bit, default parameters) through the receiver in blocks as a
//       simulator does, and writes the waveform that came back followed by
//       every clock time delivered, as raw doubles, for the native test to
//       hold against the Linux library.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AmiFunctions.h"
#include "WindowsModule.h"

namespace {

const double kBitTime = 1e-10;
const long kSamplesPerBit = 32;
const long kBlockSamples = 1024 * kSamplesPerBit;

struct Receiver {
    AmiInitFunction init;
    AmiGetWaveFunction getWave;
    AmiCloseFunction close;
};

void* Open(const Receiver& rx, const char* parameters, long* result, std::string* message) {
    double impulse[8] = {};
    void* handle = nullptr;
    char* msg = nullptr;
    *result = rx.init(impulse, 8, 0, kBitTime / kSamplesPerBit, kBitTime, const_cast<char*>(parameters), nullptr,
                      &handle, &msg);
    *message = msg != nullptr ? msg : "";
    return handle;
}

std::vector<double> ReadDoubles(const char* path) {
    std::vector<double> values;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return values;
    double value;
    while (std::fread(&value, sizeof value, 1, file) == 1) values.push_back(value);
    std::fclose(file);
    return values;
}

int RunWorkload(const Receiver& rx, const char* inputPath, const char* outputPath) {
    std::vector<double> wave = ReadDoubles(inputPath);
    long result = 0;
    std::string message;
    void* handle = Open(rx, "", &result, &message);
    if (wave.empty() || result != 1) {
        std::printf("no input in %s, or AMI_Init failed: %s\n", inputPath, message.c_str());
        return 1;
    }
    std::vector<double> clockTimes;
    std::vector<double> delivered(kBlockSamples / kSamplesPerBit + 1);
    for (size_t first = 0; first < wave.size(); first += kBlockSamples) {
        const long count = static_cast<long>(std::min<size_t>(kBlockSamples, wave.size() - first));
        if (rx.getWave(wave.data() + first, count, delivered.data(), nullptr, handle) != 1) {
            std::printf("AMI_GetWave failed at sample %zu\n", first);
            return 1;
        }
        const size_t limit = static_cast<size_t>(count / kSamplesPerBit) + 1;
        for (size_t k = 0; k < limit && delivered[k] != -1.0; ++k) clockTimes.push_back(delivered[k]);
    }
    rx.close(handle);
    FILE* file = std::fopen(outputPath, "wb");
    bool written = file != nullptr && std::fwrite(wave.data(), sizeof(double), wave.size(), file) == wave.size() &&
                   std::fwrite(clockTimes.data(), sizeof(double), clockTimes.size(), file) == clockTimes.size();
    if (file != nullptr) written = std::fclose(file) == 0 && written;
    return written ? 0 : 1;
}

void LoaderChecks(HMODULE module, const Receiver& rx, WindowsModule::Checks& checks) {
    checks.Check(WindowsModule::ExportedNames(module) == std::set<std::string>{"AMI_Close", "AMI_GetWave", "AMI_Init"},
                 "exports exactly AMI_Init, AMI_GetWave and AMI_Close");
    for (const std::string& dll : WindowsModule::ImportedDlls(module)) {
        checks.Check(WindowsModule::SystemDll(dll), "imports only system DLLs, not " + dll);
    }

    long result = 0;
    std::string message;
    void* handle = Open(rx, "(Orvex_RX_AMI_05272013 (EQ_Level 3) (Rx_config 1))", &result, &message);
    checks.Check(result == 1 && handle != nullptr, "AMI_Init on two settings: result 1, got " + message);
    checks.Check(message.find("EQ_Level") == std::string::npos, "EQ_Level read from the parameters: " + message);
    std::vector<double> wave(4 * kSamplesPerBit, 0.5);
    std::vector<double> clockTimes(5, -7.0);
    checks.Check(rx.getWave(wave.data(), static_cast<long>(wave.size()), clockTimes.data(), nullptr, handle) == 1,
                 "AMI_GetWave returns 1");
    checks.Check(rx.getWave(wave.data(), -1, clockTimes.data(), nullptr, handle) == 0,
                 "AMI_GetWave refuses a negative wave_size");
    checks.Check(rx.getWave(nullptr, 16, clockTimes.data(), nullptr, handle) == 0,
                 "AMI_GetWave refuses a missing wave");
    checks.Check(rx.close(handle) == 1, "AMI_Close returns 1");
    checks.Check(rx.close(nullptr) == 1, "AMI_Close of a null handle returns 1");

    double impulse[8] = {};
    void* tooFew = nullptr;
    char* msg = nullptr;
    const long few = rx.init(impulse, 8, 0, 4 * kBitTime, kBitTime, const_cast<char*>(""), nullptr, &tooFew, &msg);
    checks.Check(few == 0, "a sample interval longer than the bit is refused");
    rx.close(tooFew);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: %s <receiver dll> [--workload <input> <output>]\n", argv[0]);
        return 2;
    }
    WindowsModule::Checks checks;
    HMODULE module = LoadLibraryA(argv[1]);
    checks.Check(module != nullptr, std::string("LoadLibrary ") + argv[1]);
    if (module == nullptr) return checks.Summary();
    const Receiver rx = {
        reinterpret_cast<AmiInitFunction>(reinterpret_cast<void*>(GetProcAddress(module, "AMI_Init"))),
        reinterpret_cast<AmiGetWaveFunction>(reinterpret_cast<void*>(GetProcAddress(module, "AMI_GetWave"))),
        reinterpret_cast<AmiCloseFunction>(reinterpret_cast<void*>(GetProcAddress(module, "AMI_Close")))};
    checks.Check(rx.init != nullptr && rx.getWave != nullptr && rx.close != nullptr,
                 "AMI_Init, AMI_GetWave and AMI_Close exported by their plain names");
    if (rx.init == nullptr || rx.getWave == nullptr || rx.close == nullptr) return checks.Summary();

    if (argc > 4 && std::strcmp(argv[2], "--workload") == 0) {
        const int status = RunWorkload(rx, argv[3], argv[4]);
        FreeLibrary(module);
        return status;
    }
    LoaderChecks(module, rx, checks);
    FreeLibrary(module);
    return checks.Summary();
}
