// The corners a plan makes, their options and folders, and the plan's file.
#include <gtest/gtest.h>

#include "SweepPlan.h"

namespace {

using Strings = std::vector<std::string>;

linksweep::SweepPlan MakePlan(const std::vector<std::pair<std::string, std::string>>& options) {
    linksweep::SweepPlan plan;
    for (const auto& option : options) {
        std::string error;
        EXPECT_TRUE(plan.Add(option.first, option.second, error)) << option.first << " " << option.second << ": "
                                                                  << error;
    }
    return plan;
}

TEST(SweepPlan, CornersAreTheProductWithTheFirstAxisOutermost) {
    linksweep::SweepPlan plan = MakePlan({{"--channel", "loss:5"},
                                          {"--tx", "DE=0,3"},
                                          {"--bits", "2000"},
                                          {"--channel", "file:/c.txt"},
                                          {"--rx", "EQ_Level=4:6"}});
    std::string error;
    ASSERT_TRUE(plan.AddFlag("--sequential", error));
    ASSERT_EQ(plan.CornerCount(), 12u);
    const auto axes = plan.Axes();
    ASSERT_EQ(axes.size(), 3u);
    EXPECT_EQ(axes[0]->name, "channel");  // where --channel first appeared
    EXPECT_EQ(axes[1]->name, "tx.DE");
    EXPECT_EQ(axes[2]->name, "rx.EQ_Level");

    EXPECT_EQ(plan.CornerValues(1), (Strings{"loss:5", "0", "4"}));
    EXPECT_EQ(plan.CornerValues(2), (Strings{"loss:5", "0", "5"}));
    EXPECT_EQ(plan.CornerValues(4), (Strings{"loss:5", "3", "4"}));
    EXPECT_EQ(plan.CornerValues(12), (Strings{"file:/c.txt", "3", "6"}));
    EXPECT_EQ(plan.AxisIndices(12), (std::vector<size_t>{1, 1, 2}));
    EXPECT_EQ(plan.CornerArguments(8), (Strings{"--channel", "file:/c.txt", "--tx", "DE=0", "--bits", "2000",
                                                "--rx", "EQ_Level=5", "--sequential"}));
    // One axis changed, the others as in the corner.
    EXPECT_EQ(plan.ArgumentsWith(12, 1, "7"), (Strings{"--channel", "file:/c.txt", "--tx", "DE=7", "--bits",
                                                       "2000", "--rx", "EQ_Level=6", "--sequential"}));
    // Stress is an axis like the others.
    const linksweep::SweepPlan stressed = MakePlan({{"--tx-rj", "0,1p"},
                                                    {"--tx-sj", "0.1@1M,0.2@1M"},
                                                    {"--tx-ssc", "0@33k,5000@33k"},
                                                    {"--rx-noise", "0:10m:5m"}});
    EXPECT_EQ(stressed.CornerCount(), 24u);
    EXPECT_EQ(stressed.Axes()[0]->name, "tx_rj");
    EXPECT_EQ(stressed.CornerArguments(24), (Strings{"--tx-rj", "1p", "--tx-sj", "0.2@1M", "--tx-ssc", "5000@33k",
                                                     "--rx-noise", "0.01"}));
    // The port pairing goes only to the corners with a multi-port Touchstone
    // channel, the reference of a .s2p only to those with a .s2p.
    const linksweep::SweepPlan ports = MakePlan({{"--channel", "loss:5"},
                                                 {"--channel", "touchstone:/a.s4p"},
                                                 {"--channel", "touchstone:/b.s2p"},
                                                 {"--ports", "1,2,3,4"},
                                                 {"--s2p-reference", "50"}});
    EXPECT_EQ(ports.CornerArguments(1), (Strings{"--channel", "loss:5"}));
    EXPECT_EQ(ports.CornerArguments(2), (Strings{"--channel", "touchstone:/a.s4p", "--ports", "1,2,3,4"}));
    EXPECT_EQ(ports.CornerArguments(3), (Strings{"--channel", "touchstone:/b.s2p", "--s2p-reference", "50"}));
}

TEST(SweepPlan, FoldersArePaddedToTheDigitsOfTheCornerCount) {
    EXPECT_EQ(linksweep::CornerFolder(7, 64), "corners/07");
    EXPECT_EQ(linksweep::CornerFolder(64, 64), "corners/64");
    EXPECT_EQ(linksweep::CornerFolder(1, 100), "corners/001");
    EXPECT_EQ(linksweep::CornerFolder(3, 9), "corners/3");
}

TEST(SweepPlan, BadOptionsAreRefusedWithTheirReason) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--tx", "DE"}, {"--rx", "=3"}, {"--tx", "DE=5:1"}, {"--channel", "loss:1,,2"}, {"--bits", "1\n2"}};
    for (const auto& c : cases) {
        linksweep::SweepPlan plan;
        std::string error;
        EXPECT_FALSE(plan.Add(c.first, c.second, error)) << c.first << " " << c.second;
        EXPECT_NE(error.find(c.first), std::string::npos) << error;
    }
    linksweep::SweepPlan plan = MakePlan({{"--prbs", "7,15"}});
    std::string error;
    EXPECT_FALSE(plan.Add("--prbs", "23", error));
    // A product past the limit is refused, not wrapped around.
    linksweep::SweepPlan huge = MakePlan({{"--tx", "A=1:1000"}, {"--tx", "B=1:10000"}});
    EXPECT_FALSE(huge.Add("--tx", "C=1:100000", error));
    EXPECT_NE(error.find("corners"), std::string::npos) << error;
}

TEST(SweepPlan, ThePlanFileReadsBackAsTheSamePlan) {
    linksweep::SweepPlan plan = MakePlan({{"--tx", "gain=0.6:1.0:0.1"}, {"--channel", "loss:5,10"}});
    std::string error;
    ASSERT_TRUE(plan.AddFlag("--sequential", error));
    linksweep::SweepPlan read;
    ASSERT_TRUE(linksweep::SweepPlan::FromJson(nlohmann::ordered_json::parse(plan.ToJson().dump()), read, error)) << error;
    EXPECT_TRUE(read == plan);
    EXPECT_EQ(read.CornerArguments(10), plan.CornerArguments(10));
    linksweep::SweepPlan other = MakePlan({{"--tx", "gain=0.6:1.0:0.2"}, {"--channel", "loss:5,10"}});
    EXPECT_TRUE(other != plan);
    EXPECT_FALSE(linksweep::SweepPlan::FromJson(nlohmann::ordered_json::parse(R"({"settings": [{"option": 3}]})"), read,
                                                error));
}

}  // namespace
