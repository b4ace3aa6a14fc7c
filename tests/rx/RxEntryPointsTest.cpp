// The receiver's entry points on a scripted schematic: the phases they call,
// the samples and clock times they move, and what they refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "CircularBuffer.h"
#include "DFModel.h"
#include "RxEntryPoints.h"

namespace {

// What the next scripted schematic does; reset by every test.
struct Script {
    bool failSetup = false;
    bool failInitialize = false;
    bool failFinalize = false;
    long failingFiring = -1;  // firing number (from 0, over all calls) whose Run fails
    std::function<double(long)> clockTime = [](long) { return -1.0; };
    std::vector<std::string> calls;
};
Script script;

// Has the interface the entry points drive; its output is the negated input.
class ScriptedSchematic : public Tessel::DFModel {
public:
    bool Setup() override { return Record("Setup", !script.failSetup); }
    bool Initialize() override { return Record("Initialize", !script.failInitialize); }
    bool Run() override {
        if (firings == script.failingFiring) {
            return false;
        }
        WaveOut[0] = -WaveIn[0];
        ClockOut[0] = script.clockTime(firings);
        ++firings;
        return true;
    }
    bool Finalize() override { return Record("Finalize", !script.failFinalize); }

    Tessel::CircularBuffer<double> WaveIn, ClockOut, WaveOut;
    double SamplesPerBit = 32;
    double BitTime = 1e-10;
    double EQ_Level = 0, DWDM_mode = 0, Rx_config = 0;
    double DFEtap1 = 0, DFEtap2 = 0, DFEtap3 = 0, DFEtap4 = 0, DFEtap5 = 0;
    double DFEAdapt = 1, CTLEAdapt = 1, EOM_window = 1000;
    long firings = 0;
    static double LongestResponseSeconds() { return 0.5e-9; }

private:
    static bool Record(const char* phase, bool result) {
        script.calls.push_back(phase);
        return result;
    }
};

typedef Orvex::RxEntryPoints<ScriptedSchematic> Entry;
typedef Entry::Instance Instance;

const char kPrefix[] = "The IBIS-AMI model, Orvex_RX_AMI_05272013, ";
const char kAllParameters[] =
    "(Orvex_RX_AMI_05272013 (EQ_Level 2) (DWDM_mode 1) (Rx_config 1) (DFEtap1 -3) (DFEtap2 4) (DFEtap3 5)"
    " (DFEtap4 6) (DFEtap5 7) (DFEAdapt 0) (CTLEAdapt 0) (EOM_window 500))";

std::string Unread(const char* parameter) {
    return std::string(kPrefix) + "is unable to initialize the parameter " + parameter +
           " from the AMI_Init arguments.  The model will use the default setting. ";
}

class RxEntryPointsTest : public ::testing::Test {
protected:
    void SetUp() override { script = Script(); }
    void TearDown() override { Entry::Close(handle); }

    // AMI_Init with 32 samples per bit unless told otherwise.
    long Init(double bitTime = 3.2e-10, double sampleInterval = 1e-11, const char* parameters = kAllParameters) {
        return Entry::Init(nullptr, 0, 0, sampleInterval, bitTime, parameters, nullptr, &handle, &msg);
    }
    Instance& instance() { return *static_cast<Instance*>(handle); }
    std::string message() { return instance().Message.Text(); }

    void* handle = nullptr;
    char* msg = nullptr;
};

TEST_F(RxEntryPointsTest, SamplesPerBitIsTheRoundedRatio) {
    const struct {
        double ratio;
        int expected;
    } cases[] = {{32.0, 32}, {31.6, 32}, {31.4, 31}, {2.0, 2}, {1.6, 2}, {256.4, 256}};
    for (const auto& c : cases) {
        void* h = nullptr;
        ASSERT_EQ(Entry::Init(nullptr, 0, 0, 1e-12, c.ratio * 1e-12, "", nullptr, &h, nullptr), 1) << c.ratio;
        Instance& made = *static_cast<Instance*>(h);
        EXPECT_EQ(made.SamplesPerBitCount, c.expected) << c.ratio;
        EXPECT_EQ(made.Model.SamplesPerBit, c.expected) << c.ratio;
        EXPECT_DOUBLE_EQ(made.Model.BitTime, c.ratio * 1e-12);
        Entry::Close(h);
    }
}

TEST_F(RxEntryPointsTest, SuccessfulInitRunsSetupThenInitializeAndLeavesTheImpulseAlone) {
    double impulse[4] = {1, 2, 3, 4};
    char sentinel[] = "caller's text";
    msg = sentinel;
    ASSERT_EQ(Entry::Init(impulse, 2, 1, 1e-11, 3.2e-10, kAllParameters, nullptr, &handle, &msg), 1);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"Setup", "Initialize"}));
    EXPECT_EQ(msg, sentinel);  // no message: the caller's pointer is untouched
    EXPECT_EQ(impulse[0] + impulse[1] + impulse[2] + impulse[3], 10.0);
    EXPECT_EQ(Entry::Close(handle), 1);
    handle = nullptr;
    EXPECT_EQ(script.calls.back(), "Finalize");
}

