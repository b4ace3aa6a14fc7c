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
    const std::string json = linksim::SummaryJson(settings, result, outputs);
    for (const char* field : {"\"rx_getwave_s\": 3,", "\"host_s\": 1,", "\"host_share\": 0.25,",
                              "\"host_work_overlapped\": true,", "\"channel\": 0.5,"}) {
        EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
    }
    const std::string text = linksim::SummaryText(settings, result, outputs);
    EXPECT_NE(text.find("time: 4 s, 3 s of it in SomeRx AMI_GetWave, 25 % outside it"), std::string::npos) << text;

    // A run too short to time says nothing odd.
    outputs.totalSeconds = 0.0;
    result.timing.rxGetWave = 0.0;
    EXPECT_DOUBLE_EQ(linksim::TimeOutsideReceiver(result, outputs).share, 0.0);
}

}  // namespace
