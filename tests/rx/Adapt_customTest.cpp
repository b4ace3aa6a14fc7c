#include <gtest/gtest.h>


#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Adapt_custom.h"
#include "OneItemWire.h"
#include "ScratchFolder.h"

namespace {

// The block appends "adapt.txt" to the current working directory, so every
// test runs in a fresh temporary directory of its own.
class AdaptTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.Ready()); }

    void Configure(int ctleAdapt, int dfeAdapt, int dwdmMode = 0, int eqLevel = 0,
                   std::vector<int> tapCodes = {0, 0, 0, 0, 0}) {
        adapt.CTLEAdapt = ctleAdapt;
        adapt.DFEAdapt = dfeAdapt;
        adapt.DWDM_mode = dwdmMode;
        adapt.EQ_Level = eqLevel;
        adapt.DFEtap1 = tapCodes[0];
        adapt.DFEtap2 = tapCodes[1];
        adapt.DFEtap3 = tapCodes[2];
        adapt.DFEtap4 = tapCodes[3];
        adapt.DFEtap5 = tapCodes[4];
        ASSERT_TRUE(adapt.Setup());
        ASSERT_EQ(adapt.DFE_Taps.GetSize(), 5u);
        start.Attach(adapt.Start);
        measureDone.Attach(adapt.MeasureDone);
        eyeWidth.Attach(adapt.EyeWidth);
        eyeHeight.Attach(adapt.EyeHeight);
        rearm.Attach(adapt.Rearm);
        for (int k = 0; k < 5; ++k) taps[k].Attach(adapt.DFE_Taps[k]);
        select.Attach(adapt.CTLE_Select);
        restart.Attach(adapt.Restart);
        ctleDone.Attach(adapt.CTLE_Done);
        ASSERT_TRUE(adapt.Initialize());
    }

    void Fire() { ASSERT_TRUE(adapt.Run()); }

    void StartAdaptation() {
        start.item = 1;
        Fire();
    }

    // A measurement arrives: the done flag rises, then falls again.
    void Measure(double width, double height) {
        eyeWidth.item = width;
        eyeHeight.item = height;
        measureDone.item = 1;
        Fire();
        measureDone.item = 0;
        Fire();
    }

    void Rearm() {
        rearm.item = 1;
        Fire();
        rearm.item = 0;
        Fire();
    }

    static std::vector<std::string> LogLines() {
        std::ifstream log("adapt.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }

    Adapt_custom adapt;
    OneItemWire<int> start, measureDone, rearm, select, restart, ctleDone;
    OneItemWire<double> eyeWidth, eyeHeight;
    OneItemWire<double> taps[5];

private:
    ScratchFolder m_folder;
};

TEST_F(AdaptTest, FixedSettingsAreDrivenFromTheFirstFiringAndEachMeasurementIsLogged) {
    Configure(0, 0, 0, 2, {3, -2, 0, 1, 16});
    { std::ofstream("adapt.txt") << "earlier run\n"; }
    Fire();
    EXPECT_EQ(select.item, 3);
    EXPECT_DOUBLE_EQ(taps[0].item, 0.024);
    EXPECT_DOUBLE_EQ(taps[1].item, -0.016);
    EXPECT_DOUBLE_EQ(taps[4].item, 0.128);
    EXPECT_EQ(restart.item, 1);
    EXPECT_EQ(ctleDone.item, 0);

    StartAdaptation();
    EXPECT_EQ(restart.item, 0) << "the start edge lets the monitor measure";
    EXPECT_EQ(ctleDone.item, 1);
    Measure(0.4375, 0.128125);
    EXPECT_EQ(restart.item, 0) << "no step follows, so no restart";
    EXPECT_EQ(select.item, 3);
    EXPECT_DOUBLE_EQ(taps[0].item, 0.024);
    Rearm();
    EXPECT_EQ(restart.item, 1) << "not adapting: a rearm edge holds the monitor";
    Measure(1e-05, 0.0);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "earlier run",
                              "3\t0.024\t-0.016\t0\t0.008\t0.128\t0.4375\t0.128125",
                              "3\t0.024\t-0.016\t0\t0.008\t0.128\t1e-05\t0",
                          }));
}

