// A PRBS at 10 Gb/s through a lossy line, with the data rate 100 ppm above
// or below the receiver's free-running clock: the adaptation runs through
// its CTLE search and DFE steps, the recovered clock follows the data, and
// after the adaptation every bit comes out right, on the equalised output
// (read half a unit interval after each clock time) and on the retimed one
// (read at each clock time).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "BitErrors.h"
#include "Channel.h"
#include "RxLibrary.h"
#include "Stimulus.h"
#include "ScratchFolder.h"

namespace {

// 24 dB at Nyquist: too much for the weakest CTLE response without DFE.
const double kLossDb = 24.0;
const size_t kBits = 110000;

const std::vector<double>& LossyChannel() {
    static const std::vector<double> channel = linksim::LossyChannelImpulse(kLossDb, 1.0 / kBitTime, kSamplesPerBit);
    return channel;
}

// One line of "adapt.txt": the response in force, the five taps, the eye.
struct LogLine {
    int response = 0;
    double taps[5] = {};
    double width = 0.0;
    double height = 0.0;
};

// Parses a line and checks that it is written as a default output stream
// writes its fields, separated by single tabs.
bool ParseLogLine(const std::string& text, LogLine& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (fields.size() != 8) return false;
    std::istringstream values(text);
    values.imbue(std::locale::classic());
    values >> line.response;
    for (double& tap : line.taps) values >> tap;
    values >> line.width >> line.height;
    if (!values) return false;
    std::ostringstream again;
    again.imbue(std::locale::classic());
    again << line.response;
    for (double tap : line.taps) again << '\t' << tap;
    again << '\t' << line.width << '\t' << line.height;
    return again.str() == text;
}

// What a run through the library gave.
struct LinkRun {
    RunOutput output;
    std::vector<std::string> log;
    double adaptationEnd = 0.0;  // end of the call that brought the last log line, s
};

LinkRun RunLink(const linksim::RxStimulus& stimulus, const std::string& parameters) {
    LinkRun link;
    ScratchFolder folder;
    EXPECT_TRUE(folder.Ready());
    RxInstance rx(parameters);
    EXPECT_TRUE(rx.Opened()) << rx.Message();
    size_t lines = 0;
    link.output = RunThrough(rx, stimulus.wave, {kBlockSamples}, [&](size_t done) {
        const size_t now = folder.Lines("adapt.txt").size();
        if (now != lines) link.adaptationEnd = done * kSampleInterval;
        lines = now;
    });
    link.log = folder.Lines("adapt.txt");
    return link;
}

// The mean clock period over the last `count` clock times. A call whose
// block held more clock edges than its limit dropped its earliest ones, so
// each gap counts as the whole number of periods it spans.
double MeanClockPeriod(const std::vector<double>& times, size_t count) {
    const size_t first = times.size() - count - 1;
    double periods = 0.0;
    for (size_t k = first + 1; k < times.size(); ++k) periods += std::round((times[k] - times[k - 1]) / kBitTime);
    return (times.back() - times[first]) / periods;
}

// The log: the sixteen CTLE responses measured in turn with the taps at 0,
// then the best of them held while the taps move one step of 8 mV at a time.
void ExpectAdaptationLog(const std::vector<std::string>& log) {
    ASSERT_GT(log.size(), 17u);
    std::vector<LogLine> lines(log.size());
    for (size_t i = 0; i < log.size(); ++i) {
        ASSERT_TRUE(ParseLogLine(log[i], lines[i])) << "line " << i + 1 << ": " << log[i];
    }
    int best = 0;
    double bestScore = 0.0;
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(lines[c].response, c + 1);
        for (double tap : lines[c].taps) EXPECT_EQ(tap, 0.0) << "line " << c + 1;
        const double score = 0.25 * lines[c].height + lines[c].width;
        if (score >= bestScore) {
            best = c + 1;
            bestScore = score;
        }
    }
    for (size_t i = 16; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].response, best) << "line " << i + 1;
        int moved = 0;
        for (int k = 0; k < 5; ++k) {
            const double before = i == 16 ? 0.0 : lines[i - 1].taps[k];
            const double step = lines[i].taps[k] - before;
            if (step != 0.0) {
                ++moved;
                EXPECT_NEAR(std::fabs(step), 0.008, 1e-12) << "line " << i + 1 << ", tap " << k + 1;
            }
            EXPECT_LE(std::fabs(lines[i].taps[k]), k == 0 ? 0.256 : 0.128) << "line " << i + 1;
        }
        EXPECT_LE(moved, 1) << "line " << i + 1;
    }
}

class RxLossyLink : public ::testing::TestWithParam<double> {};

