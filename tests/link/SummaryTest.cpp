// What a run reports about its time: the share outside the receiver's
// AMI_GetWave, in summary.json and on the console.
#include <gtest/gtest.h>

#include <string>

#include "Summary.h"

namespace {

TEST(Summary, TimeOutsideTheReceiverIsReportedAsAShare) {
    linksim::LinkSettings settings;
    linksim::LinkResult result;
    result.rx.description.modelName = "SomeRx";
    result.timing.rxGetWave = 3.0;
    result.timing.overlapped = true;
    result.timing.channel = 0.5;
    linksim::RunOutputs outputs;
    outputs.totalSeconds = 4.0;
    outputs.folder = "out";

    const linksim::HostTime host = linksim::TimeOutsideReceiver(result, outputs);
    EXPECT_DOUBLE_EQ(host.seconds, 1.0);
    EXPECT_DOUBLE_EQ(host.share, 0.25);
    const nlohmann::json json = nlohmann::json::parse(linksim::SummaryJson(settings, result, outputs));
    const nlohmann::json& timing = json["timing"];
    EXPECT_EQ(timing["rx_getwave_s"], 3.0);
    EXPECT_EQ(timing["host_s"], 1.0);
    EXPECT_EQ(timing["host_share"], 0.25);
    EXPECT_EQ(timing["host_work_overlapped"], true);
    EXPECT_EQ(timing["host_parts_s"]["channel"], 0.5);
    // Nothing measured: figures with no value are null, never NaN text.
    EXPECT_TRUE(json["errors"]["ber"].is_null());
    EXPECT_TRUE(json["eye"]["height_v"].is_null());
    const std::string text = linksim::SummaryText(settings, result, outputs);
    EXPECT_NE(text.find("time: 4 s, 3 s of it in SomeRx AMI_GetWave, 25 % outside it"), std::string::npos) << text;

    // A run too short to time says nothing odd.
    outputs.totalSeconds = 0.0;
    result.timing.rxGetWave = 0.0;
    EXPECT_DOUBLE_EQ(linksim::TimeOutsideReceiver(result, outputs).share, 0.0);
}

}  // namespace
