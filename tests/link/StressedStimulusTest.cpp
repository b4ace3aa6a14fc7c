#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Prbs.h"
#include "StressedStimulus.h"

namespace {

const double kUi = 100e-12;
const int kSpui = 32;
const double kPi = 3.141592653589793;

struct Edge {
    size_t bit;   // the bit that starts at the edge
    double time;  // measured from the waveform
};

std::vector<double> Generate(const std::vector<int>& bits, const linksim::StressSettings& stress, size_t uis) {
    linksim::StressedStimulus stimulus(bits, kUi, kSpui, stress);
    std::vector<double> wave(uis * kSpui);
    // In uneven pieces, as a host asks for it.
    size_t done = 0;
    for (size_t piece = 1; done < wave.size(); piece = piece * 3 % 1021 + 1) {
        const size_t count = std::min(piece * 7, wave.size() - done);
        stimulus.Fill(wave.data() + done, count);
        done += count;
    }
    return wave;
}

// Each sample is the mean of the waveform over its interval: a sample
// between the levels says where inside it the edge lies. The k-th edge
// belongs to the k-th change of the pattern.
std::vector<Edge> MeasureEdges(const std::vector<double>& wave, const std::vector<int>& bits) {
    const double dt = kUi / kSpui;
    std::vector<size_t> changes;
    for (size_t n = 1; n < bits.size(); ++n) {
        if (bits[n] != bits[n - 1]) changes.push_back(n);
    }
    std::vector<Edge> edges;
    double level = wave[0];
    for (size_t k = 1; k < wave.size() && edges.size() < changes.size(); ++k) {
        if (wave[k] == level) continue;
        const double next = -level;
        const double after = (wave[k] - level) / (next - level);
        edges.push_back({changes[edges.size()], (double(k) + 1.0 - after) * dt});
        level = next;
    }
    return edges;
}

std::vector<double> Residuals(const std::vector<Edge>& edges) {
    std::vector<double> residuals;
    for (const Edge& edge : edges) residuals.push_back(edge.time - double(edge.bit) * kUi);
    return residuals;
}

double Rms(const std::vector<double>& values) {
    double sum = 0.0;
    for (double value : values) sum += value * value;
    return std::sqrt(sum / double(values.size()));
}

TEST(StressedStimulus, WithoutStressIsPlainNrz) {
    const std::vector<int> bits = linksim::Prbs(7, 300);
    const std::vector<double> wave = Generate(bits, linksim::StressSettings(), 300);
    for (size_t k = 0; k < wave.size(); ++k) {
        ASSERT_EQ(wave[k], bits[k / kSpui] ? 0.5 : -0.5) << "sample " << k;
    }
}

TEST(StressedStimulus, RandomJitterHasTheAskedRmsBelowOneSample) {
    const std::vector<int> bits = linksim::Prbs(15, 40000);
    linksim::StressSettings stress;
    stress.rjRms = 0.1e-12;  // a thirtieth of a sample
    const std::vector<double> residuals = Residuals(MeasureEdges(Generate(bits, stress, 40000), bits));
    ASSERT_GT(residuals.size(), 15000u);
    double mean = 0.0;
    for (double r : residuals) mean += r;
    mean /= double(residuals.size());
    EXPECT_NEAR(mean, 0.0, 0.005e-12);
    EXPECT_NEAR(Rms(residuals), 0.1e-12, 0.003e-12);

    // The same seed scales the same draws; another seed draws others.
    stress.rjRms = 0.3e-12;
    const std::vector<double> tripled = Residuals(MeasureEdges(Generate(bits, stress, 40000), bits));
    for (size_t i = 0; i < 100; ++i) EXPECT_NEAR(tripled[i], 3.0 * residuals[i], 1e-18);
    stress.seed = 2;
    const std::vector<double> other = Residuals(MeasureEdges(Generate(bits, stress, 40000), bits));
    EXPECT_NE(other[0], tripled[0]);
    EXPECT_NEAR(Rms(other), 0.3e-12, 0.01e-12);
}

TEST(StressedStimulus, DualDiracJitterSitsOnItsTwoPeaks) {
    const std::vector<int> bits = linksim::Prbs(15, 20000);
    linksim::StressSettings stress;
    stress.djPeakToPeak = 7.3e-12;
    size_t late = 0;
    const std::vector<double> residuals = Residuals(MeasureEdges(Generate(bits, stress, 20000), bits));
    for (double r : residuals) {
        ASSERT_NEAR(std::fabs(r), 3.65e-12, 1e-17);
        late += r > 0.0 ? 1 : 0;
    }
    EXPECT_NEAR(double(late) / double(residuals.size()), 0.5, 0.02);
}

TEST(StressedStimulus, SinusoidalJitterHasItsAmplitudeAndFrequency) {
    const std::vector<int> bits = linksim::Prbs(15, 30000);
    linksim::StressSettings stress;
    stress.sjPeakToPeakUi = 0.2;
    stress.sjFrequency = 1.0 / (12800 * kUi);
    const std::vector<Edge> edges = MeasureEdges(Generate(bits, stress, 30000), bits);
    // Least squares of the residuals on a sine and a cosine at the frequency.
    double ss = 0, cc = 0, sc = 0, rs = 0, rc = 0;
    for (const Edge& edge : edges) {
        const double angle = 2.0 * kPi * stress.sjFrequency * double(edge.bit) * kUi;
        const double s = std::sin(angle), c = std::cos(angle), r = edge.time - double(edge.bit) * kUi;
        ss += s * s, cc += c * c, sc += s * c, rs += r * s, rc += r * c;
    }
    const double determinant = ss * cc - sc * sc;
    const double sine = (rs * cc - rc * sc) / determinant;
    const double cosine = (rc * ss - rs * sc) / determinant;
    EXPECT_NEAR(sine, 0.1 * kUi, 1e-16);
    EXPECT_NEAR(cosine, 0.0, 1e-16);
}

TEST(StressedStimulus, RateOffsetAndSpreadSetTheUnitInterval) {
    const std::vector<int> bits = linksim::Prbs(15, 30000);
    linksim::StressSettings stress;
    stress.ppm = 100.0;
    std::vector<Edge> edges = MeasureEdges(Generate(bits, stress, 29990), bits);
    // Slope of the edge times against the bit: the transmitted unit interval.
    double sn = 0, st = 0, snn = 0, snt = 0;
    for (const Edge& e : edges) sn += double(e.bit), st += e.time, snn += double(e.bit) * e.bit, snt += e.bit * e.time;
    const double count = double(edges.size());
    const double slope = (count * snt - sn * st) / (count * snn - sn * sn);
    EXPECT_NEAR(slope / kUi, 1.0 / 1.0001, 1e-9);

    // 5000 ppm down-spread over 10000 bits: the rate falls to 0.995 of the
    // nominal one half way through a period and back at its end.
    stress = linksim::StressSettings();
    stress.sscPpm = 5000.0;
    stress.sscFrequency = 1.0 / (10000 * kUi);
    linksim::StressedStimulus stimulus(bits, kUi, kSpui, stress);
    std::vector<double> wave(20000 * kSpui);
    stimulus.Fill(wave.data(), wave.size());
    double shortest = 1.0, longest = 0.0;
    for (size_t n = 0; n < 10000; ++n) {
        const double local = (stimulus.IdealStart(n + 1) - stimulus.IdealStart(n)) / kUi;
        shortest = std::min(shortest, local), longest = std::max(longest, local);
    }
    EXPECT_NEAR(shortest, 1.0, 1e-6);
    EXPECT_NEAR(longest, 1.0 / 0.995, 1e-6);
    const double halfWayUi = stimulus.IdealStart(5001) - stimulus.IdealStart(5000);
    const double periodBits = stimulus.DataUiAt(10000 * kUi);
    EXPECT_NEAR(periodBits, 10000 * (1.0 - 0.0025), 1.0);
    EXPECT_NEAR(stimulus.DataUiAt(stimulus.IdealStart(1234) + 0.25 * halfWayUi), 1234.25, 0.01);
    for (const Edge& e : MeasureEdges(wave, bits)) {
        ASSERT_NEAR(e.time, stimulus.IdealStart(e.bit), 1e-16) << "bit " << e.bit;
    }
}

TEST(StressedStimulus, NoiseHasTheAskedRmsAndRepeatsPerSeed) {
    std::vector<double> first(200000, 0.25), second(200000, 0.25);
    linksim::NoiseSource(7, 0.01).AddTo(first.data(), first.size());
    linksim::NoiseSource noise(7, 0.01);
    noise.AddTo(second.data(), 1000);
    noise.AddTo(second.data() + 1000, second.size() - 1000);
    EXPECT_EQ(first, second);
    double sum = 0.0, squares = 0.0;
    for (double v : first) sum += v - 0.25, squares += (v - 0.25) * (v - 0.25);
    EXPECT_NEAR(sum / 200000, 0.0, 1e-4);
    EXPECT_NEAR(std::sqrt(squares / 200000), 0.01, 1e-4);
}

TEST(StressedStimulus, OutOfRangeStressIsRefused) {
    std::string error;
    linksim::StressSettings stress;
    EXPECT_TRUE(linksim::CheckStress(stress, kUi, error));
    stress.rjRms = -1e-12;
    EXPECT_FALSE(linksim::CheckStress(stress, kUi, error));
    stress.rjRms = 0.0;
    stress.ppm = 2e5;
    EXPECT_FALSE(linksim::CheckStress(stress, kUi, error));
    stress.ppm = 0.0;
    // Sinusoidal jitter whose edges would overtake each other, or above half
    // the bit rate; spread-spectrum clocking far above its kilohertz.
    struct Sj {
        double ui, hz;
        bool ok;
    };
    for (const Sj& sj : {Sj{0.1, 10e6, true}, Sj{0.2, 4.9e9, true}, Sj{100.0, 1e9, false}, Sj{0.1, 1e300, false},
                         Sj{0.1, 5.1e9, false}}) {
        stress.sjPeakToPeakUi = sj.ui;
        stress.sjFrequency = sj.hz;
        EXPECT_EQ(linksim::CheckStress(stress, kUi, error), sj.ok) << sj.ui << "@" << sj.hz << ": " << error;
    }
    stress.sjPeakToPeakUi = stress.sjFrequency = 0.0;
    stress.sscPpm = 5000.0;
    stress.sscFrequency = 1e12;
    EXPECT_FALSE(linksim::CheckStress(stress, kUi, error));
    EXPECT_NE(error.find("1 MHz"), std::string::npos) << error;
}

}  // namespace