TEST_F(RxEntryPointsTest, FailingSetupSkipsInitializeButStoresTheInstance) {
    script.failSetup = true;
    EXPECT_EQ(Init(), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"Setup"}));
    EXPECT_STREQ(msg, "Error occurred in Orvex_RX_AMI_05272013::Setup(). ");

    double wave[2] = {1, 2};
    double clocks[2] = {7, 7};
    EXPECT_EQ(Entry::GetWave(wave, 2, clocks, nullptr, handle), 0);  // never fired
    EXPECT_EQ(wave[1], 2);
    EXPECT_EQ(clocks[0], 7);

    EXPECT_EQ(Entry::Close(handle), 1);  // Finalize still runs
    handle = nullptr;
    EXPECT_EQ(script.calls.back(), "Finalize");
}

TEST_F(RxEntryPointsTest, FailingInitializeIsReportedAndTheInstanceCannotBeFired) {
    script.failInitialize = true;
    EXPECT_EQ(Init(), 0);
    EXPECT_STREQ(msg, "Error occurred in Orvex_RX_AMI_05272013::Initialize(). ");
    EXPECT_FALSE(instance().Running);
    double wave[1] = {5};
    EXPECT_EQ(Entry::GetWave(wave, 1, nullptr, nullptr, handle), 0);
    EXPECT_EQ(wave[0], 5);
}

TEST_F(RxEntryPointsTest, UnusableTimingsNeverStartTheSchematic) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double bitTime, sampleInterval;
    } cases[] = {
        {0.4e-12, 1e-12},   // rounds to 0 samples per bit
        {1.4e-12, 1e-12},   // 1 sample per bit: no edge for the clock recovery
        {257e-12, 1e-12},   // more than the eye monitor's 256 phases
        {32e-17, 1e-17},    // 5e7 taps for the 0.5 ns response
        {2.0, 2.0 / 32},    // a unit interval beyond 1 s
        {1e300, 1e-300},    // the ratio itself overflows
        {0.0, 1e-12},    {-1e-10, 1e-12}, {1e-10, 0.0}, {1e-10, -1e-12},
        {nan, 1e-12},    {1e-10, nan},    {inf, 1e-12}, {1e-10, inf},
    };
    for (const auto& c : cases) {
        script = Script();
        void* h = nullptr;
        char* text = nullptr;
        EXPECT_EQ(Entry::Init(nullptr, 0, 0, c.sampleInterval, c.bitTime, kAllParameters, nullptr, &h, &text), 0)
            << c.bitTime << " / " << c.sampleInterval;
        ASSERT_NE(h, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text).rfind(kPrefix, 0), 0u) << text;
        EXPECT_TRUE(script.calls.empty()) << text;

        double wave[1] = {3};
        EXPECT_EQ(Entry::GetWave(wave, 1, nullptr, nullptr, h), 0);
        EXPECT_EQ(wave[0], 3);
        EXPECT_EQ(Entry::Close(h), 1);
        EXPECT_TRUE(script.calls.empty());  // nothing was started, nothing to finalise
    }
}

