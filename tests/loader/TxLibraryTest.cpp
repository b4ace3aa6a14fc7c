// The transmitter library as a simulator sees it: loaded by path, called
// through AMI_Init and AMI_Close.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ModelLibrary.h"

namespace {

const std::string kLibraryPath = std::string(TESSEL_KIT_DIR) + "/Orvex_TX_AMI_01142014.so";
const char kPrefix[] = "The IBIS-AMI model, Orvex_TX_AMI_01142014, ";

// 32 samples per 100 ps unit interval.
const double kBitTime = 1e-10;
const double kSampleInterval = kBitTime / 32;

class TxLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Loaded()) << library.Error();
        init = library.Find<AmiInitFunction>("AMI_Init");
        close = library.Find<AmiCloseFunction>("AMI_Close");
        ASSERT_NE(init, nullptr);
        ASSERT_NE(close, nullptr);
    }

    // AMI_Init on the given matrix; the instance is closed again.
    long Run(std::vector<double>& matrix, long rowSize, long aggressors, std::string* message = nullptr,
             double bitTime = kBitTime, const char* parameters = "") {
        void* handle = nullptr;
        char* msg = nullptr;
        const long result = init(matrix.empty() ? nullptr : matrix.data(), rowSize, aggressors, kSampleInterval,
                                 bitTime, const_cast<char*>(parameters), nullptr, &handle, &msg);
        EXPECT_NE(handle, nullptr) << "the instance is stored in every case";
        if (message != nullptr) *message = msg != nullptr ? msg : "";
        EXPECT_EQ(close(handle), 1);
        return result;
    }

    ModelLibrary library{kLibraryPath};
    AmiInitFunction init = nullptr;
    AmiCloseFunction close = nullptr;
};

TEST_F(TxLibrary, ExportsItsTwoEntryPointsAndOnlyDataflowClassesBesides) {
    const std::set<std::string> symbols = ExportedSymbols(kLibraryPath);
    EXPECT_EQ(symbols.count("AMI_Init"), 1u);
    EXPECT_EQ(symbols.count("AMI_Close"), 1u);
    EXPECT_EQ(symbols.count("AMI_GetWave"), 0u);
    EXPECT_EQ(library.Find<AmiGetWaveFunction>("AMI_GetWave"), nullptr);
    for (const std::string& name : symbols) {
        if (name == "AMI_Init" || name == "AMI_Close") continue;
        // N6Tessel, or NK6Tessel for a const member function.
        const bool dataflowClassMember = name.rfind("_Z", 0) == 0 && (name.find("N6Tessel") != std::string::npos ||
                                                                      name.find("NK6Tessel") != std::string::npos);
        EXPECT_TRUE(dataflowClassMember) << name;
    }
}

TEST_F(TxLibrary, NeedsNothingButTheCLibraryLibmAndTheLoader) {
    if (MODEL_LIBRARY_SANITIZED) GTEST_SKIP() << "a sanitizer build needs the sanitizer runtime";
    EXPECT_EQ(NeededLibraries(kLibraryPath).count("libc.so.6"), 1u);
    EXPECT_TRUE(UnexpectedDependencies(kLibraryPath).empty());
}

TEST_F(TxLibrary, EmptyParameterStringReportsTheFourSettingsInOrder) {
    std::vector<double> matrix(64, 0.0);
    std::string message;
    EXPECT_EQ(Run(matrix, 32, 1, &message), 1);
    std::string expected;
    for (const char* name : {"DE", "VOD", "gain", "DE_range"}) {
        expected += std::string(kPrefix) + "is unable to initialize the parameter " + name +
                    " from the AMI_Init arguments.  The model will use the default setting. ";
    }
    EXPECT_EQ(message, expected);
}

TEST_F(TxLibrary, CompleteSettingsLeaveTheCallersTextPointer) {
    std::vector<double> matrix(32, 0.0);
    matrix[0] = 1.0 / kSampleInterval;
    void* handle = nullptr;
    char callers[] = "the caller's own text";
    char* msg = callers;
    EXPECT_EQ(init(matrix.data(), 32, 0, kSampleInterval, kBitTime,
                   const_cast<char*>("(Orvex_TX_AMI_01142014 (DE 0) (VOD 0) (gain 0) (DE_range 0))"), nullptr,
                   &handle, &msg),
              1);
    EXPECT_EQ(msg, callers);
    EXPECT_EQ(matrix, std::vector<double>(32, 0.0)) << "a gain of 0 silences the output";
    EXPECT_EQ(close(handle), 1);
}

TEST_F(TxLibrary, NoColumnOrEmptyColumnsLeaveTheMatrixAndSucceed) {
    std::vector<double> matrix = {1, 2, 3, 4};
    EXPECT_EQ(Run(matrix, 2, -1), 1);
    EXPECT_EQ(Run(matrix, 0, 3), 1);
    EXPECT_EQ(matrix, (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(TxLibrary, BitTimeRoundingToNoSamplesFailsSetupAndLeavesTheMatrix) {
    std::vector<double> matrix = {1, 2, 3, 4};
    std::string message;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(matrix, 2, 1, &message, 0.4 * kSampleInterval), 0);
    const std::string posted = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Error occurred in Orvex_TX_AMI_01142014::Setup(). "), std::string::npos) << message;
    EXPECT_NE(posted.find("SampleRate must be > 0.0\n"), std::string::npos) << posted;
    EXPECT_EQ(matrix, (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(TxLibrary, MissingMatrixAndUnusableTimesAreRefused) {
    std::vector<double> none;
    std::string message;
    EXPECT_EQ(Run(none, 16, 0, &message), 0);
    EXPECT_NE(message.find(kPrefix + std::string("received no impulse_matrix")), std::string::npos) << message;

    std::vector<double> matrix = {1, 2};
    EXPECT_EQ(Run(matrix, 2, 0, &message, -kBitTime), 0);
    EXPECT_NE(message.find(kPrefix + std::string("needs a finite, positive")), std::string::npos) << message;
    EXPECT_EQ(matrix, (std::vector<double>{1, 2}));
}

}  // namespace
