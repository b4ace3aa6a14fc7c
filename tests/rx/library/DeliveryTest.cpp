// How the library takes its waveform: in one call or in many of any size,
// two instances interleaved, and selectors set out of range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Channel.h"
#include "RxLibrary.h"
#include "Stimulus.h"
#include "ScratchFolder.h"

namespace {

linksim::RxStimulus LossyStimulus(size_t bits, double ppm) {
    static const std::vector<double> channel = linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit);
    return linksim::MakeRxStimulus(15, bits, kBitTime / (1.0 + ppm * 1e-6), kSampleInterval, channel);
}

const char kDropReport[] = "The IBIS-AMI model, Orvex_RX_AMI_05272013, dropped clock times";

// Clock times come in order and as the clock recovery found them: every
// time of `other` within the span of `reference` is one of the reference's.
// Times of the reference that `other` lacks are dropped ones, which only an
// instance that reported a drop may lack. Returns how many are missing.
size_t ExpectOnlyReportedDropsMissing(const RunOutput& reference, const RunOutput& other, bool dropReported) {
    const std::vector<double>& all = reference.clockTimes;
    EXPECT_FALSE(all.empty());
    if (all.empty()) return 0;
    EXPECT_TRUE(std::adjacent_find(other.clockTimes.begin(), other.clockTimes.end(),
                                   std::greater_equal<double>()) == other.clockTimes.end())
        << "clock times strictly increase";
    for (double t : other.clockTimes) {
        if (t >= all.front() && t <= all.back()) {
            EXPECT_TRUE(std::binary_search(all.begin(), all.end(), t)) << "clock time " << t << " moved";
        }
    }
    size_t missing = 0;
    for (double t : all) {
        if (t <= other.clockTimes.back() && !std::binary_search(other.clockTimes.begin(), other.clockTimes.end(), t)) {
            ++missing;
        }
    }
    if (!dropReported) {
        EXPECT_EQ(missing, 0u);
    }
    return missing;
}

// The longest stretch between consecutive clock times, in unit intervals.
double LargestGapUi(const std::vector<double>& times) {
    double largest = 0.0;
    for (size_t i = 1; i < times.size(); ++i) largest = std::max(largest, (times[i] - times[i - 1]) / kBitTime);
    return largest;
}

TEST(RxDelivery, ManyCallsOfAnySizeGiveTheOutputOfOneCall) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    // The call of the whole waveform holds back at most the latest clock
    // times of the run (if its block holds more edges than its limit).
    const linksim::RxStimulus stimulus = LossyStimulus(20000, 100.0);
    const std::string parameters = RxParameters("(Rx_config 1)");
    ScratchFolder oneFolder;
    ASSERT_TRUE(oneFolder.Ready());
    RxInstance whole(parameters);
    ASSERT_TRUE(whole.Opened()) << whole.Message();
    const RunOutput one = RunThrough(whole, stimulus.wave, {static_cast<long>(stimulus.wave.size())});
    const std::vector<std::string> oneLog = oneFolder.Lines("adapt.txt");

    ScratchFolder manyFolder;
    ASSERT_TRUE(manyFolder.Ready());
    RxInstance pieces(parameters);
    ASSERT_TRUE(pieces.Opened());
    testing::internal::CaptureStderr();
    const RunOutput many = RunThrough(pieces, stimulus.wave, {1, 7, 0, 31, 32, 33, 100, 1000, 4093, 32768, 63});
    const std::string posted = testing::internal::GetCapturedStderr();

    EXPECT_EQ(many.wave, one.wave);
    ExpectOnlyReportedDropsMissing(one, many, posted.find(kDropReport) != std::string::npos);
    EXPECT_EQ(manyFolder.Lines("adapt.txt"), oneLog);
    EXPECT_GT(oneLog.size(), 5u);
}

// A call has room for wave_size / samples per bit times, whatever its size.
// A clock no faster than the nominal bit time fits, but for the few edges
// jitter or wander add, which wait for the next call. A faster one finds
// about ppm * 1e-6 more a unit interval: four may wait, and over a long run
// the surplus outgrows them and the oldest are dropped, with a message.
TEST(RxDelivery, OnlyAClockFasterThanTheBitTimeOutgrowsTheArrays) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    struct Case {
        double ppm;
        size_t bits;
    };
    // +100 ppm over 30 000 bits: 3 surplus times, which all wait; +300 ppm
    // over 60 000 bits: up to 18, of which all but 4 are dropped.
    for (const Case& c : {Case{100.0, 30000}, Case{-300.0, 30000}, Case{300.0, 60000}}) {
        SCOPED_TRACE(c.ppm);
        const linksim::RxStimulus stimulus = LossyStimulus(c.bits, c.ppm);
        const std::string parameters = RxParameters("(Rx_config 1)");
        ScratchFolder folder;
        ASSERT_TRUE(folder.Ready());
        RxInstance whole(parameters);
        ASSERT_TRUE(whole.Opened());
        const RunOutput one = RunThrough(whole, stimulus.wave, {static_cast<long>(stimulus.wave.size())});
        const double surplus = std::max(0.0, c.ppm * 1e-6 * double(c.bits));
        const bool drops = surplus > double(4);
        size_t firstMissing = 0;
        for (long units : {1L, 10L, 128L}) {
            SCOPED_TRACE(units);
            RxInstance rx(parameters);
            ASSERT_TRUE(rx.Opened());
            testing::internal::CaptureStderr();
            const RunOutput blocks = RunThrough(rx, stimulus.wave, {units * kSamplesPerBit});
            EXPECT_EQ(testing::internal::GetCapturedStderr().find(kDropReport) != std::string::npos, drops);
            const size_t missing = ExpectOnlyReportedDropsMissing(one, blocks, drops);
            if (drops) {
                // As many lost whatever the block size; fewer than the
                // surplus of a clock at that rate from the start, as it
                // reaches the rate only as it locks.
                EXPECT_GT(missing, 0u);
                EXPECT_LE(double(missing), surplus - 4.0);
                if (units > 1) {
                    EXPECT_EQ(missing, firstMissing);
                }
                firstMissing = missing;
            } else {
                EXPECT_EQ(missing, 0u);
                EXPECT_LT(LargestGapUi(blocks.clockTimes), 1.5);
            }
        }
    }
}

