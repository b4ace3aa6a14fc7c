// The flows of a run, driven through the test-only models: a transmitter
// with AMI_GetWave, an equaliser whose AMI_Init returns the impulse
// response (as receiver and as transmitter), and a receiver whose
// AMI_GetWave reports clock times.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "LinkRun.h"

#include "Scratch.h"
#include "TestModelRuns.h"

namespace {

linksim::LinkSettings Settings(const std::string& tx, const std::string& rx, double lossDb, size_t bits) {
    return TestModelSettings(tx, rx, lossDb, bits, 333);
}

TEST(LinkFlow, TransmitterGetWaveThenReceiverFromItsImpulseResponse) {
    linksim::LinkSettings settings = Settings("LinkTestTx", "LinkTestRxInit", 10.0, 20000);
    const linksim::LinkResult result = RunOk(settings);
    EXPECT_TRUE(result.tx.getWaveUsed);
    EXPECT_FALSE(result.rx.getWaveUsed);
    EXPECT_FALSE(result.rxReportsClock);
    // The string built from the .ami: every input with its default, in order.
    EXPECT_EQ(result.tx.initMessage,
              "received (LinkTestTx (Deemphasis 0.1) (Swing 2) (Label \"lane 0\") (FailInit False) (Fault 0))");
    EXPECT_EQ(result.rx.initMessage, "received (LinkTestRxInit (Boost 0.3) (Mute False))");
    EXPECT_EQ(result.ignoreBits, 200);
    EXPECT_TRUE(result.errors.aligned);
    EXPECT_EQ(result.errors.errors, 0u);
    EXPECT_EQ(result.errors.compared, 19800u);
    // Sampled on an ideal clock at the eye's horizontal centre.
    const double right = result.widthMargins.right / result.unitInterval;
    const double left = result.widthMargins.left / result.unitInterval;
    EXPECT_NEAR(right, left, 2.0 / 32.0);
    EXPECT_GT(right + left, 0.6);

    // The transmitter's de-emphasis, applied in its AMI_GetWave, shapes the eye.
    settings.tx.overrides = {{"Deemphasis", "0.0"}};
    settings.rx.overrides = {{"Boost", "0.0"}};
    const linksim::LinkResult plain = RunOk(settings);
    EXPECT_GT(std::fabs(plain.errors.innerHeight - result.errors.innerHeight), 0.05);
}

TEST(LinkFlow, ImpulseResponseOfTheTransmitterThenReceiverGetWave) {
    linksim::LinkSettings settings = Settings("LinkTestRxInit", "LinkTestRxClock", 6.0, 12000);
    settings.rx.overrides = {{"AdaptLine", "True"}};
    const linksim::LinkResult result = RunOk(settings);
    EXPECT_FALSE(result.tx.getWaveUsed);
    EXPECT_TRUE(result.rx.getWaveUsed);
    EXPECT_TRUE(result.rxReportsClock);
    EXPECT_EQ(result.errors.errors, 0u);
    EXPECT_EQ(result.errors.compared, 11000u);
    EXPECT_EQ(result.clock.clockCount, 12000u);
    EXPECT_TRUE(result.clock.settled);
    // The receiver ran in the output folder; its log of the earlier run is gone.
    EXPECT_TRUE(result.adaptLogFound);
    EXPECT_EQ(RunOk(settings).adaptation.measurements, 1u);
    EXPECT_EQ(result.adaptation.ctle, 4);

    // What reaches the receiver went through the transmitter's impulse response.
    settings.tx.overrides = {{"Boost", "0.6"}};
    EXPECT_GT(std::fabs(RunOk(settings).errors.innerHeight - result.errors.innerHeight), 0.02);

    // A receiver that finds one clock time more than its call's bits (a
    // clock tracking fast data, an edge on the boundary) has room for it.
    settings.tx.overrides.clear();
    settings.rx.overrides = {{"ExtraTime", "True"}};
    EXPECT_GT(RunOk(settings).clock.clockCount, 12000u);

    // One that gives an instant every other bit compares half the bits: a fail.
    settings.rx.overrides = {{"HalfRate", "True"}};
    const linksim::LinkResult half = RunOk(settings);
    EXPECT_EQ(half.verdict.kind, linksim::VerdictKind::Fail);
    ASSERT_FALSE(half.verdict.reasons.empty());
    EXPECT_NE(half.verdict.reasons[0].find("were compared"), std::string::npos) << half.verdict.reasons[0];
}

// The kit's receiver, stood in for by the clock test model under its name,
// outputs its decisions with Rx_config 0: they are read at the clock times.
TEST(LinkFlow, KitReceiverWithRxConfig0IsReadAtTheClockTimes) {
    const std::string ami = Scratch("Orvex_RX_AMI_05272013.ami");
    std::ofstream(ami) << "(Orvex_RX_AMI_05272013 (Reserved_Parameters (Init_Returns_Impulse (Value False))"
                          " (GetWave_Exists (Value True)) (Ignore_Bits (Value 1000)))"
                          " (Model_Specific (Rx_config (Usage In) (Type Integer) (List 0 1) (Default 0))"
                          " (ClockPhase (Usage In) (Type Float) (Range 0.5 0.0 0.99))))";
    linksim::LinkSettings settings = Settings("LinkTestTx", "LinkTestRxClock", 3.0, 6000);
    settings.rx.ami = ami;
    const linksim::LinkResult retimed = RunOk(settings);
    EXPECT_TRUE(retimed.retimedOutput);
    EXPECT_EQ(retimed.errors.errors, 0u);

    settings.rx.overrides = {{"Rx_config", "1"}};
    const linksim::LinkResult equalised = RunOk(settings);
    EXPECT_FALSE(equalised.retimedOutput);
    EXPECT_EQ(equalised.errors.errors, 0u);
    // The model's clock times are the bits' centres: read there when retimed,
    // half a unit interval later (on the bit boundaries) when equalised.
    ASSERT_FALSE(retimed.traceInstants.empty());
    ASSERT_FALSE(equalised.traceInstants.empty());
    const double centre = retimed.traceInstants.back() / retimed.unitInterval;
    const double boundary = equalised.traceInstants.back() / equalised.unitInterval;
    EXPECT_NEAR(centre - std::floor(centre), 0.5, 1e-6);
    EXPECT_NEAR(boundary - std::round(boundary), 0.0, 1e-6);
}

// Every figure of a run, compared to the bit.
void ExpectSameResults(const linksim::LinkResult& a, const linksim::LinkResult& b) {
    EXPECT_EQ(a.errors.aligned, b.errors.aligned);
    EXPECT_EQ(a.errors.latencyBits, b.errors.latencyBits);
    EXPECT_EQ(a.errors.compared, b.errors.compared);
    EXPECT_EQ(a.errors.errors, b.errors.errors);
    EXPECT_EQ(a.errors.innerHeight, b.errors.innerHeight);
    EXPECT_EQ(a.widthMargins.crossings, b.widthMargins.crossings);
    EXPECT_EQ(a.widthMargins.right, b.widthMargins.right);
    EXPECT_EQ(a.widthMargins.left, b.widthMargins.left);
    EXPECT_EQ(a.clock.clockCount, b.clock.clockCount);
    EXPECT_EQ(a.clock.settleTime, b.clock.settleTime);
    EXPECT_EQ(a.clock.meanPeriod, b.clock.meanPeriod);
    EXPECT_EQ(a.clock.finalPhaseUi, b.clock.finalPhaseUi);
    EXPECT_EQ(a.traceStart, b.traceStart);
    EXPECT_TRUE(a.traceSamples == b.traceSamples) << "the output waveforms differ";
    EXPECT_TRUE(a.traceInstants == b.traceInstants) << "the sampling instants differ";
    EXPECT_EQ(a.notes, b.notes);
}

// The channel and the analysis beside the receiver, or between its calls:
// the same figures to the bit, with and without the transmitter's
// AMI_GetWave, whether or not the receiver has one, and with blocks that
// do not divide the run.
TEST(LinkFlow, OverlappedHostWorkGivesTheSequentialResults) {
    const struct {
        const char* tx;
        const char* rx;
        size_t bitsPerCall;
    } flows[] = {
        {"LinkTestTx", "LinkTestRxClock", 333},
        {"LinkTestRxInit", "LinkTestRxClock", 4096},
        {"LinkTestTx", "LinkTestRxInit", 1000},
    };
    for (const auto& flow : flows) {
        linksim::LinkSettings settings = Settings(flow.tx, flow.rx, 8.0, 30011);
        settings.bitsPerCall = flow.bitsPerCall;
        settings.overlapHostWork = false;
        const linksim::LinkResult sequential = RunOk(settings);
        settings.overlapHostWork = true;
        const linksim::LinkResult overlapped = RunOk(settings);
        SCOPED_TRACE(std::string(flow.tx) + " -> " + flow.rx);
        EXPECT_FALSE(sequential.timing.overlapped);
        EXPECT_TRUE(overlapped.timing.overlapped);
        ASSERT_GT(sequential.traceSamples.size(), 100000u);
        EXPECT_GT(sequential.errors.compared, 25000u);
        ExpectSameResults(sequential, overlapped);
    }
}

// Where a run's time went: every part is counted, the receiver's calls only
// when it has them, and no part exceeds the whole.
TEST(LinkFlow, RunTimeIsSplitIntoItsParts) {
    linksim::LinkSettings settings = Settings("LinkTestTx", "LinkTestRxClock", 3.0, 20000);
    settings.rx.overrides = {{"BusyNsPerSample", "20"}};
    const linksim::RunTiming timing = RunOk(settings).timing;
    // 20000 bits of 32 samples at 20 ns each.
    EXPECT_GE(timing.rxGetWave, 20000 * 32 * 20e-9);
    for (double part : {timing.setup, timing.stimulus, timing.txGetWave, timing.channel, timing.analysis,
                        timing.results}) {
        EXPECT_GT(part, 0.0);
    }
    EXPECT_LE(timing.setup + timing.stimulus + timing.txGetWave + timing.rxGetWave + timing.waiting + timing.results,
              timing.run);

    const linksim::RunTiming withoutGetWave = RunOk(Settings("LinkTestRxInit", "LinkTestRxInit", 3.0, 5000)).timing;
    EXPECT_EQ(withoutGetWave.rxGetWave, 0.0);
    EXPECT_EQ(withoutGetWave.txGetWave, 0.0);
    EXPECT_GT(withoutGetWave.channel, 0.0);
}

TEST(LinkFlow, FailuresNameTheirCause) {
    const struct {
        const char* tx;
        const char* rx;
        linksim::ParameterOverride override;
        bool onTx;
        const char* expected;
    } cases[] = {
        {"LinkTestTx", "LinkTestRxInit", {"Foo", "1"}, true,
         "Tx LinkTestTx has no parameter Foo (its input parameters: Deemphasis, Swing, Label, FailInit, Fault)"},
        {"LinkTestTx", "LinkTestRxInit", {"Swing", "5"}, true, "Tx LinkTestTx parameter Swing=5 is not one of 0 1 2 3"},
        {"LinkTestTx", "LinkTestRxInit", {"Temperature", "30"}, true, "is Info, not an input"},
        {"LinkTestTx", "LinkTestRxInit", {"FailInit", "True"}, true,
         "LinkTestTx AMI_Init failed: received (LinkTestTx (Deemphasis 0.1) (Swing 2) (Label \"lane 0\") (FailInit True) (Fault 0))"},
        {"LinkTestTx", "LinkTestRxClock", {"Overrun", "True"}, false,
         "LinkTestRxClock AMI_GetWave wrote beyond the 355 clock_times entries it was given"},
        {"LinkTestTx", "LinkTestRxClock", {"Backwards", "True"}, false,
         "LinkTestRxClock AMI_GetWave gave the clock time 0 s at bit 333, which is not after the one before"},
    };
    for (const auto& c : cases) {
        linksim::LinkSettings settings = Settings(c.tx, c.rx, 3.0, 2000);
        (c.onTx ? settings.tx : settings.rx).overrides = {c.override};
        linksim::LinkResult result;
        std::string error;
        EXPECT_FALSE(linksim::RunLink(settings, result, error)) << c.expected;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

// Stress in the stimulus reaches the margins: more jitter never gives more
// timing margin, noise takes voltage margin, and a seed repeats a run.
TEST(LinkFlow, StressLowersTheMarginsAndRepeatsPerSeed) {
    linksim::LinkSettings settings = Settings("LinkTestTx", "LinkTestRxInit", 10.0, 12000);
    const linksim::LinkResult clean = RunOk(settings);
    ASSERT_TRUE(clean.margins.known) << clean.margins.why;
    EXPECT_TRUE(clean.margins.open);
    EXPECT_TRUE(clean.hostClock);  // the receiver reports no clock: the host's is tracked
    EXPECT_FALSE(clean.clockTrack.windows.empty());
    double previous = clean.margins.timingMarginUi;
    for (double rj : {1e-12, 3e-12}) {
        settings.stress.rjRms = rj;
        const linksim::LinkResult jittered = RunOk(settings);
        EXPECT_LT(jittered.margins.timingMarginUi, previous) << "RJ " << rj;
        previous = jittered.margins.timingMarginUi;
    }
    EXPECT_EQ(RunOk(settings).margins.timingMarginUi, previous);
    settings.stress.seed = 9;
    EXPECT_NE(RunOk(settings).margins.timingMarginUi, previous);

    settings.stress = linksim::StressSettings();
    settings.stress.rxNoiseRms = 0.02;
    const linksim::LinkResult noisy = RunOk(settings);
    EXPECT_LT(noisy.margins.voltageMarginV, clean.margins.voltageMarginV - 0.01);
    bool extrapolationNoted = false;
    for (const std::string& note : noisy.notes) extrapolationNoted |= note.find("extrapolated") != std::string::npos;
    EXPECT_TRUE(extrapolationNoted);
}

}  // namespace