TEST_F(RxEntryPointsTest, UnusableTimingIsReportedAfterTheParameters) {
    EXPECT_EQ(Init(0.4e-12, 1e-12, "(Orvex_RX_AMI_05272013 (EQ_Level 4))"), 0);
    const std::string text = msg;
    const std::string parameterTexts = Unread("DWDM_mode") + Unread("Rx_config") + Unread("DFEtap1") +
                                       Unread("DFEtap2") + Unread("DFEtap3") + Unread("DFEtap4") +
                                       Unread("DFEtap5") + Unread("DFEAdapt") + Unread("CTLEAdapt") +
                                       Unread("EOM_window");
    ASSERT_EQ(text.substr(0, parameterTexts.size()), parameterTexts);
    EXPECT_EQ(text.substr(parameterTexts.size()),
              std::string(kPrefix) +
                  "cannot run with 0 samples per bit (bit_time = 4e-13 s, sample_interval = 1e-12 s); "
                  "it supports 2 to 256. ");
    EXPECT_EQ(instance().Model.EQ_Level, 4);
}

TEST_F(RxEntryPointsTest, TimingLimitsAreNamedInTheMessage) {
    EXPECT_EQ(Init(32e-17, 1e-17, ""), 0);
    std::string text = msg;
    EXPECT_NE(text.find(std::string(kPrefix) + "cannot run with bit_time = 3.2e-16 s, sample_interval = 1e-17 s: "
                                               "its filters would need 50000001 taps, and at most 1000000 are "
                                               "supported (sample intervals above 5e-16 s). "),
              std::string::npos)
        << text;
    Entry::Close(handle);
    EXPECT_EQ(Init(1.5, 1.5 / 32, ""), 0);
    text = msg;
    EXPECT_NE(text.find(std::string(kPrefix) + "cannot run with a bit time above 1 s (bit_time = 1.5 s, "
                                               "sample_interval = 0.046875 s). "),
              std::string::npos)
        << text;
    Entry::Close(handle);
    // At the limits themselves the schematic starts.
    EXPECT_EQ(Init(1.0, 1.0 / 32, ""), 1);
    Entry::Close(handle);
    EXPECT_EQ(Init(32 * 0.6e-15, 0.6e-15, ""), 1);
}

TEST_F(RxEntryPointsTest, ParametersReachTheSchematicAndUnreadOnesKeepTheirDefaults) {
    ASSERT_EQ(Init(), 1);
    const ScriptedSchematic& all = instance().Model;
    EXPECT_EQ((std::vector<double>{all.EQ_Level, all.DWDM_mode, all.Rx_config, all.DFEtap1, all.DFEtap2,
                                   all.DFEtap3, all.DFEtap4, all.DFEtap5, all.DFEAdapt, all.CTLEAdapt,
                                   all.EOM_window}),
              (std::vector<double>{2, 1, 1, -3, 4, 5, 6, 7, 0, 0, 500}));
    EXPECT_EQ(msg, nullptr);
    Entry::Close(handle);

    // Strings, booleans and numbers an int cannot hold are not read.
    ASSERT_EQ(Init(3.2e-10, 1e-11,
                   "(Orvex_RX_AMI_05272013 (EQ_Level 5.5) (Rx_config 1) (DFEtap2 -4) (DFEAdapt \"on\")"
                   " (CTLEAdapt True) (EOM_window 1e300))"),
              1);
    const ScriptedSchematic& some = instance().Model;
    EXPECT_EQ(some.EQ_Level, 5.5);  // kept as read; the schematic truncates it
    EXPECT_EQ(some.Rx_config, 1);
    EXPECT_EQ(some.DFEtap2, -4);
    EXPECT_EQ(some.DFEAdapt, 1);
    EXPECT_EQ(some.CTLEAdapt, 1);
    EXPECT_EQ(some.EOM_window, 1000);
    EXPECT_EQ(std::string(msg), Unread("DWDM_mode") + Unread("DFEtap1") + Unread("DFEtap3") + Unread("DFEtap4") +
                                    Unread("DFEtap5") + Unread("DFEAdapt") + Unread("CTLEAdapt") +
                                    Unread("EOM_window"));
}

TEST_F(RxEntryPointsTest, NullParameterStringReadsAsAnEmptyOne) {
    ASSERT_EQ(Entry::Init(nullptr, 0, 0, 1e-11, 3.2e-10, nullptr, nullptr, &handle, &msg), 1);
    ASSERT_NE(msg, nullptr);
    std::string everyParameter;
    for (const char* name : {"EQ_Level", "DWDM_mode", "Rx_config", "DFEtap1", "DFEtap2", "DFEtap3", "DFEtap4",
                             "DFEtap5", "DFEAdapt", "CTLEAdapt", "EOM_window"}) {
        everyParameter += Unread(name);
    }
    EXPECT_EQ(std::string(msg), everyParameter);
}

