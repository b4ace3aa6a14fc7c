// Runs the transmitter's loader checks on the Windows DLL:
//   test_windows_tx_shaping.exe <path of Orvex_TX_AMI_01142014.dll>
// prints every failure and returns the number of failed checks;
//   test_windows_tx_shaping.exe <dll> --workload <file>
// writes the outputs of the shared workload to file, as raw doubles, for the
// native test to compare with the Linux library's.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TxShapingChecks.h"

namespace {

class PrintingLog : public TxShaping::Log {
public:
    void Fail(const std::string& text) override {
        std::printf("  %s\n", text.c_str());
        ++failures;
    }
    int failures = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: %s <transmitter dll> [--workload <file>]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        std::printf("cannot load %s (error %lu)\n", path, static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    const TxShaping::Library calls = {
        reinterpret_cast<AmiInitFunction>(reinterpret_cast<void*>(GetProcAddress(library, "AMI_Init"))),
        reinterpret_cast<AmiCloseFunction>(reinterpret_cast<void*>(GetProcAddress(library, "AMI_Close")))};
    if (calls.init == nullptr || calls.close == nullptr) {
        std::printf("%s lacks AMI_Init or AMI_Close\n", path);
        return 1;
    }
    if (GetProcAddress(library, "AMI_GetWave") != nullptr) {
        std::printf("%s exports an AMI_GetWave\n", path);
        return 1;
    }

    if (argc > 3 && std::strcmp(argv[2], "--workload") == 0) {
        const std::vector<double> results = TxShaping::SharedWorkload(calls);
        FILE* file = std::fopen(argv[3], "wb");
        const bool written = file != nullptr &&
                             std::fwrite(results.data(), sizeof(double), results.size(), file) == results.size();
        if (file != nullptr) std::fclose(file);
        FreeLibrary(library);
        return written ? 0 : 1;
    }

    int failed = 0;
    for (const TxShaping::Check& check : TxShaping::kChecks) {
        PrintingLog log;
        check.run(calls, log);
        std::printf("%s %s\n", log.failures == 0 ? "passed" : "FAILED", check.name);
        failed += log.failures == 0 ? 0 : 1;
    }
    FreeLibrary(library);
    std::printf("%d of %d checks failed\n", failed, static_cast<int>(sizeof TxShaping::kChecks / sizeof TxShaping::kChecks[0]));
    return failed;
}
