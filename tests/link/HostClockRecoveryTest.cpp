// The host's clock recovery on synthetic NRZ with a known eye centre: a
// data-rate offset, slow sinusoidal jitter, a start away from the centre,
// and waveforms handed over in blocks of any size.
#include <gtest/gtest.h>

#include <cmath>

#include "HostClockRecovery.h"
#include "Prbs.h"

using namespace linksim;

namespace {

const double kUi = 100e-12;
const int kSamplesPerUi = 32;
const double kDt = kUi / kSamplesPerUi;
const double kPi = 3.14159265358979323846;

// NRZ of the bits with edges 0.3 UI wide, sent at a bit period of
// (1 + offset) UI, its edges displaced by jitter(t) seconds.
struct TestSignal {
    std::vector<int> bits;
    double period;
    double jitterAmplitude;
    double jitterHertz;

    double Jitter(double t) const { return jitterAmplitude * std::sin(2.0 * kPi * jitterHertz * t); }
    double Position(double t) const { return (t - Jitter(t)) / period; }  // in bits
    double Level(long i) const { return i < 0 || i >= long(bits.size()) ? -0.5 : (bits[size_t(i)] ? 0.5 : -0.5); }
    double At(double t) const {
        const double u = Position(t);
        const long i = long(std::floor(u));
        const double frac = u - double(i);
        const double width = 0.3;
        if (frac < width / 2) return Level(i - 1) + (Level(i) - Level(i - 1)) * (0.5 + frac / width);
        if (frac > 1.0 - width / 2) return Level(i) + (Level(i + 1) - Level(i)) * ((frac - 1.0 + width / 2) / width);
        return Level(i);
    }
};

struct Outcome {
    double worstOffsetUi = 0.0;  // from the bit centre, after settling
    size_t errors = 0;
    size_t instants = 0;
};

Outcome Recover(const TestSignal& signal, double firstInstant, size_t blockSamples, size_t settleBits) {
    HostClockSettings settings;
    settings.sampleInterval = kDt;
    settings.unitInterval = kUi;
    settings.firstInstant = firstInstant;
    HostClockRecovery recovery(settings);
    const size_t total = size_t(double(signal.bits.size() - 4) * signal.period / kDt);
    std::vector<double> wave(total);
    for (size_t n = 0; n < total; ++n) wave[n] = signal.At(double(n) * kDt);
    std::vector<double> instants;
    for (size_t first = 0; first < total; first += blockSamples) {
        recovery.Process(wave.data() + first, std::min(blockSamples, total - first), instants);
    }
    Outcome outcome;
    outcome.instants = instants.size();
    for (double instant : instants) {
        const double u = signal.Position(instant);
        const long bit = long(std::floor(u));
        if (bit < long(settleBits)) continue;
        outcome.worstOffsetUi = std::max(outcome.worstOffsetUi, std::fabs(u - double(bit) - 0.5));
        if ((signal.At(instant) > 0.0) != (signal.bits[size_t(bit)] != 0)) ++outcome.errors;
    }
    return outcome;
}

}  // namespace

TEST(HostClockRecoveryTest, LocksOntoTheEyeCentreAndFollowsOffsetAndSlowJitter) {
    const std::vector<int> bits = Prbs(15, 40000);
    const struct {
        const char* name;
        double ppm;
        double jitterUi;
        double jitterHertz;
        double startUi;  // of the first instant, in the first bit
        size_t block;
    } cases[] = {
        {"centred, no offset", 0.0, 0.0, 0.0, 0.5, 4096},
        {"started near an edge, +300 ppm", 300.0, 0.0, 0.0, 0.1, 1000},
        {"-1000 ppm, one-sample blocks", -1000.0, 0.0, 0.0, 0.8, 1},
        {"0.2 UI of 1 MHz jitter", 100.0, 0.2, 1e6, 0.5, 777},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const TestSignal signal{bits, kUi * (1.0 + test.ppm * 1e-6), test.jitterUi * kUi, test.jitterHertz};
        const Outcome outcome = Recover(signal, test.startUi * kUi, test.block, 2000);
        EXPECT_EQ(outcome.errors, 0u);
        EXPECT_LT(outcome.worstOffsetUi, 0.1);
        EXPECT_NEAR(double(outcome.instants), double(bits.size() - 4), 3.0 + std::fabs(test.ppm) * 1e-6 * 40000);
    }
}

TEST(HostClockRecoveryTest, AHoldingPatternLeavesTheClockWhereItWas) {
    // No transitions, no votes: the clock runs on at the bit rate.
    const TestSignal signal{std::vector<int>(3000, 1), kUi, 0.0, 0.0};
    HostClockSettings settings;
    settings.sampleInterval = kDt;
    settings.unitInterval = kUi;
    settings.firstInstant = 0.3 * kUi;
    HostClockRecovery recovery(settings);
    std::vector<double> wave(2000 * kSamplesPerUi);
    for (size_t n = 0; n < wave.size(); ++n) wave[n] = signal.At(double(n) * kDt);
    std::vector<double> instants;
    recovery.Process(wave.data(), wave.size(), instants);
    ASSERT_GT(instants.size(), 1000u);
    EXPECT_NEAR(instants[1000] - instants[999], kUi, 1e-18);
    EXPECT_EQ(recovery.FrequencyOffsetUi(), 0.0);
}
