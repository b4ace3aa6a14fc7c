// With the equalised output and both adaptations off, the library's output
// is the selected CTLE response, then the soft limiter, one sample late,
// less the DFE's feedback: here computed on its own from the response table and the formulas (the
// taps as the response interpolated by the cubic through four neighbouring
// table points at multiples of the sample interval, times the sample
// interval).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "Channel.h"
#include "Orvex_RX_AMI_05272013_Tables.h"
#include "RxLibrary.h"
#include "Stimulus.h"
#include "ScratchFolder.h"

namespace {

// The cubic through (x[i], y[i]), i = 0..3, at t (Lagrange's form).
double Cubic(const double* x, const double* y, double t) {
    double value = 0.0;
    for (int i = 0; i < 4; ++i) {
        double weight = 1.0;
        for (int m = 0; m < 4; ++m) {
            if (m != i) weight *= (t - x[m]) / (x[i] - x[m]);
        }
        value += y[i] * weight;
    }
    return value;
}

// The taps of one table column at sampleRate: one per sample interval from
// 0 to the last time stamp, each the response there (a table value where a
// time stamp falls on the grid, else the cubic through the four table points
// around it, kept inside the table) divided by the rate.
std::vector<double> CtleTaps(const double* column, const double* times, int points, double sampleRate) {
    std::vector<double> taps(static_cast<size_t>(sampleRate * (times[points - 1] - times[0])) + 1);
    int j = 0;
    for (size_t k = 0; k < taps.size(); ++k) {
        const double t = k / sampleRate;
        while (j < points - 1 && t > times[j] - times[0]) ++j;
        double value;
        if (times[j] - times[0] == t) {
            value = column[j];
        } else {
            const int first = std::min(std::max(j - 1, 0), points - 4);
            double x[4];
            for (int i = 0; i < 4; ++i) x[i] = times[first + i] - times[0];
            value = Cubic(x, column + first, t);
        }
        taps[k] = value / sampleRate;
    }
    return taps;
}

struct Bank {
    const char* name;
    int dwdmMode;
    const double* responses;
    const double* times;
    int rows;
    std::vector<int> levels;
};

// The selected response of the sixteen through the soft limiter, one sample
// late, as the receiver's equalised output is before the DFE.
std::vector<double> LimitedCtleOutput(const std::vector<double>& wave, int level) {
    const double sampleRate = kSamplesPerBit / kBitTime;
    const int rows = static_cast<int>(C4_Response_Matrix_Dimensions[0]);
    const std::vector<double> taps =
        CtleTaps(C4_Response_Matrix + static_cast<size_t>(rows) * level, C4_Time_Stamps, rows, sampleRate);
    std::vector<double> expected(wave.size(), 0.0);
    for (size_t n = 1; n < expected.size(); ++n) {
        double ctle = 0.0;
        for (size_t k = 0; k < taps.size() && k <= n - 1; ++k) ctle += taps[k] * wave[n - 1 - k];
        expected[n] = 0.2604 * std::tanh(3.840245775729646 * ctle);
    }
    return expected;
}

TEST(RxCtleStage, EqualisedOutputIsTheSelectedResponseThroughTheLimiterOneSampleLate) {
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ready());
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const std::vector<double> channel = linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit);
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(7, 1500, kBitTime, kSampleInterval, channel);
    const double sampleRate = kSamplesPerBit / kBitTime;
    const Bank banks[] = {
        {"C4", 0, C4_Response_Matrix, C4_Time_Stamps, static_cast<int>(C4_Response_Matrix_Dimensions[0]), {0, 6, 15}},
        {"C1", 1, C1_Response_Matrix, C1_Time_Stamps, static_cast<int>(C1_Response_Matrix_Dimensions[0]), {0, 2, 4}},
    };
    for (const Bank& bank : banks) {
        for (int level : bank.levels) {
            SCOPED_TRACE(::testing::Message() << bank.name << " response " << level);
            const std::vector<double> taps =
                CtleTaps(bank.responses + static_cast<size_t>(bank.rows) * level, bank.times, bank.rows, sampleRate);
            ASSERT_EQ(taps.size(), 160u);
            std::vector<double> expected(stimulus.wave.size(), 0.0);
            for (size_t n = 1; n < expected.size(); ++n) {
                double ctle = 0.0;
                for (size_t k = 0; k < taps.size() && k <= n - 1; ++k) ctle += taps[k] * stimulus.wave[n - 1 - k];
                expected[n] = 0.2604 * std::tanh(3.840245775729646 * ctle);
            }

            RxInstance rx(RxParameters("(Rx_config 1) (CTLEAdapt 0) (DFEAdapt 0) (EQ_Level " + std::to_string(level) +
                                       ") (DWDM_mode " + std::to_string(bank.dwdmMode) + ")"));
            ASSERT_TRUE(rx.Opened()) << rx.Message();
            const RunOutput run = RunThrough(rx, stimulus.wave, {kBlockSamples});
            double peak = 0.0;
            for (double y : expected) peak = std::fmax(peak, std::fabs(y));
            ASSERT_GT(peak, 0.05);
            for (size_t n = 0; n < expected.size(); ++n) {
                ASSERT_LE(std::fabs(run.wave[n] - expected[n]), 1e-12 * peak) << "sample " << n;
            }
        }
    }
}