TEST_F(AdaptTest, CtleSearchMeasuresEveryCandidateAndKeepsTheLaterOfEqualBest) {
    Configure(1, 1, 1);
    Fire();
    EXPECT_EQ(select.item, 1);
    StartAdaptation();
    // Scores width + height / 4: 0.5, 0.7, 0.7, 0.2, 0.1.
    const double widths[] = {0.5, 0.6, 0.7, 0.1, 0.0};
    const double heights[] = {0.0, 0.4, 0.0, 0.4, 0.4};
    for (int candidate = 0; candidate < 5; ++candidate) {
        EXPECT_EQ(select.item, candidate + 1);
        EXPECT_EQ(ctleDone.item, 0);
        Measure(widths[candidate], heights[candidate]);
        EXPECT_EQ(restart.item, 1) << "every measurement asks for the next one";
        Rearm();
        EXPECT_EQ(restart.item, 0);
    }
    EXPECT_EQ(select.item, 3);
    EXPECT_EQ(ctleDone.item, 1);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(taps[k].item, 0.0) << "the completing measurement takes no tap step";
    }
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "1\t0\t0\t0\t0\t0\t0.5\t0");
    EXPECT_EQ(lines[4], "5\t0\t0\t0\t0\t0\t0\t0.4");

    Measure(0.5, 0.0);  // now the DFE search begins with a trial step
    EXPECT_DOUBLE_EQ(taps[0].item, 0.008);
    EXPECT_EQ(select.item, 3);
}

TEST_F(AdaptTest, SixteenCandidatesUnlessDwdmModeIsOneAndZeroScoresPickTheLast) {
    Configure(1, 0, 2);
    StartAdaptation();
    for (int candidate = 0; candidate < 15; ++candidate) Measure(0.0, 0.0);
    EXPECT_EQ(ctleDone.item, 0);
    EXPECT_EQ(select.item, 16);
    Measure(0.0, 0.0);
    EXPECT_EQ(ctleDone.item, 1);
    EXPECT_EQ(select.item, 16);
}

TEST_F(AdaptTest, TapClimbsWhileTheEyeImprovesAndStopsAtItsLimit) {
    Configure(0, 1);
    StartAdaptation();
    double score = 0.1;
    for (int measurement = 1; measurement <= 31; ++measurement) {
        // An unchanged eye counts as no worse and the climb goes on.
        Measure(score += measurement == 10 ? 0.0 : 0.01, 0.0);
        EXPECT_NEAR(taps[0].item, 0.008 * measurement, 1e-12);
        EXPECT_EQ(adapt.TapIndex, 0);
    }
    // 32 additions of 0.008 land just above 0.256: clamped, tap finished.
    Measure(score += 0.01, 0.0);
    EXPECT_EQ(taps[0].item, 0.256);
    EXPECT_EQ(adapt.TapIndex, 1);
    EXPECT_EQ(taps[1].item, 0.0);
    Measure(score += 0.01, 0.0);
    EXPECT_DOUBLE_EQ(taps[1].item, 0.008) << "the next tap starts with a trial step";
    EXPECT_EQ(taps[0].item, 0.256);

    for (int measurement = 2; measurement <= 16; ++measurement) Measure(score += 0.01, 0.0);
    EXPECT_EQ(taps[1].item, 0.128);
    EXPECT_EQ(adapt.TapIndex, 2);
}

