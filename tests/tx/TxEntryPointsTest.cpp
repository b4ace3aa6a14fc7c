// The transmitter's entry points on a scripted schematic: the phase cycle
// of every column, what a failing phase leaves behind, and the arguments
// that are refused before anything is touched.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "CircularBuffer.h"
#include "DFModel.h"
#include "TxEntryPoints.h"

namespace {

// What the next scripted schematic does; reset by every test.
struct Script {
    bool failSetup = false;
    bool failInitialize = false;
    bool failFinalize = false;
    long failingFiring = -1;  // firing number (from 0, over all columns) whose Run fails
    std::vector<std::string> calls;
};
Script script;

// Has the interface the entry points drive; its output is ten times the input.
class ScriptedSchematic : public Tessel::DFModel {
public:
    bool Setup() override { return Record("S", !script.failSetup); }
    bool Initialize() override { return Record("I", !script.failInitialize); }
    bool Run() override {
        script.calls.push_back("R");
        if (firings++ == script.failingFiring) {
            return false;
        }
        WaveOut[0] = 10 * WaveIn[0];
        return true;
    }
    bool Finalize() override { return Record("F", !script.failFinalize); }

    Tessel::CircularBuffer<double> WaveIn, WaveOut;
    int SamplesPerBit = 32;
    int DE = 7;
    int VOD = 7;
    double BitTime = 1e-10;
    double gain = 1.0;
    double DE_range = 1.0;
    long firings = 0;
    static double LongestResponseSeconds() { return 1.5e-9; }

private:
    static bool Record(const char* phase, bool result) {
        script.calls.push_back(phase);
        return result;
    }
};

typedef Orvex::TxEntryPoints<ScriptedSchematic> Entry;
typedef Entry::Instance Instance;

const char kPrefix[] = "The IBIS-AMI model, Orvex_TX_AMI_01142014, ";
const char kAllParameters[] = "(Orvex_TX_AMI_01142014 (DE 3) (VOD 5) (gain 0.5) (DE_range 0))";

std::string Calls() {
    std::string joined;
    for (const std::string& call : script.calls) joined += call;
    return joined;
}

class TxEntryPointsTest : public ::testing::Test {
protected:
    void SetUp() override { script = Script(); }
    void TearDown() override { Entry::Close(handle); }

    long Init(double* matrix, long rowSize, long aggressors, double bitTime = 3.2e-10,
              double sampleInterval = 1e-11) {
        return Entry::Init(matrix, rowSize, aggressors, sampleInterval, bitTime, kAllParameters, nullptr, &handle,
                           &msg);
    }
    Instance& instance() { return *static_cast<Instance*>(handle); }

