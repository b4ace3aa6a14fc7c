// Both libraries driven the way careless or hostile simulators drive them:
// parameter text nested a million levels deep, worker threads with small
// stacks, a comma-decimal process locale, handles that are closed twice,
// used after closing or never handed out, and many instances in threads at
// once. Also run under ThreadSanitizer (scripts/check-threads.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "HostConditions.h"
#include "ModelLibrary.h"
#include "ScratchFolder.h"

namespace {

const char kRx[] = "Orvex_RX_AMI_05272013";
const char kTx[] = "Orvex_TX_AMI_01142014";
const double kBitTime = 1e-10;
const double kSampleInterval = kBitTime / 32;

const ModelLibrary& Library(const char* model) {
    static const ModelLibrary rx(std::string(TESSEL_KIT_DIR) + "/" + kRx + ".so");
    static const ModelLibrary tx(std::string(TESSEL_KIT_DIR) + "/" + kTx + ".so");
    return std::string(model) == kRx ? rx : tx;
}

// One AMI_Init of a model on a copy of the matrix: its result, message and
// the matrix as it came back. The instance stays open until Close.
struct Opened {
    long result = -1;
    void* handle = nullptr;
    std::string message;
    std::vector<double> matrix;
};

Opened Open(const char* model, const std::string& parameters, std::vector<double> matrix = {}) {
    Opened opened;
    opened.matrix = std::move(matrix);
    const auto init = Library(model).Find<AmiInitFunction>("AMI_Init");
    if (init == nullptr) return opened;
    std::vector<char> text(parameters.begin(), parameters.end());
    text.push_back('\0');
    char* msg = nullptr;
    opened.result = init(opened.matrix.empty() ? nullptr : opened.matrix.data(), long(opened.matrix.size()), 0,
                         kSampleInterval, kBitTime, text.data(), nullptr, &opened.handle, &msg);
    if (msg != nullptr) opened.message = msg;
    return opened;
}

long Close(const char* model, void* handle) { return Library(model).Find<AmiCloseFunction>("AMI_Close")(handle); }

bool Reads(const Opened& opened, const char* parameter) {
    return opened.message.find(std::string("the parameter ") + parameter + " ") == std::string::npos;
}

std::vector<double> UnitSample() {
    std::vector<double> matrix(96, 0.0);
    matrix[0] = 1.0 / kSampleInterval;
    return matrix;
}

// The receiver reads EQ_Level and EOM_window, the transmitter gain, out of
// the text; the transmitter's response is then half the unit gain's.
void ExpectBothModelsRead(size_t levels) {
    const Opened rx =
        Open(kRx, NestedParameterString(levels, std::string("(") + kRx + " (EQ_Level 2.0) (EOM_window 50.0))"));
    EXPECT_EQ(rx.result, 1) << rx.message;
    EXPECT_TRUE(Reads(rx, "EQ_Level") && Reads(rx, "EOM_window")) << rx.message;
    EXPECT_EQ(Close(kRx, rx.handle), 1);

    const Opened unit = Open(kTx, std::string("(") + kTx + " (gain 1.0))", UnitSample());
    const Opened half = Open(kTx, NestedParameterString(levels, std::string("(") + kTx + " (gain 0.5))"), UnitSample());
    EXPECT_EQ(half.result, 1) << half.message;
    EXPECT_TRUE(Reads(half, "gain")) << half.message;
    ASSERT_EQ(half.matrix.size(), unit.matrix.size());
    for (size_t i = 0; i < unit.matrix.size(); ++i) EXPECT_EQ(half.matrix[i], 0.5 * unit.matrix[i]) << i;
    EXPECT_EQ(Close(kTx, unit.handle), 1);
    EXPECT_EQ(Close(kTx, half.handle), 1);
}

class CarelessHost : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* model : {kRx, kTx}) ASSERT_TRUE(Library(model).Loaded()) << Library(model).Error();
    }
};

TEST_F(CarelessHost, DeepNestingNeedsNoStackInEitherLibrary) {
    ExpectBothModelsRead(1000000);
    // 10 KB of nesting on a worker thread with a 128 KiB stack.
    ASSERT_TRUE(RunOnSmallStack(128 * 1024, [] { ExpectBothModelsRead(5000); }));
}