TEST_F(AdaptTest, TrialStepThatWorsensTheEyeTurnsTheSearchAround) {
    Configure(0, 1);
    StartAdaptation();
    Measure(0.8, 0.0);  // trial +0.008
    EXPECT_DOUBLE_EQ(taps[0].item, 0.008);
    Measure(0.7, 0.0);  // worse: back to 0, direction reversed
    EXPECT_DOUBLE_EQ(taps[0].item, 0.0);
    Measure(0.75, 0.0);
    EXPECT_DOUBLE_EQ(taps[0].item, -0.008);
    Measure(0.76, 0.0);
    EXPECT_DOUBLE_EQ(taps[0].item, -0.016);
    Measure(0.6, 0.0);  // worse: undo the last step, tap finished
    EXPECT_DOUBLE_EQ(taps[0].item, -0.008);
    EXPECT_EQ(adapt.TapIndex, 1);
    Measure(0.6, 0.0);
    EXPECT_DOUBLE_EQ(taps[1].item, 0.008);
}

// Only a fifth tap finished by a worse measurement ends the adaptation; a
// fifth tap that ends at its limit leaves one more measurement to come.
TEST_F(AdaptTest, AdaptationEndsWhenTheFifthTapIsUndone) {
    Configure(0, 1);
    StartAdaptation();
    double score = 1.0;
    for (int tap = 0; tap < 5; ++tap) {
        // Trial, worse (reverse), worse again (undo, finished).
        for (int i = 0; i < 3; ++i) {
            Measure(score -= 0.01, 0.0);
            EXPECT_EQ(restart.item, 1);
            Rearm();
            EXPECT_EQ(restart.item, tap == 4 && i == 2 ? 1 : 0) << "tap " << tap << " step " << i;
        }
    }
    EXPECT_EQ(adapt.DfeDone, 1);
    EXPECT_EQ(adapt.Adapting, 0);
    for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(taps[k].item, 0.008);
    Measure(2.0, 0.0);
    EXPECT_DOUBLE_EQ(taps[4].item, 0.008) << "finished: no further steps";
    EXPECT_EQ(LogLines().size(), 16u);
}

TEST_F(AdaptTest, MeasurementsBeforeTheStartEdgeAreLoggedButJoinNoSearch) {
    Configure(1, 1);
    for (int i = 0; i < 40; ++i) Measure(0.5, 0.1);
    EXPECT_EQ(select.item, 1);
    EXPECT_EQ(restart.item, 1);
    EXPECT_EQ(LogLines().size(), 40u);
    StartAdaptation();
    for (int candidate = 1; candidate <= 16; ++candidate) {
        EXPECT_EQ(select.item, candidate);
        Measure(candidate == 7 ? 0.9 : 0.5, 0.0);
    }
    EXPECT_EQ(select.item, 7);
    EXPECT_EQ(ctleDone.item, 1);
}

TEST_F(AdaptTest, FixedResponseAtTheTopOfTheIntRangeDoesNotOverflow) {
    Configure(0, 0, 0, INT_MAX);
    Fire();
    EXPECT_EQ(select.item, INT_MAX);
    Configure(0, 0, 0, -1);
    Fire();
    EXPECT_EQ(select.item, 0);
}

TEST_F(AdaptTest, AdaptationGoesOnWhenTheLogCannotBeOpened) {
    std::filesystem::create_directory("adapt.txt");
    Configure(1, 0, 1);
    StartAdaptation();
    Measure(0.2, 0.0);
    Measure(0.3, 0.0);
    EXPECT_EQ(select.item, 3);
    EXPECT_TRUE(std::filesystem::is_directory("adapt.txt"));
}

TEST_F(AdaptTest, FiringAfterFinalizeTouchesNoPort) {
    Configure(0, 0, 0, 4);
    Fire();
    ASSERT_TRUE(adapt.Finalize());
    select.item = -9;
    measureDone.item = 1;
    EXPECT_FALSE(adapt.Run());
    EXPECT_EQ(select.item, -9);
    EXPECT_TRUE(LogLines().empty());
}

}  // namespace