    void* handle = nullptr;
    char* msg = nullptr;
};

TEST_F(TxEntryPointsTest, EveryColumnGetsItsOwnFullCycle) {
    double matrix[6] = {1, 2, 3, 4, 5, 6};
    char sentinel[] = "caller's text";
    msg = sentinel;
    EXPECT_EQ(Init(matrix, 3, 1), 1);
    EXPECT_EQ(Calls(), "SIRRRFSIRRRF");
    EXPECT_EQ(std::vector<double>(matrix, matrix + 6), (std::vector<double>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(msg, sentinel);  // no message: the caller's pointer is untouched
    EXPECT_EQ(instance().Model.WaveIn.GetBufferMemory(), nullptr);  // port arrays gone with AMI_Init
}

TEST_F(TxEntryPointsTest, AggressorsAndRowSizeDecideWhatIsCalled) {
    double matrix[4] = {1, 2, 3, 4};
    EXPECT_EQ(Init(matrix, 2, 0), 1);  // only the through column
    EXPECT_EQ(Calls(), "SIRRF");
    EXPECT_EQ(std::vector<double>(matrix, matrix + 4), (std::vector<double>{10, 20, 3, 4}));
    Entry::Close(handle);

    script = Script();
    EXPECT_EQ(Init(matrix, 2, -1), 1);  // no column at all
    EXPECT_EQ(Calls(), "");
    Entry::Close(handle);

    script = Script();
    EXPECT_EQ(Init(nullptr, 0, 2), 1);  // empty columns still get their cycle
    EXPECT_EQ(Calls(), "SIFSIFSIF");
}

TEST_F(TxEntryPointsTest, FailingSetupOrInitializeStopsAfterThatColumn) {
    double matrix[4] = {1, 2, 3, 4};
    script.failSetup = true;
    EXPECT_EQ(Init(matrix, 2, 1), 0);
    EXPECT_EQ(Calls(), "SF");
    EXPECT_STREQ(msg, "Error occurred in Orvex_TX_AMI_01142014::Setup(). ");
    EXPECT_EQ(std::vector<double>(matrix, matrix + 4), (std::vector<double>{1, 2, 3, 4}));
    ASSERT_NE(handle, nullptr);
    Entry::Close(handle);

    script = Script();
    script.failInitialize = true;
    EXPECT_EQ(Init(matrix, 2, 1), 0);
    EXPECT_EQ(Calls(), "SIF");
    EXPECT_STREQ(msg, "Error occurred in Orvex_TX_AMI_01142014::Initialize(). ");
    EXPECT_EQ(matrix[0], 1);
}

TEST_F(TxEntryPointsTest, FailingFiringLeavesTheRestOfTheColumnAndLaterColumns) {
    double matrix[6] = {1, 2, 3, 4, 5, 6};
    script.failingFiring = 1;
    script.failFinalize = true;
    EXPECT_EQ(Init(matrix, 3, 1), 0);
    EXPECT_EQ(Calls(), "SIRRF");
    EXPECT_EQ(std::vector<double>(matrix, matrix + 6), (std::vector<double>{10, 2, 3, 4, 5, 6}));
    EXPECT_STREQ(msg,
                 "Error occurred in Orvex_TX_AMI_01142014::Run(). "
                 "Error occurred in Orvex_TX_AMI_01142014::Finalize(). ");
}

TEST_F(TxEntryPointsTest, SamplesPerBitIsTheRoundedRatioAndZeroReachesSetup) {
    const struct {
        double ratio;
        int expected;
    } cases[] = {{32.0, 32}, {31.6, 32}, {31.4, 31}, {0.4, 0}};
    for (const auto& c : cases) {
        double sample = 1;
        void* h = nullptr;
        ASSERT_EQ(Entry::Init(&sample, 1, 0, 1e-12, c.ratio * 1e-12, "", nullptr, &h, nullptr), 1);
        Instance& made = *static_cast<Instance*>(h);
        EXPECT_EQ(made.Model.SamplesPerBit, c.expected) << c.ratio;
        EXPECT_DOUBLE_EQ(made.Model.BitTime, c.ratio * 1e-12);
        Entry::Close(h);
    }
}

TEST_F(TxEntryPointsTest, ArgumentsThatCannotDescribeAMatrixAreRefusedUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    double matrix[2] = {1, 2};
    const struct {
        double* matrix;
        long rowSize, aggressors;
        double bitTime, sampleInterval;
        const char* says;
    } cases[] = {
        {nullptr, 2, 0, 3.2e-10, 1e-11, "no impulse_matrix"},
        {matrix, -2, 0, 3.2e-10, 1e-11, "negative row_size"},
        {matrix, 2, LONG_MAX, 3.2e-10, 1e-11, "cannot address"},
        {matrix, LONG_MAX, 1, 3.2e-10, 1e-11, "cannot address"},
        {matrix, 2, 0, 0.0, 1e-11, "finite, positive"},
        {matrix, 2, 0, -3.2e-10, 1e-11, "finite, positive"},
        {matrix, 2, 0, nan, 1e-11, "finite, positive"},
        {matrix, 2, 0, 3.2e-10, 0.0, "finite, positive"},
        {matrix, 2, 0, 3.2e-10, inf, "finite, positive"},
        {matrix, 2, 0, 1.0, 1e-300, "samples per bit"},  // the count does not fit an int
        {matrix, 2, 0, 3.2e-16, 1e-17, "would need 150000001 taps, and at most 1000000"},
        {matrix, 2, 0, 2.0, 2.0 / 32, "above 1 s"},
    };
    for (const auto& c : cases) {
        script = Script();
        void* h = nullptr;
        char* text = nullptr;
        EXPECT_EQ(Entry::Init(c.matrix, c.rowSize, c.aggressors, c.sampleInterval, c.bitTime, kAllParameters,
                              nullptr, &h, &text),
                  0)
            << c.says;
        ASSERT_NE(h, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text).rfind(kPrefix, 0), 0u) << text;
        EXPECT_NE(std::string(text).find(c.says), std::string::npos) << text;
        EXPECT_EQ(Calls(), "") << text;
        Entry::Close(h);
    }
    EXPECT_EQ(matrix[0], 1);
    EXPECT_EQ(matrix[1], 2);
}

std::string Unread(const char* parameter) {
    return std::string(kPrefix) + "is unable to initialize the parameter " + parameter +
           " from the AMI_Init arguments.  The model will use the default setting. ";
}

TEST_F(TxEntryPointsTest, SettingsReachTheSchematicAndUnreadOnesKeepTheirDefaults) {
    double sample = 1;
    ASSERT_EQ(Init(&sample, 1, 0), 1);
    const ScriptedSchematic& all = instance().Model;
    EXPECT_EQ(all.DE, 3);
    EXPECT_EQ(all.VOD, 5);
    EXPECT_EQ(all.gain, 0.5);
    EXPECT_EQ(all.DE_range, 0);
    Entry::Close(handle);

    ASSERT_EQ(Entry::Init(&sample, 1, 0, 1e-11, 3.2e-10, "(Orvex_TX_AMI_01142014 (DE 2.9) (VOD \"high\") (DE_range 0.5))",
                          nullptr, &handle, &msg),
              1);
    const ScriptedSchematic& some = instance().Model;
    EXPECT_EQ(some.DE, 2);  // truncated toward zero
    EXPECT_EQ(some.VOD, 7);
    EXPECT_EQ(some.gain, 1.0);
    EXPECT_EQ(some.DE_range, 0.5);  // stays a double
    EXPECT_EQ(std::string(msg), Unread("VOD") + Unread("gain"));
    Entry::Close(handle);

    // Settings that are not finite are refused like missing ones.
    for (const char* text : {"(Orvex_TX_AMI_01142014 (DE 1) (VOD 1) (gain nan) (DE_range -inf))",
                             "(Orvex_TX_AMI_01142014 (DE 1) (VOD 1) (gain -inf) (DE_range inf))"}) {
        ASSERT_EQ(Entry::Init(&sample, 1, 0, 1e-11, 3.2e-10, text, nullptr, &handle, &msg), 1);
        EXPECT_EQ(instance().Model.gain, 1.0) << text;
        EXPECT_EQ(instance().Model.DE_range, 1.0) << text;
        EXPECT_EQ(std::string(msg), Unread("gain") + Unread("DE_range"));
        Entry::Close(handle);
    }
    handle = nullptr;
}

TEST_F(TxEntryPointsTest, RefusedArgumentsAreReportedAfterTheSettings) {
    ASSERT_EQ(Entry::Init(nullptr, 4, 0, 1e-11, 3.2e-10, nullptr, nullptr, &handle, &msg), 0);
    EXPECT_EQ(std::string(msg), Unread("DE") + Unread("VOD") + Unread("gain") + Unread("DE_range") + kPrefix +
                                    "received no impulse_matrix for row_size 4. ");
}

TEST_F(TxEntryPointsTest, WithoutAPlaceForTheHandleNothingIsTouchedAndCloseAcceptsNull) {
    double sample = 1;
    char* text = nullptr;
    EXPECT_EQ(Entry::Init(&sample, 1, 0, 1e-11, 3.2e-10, "", nullptr, nullptr, &text), 0);
    EXPECT_EQ(sample, 1);
    EXPECT_EQ(Calls(), "");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, (std::string(kPrefix) +
                        "received no AMI_memory_handle; the impulse_matrix was left as it came. ")
                           .c_str());
    EXPECT_EQ(Entry::Close(nullptr), 1);
}

TEST_F(TxEntryPointsTest, HandlesThatAreNotLiveAreRefused) {
    double sample = 1;
    ASSERT_EQ(Init(&sample, 1, 0), 1);
    EXPECT_EQ(Entry::Close(handle), 1);
    EXPECT_EQ(Entry::Close(handle), 0);  // closed already
    Instance foreign;
    EXPECT_EQ(Entry::Close(&foreign), 0);
    EXPECT_EQ(Entry::Close(&sample), 0);
    handle = nullptr;
}

}  // namespace