TEST_F(CarelessHost, NumbersReadTheSameUnderACommaDecimalLocale) {
    CommaDecimalLocale comma;
    if (!comma.Active()) GTEST_SKIP() << comma.Problem();
    ExpectBothModelsRead(1);
    // Numbers in messages keep their decimal point too.
    const auto init = Library(kRx).Find<AmiInitFunction>("AMI_Init");
    void* handle = nullptr;
    char* msg = nullptr;
    EXPECT_EQ(init(nullptr, 0, 0, 2.5e-17, 32 * 2.5e-17, const_cast<char*>(""), nullptr, &handle, &msg), 0);
    ASSERT_NE(msg, nullptr);
    EXPECT_NE(std::string(msg).find("sample_interval = 2.5e-17 s"), std::string::npos) << msg;
    EXPECT_EQ(Close(kRx, handle), 1);
}

TEST_F(CarelessHost, HandlesThatAreNotLiveAreRefusedAndNothingIsTouched) {
    const auto getWave = Library(kRx).Find<AmiGetWaveFunction>("AMI_GetWave");
    double wave[64] = {0.5};
    double clocks[3] = {7, 7, 7};
    std::vector<double> foreign(4096, 0.25);  // no AMI_Init handed this out
    for (const char* model : {kRx, kTx}) {
        SCOPED_TRACE(model);
        const Opened opened = Open(model, "");
        ASSERT_NE(opened.handle, nullptr);
        EXPECT_EQ(Close(model, opened.handle), 1);
        EXPECT_EQ(Close(model, opened.handle), 0);  // twice
        EXPECT_EQ(Close(model, foreign.data()), 0);
        EXPECT_EQ(Close(model, nullptr), 1);
        if (model == kRx) {
            EXPECT_EQ(getWave(wave, 64, clocks, nullptr, opened.handle), 0);  // after closing
            EXPECT_EQ(getWave(wave, 64, clocks, nullptr, foreign.data()), 0);
        }
    }
    EXPECT_EQ(wave[0], 0.5);
    EXPECT_EQ(clocks[0], 7);
    EXPECT_EQ(foreign, std::vector<double>(4096, 0.25));
}

// Standard error, fd 2, into a file for as long as the object lives.
class StandardErrorFile {
public:
    StandardErrorFile() : m_file(std::tmpfile()), m_saved(dup(2)) {
        std::fflush(stderr);
        if (m_file != nullptr) dup2(fileno(m_file), 2);
    }
    ~StandardErrorFile() {
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        if (m_file != nullptr) std::fclose(m_file);
    }
    std::vector<std::string> Lines() {
        std::fflush(stderr);
        std::vector<std::string> lines;
        if (m_file == nullptr) return lines;
        std::rewind(m_file);
        std::string line;
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file)) {
            if (c != '\n') {
                line += char(c);
                continue;
            }
            lines.push_back(line);
            line.clear();
        }
        return lines;
    }

private:
    std::FILE* m_file;
    int m_saved;
};

// Instances of both models in threads at once, each receiver posting a
// block message on every call: every message arrives as a line of its own.
TEST_F(CarelessHost, InstancesInThreadsKeepTheirMessagesWhole) {
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ready());
    const auto getWave = Library(kRx).Find<AmiGetWaveFunction>("AMI_GetWave");
    const unsigned threads = 8, calls = 2000;
    StandardErrorFile errors;
    std::atomic<unsigned> ready(0);
    std::vector<std::thread> hosts;
    for (unsigned t = 0; t < threads; ++t) {
        hosts.emplace_back([&, t] {
            const Opened tx = Open(kTx, std::string("(") + kTx + " (gain 0.5) (DE " + std::to_string(t % 8) + "))",
                                   UnitSample());
            EXPECT_EQ(Close(kTx, tx.handle), 1);
            // A selector value that names no input fails the first firing of
            // every call with a block message.
            const Opened rx = Open(kRx, std::string("(") + kRx + " (DWDM_mode 2) (EQ_Level 1.5))");
            std::vector<double> wave(64, 0.5);
            std::vector<double> clocks(3);
            // All threads post at once.
            for (++ready; ready < threads;) {
            }
            for (unsigned call = 0; call < calls; ++call) {
                EXPECT_EQ(getWave(wave.data(), 64, clocks.data(), nullptr, rx.handle), 0);
            }
            EXPECT_EQ(Close(kRx, rx.handle), 1);
        });
    }
    for (std::thread& host : hosts) host.join();
    const std::vector<std::string> lines = errors.Lines();
    EXPECT_EQ(lines.size(), threads * calls);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind("Control input signal value is equal to ", 0), 0u) << line;
    }
}

}  // namespace
