// The schematic's Run against the straightforward firing, on a long run
// through a lossy channel that takes the whole adaptation: the same output
// (to the rounding of the dot products' order), the same clock times and
// the same adaptation log.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "Channel.h"
#include "RxSchematic.h"
#include "Stimulus.h"
#include "StraightforwardFiring.h"
#include "ScratchFolder.h"

namespace {

const double kBitTime = 1e-10;
const int kSamplesPerBit = 32;

struct RunRecord {
    std::vector<double> output;
    std::vector<double> clockTimes;
    std::vector<long> clockFirings;
    std::vector<std::string> log;
    bool allFiringsSucceeded = true;
};

template <typename Configure, typename Fire>
RunRecord RunReceiver(const std::vector<double>& wave, Configure configure, Fire fire) {
    RunRecord record;
    ScratchFolder folder;
    EXPECT_TRUE(folder.Ready());
    RxSchematic s;
    configure(*s.rx);
    EXPECT_TRUE(s.Start());
    record.output.reserve(wave.size());
    for (size_t n = 0; n < wave.size(); ++n) {
        s.in = wave[n];
        record.allFiringsSucceeded = fire(*s.rx) && record.allFiringsSucceeded;
        record.output.push_back(s.out);
        if (s.clock >= 0.0) {
            record.clockTimes.push_back(s.clock);
            record.clockFirings.push_back(static_cast<long>(n));
        }
    }
    record.log = folder.Lines("adapt.txt");
    return record;
}

void ExpectSameRun(const RunRecord& fast, const RunRecord& plain) {
    EXPECT_TRUE(fast.allFiringsSucceeded);
    EXPECT_TRUE(plain.allFiringsSucceeded);
    ASSERT_EQ(fast.output.size(), plain.output.size());
    double peak = 0.0;
    for (double y : plain.output) peak = std::fmax(peak, std::fabs(y));
    ASSERT_GT(peak, 0.0);
    for (size_t n = 0; n < plain.output.size(); ++n) {
        ASSERT_LE(std::fabs(fast.output[n] - plain.output[n]), 1e-12 * peak)
            << "first differing firing: " << n + 1 << " (" << fast.output[n] << " against " << plain.output[n]
            << ")";
    }
    ASSERT_EQ(fast.clockTimes.size(), plain.clockTimes.size());
    for (size_t k = 0; k < plain.clockTimes.size(); ++k) {
        ASSERT_EQ(fast.clockTimes[k], plain.clockTimes[k])
            << "clock time " << k << " at firing " << plain.clockFirings[k];
    }
    EXPECT_EQ(fast.log, plain.log);
}

class RxFiringTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // 24 dB at Nyquist: the weakest CTLE response without DFE does not
        // open the eye, so the adaptation walks through all of its stages.
        const std::vector<double> channel = linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit);
        stimulus = new linksim::RxStimulus(
            linksim::MakeRxStimulus(15, kBits, kBitTime * (1.0 - 37e-6), kBitTime / kSamplesPerBit, channel));
    }
    static void TearDownTestSuite() {
        delete stimulus;
        stimulus = nullptr;
    }

    // Long enough for the start delay and every measurement of the
    // adaptation on this channel.
    static const size_t kBits = 60000;
    static linksim::RxStimulus* stimulus;
};

linksim::RxStimulus* RxFiringTest::stimulus = nullptr;

TEST_F(RxFiringTest, SixteenResponseBankAndEqualisedOutputMatchTheStraightforwardFiring) {
    const auto configure = [](Orvex_RX_AMI_05272013& rx) {
        rx.DWDM_mode = 0;
        rx.Rx_config = 1;
    };
    const RunRecord fast = RunReceiver(stimulus->wave, configure, [](Orvex_RX_AMI_05272013& rx) { return rx.Run(); });
    const RunRecord plain = RunReceiver(
        stimulus->wave, [&](Orvex_RX_AMI_05272013& rx) { configure(rx); UseStraightforwardBlocks(rx); },
        [](Orvex_RX_AMI_05272013& rx) { return StraightforwardRun(rx); });
    ASSERT_GT(plain.log.size(), 17u) << "the run covers the CTLE search and DFE steps";
    ExpectSameRun(fast, plain);
}

TEST_F(RxFiringTest, FiveResponseBankAndRetimedOutputMatchTheStraightforwardFiring) {
    const auto configure = [](Orvex_RX_AMI_05272013& rx) {
        rx.DWDM_mode = 1;
        rx.Rx_config = 0;
    };
    const RunRecord fast = RunReceiver(stimulus->wave, configure, [](Orvex_RX_AMI_05272013& rx) { return rx.Run(); });
    const RunRecord plain = RunReceiver(
        stimulus->wave, [&](Orvex_RX_AMI_05272013& rx) { configure(rx); UseStraightforwardBlocks(rx); },
        [](Orvex_RX_AMI_05272013& rx) { return StraightforwardRun(rx); });
    ASSERT_GT(plain.log.size(), 6u) << "the run covers the CTLE search and DFE steps";
    ExpectSameRun(fast, plain);
}

// A second Initialize starts the connections and most blocks afresh, but the
// phase detector and the loop filter keep their state: the firing must
// still give what the straightforward one gives.
TEST_F(RxFiringTest, FiringAfterASecondInitializeMatchesTheStraightforwardFiring) {
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ready());
    RxSchematic fast, plain;
    fast.rx->Rx_config = 1;
    plain.rx->Rx_config = 1;
    UseStraightforwardBlocks(*plain.rx);
    ASSERT_TRUE(fast.Start());
    ASSERT_TRUE(plain.Start());
    // Initialize again at several points, to meet the detector in
    // different states.
    for (size_t n = 0; n < 60000; ++n) {
        if (n % 5003 == 4999) {
            ASSERT_TRUE(fast.rx->Initialize());
            ASSERT_TRUE(plain.rx->Initialize());
        }
        fast.in = plain.in = stimulus->wave[n];
        ASSERT_TRUE(fast.rx->Run());
        ASSERT_TRUE(StraightforwardRun(*plain.rx));
        ASSERT_NEAR(fast.out, plain.out, 1e-12) << "firing " << n + 1;
        ASSERT_EQ(fast.clock, plain.clock) << "firing " << n + 1;
        // The pump command and the loop's control, where a stale detector
        // output would show first.
        ASSERT_EQ(*static_cast<const double*>(fast.rx->ArcMemory(17)),
                  *static_cast<const double*>(plain.rx->ArcMemory(17)))
            << "firing " << n + 1;
        ASSERT_EQ(fast.rx->Subnetwork2.Filter.ControlVoltage, plain.rx->Subnetwork2.Filter.ControlVoltage)
            << "firing " << n + 1;
    }
}

}  // namespace
