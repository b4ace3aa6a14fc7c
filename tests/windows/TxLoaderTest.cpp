// The Windows transmitter DLL (32- or 64-bit) as a Windows simulator sees
// it: loaded by path with LoadLibrary, its two entry points found by name,
// and nothing but the system's own DLLs needed to load it.
//
//   test_windows_tx_loader <path of Orvex_TX_AMI_01142014.dll>
//
// Prints one line per failed check and "N passed, N failed" at the end.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "AmiFunctions.h"
#include "WindowsModule.h"

namespace {

WindowsModule::Checks checks;

void Check(bool condition, const std::string& what) { checks.Check(condition, what); }

std::string Unread(const char* parameter) {
    return std::string("The IBIS-AMI model, Orvex_TX_AMI_01142014, is unable to initialize the parameter ") +
           parameter + " from the AMI_Init arguments.  The model will use the default setting. ";
}

struct Call {
    long result;
    std::string message;
    bool stored;
};

Call Init(AmiInitFunction init, AmiCloseFunction close, std::vector<double>& matrix, long rowSize, long aggressors,
          double bitTime, const char* parameters) {
    const double sampleInterval = 1e-10 / 32;
    void* handle = nullptr;
    char* msg = nullptr;
    Call call;
    call.result = init(matrix.empty() ? nullptr : matrix.data(), rowSize, aggressors, sampleInterval, bitTime,
                       const_cast<char*>(parameters), nullptr, &handle, &msg);
    call.message = msg != nullptr ? msg : "";
    call.stored = handle != nullptr;
    Check(close(handle) == 1, "AMI_Close returns 1");
    return call;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: %s <transmitter dll>\n", argv[0]);
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    Check(module != nullptr, std::string("LoadLibrary ") + argv[1]);
    if (module == nullptr) {
        return checks.Summary();
    }

    AmiInitFunction init = reinterpret_cast<AmiInitFunction>(reinterpret_cast<void*>(GetProcAddress(module, "AMI_Init")));
    AmiCloseFunction close = reinterpret_cast<AmiCloseFunction>(reinterpret_cast<void*>(GetProcAddress(module, "AMI_Close")));
    Check(init != nullptr && close != nullptr, "AMI_Init and AMI_Close exported by their plain names");
    Check(GetProcAddress(module, "AMI_GetWave") == nullptr, "no AMI_GetWave");
    // Besides the entry points, only the published dataflow classes.
    for (const std::string& name : WindowsModule::ExportedNames(module)) {
        Check(name == "AMI_Init" || name == "AMI_Close" || name.find("6Tessel") != std::string::npos,
              "exports nothing of the model's own, not " + name);
    }

    // The C++ runtime and libgcc are linked in: only system DLLs remain.
    for (const std::string& dll : WindowsModule::ImportedDlls(module)) {
        Check(WindowsModule::SystemDll(dll), "imports only system DLLs, not " + dll);
    }

    if (init != nullptr && close != nullptr) {
        const double bitTime = 1e-10;
        std::vector<double> matrix(64, 0.0);
        const Call empty = Init(init, close, matrix, 32, 1, bitTime, "");
        Check(empty.result == 1 && empty.stored, "empty parameter string: result 1, instance stored");
        Check(empty.message == Unread("DE") + Unread("VOD") + Unread("gain") + Unread("DE_range"),
              "empty parameter string: four texts in order, got: " + empty.message);

        std::vector<double> column(32, 0.0);
        column[0] = 1.0;
        const Call silent =
            Init(init, close, column, 32, 0, bitTime, "(Orvex_TX_AMI_01142014 (DE 0) (VOD 0) (gain 0) (DE_range 0))");
        Check(silent.result == 1 && silent.message.empty(), "complete settings: result 1, no message");
        Check(column == std::vector<double>(32, 0.0), "a gain of 0 silences the column");

        std::vector<double> kept = {1, 2, 3, 4};
        const Call none = Init(init, close, kept, 2, -1, bitTime, "");
        Check(none.result == 1, "aggressors < 0: result 1");
        const Call tooFew = Init(init, close, kept, 2, 1, 0.4 * bitTime / 32, "");
        Check(tooFew.result == 0 && tooFew.stored, "0 samples per bit: result 0, instance stored");
        Check(tooFew.message.find("Error occurred in Orvex_TX_AMI_01142014::Setup(). ") != std::string::npos,
              "0 samples per bit: Setup failure reported");
        Check(kept == std::vector<double>({1, 2, 3, 4}), "refused calls leave the matrix");

        std::vector<double> missing;
        const Call noMatrix = Init(init, close, missing, 16, 0, bitTime, "");
        Check(noMatrix.result == 0 &&
                  noMatrix.message.find("The IBIS-AMI model, Orvex_TX_AMI_01142014, received no impulse_matrix") !=
                      std::string::npos,
              "a missing matrix is refused");
    }
    Check(close != nullptr && close(nullptr) == 1, "AMI_Close of a null handle returns 1");

    FreeLibrary(module);
    return checks.Summary();
}