TEST_P(RxLossyLink, AdaptsFollowsTheDataAndRecoversEveryBitAfterTheAdaptation) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const double ppm = GetParam();
    const double dataUi = kBitTime / (1.0 + ppm * 1e-6);
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(15, kBits, dataUi, kSampleInterval, LossyChannel());

    const LinkRun equalised = RunLink(stimulus, RxParameters("(Rx_config 1)"));
    const LinkRun retimed = RunLink(stimulus, RxParameters("(Rx_config 0)"));

    ExpectAdaptationLog(equalised.log);
    EXPECT_EQ(retimed.log, equalised.log) << "the output choice does not touch the adaptation";
    EXPECT_EQ(retimed.output.clockTimes, equalised.output.clockTimes);

    // The loop follows the data, not its own free-running frequency.
    const std::vector<double>& clocks = equalised.output.clockTimes;
    ASSERT_GT(clocks.size(), 10001u);
    EXPECT_NEAR(MeanClockPeriod(clocks, 10000) / dataUi - 1.0, 0.0, 10e-6);

    ASSERT_LT(equalised.adaptationEnd, 0.5 * kBits * dataUi) << "the adaptation took too long to judge the rest";
    const BitErrors afterEqualised =
        CountBitErrors(stimulus, equalised.output, equalised.adaptationEnd, 0.5 * kBitTime);
    const BitErrors afterRetimed = CountBitErrors(stimulus, retimed.output, retimed.adaptationEnd, 0.0);
    EXPECT_EQ(afterEqualised.errors, 0);
    EXPECT_EQ(afterRetimed.errors, 0);
    EXPECT_GT(afterEqualised.compared, 50000);
    EXPECT_GT(afterRetimed.compared, 50000);
    std::cout << "data rate offset " << ppm << " ppm: " << equalised.log.size()
              << " measurements, adaptation done after " << equalised.adaptationEnd / kBitTime << " bits; " << afterEqualised.errors << " errors in "
              << afterEqualised.compared << " bits (equalised), " << afterRetimed.errors << " in "
              << afterRetimed.compared << " (retimed)\n";
}

INSTANTIATE_TEST_SUITE_P(DataRateOffsets, RxLossyLink, ::testing::Values(100.0, -100.0));

// The channel is lossy enough to need the equaliser: the weakest CTLE
// response with the DFE taps at 0 leaves bit errors.
TEST(RxLossyLinkWithoutAdaptation, WeakestResponseWithoutDfeMakesBitErrors) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(15, 40000, kBitTime, kSampleInterval, LossyChannel());
    const LinkRun fixed =
        RunLink(stimulus, RxParameters("(Rx_config 1) (CTLEAdapt 0) (DFEAdapt 0) (EQ_Level 0) (DFEtap1 0) (DFEtap2 0) "
                                       "(DFEtap3 0) (DFEtap4 0) (DFEtap5 0)"));
    const BitErrors errors = CountBitErrors(stimulus, fixed.output, 10000 * kBitTime, 0.5 * kBitTime);
    std::cout << "weakest CTLE response, no DFE: " << errors.errors << " errors in " << errors.compared << " bits\n";
    EXPECT_GT(errors.errors, 100);
}

// Fixed settings, no adaptation: a middling CTLE response leaves about one
// bit in a hundred wrong, and a first DFE tap of 64 mV takes every error away
// on the retimed output once the clock has found the data, which it follows
// at each of the data rates. A phase detector that pumps the wrong way finds
// the data later or slips, leaving errors.
class RxFixedFirstTap : public ::testing::TestWithParam<double> {};

INSTANTIATE_TEST_SUITE_P(DataRateOffsets, RxFixedFirstTap, ::testing::Values(100.0, 0.0, -100.0));

TEST_P(RxFixedFirstTap, RecoversEveryBitOnAClockThatFollowsTheData) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const double dataUi = kBitTime / (1.0 + GetParam() * 1e-6);
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(15, 30000, dataUi, kSampleInterval, LossyChannel());
    const std::string fixed = "(Rx_config 0) (CTLEAdapt 0) (DFEAdapt 0) (EQ_Level 7) (DFEtap2 0) (DFEtap3 0) "
                              "(DFEtap4 0) (DFEtap5 0) (DFEtap1 ";
    const LinkRun withoutTap = RunLink(stimulus, RxParameters(fixed + "0)"));
    const LinkRun withTap = RunLink(stimulus, RxParameters(fixed + "8)"));

    const double from = 10000 * kBitTime;
    const BitErrors before = CountBitErrors(stimulus, withoutTap.output, from, 0.0);
    const BitErrors after = CountBitErrors(stimulus, withTap.output, from, 0.0);
    EXPECT_GT(before.errors, 50) << "the channel needs the tap";
    EXPECT_EQ(after.errors, 0);
    EXPECT_GT(after.compared, 19000);
    const std::vector<double>& clocks = withTap.output.clockTimes;
    ASSERT_GT(clocks.size(), 10001u);
    EXPECT_NEAR(MeanClockPeriod(clocks, 10000) / dataUi - 1.0, 0.0, 10e-6);
}

}  // namespace