TEST_F(RxEntryPointsTest, WithoutAPlaceForTheHandleTheInstanceIsFreed) {
    char* text = nullptr;
    EXPECT_EQ(Entry::Init(nullptr, 0, 0, 1e-11, 3.2e-10, "", nullptr, nullptr, &text), 0);
    EXPECT_EQ(text, nullptr);  // would point into the freed instance
    // The leak check of the sanitizer build sees whether it was freed.
}

TEST_F(RxEntryPointsTest, SamplesComeBackInPlaceAndStateCarriesAcrossCalls) {
    script.clockTime = [](long firing) { return firing % 4 == 3 ? firing * 1e-12 : -1.0; };
    ASSERT_EQ(Init(4e-11, 1e-11), 1);  // 4 samples per bit
    double first[6] = {1, 2, 3, 4, 5, 6};
    double clocks[3] = {9, 9, 9};
    EXPECT_EQ(Entry::GetWave(first, 6, clocks, nullptr, handle), 1);
    EXPECT_EQ(std::vector<double>(first, first + 6), (std::vector<double>{-1, -2, -3, -4, -5, -6}));
    EXPECT_EQ(std::vector<double>(clocks, clocks + 3), (std::vector<double>{3e-12, -1.0, 9}));

    double second[4] = {7, 8, 9, 10};
    EXPECT_EQ(Entry::GetWave(second, 4, clocks, nullptr, handle), 1);
    EXPECT_EQ(std::vector<double>(clocks, clocks + 2), (std::vector<double>{7e-12, -1.0}));
    EXPECT_EQ(instance().Model.firings, 10);
}

TEST_F(RxEntryPointsTest, ClockTimesSkipNegativeAndNanAndWhatDoesNotFitWaitsForTheNextCall) {
    // A clock time on every firing but the last but one (NaN) and the one
    // before it (negative).
    script.clockTime = [](long firing) {
        if (firing == 7) return -0.5;
        if (firing == 8) return std::nan("");
        return firing < 10 ? static_cast<double>(firing) : -1.0;
    };
    ASSERT_EQ(Init(4e-11, 1e-11), 1);  // limit = 10 / 4 + 1 = 3 entries
    double wave[20] = {};
    double clocks[6] = {42, 42, 42, 42, 42, 42};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Entry::GetWave(wave, 10, clocks, nullptr, handle), 1);
    // Found 0 to 6 and 9: the earliest two fit before the terminator, the
    // latest four wait, and 2 and 3 are dropped.
    EXPECT_EQ(std::vector<double>(clocks, clocks + 5), (std::vector<double>{0, 1, -1.0, 42, 42}));

    // A block shorter than a unit interval has room for the terminator only;
    // the waiting times come out, in order, as room allows.
    EXPECT_EQ(Entry::GetWave(wave, 3, clocks, nullptr, handle), 1);
    EXPECT_EQ(clocks[0], -1.0);
    EXPECT_EQ(Entry::GetWave(wave, 8, clocks, nullptr, handle), 1);
    EXPECT_EQ(std::vector<double>(clocks, clocks + 3), (std::vector<double>{4, 5, -1.0}));
    EXPECT_EQ(Entry::GetWave(wave, 20, clocks, nullptr, handle), 1);
    EXPECT_EQ(std::vector<double>(clocks, clocks + 3), (std::vector<double>{6, 9, -1.0}));
    EXPECT_EQ(Entry::GetWave(wave, 20, clocks, nullptr, handle), 1);
    EXPECT_EQ(clocks[0], -1.0);

    // A second drop of the instance is not reported again.
    script.clockTime = [](long firing) { return static_cast<double>(firing); };
    EXPECT_EQ(Entry::GetWave(wave, 10, clocks, nullptr, handle), 1);
    const std::string posted = testing::internal::GetCapturedStderr();
    EXPECT_EQ(posted, std::string(kPrefix) + "dropped clock times: more than 4 did not fit the clock_times arrays "
                                             "(wave_size / samples per bit + 1 entries). A clock faster than "
                                             "the nominal bit time finds more times than those arrays hold, "
                                             "whatever the block size; over a long run the surplus outgrows "
                                             "what can wait.\n");
}

