// How the library takes its waveform: in one call or in many of any size,
// two instances interleaved, and selectors set out of range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "Channel.h"
#include "RxLibrary.h"
#include "Stimulus.h"
#include "WorkingFolder.h"

namespace {

linksim::RxStimulus LossyStimulus(size_t bits, double ppm) {
    static const std::vector<double> channel = linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit);
    return linksim::MakeRxStimulus(15, bits, kBitTime / (1.0 + ppm * 1e-6), kSampleInterval, channel);
}

// Every clock time of `reference` from its first one on that `other` lacks
// must have been dropped by the call of `other` that covered it, because the
// call's block held more clock edges than its limit: such a call delivered
// its limit and only later times. And every time of `other` from the
// reference's first on is one of the reference's.
void ExpectOnlyDroppedTimesMissing(const RunOutput& reference, const RunOutput& other) {
    ASSERT_FALSE(reference.clockTimes.empty());
    const std::vector<double>& all = reference.clockTimes;
    EXPECT_TRUE(std::is_sorted(other.clockTimes.begin(), other.clockTimes.end()));
    for (double t : other.clockTimes) {
        if (t >= all.front()) {
            EXPECT_TRUE(std::binary_search(all.begin(), all.end(), t)) << "clock time " << t << " moved";
        }
    }
    size_t missing = 0;
    for (double t : all) {
        if (std::binary_search(other.clockTimes.begin(), other.clockTimes.end(), t)) continue;
        ++missing;
        const Delivery* covering = nullptr;
        for (const Delivery& d : other.deliveries) {
            const double start = d.firstSample * kSampleInterval;
            const double end = (d.firstSample + static_cast<size_t>(d.samples)) * kSampleInterval;
            if (t >= start && t < end) covering = &d;
        }
        ASSERT_NE(covering, nullptr) << t;
        EXPECT_TRUE(covering->AtLimit()) << "clock time " << t << " missing from a call below its limit";
        if (!covering->clockTimes.empty()) {
            EXPECT_LT(t, covering->clockTimes.front()) << "a dropped time must be one of the call's earliest";
        }
    }
    EXPECT_GT(missing, 0u) << "the small calls were meant to reach their limits";
}

TEST(RxDelivery, ManyCallsOfAnySizeGiveTheOutputOfOneCall) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    // The call of the whole waveform drops at most the earliest clock times
    // of the run (if its block holds more edges than its limit); the
    // comparison of clock times starts at its first one.
    const linksim::RxStimulus stimulus = LossyStimulus(20000, 100.0);
    const std::string parameters = RxParameters("(Rx_config 1)");
    WorkingFolder oneFolder;
    ASSERT_TRUE(oneFolder.Ready());
    RxInstance whole(parameters);
    ASSERT_TRUE(whole.Opened()) << whole.Message();
    const RunOutput one = RunThrough(whole, stimulus.wave, {static_cast<long>(stimulus.wave.size())});
    const std::vector<std::string> oneLog = oneFolder.Lines("adapt.txt");

    WorkingFolder manyFolder;
    ASSERT_TRUE(manyFolder.Ready());
    RxInstance pieces(parameters);
    ASSERT_TRUE(pieces.Opened());
    const RunOutput many = RunThrough(pieces, stimulus.wave, {1, 7, 0, 31, 32, 33, 100, 1000, 4093, 32768, 63});

    EXPECT_EQ(many.wave, one.wave);
    ExpectOnlyDroppedTimesMissing(one, many);
    EXPECT_EQ(manyFolder.Lines("adapt.txt"), oneLog);
    EXPECT_GT(oneLog.size(), 5u);
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
        WorkingFolder folder;
        RxInstance a(equalisedC4);
        ASSERT_TRUE(a.Opened());
        aloneA = RunThrough(a, fast.wave, sizes);
        aloneLogs = folder.Lines("adapt.txt");
    }
    {
        WorkingFolder folder;
        RxInstance b(retimedC1);
        ASSERT_TRUE(b.Opened());
        aloneB = RunThrough(b, slow.wave, sizes);
        const std::vector<std::string> lines = folder.Lines("adapt.txt");
        aloneLogs.insert(aloneLogs.end(), lines.begin(), lines.end());
    }

    WorkingFolder shared;
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
        WorkingFolder folder;
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
