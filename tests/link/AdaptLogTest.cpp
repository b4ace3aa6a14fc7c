#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AdaptLog.h"

namespace {

std::vector<linksim::AdaptMeasurement> Parse(const std::string& text) {
    std::vector<linksim::AdaptMeasurement> measurements;
    std::string error;
    EXPECT_TRUE(linksim::ParseAdaptLog(text, measurements, error)) << error;
    return measurements;
}

TEST(AdaptLog, ParsesTheReceiversLines) {
    const auto lines = Parse("3\t0.016\t0\t0\t0\t-0.008\t0.4375\t0.128125\n\n16\t0\t0\t0\t0\t0\t1e-05\t0\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].ctle, 3);
    EXPECT_DOUBLE_EQ(lines[0].taps[0], 0.016);
    EXPECT_DOUBLE_EQ(lines[0].taps[4], -0.008);
    EXPECT_DOUBLE_EQ(lines[0].eyeWidth, 0.4375);
    EXPECT_DOUBLE_EQ(lines[0].eyeHeight, 0.128125);
    EXPECT_DOUBLE_EQ(lines[1].eyeWidth, 1e-05);

    std::vector<linksim::AdaptMeasurement> measurements;
    std::string error;
    EXPECT_FALSE(linksim::ParseAdaptLog("3\t0\t0\t0\t0\t0\t0.5\t0.1\n3\t0\t0\n", measurements, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(linksim::ParseAdaptLog("3\t0\t0\t0\t0\t0\t0.5\t0.1\t9\n", measurements, error));
}

TEST(AdaptLog, OutcomeIsTheLastLineUnlessTheLastTapStepWasTakenBack) {
    // Score = width + height / 4.
    const std::string start = "7\t0.04\t0.016\t0\t0\t0\t0.50\t0.20\n";
    // Tap 5 stepped and the eye got worse: the receiver puts it back.
    linksim::AdaptOutcome undone = linksim::FinalAdaptation(Parse(start + "7\t0.04\t0.016\t0\t0\t0.008\t0.45\t0.20\n"));
    EXPECT_EQ(undone.measurements, 2u);
    EXPECT_EQ(undone.ctle, 7);
    EXPECT_TRUE(undone.lastStepUndone);
    EXPECT_DOUBLE_EQ(undone.taps[4], 0.0);
    EXPECT_DOUBLE_EQ(undone.eyeWidth, 0.45);

    // Better, or a step of another tap, or tap 5 at its limit: kept as logged.
    const std::string kept[] = {
        start + "7\t0.04\t0.016\t0\t0\t0.008\t0.55\t0.20\n",
        start + "7\t0.04\t0.024\t0\t0\t0\t0.45\t0.20\n",
        "7\t0.04\t0.016\t0\t0\t0.12\t0.50\t0.20\n7\t0.04\t0.016\t0\t0\t0.128\t0.45\t0.20\n",
    };
    for (const std::string& text : kept) {
        const linksim::AdaptOutcome outcome = linksim::FinalAdaptation(Parse(text));
        EXPECT_FALSE(outcome.lastStepUndone) << text;
        EXPECT_EQ(outcome.taps, Parse(text).back().taps) << text;
    }
    EXPECT_EQ(linksim::FinalAdaptation({}).measurements, 0u);
}

}  // namespace
