// The receiver fired as the entry points fire it (blocks of several sizes,
// each offered ahead) against the straightforward firing, on long runs through a lossy
// channel that take the whole adaptation: the same output and clock times to
// the bit, and the same adaptation log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "Channel.h"
#include "RxSchematic.h"
#include "Stimulus.h"
#include "StraightforwardFiring.h"
#include "ScratchFolder.h"

namespace {

typedef Orvex_RX_AMI_05272013 Rx;

const double kBitTime = 1e-10;
const int kSamplesPerBit = 32;

struct RunRecord {
    std::vector<double> output;
    std::vector<double> clockTimes;
    std::vector<std::string> log;
    bool allFiringsSucceeded = true;
};

// A run with these settings. Block 0: the straightforward firing, sample
// by sample. Otherwise as the entry points fire the schematic, `block`
// samples per AMI_GetWave: the block is offered ahead, each sample is fired
// and overwritten in place by the output, and the offer is withdrawn at the
// end of the block.
const size_t kStraightforward = 0;
RunRecord RecordRun(const std::vector<double>& wave, double dwdmMode, double rxConfig, size_t block) {
    RunRecord record;
    ScratchFolder folder;
    EXPECT_TRUE(folder.Ready());
    RxSchematic s;
    s.rx->DWDM_mode = dwdmMode;
    s.rx->Rx_config = rxConfig;
    const bool straightforward = block == kStraightforward;
    if (straightforward) UseStraightforwardBlocks(*s.rx);
    EXPECT_TRUE(s.Start());
    record.output = wave;
    const size_t step = straightforward ? wave.size() : block;
    for (size_t first = 0; first < wave.size(); first += step) {
        const size_t count = std::min(step, wave.size() - first);
        double* samples = record.output.data() + first;
        if (!straightforward) s.rx->OfferUpcoming(samples, count);
        for (size_t i = 0; i < count; ++i) {
            s.in = samples[i];
            const bool ok = straightforward ? StraightforwardRun(*s.rx) : s.rx->Run();
            record.allFiringsSucceeded = ok && record.allFiringsSucceeded;
            samples[i] = s.out;
            if (s.clock >= 0.0) record.clockTimes.push_back(s.clock);
        }
        if (!straightforward) s.rx->OfferUpcoming(nullptr, 0);
    }
    record.log = folder.Lines("adapt.txt");
    return record;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectIdenticalRuns(const RunRecord& fast, const RunRecord& plain) {
    EXPECT_TRUE(fast.allFiringsSucceeded);
    EXPECT_TRUE(plain.allFiringsSucceeded);
    ASSERT_EQ(fast.output.size(), plain.output.size());
    for (size_t n = 0; n < plain.output.size(); ++n) {
        ASSERT_TRUE(SameBits(fast.output[n], plain.output[n]))
            << "first differing firing: " << n + 1 << " (" << fast.output[n] << " against " << plain.output[n] << ")";
    }
    ASSERT_EQ(fast.clockTimes.size(), plain.clockTimes.size());
    for (size_t k = 0; k < plain.clockTimes.size(); ++k) {
        ASSERT_TRUE(SameBits(fast.clockTimes[k], plain.clockTimes[k])) << "clock time " << k;
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
        fastStimulus = new linksim::RxStimulus(
            linksim::MakeRxStimulus(15, kBits, kBitTime * (1.0 - 100e-6), kBitTime / kSamplesPerBit, channel));
    }
    static void TearDownTestSuite() {
        delete stimulus;
        delete fastStimulus;
        stimulus = fastStimulus = nullptr;
    }

    // Long enough for the start delay and every measurement of the
    // adaptation on this channel.
    static const size_t kBits = 60000;
    static linksim::RxStimulus* stimulus;
    static linksim::RxStimulus* fastStimulus;  // the data 100 ppm fast
};

linksim::RxStimulus* RxFiringTest::stimulus = nullptr;
linksim::RxStimulus* RxFiringTest::fastStimulus = nullptr;

TEST_F(RxFiringTest, SixteenResponseBankAndEqualisedOutputMatchTheStraightforwardFiringAtEveryBlockSize) {
    const RunRecord plain = RecordRun(stimulus->wave, 0, 1, kStraightforward);
    ASSERT_GT(plain.log.size(), 17u) << "the run covers the CTLE search and DFE steps";
    for (size_t block : {size_t(1), size_t(1000), size_t(32768)}) {
        SCOPED_TRACE(::testing::Message() << "blocks of " << block << " samples");
        ExpectIdenticalRuns(RecordRun(stimulus->wave, 0, 1, block), plain);
    }
}

TEST_F(RxFiringTest, FiveResponseBankAndRetimedOutputMatchTheStraightforwardFiringWithTheData100PpmFast) {
    const RunRecord plain = RecordRun(fastStimulus->wave, 1, 0, kStraightforward);
    ASSERT_GT(plain.log.size(), 6u) << "the run covers the CTLE search and DFE steps";
    for (size_t block : {size_t(777), size_t(4096)}) {
        SCOPED_TRACE(::testing::Message() << "blocks of " << block << " samples");
        ExpectIdenticalRuns(RecordRun(fastStimulus->wave, 1, 0, block), plain);
    }
}

// Two schematics with the equalised output, in a scratch folder of their
// own, fired side by side on the same samples: one by its Run, one the
// straightforward way. FireAlike is true when both firings succeed and give
// the same output and clock time, bit for bit.
struct SideBySide {
    SideBySide() {
        fast.rx->Rx_config = 1;
        plain.rx->Rx_config = 1;
        UseStraightforwardBlocks(*plain.rx);
    }
    bool Start() { return folder.Ready() && fast.Start() && plain.Start(); }
    bool FireAlike(double sample) {
        fast.in = plain.in = sample;
        const bool fastOk = fast.rx->Run();
        const bool plainOk = StraightforwardRun(*plain.rx);
        return fastOk && plainOk && SameBits(fast.out, plain.out) && SameBits(fast.clock, plain.clock);
    }
    ScratchFolder folder;
    RxSchematic fast;
    RxSchematic plain;
};

// An offer that is not what the firings then take is withdrawn at the first
// sample that differs, in the middle of a stretch formed ahead: the outputs
// stay those of the straightforward firing.
TEST_F(RxFiringTest, SamplesOtherThanTheOfferedOnesAreFiredAsTheyAre) {
    SideBySide run;
    ASSERT_TRUE(run.Start());
    std::vector<double> offered(stimulus->wave.begin(), stimulus->wave.begin() + 20000);
    offered[7001] += 0.25;  // the firings take the stimulus itself
    run.fast.rx->OfferUpcoming(offered.data(), offered.size());
    for (size_t n = 0; n < 20000; ++n) {
        ASSERT_TRUE(run.FireAlike(stimulus->wave[n])) << "firing " << n + 1;
    }
}

// A second Initialize starts the connections and most blocks afresh, but the
// phase detector and the loop filter keep their state: the firing must
// still give what the straightforward one gives.
TEST_F(RxFiringTest, FiringAfterASecondInitializeMatchesTheStraightforwardFiring) {
    SideBySide run;
    ASSERT_TRUE(run.Start());
    RxSchematic& fast = run.fast;
    RxSchematic& plain = run.plain;
    // Initialize again at several points, to meet the detector in
    // different states.
    for (size_t n = 0; n < 60000; ++n) {
        if (n % 5003 == 4999) {
            ASSERT_TRUE(fast.rx->Initialize());
            ASSERT_TRUE(plain.rx->Initialize());
        }
        ASSERT_TRUE(run.FireAlike(stimulus->wave[n])) << "firing " << n + 1;
        // The pump command and the loop's control, where a stale detector
        // output would show first.
        ASSERT_EQ(*static_cast<const double*>(fast.rx->ArcMemory(Rx::Arc::PumpCommand)),
                  *static_cast<const double*>(plain.rx->ArcMemory(Rx::Arc::PumpCommand)))
            << "firing " << n + 1;
        ASSERT_EQ(fast.rx->Subnetwork2.Filter.ControlVoltage, plain.rx->Subnetwork2.Filter.ControlVoltage)
            << "firing " << n + 1;
    }
}

}  // namespace
