// The transmitter library shaping impulse responses as a simulator drives
// it (opened by path, called through AMI_Init and AMI_Close), next to the
// receiver library in one process, and what its Windows build imports and
// exports.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ModelLibrary.h"
#include "TxShapingChecks.h"

namespace TxShaping {
// Test names and failure reports show a check by its name.
void PrintTo(const Check& check, std::ostream* out) { *out << check.name; }
}  // namespace TxShaping

namespace {

const std::string kTxPath = std::string(TESSEL_KIT_DIR) + "/Orvex_TX_AMI_01142014.so";
const std::string kRxPath = std::string(TESSEL_KIT_DIR) + "/Orvex_RX_AMI_05272013.so";
const std::string kDllPath = std::string(TESSEL_KIT_DIR) + "/Orvex_TX_AMI_01142014.dll";

class GoogleTestLog : public TxShaping::Log {
public:
    void Fail(const std::string& text) override { ADD_FAILURE() << text; }
};

class TxShapingCheck : public ::testing::TestWithParam<TxShaping::Check> {};

TEST_P(TxShapingCheck, Passes) {
    ModelLibrary library(kTxPath);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const TxShaping::Library calls = {library.Find<AmiInitFunction>("AMI_Init"),
                                      library.Find<AmiCloseFunction>("AMI_Close")};
    ASSERT_NE(calls.init, nullptr);
    ASSERT_NE(calls.close, nullptr);
    GoogleTestLog log;
    testing::internal::CaptureStderr();  // the block messages of the failing cases
    GetParam().run(calls, log);
    testing::internal::GetCapturedStderr();
}

INSTANTIATE_TEST_SUITE_P(TxLibrary, TxShapingCheck, ::testing::ValuesIn(TxShaping::kChecks),
                         [](const ::testing::TestParamInfo<TxShaping::Check>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Both libraries in one process.

// What the two libraries compute on fixed inputs, as raw doubles: the
// transmitter's shaped matrix, then the receiver's output wave and clock
// times.
std::vector<double> TxResults(void* library) {
    const auto init = reinterpret_cast<AmiInitFunction>(dlsym(library, "AMI_Init"));
    const auto close = reinterpret_cast<AmiCloseFunction>(dlsym(library, "AMI_Close"));
    std::vector<double> matrix(2 * 700);
    for (size_t i = 0; i < matrix.size(); ++i) matrix[i] = std::sin(0.01 * i) * std::exp(-0.003 * i);
    if (init == nullptr || close == nullptr) return {};
    void* handle = nullptr;
    char* msg = nullptr;
    char parameters[] = "(Orvex_TX_AMI_01142014 (DE 2) (VOD 5) (gain 0.8) (DE_range 0))";
    matrix.push_back(static_cast<double>(
        init(matrix.data(), 700, 1, 1e-10 / 32, 1e-10, parameters, nullptr, &handle, &msg)));
    close(handle);
    return matrix;
}

std::vector<double> RxResults(void* library) {
    const auto init = reinterpret_cast<AmiInitFunction>(dlsym(library, "AMI_Init"));
    const auto getWave = reinterpret_cast<AmiGetWaveFunction>(dlsym(library, "AMI_GetWave"));
    const auto close = reinterpret_cast<AmiCloseFunction>(dlsym(library, "AMI_Close"));
    if (init == nullptr || getWave == nullptr || close == nullptr) return {};
    std::vector<double> impulse(64, 0.0);
    impulse[0] = 32 / 1e-10;
    void* handle = nullptr;
    char* msg = nullptr;
    char parameters[] = "(Orvex_RX_AMI_05272013)";
    std::vector<double> results;
    results.push_back(static_cast<double>(
        init(impulse.data(), 64, 0, 1e-10 / 32, 1e-10, parameters, nullptr, &handle, &msg)));
    std::vector<double> wave(4096);
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = ((i / 32) * 7919 % 13 < 6) ? 0.5 : -0.5;
    std::vector<double> clockTimes(wave.size() + 1, -2.0);
    results.push_back(static_cast<double>(
        getWave(wave.data(), static_cast<long>(wave.size()), clockTimes.data(), nullptr, handle)));
    results.insert(results.end(), wave.begin(), wave.end());
    for (double time : clockTimes) {
        results.push_back(time);
        if (time == -1.0) break;
    }
    close(handle);
    return results;
}

// Runs in a child process, so that every order starts with nothing loaded:
// opens the libraries in the given order (all with the same mode) and
// returns the results of each, transmitter first.
std::vector<double> ResultsInFreshProcess(const std::vector<std::string>& order, int mode) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::vector<void*> handles;
        for (const std::string& path : order) handles.push_back(dlopen(path.c_str(), mode));
        std::vector<double> results;
        for (size_t i = 0; i < order.size(); ++i) {
            if (handles[i] == nullptr) _exit(2);
            const std::vector<double> part = order[i] == kTxPath ? TxResults(handles[i]) : RxResults(handles[i]);
            results.push_back(static_cast<double>(part.size()));
            results.insert(results.end(), part.begin(), part.end());
        }
        const size_t bytes = results.size() * sizeof(double);
        const bool written = write(pipeEnds[1], results.data(), bytes) == static_cast<ssize_t>(bytes);
        _exit(written ? 0 : 3);
    }
    close(pipeEnds[1]);
    std::vector<double> results;
    double value;
    while (read(pipeEnds[0], &value, sizeof value) == static_cast<ssize_t>(sizeof value)) results.push_back(value);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return results;
}

// The results of both, in the transmitter-first layout, each from a process
// that loaded only that one library.
std::vector<double> ResultsAlone() {
    std::vector<double> results = ResultsInFreshProcess({kTxPath}, RTLD_NOW | RTLD_LOCAL);
    const std::vector<double> rx = ResultsInFreshProcess({kRxPath}, RTLD_NOW | RTLD_LOCAL);
    results.insert(results.end(), rx.begin(), rx.end());
    return results;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(TxAndRxLibraries, LoadedGloballyIntoOneProcessInEitherOrderChangeNeithersResults) {
    const std::vector<double> alone = ResultsAlone();
    ASSERT_GT(alone.size(), 4000u);
    const std::vector<double> txFirst = ResultsInFreshProcess({kTxPath, kRxPath}, RTLD_NOW | RTLD_GLOBAL);
    EXPECT_TRUE(SameBits(txFirst, alone)) << "transmitter loaded first";

    std::vector<double> rxFirst = ResultsInFreshProcess({kRxPath, kTxPath}, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_FALSE(rxFirst.empty());
    // Back into the transmitter-first layout.
    const size_t rxLength = static_cast<size_t>(rxFirst[0]) + 1;
    std::vector<double> reordered(rxFirst.begin() + rxLength, rxFirst.end());
    reordered.insert(reordered.end(), rxFirst.begin(), rxFirst.begin() + rxLength);
    EXPECT_TRUE(SameBits(reordered, alone)) << "receiver loaded first";
}

// ---------------------------------------------------------------------------
// The published dataflow classes.

TEST(TxLibraryExports, EveryPublishedClassWithItsVirtualTable) {
    const std::set<std::string> symbols = ExportedSymbols(kTxPath);
    const std::vector<std::string> classes = {
        "6Tessel7DFModel",         "6Tessel12TimedDFModel", "6Tessel3FIRIdLb0EE",       "6Tessel15TimeResponseFIR",
        "6Tessel3VCO",             "6Tessel10SDomainIIR",   "6Tessel13BiquadCascade",
    };
    for (const std::string& name : classes) {
        EXPECT_EQ(symbols.count("_ZTVN" + name + "E"), 1u) << "virtual table of " << name;
        EXPECT_EQ(symbols.count("_ZTIN" + name + "E"), 1u) << "type information of " << name;
        EXPECT_EQ(symbols.count("_ZN" + name + "C1Ev"), 1u) << "constructor of " << name;
        EXPECT_EQ(symbols.count("_ZN" + name + "D1Ev"), 1u) << "destructor of " << name;
    }
    // The copyable ones with their copy operations.
    for (const std::string name : {"6Tessel7DFModel", "6Tessel12TimedDFModel", "6Tessel3VCO"}) {
        EXPECT_EQ(symbols.count("_ZN" + name + "C1ERKS0_"), 1u) << "copy constructor of " << name;
        EXPECT_EQ(symbols.count("_ZN" + name + "aSERKS0_"), 1u) << "assignment of " << name;
    }
    bool posting = false;
    for (const std::string& symbol : symbols) posting = posting || symbol.rfind("_ZN6Tessel14DFErrorHandler9PostError", 0) == 0;
    EXPECT_TRUE(posting);
    // Nothing of the model's own is published.
    for (const std::string& symbol : symbols) {
        EXPECT_EQ(symbol.find("CustomFIR_select"), std::string::npos) << symbol;
        EXPECT_EQ(symbol.find("Orvex_TX_AMI_01142014"), std::string::npos) << symbol;
    }
}

// ---------------------------------------------------------------------------
// The Windows builds, as their files say (built by scripts/build-windows.sh),
// and what they compute under wine.

struct WindowsBuild {
    const char* name;
    std::string dll;
    std::string program;  // the shaping checks' Windows program
    const char* objdump;
    const char* format;   // objdump's name of the file format
    double tolerance;     // relative, against the Linux library; 0: the same bits
};

// Test names and failure reports show a build by its name.
void PrintTo(const WindowsBuild& build, std::ostream* out) { *out << build.name; }

const WindowsBuild kWindowsBuilds[] = {
    // The 32-bit build does its arithmetic in SSE2 registers as x86-64 does.
    {"Windows32", kDllPath,
     std::string(TESSEL_SOURCE_DIR) + "/build-win/tests/windows/test_windows_tx_shaping.exe",
     "i686-w64-mingw32-objdump", "file format pei-i386", 0.0},
    {"Windows64", std::string(TESSEL_KIT_DIR) + "/Orvex_TX_AMI_01142014_x64.dll",
     std::string(TESSEL_SOURCE_DIR) + "/build-win64/tests/windows/test_windows_tx_shaping.exe",
     "x86_64-w64-mingw32-objdump", "file format pei-x86-64", 1e-12},
};

class TxWindowsLibrary : public ::testing::TestWithParam<WindowsBuild> {
protected:
    void SetUp() override {
        if (access(GetParam().dll.c_str(), R_OK) != 0) GTEST_SKIP() << "no Windows build in " << GetParam().dll;
    }
    std::string Headers() const {
        return CommandOutput(std::string(GetParam().objdump) + " -p '" + GetParam().dll + "' 2>/dev/null");
    }
};

TEST_P(TxWindowsLibrary, ImportsNothingButSystemLibraries) {
    const std::string headers = Headers();
    ASSERT_NE(headers.find(GetParam().format), std::string::npos) << GetParam().format;
    const std::set<std::string> system = {"KERNEL32.dll", "msvcrt.dll"};
    std::istringstream lines(headers);
    std::string line;
    std::set<std::string> imported;
    while (std::getline(lines, line)) {
        const size_t at = line.find("DLL Name: ");
        if (at != std::string::npos) imported.insert(line.substr(at + 10));
    }
    EXPECT_FALSE(imported.empty());
    for (const std::string& name : imported) EXPECT_EQ(system.count(name), 1u) << "imports " << name;
}

// Both builds use IEEE doubles in SSE2 registers: the DLL, run under wine,
// shapes the shared workload as the Linux library does.
TEST_P(TxWindowsLibrary, ShapesTheSharedWorkloadAsTheLinuxLibrary) {
    const WindowsBuild& build = GetParam();
    if (access(build.program.c_str(), R_OK) != 0) GTEST_SKIP() << "no Windows build: run scripts/build-windows.sh";
    ModelLibrary library(kTxPath);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const TxShaping::Library calls = {library.Find<AmiInitFunction>("AMI_Init"),
                                      library.Find<AmiCloseFunction>("AMI_Close")};
    const std::vector<double> native = TxShaping::SharedWorkload(calls);

    const std::string dump = std::string(TESSEL_BINARY_DIR) + "/tx-workload-" + build.name + ".bin";
    std::remove(dump.c_str());
    // A wine prefix of this test's own: the ctest runs of the Windows
    // programs may be setting up theirs at the same time.
    const std::string command = "sh '" + std::string(TESSEL_SOURCE_DIR) + "/scripts/run-windows-test.sh' '" +
                                build.program + "' '" + build.dll + "' '" + TESSEL_BINARY_DIR + "/wine-prefix-" +
                                build.name + "' --workload 'Z:" + dump + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "wine is not available";
    ASSERT_EQ(status, 0) << command;

    std::vector<double> windows(native.size() + 1);
    FILE* file = std::fopen(dump.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    windows.resize(std::fread(windows.data(), sizeof(double), windows.size(), file));
    std::fclose(file);
    ASSERT_EQ(windows.size(), native.size());
    if (build.tolerance == 0.0) {
        EXPECT_TRUE(SameBits(windows, native));
        return;
    }
    double worst = 0.0;
    for (size_t i = 0; i < native.size(); ++i) {
        const double scale = std::max(std::fabs(native[i]), std::numeric_limits<double>::min());
        worst = std::max(worst, std::fabs(windows[i] - native[i]) / scale);
    }
    EXPECT_LE(worst, build.tolerance);
    std::cout << build.name << ": largest relative difference from the Linux library " << worst << " over "
              << native.size() << " values" << (SameBits(windows, native) ? " (the same bits)" : "") << "\n";
}

TEST_P(TxWindowsLibrary, ExportsTheEntryPointsUndecorated) {
    const std::string headers = Headers();
    std::set<std::string> exported;
    std::istringstream lines(headers);
    std::string line;
    bool inNameTable = false;
    while (std::getline(lines, line)) {
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            inNameTable = true;
            continue;
        }
        if (inNameTable) {
            const size_t close = line.find("] ");
            if (close == std::string::npos) {
                inNameTable = !line.empty() && line.find('[') != std::string::npos;
                continue;
            }
            exported.insert(line.substr(close + 2));
        }
    }
    EXPECT_EQ(exported.count("AMI_Init"), 1u);
    EXPECT_EQ(exported.count("AMI_Close"), 1u);
    EXPECT_EQ(exported.count("AMI_GetWave"), 0u);
    bool decorated = false;
    for (const std::string& name : exported) decorated = decorated || (name.rfind("AMI_", 0) == 0 && name.find('@') != std::string::npos);
    EXPECT_FALSE(decorated) << "the C calling convention exports plain names";
    EXPECT_EQ(exported.count("_ZTVN6Tessel15TimeResponseFIRE"), 1u) << "the published classes";
}

INSTANTIATE_TEST_SUITE_P(Builds, TxWindowsLibrary, ::testing::ValuesIn(kWindowsBuilds),
                         [](const ::testing::TestParamInfo<WindowsBuild>& info) { return info.param.name; });

}  // namespace
