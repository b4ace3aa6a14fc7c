// Lists and ranges of sweep values, and the channel axis.
#include <gtest/gtest.h>

#include "Scratch.h"
#include "SweepTestFiles.h"
#include "SweepValues.h"

namespace {

using Values = std::vector<std::string>;

TEST(SweepValues, ListsAndRangesExpandToTheirValues) {
    const struct {
        const char* text;
        Values values;
    } cases[] = {
        {"0,3,7", {"0", "3", "7"}},
        {"0:3", {"0", "1", "2", "3"}},
        {"5:25:5", {"5", "10", "15", "20", "25"}},
        {"3:1:-1", {"3", "2", "1"}},
        {"0:4:3", {"0", "3"}},
        {"0,2:4", {"0", "2", "3", "4"}},
        {"0.6:1.0:0.1", {"0.6", "0.7", "0.8", "0.9", "1"}},
        {"-0.2:0.2:0.1", {"-0.2", "-0.1", "0", "0.1", "0.2"}},
        {"8G:12G:2G", {"8000000000", "10000000000", "12000000000"}},
        {"1e-12:3e-12:1e-12", {"1e-12", "2e-12", "3e-12"}},
        {"lane 0", {"lane 0"}},
        {"a:b", {"a:b"}},
    };
    for (const auto& c : cases) {
        Values values;
        std::string error;
        EXPECT_TRUE(linksweep::ExpandValues(c.text, values, error)) << c.text << ": " << error;
        EXPECT_EQ(values, c.values) << c.text;
    }
}

TEST(SweepValues, RangesThatNeverEndAndEmptyItemsAreRefused) {
    for (const char* text : {"0:5:0", "5:0", "0:1:-1", "0.5:0.1:0.1", "1,,2", "", "0:1e9:1e-3", "0:1000000"}) {
        Values values;
        std::string error;
        EXPECT_FALSE(linksweep::ExpandValues(text, values, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(SweepValues, ChannelLossesExpandAndFilesStayWhole) {
    Values values;
    std::string error;
    ASSERT_TRUE(linksweep::ExpandChannel("loss:5:25:10", values, error)) << error;
    EXPECT_EQ(values, (Values{"loss:5", "loss:15", "loss:25"}));
    ASSERT_TRUE(linksweep::ExpandChannel("loss:5,12.5", values, error)) << error;
    EXPECT_EQ(values, (Values{"loss:5", "loss:12.5"}));
    // A comma in a file's name stands only when the file exists.
    const std::string named = FreshFolder(Scratch("channels")) + "/a,b:1:2.txt";
    WriteText(named, "0 0\n");
    ASSERT_TRUE(linksweep::ExpandChannel("file:" + named, values, error)) << error;
    EXPECT_EQ(values, (Values{"file:" + named}));
    EXPECT_FALSE(linksweep::ExpandChannel("touchstone:a.s4p,touchstone:b.s4p", values, error));
    EXPECT_NE(error.find("give each channel its own --channel"), std::string::npos) << error;
    // After a loss, channels each named with their kind are as many values.
    ASSERT_TRUE(linksweep::ExpandChannel("loss:3,touchstone:a.s4p", values, error)) << error;
    EXPECT_EQ(values, (Values{"loss:3", "touchstone:a.s4p"}));
    EXPECT_FALSE(linksweep::ExpandChannel("loss:20:5", values, error));
}

}  // namespace
