#include "Stress.h"

#include <cmath>
#include <cstdlib>

namespace linksim {

namespace {
const double kPi = 3.141592653589793;
const double kTwoPi = 2.0 * kPi;
// The edges' displacement may change by at most this much per unit of time.
const double kMostSjSlope = 0.5;
const double kMostSscFrequency = 1e6;
}

bool StressSettings::JitterOrRate() const {
    return rjRms > 0.0 || djPeakToPeak > 0.0 || (sjPeakToPeakUi > 0.0 && sjFrequency > 0.0) || ppm != 0.0 ||
           (sscPpm > 0.0 && sscFrequency > 0.0);
}

bool CheckStress(const StressSettings& stress, double unitInterval, std::string& error) {
    const double values[] = {stress.rjRms, stress.djPeakToPeak, stress.sjPeakToPeakUi, stress.sjFrequency,
                             stress.sscPpm, stress.sscFrequency, stress.rxNoiseRms};
    for (double value : values) {
        if (!(value >= 0.0) || !std::isfinite(value)) {
            error = "jitter, noise, spread and their frequencies must be finite and not negative";
            return false;
        }
    }
    if (!std::isfinite(stress.ppm) || std::fabs(stress.ppm) >= 1e5) {
        error = "the data-rate offset must lie within +-100000 ppm";
    } else if (stress.sscPpm >= 1e5) {
        error = "the spread-spectrum depth must be below 100000 ppm";
    } else if (stress.rjRms > unitInterval || stress.djPeakToPeak > unitInterval || stress.sjPeakToPeakUi > 1e6) {
        error = "jitter beyond a unit interval of random or deterministic jitter is no link to measure";
    } else if (stress.sjFrequency > 0.5 / unitInterval) {
        error = "sinusoidal jitter above half the bit rate is no jitter of the edges but an alias of it";
    } else if (kPi * stress.sjPeakToPeakUi * stress.sjFrequency * unitInterval > kMostSjSlope) {
        error = "sinusoidal jitter this large at this frequency moves the edges by more than half a unit interval "
                "per unit interval (amplitude in UI x frequency x pi x UI at most 0.5): edges would overtake "
                "each other";
    } else if (stress.sscFrequency > kMostSscFrequency) {
        error = "spread-spectrum clocking is a slow modulation: its frequency must be at most 1 MHz";
    } else {
        return true;
    }
    return false;
}

uint64_t StreamSeed(uint64_t seed, unsigned stream) {
    // splitmix64 of the seed and the stream number: unrelated streams.
    uint64_t z = seed + 0x9E3779B97F4A7C15ULL * (uint64_t(stream) + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

NormalSource::NormalSource(uint64_t seed) : m_state(seed) {}

uint64_t NormalSource::NextBits() {
    // splitmix64: small, fast, and specified to the bit.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double NormalSource::Uniform() { return double(NextBits() >> 11) * (1.0 / 9007199254740992.0); }

bool NormalSource::Coin() { return (NextBits() >> 63) != 0; }

double NormalSource::Next() {
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare;
    }
    // Box-Muller; 1 - Uniform() lies in (0, 1], so the logarithm is finite.
    const double radius = std::sqrt(-2.0 * std::log(1.0 - Uniform()));
    const double angle = kTwoPi * Uniform();
    m_spare = radius * std::sin(angle);
    m_haveSpare = true;
    return radius * std::cos(angle);
}

NoiseSource::NoiseSource(uint64_t seed, double rms) : m_normal(seed), m_rms(rms) {}

void NoiseSource::AddTo(double* wave, size_t count) {
    if (!(m_rms > 0.0)) return;
    for (size_t i = 0; i < count; ++i) wave[i] += m_rms * m_normal.Next();
}

}  // namespace linksim
