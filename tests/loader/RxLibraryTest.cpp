// The receiver library as a simulator sees it: loaded by path, called
// through the three IBIS-AMI functions it exports and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "ModelLibrary.h"

namespace {

const std::string kLibraryPath = std::string(TESSEL_KIT_DIR) + "/Orvex_RX_AMI_05272013.so";
const char kPrefix[] = "The IBIS-AMI model, Orvex_RX_AMI_05272013, ";

// 32 samples per 100 ps unit interval.
const double kBitTime = 1e-10;
const double kSampleInterval = kBitTime / 32;

class RxLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Loaded()) << library.Error();
        init = library.Find<AmiInitFunction>("AMI_Init");
        getWave = library.Find<AmiGetWaveFunction>("AMI_GetWave");
        close = library.Find<AmiCloseFunction>("AMI_Close");
        ASSERT_NE(init, nullptr);
        ASSERT_NE(getWave, nullptr);
        ASSERT_NE(close, nullptr);
    }

    long Init(const char* parameters, void** handle, char** msg, double bitTime = kBitTime) {
        double impulse[8] = {};
        return init(impulse, 8, 0, kSampleInterval, bitTime, const_cast<char*>(parameters), nullptr, handle, msg);
    }

    // An NRZ pattern of +-0.5 V, one bit per 32 samples.
    static std::vector<double> Pattern(size_t bits) {
        std::vector<double> wave;
        unsigned state = 0x7f;  // PRBS7
        for (size_t bit = 0; bit < bits; ++bit) {
            const unsigned next = ((state >> 6) ^ (state >> 5)) & 1u;
            state = ((state << 1) | next) & 0x7fu;
            wave.insert(wave.end(), 32, next ? 0.5 : -0.5);
        }
        return wave;
    }

    ModelLibrary library{kLibraryPath};
    AmiInitFunction init = nullptr;
    AmiGetWaveFunction getWave = nullptr;
    AmiCloseFunction close = nullptr;
};

TEST_F(RxLibrary, ExportsExactlyTheThreeEntryPoints) {
    EXPECT_EQ(ExportedSymbols(kLibraryPath), (std::set<std::string>{"AMI_Close", "AMI_GetWave", "AMI_Init"}));
}

TEST_F(RxLibrary, NeedsNothingButTheCLibraryLibmAndTheLoader) {
    if (MODEL_LIBRARY_SANITIZED) GTEST_SKIP() << "a sanitizer build needs the sanitizer runtime";
    EXPECT_EQ(NeededLibraries(kLibraryPath).count("libc.so.6"), 1u);
    EXPECT_TRUE(UnexpectedDependencies(kLibraryPath).empty());
}

TEST_F(RxLibrary, EmptyParameterStringReportsEveryParameterInOrder) {
    void* handle = nullptr;
    char* msg = nullptr;
    ASSERT_EQ(Init("", &handle, &msg), 1);
    ASSERT_NE(msg, nullptr);
    std::string expected;
    for (const char* name : {"EQ_Level", "DWDM_mode", "Rx_config", "DFEtap1", "DFEtap2", "DFEtap3", "DFEtap4",
                             "DFEtap5", "DFEAdapt", "CTLEAdapt", "EOM_window"}) {
        expected += std::string(kPrefix) + "is unable to initialize the parameter " + name +
                    " from the AMI_Init arguments.  The model will use the default setting. ";
    }
    EXPECT_EQ(std::string(msg), expected);

    // The text stays put while the instance lives, blocks or not.
    double wave[64] = {};
    double clocks[3];
    EXPECT_EQ(getWave(wave, 64, clocks, nullptr, handle), 1);
    EXPECT_EQ(std::string(msg), expected);
    EXPECT_EQ(close(handle), 1);
}

TEST_F(RxLibrary, CompleteParameterStringLeavesTheCallersTextPointer) {
    void* handle = nullptr;
    char callers[] = "the caller's own text";
    char* msg = callers;
    ASSERT_EQ(Init("(Orvex_RX_AMI_05272013 (EQ_Level 3) (DWDM_mode 0) (Rx_config 1) (DFEtap1 0) (DFEtap2 0)"
                   " (DFEtap3 0) (DFEtap4 0) (DFEtap5 0) (DFEAdapt 1) (CTLEAdapt 1) (EOM_window 1000))",
                   &handle, &msg),
              1);
    EXPECT_EQ(msg, callers);
    EXPECT_EQ(close(handle), 1);
}

TEST_F(RxLibrary, ImpulseResponseComesBackUnchanged) {
    double impulse[6] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    void* handle = nullptr;
    EXPECT_EQ(init(impulse, 3, 1, kSampleInterval, kBitTime, const_cast<char*>(""), nullptr, &handle, nullptr), 1);
    EXPECT_EQ(std::vector<double>(impulse, impulse + 6), (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6}));
    EXPECT_EQ(close(handle), 1);
}

