// With the equalised output and both adaptations off, the library's output
// is the selected CTLE response, then the soft limiter, one sample late:
// here computed on its own from the response table and the formulas (the
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

}  // namespace