// A first DFE tap of 64 mV: what the equalised output lacks of the CTLE
// stage's is the tap times the decision of the bit before, which changes
// only with the falling clock edge after that decision, and is the decision
// the retimed output shows at that edge (a run of its own on the same clock).
TEST(RxCtleStage, FirstTapSubtractsTheDecisionOfTheBitBeforeFromTheFallingEdgeAfterIt) {
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const std::vector<double> channel = linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit);
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(15, 4000, kBitTime, kSampleInterval, channel);
    const std::string fixed = "(CTLEAdapt 0) (DFEAdapt 0) (EQ_Level 7) (DFEtap1 8) (DFEtap2 0) (DFEtap3 0) "
                              "(DFEtap4 0) (DFEtap5 0) (Rx_config ";
    RunOutput runs[2];
    for (int rxConfig : {0, 1}) {
        ScratchFolder folder;
        ASSERT_TRUE(folder.Ready());
        RxInstance rx(RxParameters(fixed + std::to_string(rxConfig) + ")"));
        ASSERT_TRUE(rx.Opened()) << rx.Message();
        runs[rxConfig] = RunThrough(rx, stimulus.wave, {kBlockSamples});
    }
    const RunOutput& retimed = runs[0];
    const RunOutput& equalised = runs[1];
    ASSERT_EQ(retimed.clockTimes, equalised.clockTimes);
    const std::vector<double> ctle = LimitedCtleOutput(stimulus.wave, 7);
    const double tap = 8 * 0.008;

    const std::vector<double>& clocks = equalised.clockTimes;
    ASSERT_GT(clocks.size(), 3900u);
    size_t checked = 0;
    for (size_t k = 0; k + 1 < clocks.size(); ++k) {
        const size_t edge = static_cast<size_t>(std::llround(clocks[k] / kSampleInterval));
        const size_t next = static_cast<size_t>(std::llround(clocks[k + 1] / kSampleInterval));
        if (next - edge > kSamplesPerBit * 3 / 2 || next + 1 >= ctle.size()) continue;  // one held back
        const double feedback = tap * 2.0 * retimed.wave[edge];
        ASSERT_EQ(std::fabs(feedback), tap) << "clock time " << k;
        // The edge's firing subtracts the old decision; the output is a firing late.
        for (size_t n = edge + 2; n <= next + 1; ++n) {
            ASSERT_NEAR(ctle[n] - equalised.wave[n], feedback, 1e-12) << "clock time " << k << ", sample " << n;
        }
        ++checked;
    }
    EXPECT_GT(checked, 3800u);
}

}  // namespace