TEST_F(RxLibrary, ClockTimesAreTerminatedAndStayWithinTheLimit) {
    void* handle = nullptr;
    ASSERT_EQ(Init("", &handle, nullptr), 1);

    std::vector<double> clocks(64, 123.0);
    EXPECT_EQ(getWave(nullptr, 0, clocks.data(), nullptr, handle), 1);
    EXPECT_EQ(clocks[0], -1.0);
    EXPECT_EQ(clocks[1], 123.0);

    const std::vector<double> pattern = Pattern(400);
    double previous = -1.0;
    for (size_t start = 0; start < pattern.size(); start += 1000) {
        const long size = static_cast<long>(std::min<size_t>(1000, pattern.size() - start));
        std::vector<double> wave(pattern.begin() + start, pattern.begin() + start + size);
        std::fill(clocks.begin(), clocks.end(), 123.0);
        ASSERT_EQ(getWave(wave.data(), size, clocks.data(), nullptr, handle), 1);

        const size_t limit = static_cast<size_t>(size / 32) + 1;
        size_t terminator = 0;
        while (terminator < limit && clocks[terminator] != -1.0) {
            EXPECT_GE(clocks[terminator], previous) << "clock times are absolute and ordered";
            previous = clocks[terminator];
            ++terminator;
        }
        ASSERT_LT(terminator, limit) << "no terminator within the limit";
        EXPECT_EQ(clocks[limit], 123.0) << "written past the limit";
        for (double sample : wave) ASSERT_TRUE(std::isfinite(sample));
    }
    EXPECT_EQ(close(handle), 1);
}

TEST_F(RxLibrary, InstancesShareNoState) {
    const std::vector<double> pattern = Pattern(100);
    std::vector<double> alone = pattern;
    void* single = nullptr;
    ASSERT_EQ(Init("", &single, nullptr), 1);
    std::vector<double> clocksAlone(200);
    ASSERT_EQ(getWave(alone.data(), static_cast<long>(alone.size()), clocksAlone.data(), nullptr, single), 1);
    EXPECT_EQ(close(single), 1);

    // The same waveform again, block by block, with a second instance fed
    // in between.
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(Init("", &first, nullptr), 1);
    ASSERT_EQ(Init("", &second, nullptr), 1);
    std::vector<double> together = pattern;
    std::vector<double> other(pattern.rbegin(), pattern.rend());
    std::vector<double> clocks(200), ignored(200);
    const long half = static_cast<long>(pattern.size() / 2);
    ASSERT_EQ(getWave(together.data(), half, clocks.data(), nullptr, first), 1);
    ASSERT_EQ(getWave(other.data(), half, ignored.data(), nullptr, second), 1);
    ASSERT_EQ(getWave(together.data() + half, half, clocks.data(), nullptr, first), 1);
    EXPECT_EQ(together, alone);
    EXPECT_EQ(close(first), 1);
    EXPECT_EQ(close(second), 1);
}

TEST_F(RxLibrary, UnusableSamplesPerBitIsRefusedAndTheInstanceStillStored) {
    void* handle = nullptr;
    char* msg = nullptr;
    EXPECT_EQ(Init("", &handle, &msg, 0.4 * kSampleInterval), 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(msg, nullptr);
    const std::string text = msg;
    EXPECT_NE(text.find(kPrefix + std::string("cannot run with 0 samples per bit")), std::string::npos) << text;
    EXPECT_EQ(text.find("Error occurred in"), std::string::npos) << text;

    double wave[2] = {0.5, -0.5};
    double clocks[2] = {7, 7};
    EXPECT_EQ(getWave(wave, 2, clocks, nullptr, handle), 0);
    EXPECT_EQ(wave[0], 0.5);
    EXPECT_EQ(clocks[0], 7);
    EXPECT_EQ(close(handle), 1);
}

TEST_F(RxLibrary, NullPointersAreNeverWrittenThrough) {
    void* handle = nullptr;
    EXPECT_EQ(init(nullptr, 0, 0, kSampleInterval, kBitTime, nullptr, nullptr, &handle, nullptr), 1);
    EXPECT_EQ(close(handle), 1);
    EXPECT_EQ(init(nullptr, 0, 0, kSampleInterval, kBitTime, const_cast<char*>(""), nullptr, nullptr, nullptr), 0);

    double wave[1] = {0.25};
    double clocks[2] = {};
    EXPECT_EQ(getWave(wave, 1, clocks, nullptr, nullptr), 0);
    EXPECT_EQ(wave[0], 0.25);
    EXPECT_EQ(close(nullptr), 1);
}

}  // namespace