// Each instance keeps to itself: interleaved, both give what each gives
// alone, while both append to the one "adapt.txt".
TEST(RxDelivery, TwoInstancesInterleavedGiveWhatEachGivesAlone) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const linksim::RxStimulus fast = LossyStimulus(60000, 100.0);
    const linksim::RxStimulus slow = LossyStimulus(60000, -100.0);
    const std::string equalisedC4 = RxParameters("(Rx_config 1)");
    const std::string retimedC1 = RxParameters("(Rx_config 0) (DWDM_mode 1)");
    const std::vector<long> sizes = {kBlockSamples, 5000, 777};

    std::vector<std::string> aloneLogs;
    RunOutput aloneA, aloneB;
    {
        ScratchFolder folder;
        RxInstance a(equalisedC4);
        ASSERT_TRUE(a.Opened());
        aloneA = RunThrough(a, fast.wave, sizes);
        aloneLogs = folder.Lines("adapt.txt");
    }
    {
        ScratchFolder folder;
        RxInstance b(retimedC1);
        ASSERT_TRUE(b.Opened());
        aloneB = RunThrough(b, slow.wave, sizes);
        const std::vector<std::string> lines = folder.Lines("adapt.txt");
        aloneLogs.insert(aloneLogs.end(), lines.begin(), lines.end());
    }

    ScratchFolder shared;
    ASSERT_TRUE(shared.Ready());
    RxInstance a(equalisedC4);
    RxInstance b(retimedC1);
    ASSERT_TRUE(a.Opened());
    ASSERT_TRUE(b.Opened());
    RunOutput togetherA, togetherB;
    togetherA.wave = fast.wave;
    togetherB.wave = slow.wave;
    size_t nextA = 0, nextB = 0;
    for (size_t call = 0; nextA < fast.wave.size() || nextB < slow.wave.size(); ++call) {
        const long size = sizes[call % sizes.size()];
        if (nextA < fast.wave.size()) {
            const long count = std::min<long>(size, static_cast<long>(fast.wave.size() - nextA));
            const Delivery d = a.GetWave(togetherA.wave, nextA, count);
            togetherA.clockTimes.insert(togetherA.clockTimes.end(), d.clockTimes.begin(), d.clockTimes.end());
            nextA += static_cast<size_t>(count);
        }
        if (nextB < slow.wave.size()) {
            const long count = std::min<long>(size, static_cast<long>(slow.wave.size() - nextB));
            const Delivery d = b.GetWave(togetherB.wave, nextB, count);
            togetherB.clockTimes.insert(togetherB.clockTimes.end(), d.clockTimes.begin(), d.clockTimes.end());
            nextB += static_cast<size_t>(count);
        }
    }
    EXPECT_EQ(togetherA.wave, aloneA.wave);
    EXPECT_EQ(togetherA.clockTimes, aloneA.clockTimes);
    EXPECT_EQ(togetherB.wave, aloneB.wave);
    EXPECT_EQ(togetherB.clockTimes, aloneB.clockTimes);

    std::vector<std::string> sharedLog = shared.Lines("adapt.txt");
    ASSERT_GT(sharedLog.size(), 20u);
    std::sort(sharedLog.begin(), sharedLog.end());
    std::sort(aloneLogs.begin(), aloneLogs.end());
    EXPECT_EQ(sharedLog, aloneLogs);
}

// A selector value that names no input fails the first firing of every call:
// the whole block keeps its input values, no clock time is delivered, and
// the next call does the same.
TEST(RxDelivery, OutOfRangeSelectorFailsEveryCallAtItsFirstSample) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const linksim::RxStimulus stimulus = LossyStimulus(200, 0.0);
    for (const char* setting : {"(DWDM_mode 2)", "(Rx_config 3)", "(DWDM_mode -1) (Rx_config 1)"}) {
        SCOPED_TRACE(setting);
        ScratchFolder folder;
        RxInstance rx(RxParameters(setting));
        ASSERT_TRUE(rx.Opened()) << "Setup and Initialize pass: " << rx.Message();
        for (int call = 0; call < 3; ++call) {
            std::vector<double> wave = stimulus.wave;
            testing::internal::CaptureStderr();
            const Delivery d = rx.GetWave(wave, 0, static_cast<long>(wave.size()));
            const std::string posted = testing::internal::GetCapturedStderr();
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(wave, stimulus.wave) << "call " << call;
            EXPECT_TRUE(d.clockTimes.empty());
            EXPECT_NE(posted.find("Control input signal value is equal to "), std::string::npos) << posted;
            EXPECT_EQ(std::count(posted.begin(), posted.end(), '\n'), 1) << "one failed firing per call: " << posted;
        }
    }
}

}  // namespace