TEST_F(RxEntryPointsTest, FailingFiringLeavesTheRestAndStillDeliversTheClockTimes) {
    script.failingFiring = 3;
    script.clockTime = [](long firing) { return firing * 1.0; };
    char sentinel[] = "x";
    msg = sentinel;
    ASSERT_EQ(Init(2e-11, 1e-11), 1);  // 2 samples per bit: limit = 7 / 2 + 1 = 4 entries
    ASSERT_EQ(msg, sentinel);
    double wave[7] = {1, 2, 3, 4, 5, 6, 7};
    double clocks[6] = {};
    EXPECT_EQ(Entry::GetWave(wave, 7, clocks, nullptr, handle), 0);
    EXPECT_EQ(std::vector<double>(wave, wave + 7), (std::vector<double>{-1, -2, -3, 4, 5, 6, 7}));
    EXPECT_EQ(std::vector<double>(clocks, clocks + 4), (std::vector<double>{0, 1, 2, -1.0}));
    EXPECT_EQ(message(), "Error occurred in Orvex_RX_AMI_05272013::Run(). ");
    EXPECT_EQ(msg, sentinel);  // AMI_GetWave hands out no message
}

TEST_F(RxEntryPointsTest, HandedOutTextStaysAsItWasWhenTheMessageGrows) {
    script.failInitialize = true;
    ASSERT_EQ(Init(), 0);
    const char* handedOut = msg;
    const std::string before = handedOut;
    // Make the instance's own text grow well past any small-string storage.
    for (int i = 0; i < 100; ++i) {
        instance().Message.Append("Error occurred in Orvex_RX_AMI_05272013::Run(). ");
    }
    EXPECT_EQ(msg, handedOut);
    EXPECT_EQ(std::string(handedOut), before);
}

TEST_F(RxEntryPointsTest, RefusesBadBlocksWithoutWritingAnythingAndAcceptsEmptyOnes) {
    ASSERT_EQ(Init(), 1);
    double wave[2] = {1, 2};
    double clocks[2] = {8, 8};
    EXPECT_EQ(Entry::GetWave(wave, -1, clocks, nullptr, handle), 0);
    EXPECT_EQ(Entry::GetWave(nullptr, 2, clocks, nullptr, handle), 0);
    EXPECT_EQ(Entry::GetWave(wave, 2, clocks, nullptr, nullptr), 0);
    EXPECT_EQ(wave[0], 1);
    EXPECT_EQ(clocks[0], 8);

    // An empty block fires nothing and delivers only the terminator.
    EXPECT_EQ(Entry::GetWave(nullptr, 0, clocks, nullptr, handle), 1);
    EXPECT_EQ(clocks[0], -1.0);
    EXPECT_EQ(clocks[1], 8);
    EXPECT_EQ(instance().Model.firings, 0);

    // Without clock_times only the copy of the clock times is skipped.
    EXPECT_EQ(Entry::GetWave(wave, 2, nullptr, nullptr, handle), 1);
    EXPECT_EQ(wave[1], -2);
}

TEST_F(RxEntryPointsTest, CloseReportsAFailingFinalizeAndAcceptsANullHandle) {
    script.failFinalize = true;
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(Entry::Close(handle), 0);
    handle = nullptr;
    EXPECT_EQ(Entry::Close(nullptr), 1);
}

TEST_F(RxEntryPointsTest, HandlesThatAreNotLiveAreRefusedUntouched) {
    ASSERT_EQ(Init(), 1);
    void* closed = handle;
    EXPECT_EQ(Entry::Close(closed), 1);
    handle = nullptr;
    Instance foreign;  // an instance no AMI_Init handed out
    double wave[2] = {1, 2};
    double clocks[2] = {8, 8};
    for (void* stale : {closed, static_cast<void*>(&foreign), static_cast<void*>(wave)}) {
        EXPECT_EQ(Entry::GetWave(wave, 2, clocks, nullptr, stale), 0);
        EXPECT_EQ(Entry::Close(stale), 0);
    }
    EXPECT_EQ(wave[0], 1);
    EXPECT_EQ(clocks[0], 8);
    EXPECT_EQ(foreign.Model.firings, 0);
    EXPECT_TRUE(script.calls.size() == 3u) << "Setup, Initialize and one Finalize";
}

}  // namespace
