#include "StressedStimulus.h"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {
const double kTwoPi = 6.283185307179586;
enum Stream : unsigned { kRandomJitterStream = 1, kDeterministicJitterStream = 2 };

double Level(const std::vector<int>& bits, size_t bit) {
    if (bits.empty()) return -0.5;
    return bits[std::min(bit, bits.size() - 1)] ? 0.5 : -0.5;
}

// 0 at the start of a period, 1 half way, 0 again at its end.
double Triangle(double cycles) {
    const double fraction = cycles - std::floor(cycles);
    return fraction < 0.5 ? 2.0 * fraction : 2.0 - 2.0 * fraction;
}
}  // namespace

StressedStimulus::StressedStimulus(const std::vector<int>& bits, double unitInterval, int samplesPerUi,
                                   const StressSettings& stress)
    : m_bits(bits),
      m_unitInterval(unitInterval),
      m_sampleInterval(unitInterval / samplesPerUi),
      m_samplesPerUi(samplesPerUi),
      m_stress(stress),
      m_random(StreamSeed(stress.seed, kRandomJitterStream)),
      m_deterministic(StreamSeed(stress.seed, kDeterministicJitterStream)) {
    m_idealStarts.push_back(0.0);
    m_level = Level(m_bits, 0);
    AdvanceEdge();
}

double StressedStimulus::RateFactor(double time) const {
    double factor = 1.0 + m_stress.ppm * 1e-6;
    if (m_stress.sscPpm > 0.0 && m_stress.sscFrequency > 0.0) {
        factor *= 1.0 - m_stress.sscPpm * 1e-6 * Triangle(time * m_stress.sscFrequency);
    }
    return factor;
}

double StressedStimulus::Jitter(double idealTime) {
    // Both streams advance at every bit boundary, edge or not, so that the
    // draws belong to the boundary whatever the pattern.
    const double gaussian = m_random.Next();
    const bool late = m_deterministic.Coin();
    double jitter = m_stress.rjRms * gaussian + (late ? 0.5 : -0.5) * m_stress.djPeakToPeak;
    if (m_stress.sjFrequency > 0.0) {
        jitter += 0.5 * m_stress.sjPeakToPeakUi * m_unitInterval * std::sin(kTwoPi * m_stress.sjFrequency * idealTime);
    }
    return jitter;
}

void StressedStimulus::AdvanceEdge() {
    // Positions are kept in samples, so that without stress every edge lies
    // exactly on a sample boundary. A fixed rate gives each start from its
    // count; a spread rate adds up the unit intervals.
    const size_t bit = m_idealStarts.size();
    const double perUi = double(m_samplesPerUi);
    const bool spread = m_stress.sscPpm > 0.0 && m_stress.sscFrequency > 0.0;
    const double previous = m_idealStarts.back();
    const double idealSamples = spread ? m_idealSamples + perUi / RateFactor(previous)
                                       : double(bit) * perUi / RateFactor(0.0);
    m_idealSamples = idealSamples;
    const double ideal = idealSamples * m_sampleInterval;
    m_idealStarts.push_back(ideal);
    const double edge = idealSamples + Jitter(ideal) / m_sampleInterval;
    // Edges keep their order however large the jitter.
    m_nextEdge = std::max(edge, m_nextEdge);
}

void StressedStimulus::Fill(double* out, size_t count) {
    for (size_t i = 0; i < count; ++i, ++m_nextSample) {
        const double sampleStart = double(m_nextSample);
        const double sampleEnd = sampleStart + 1.0;
        double value = m_level;
        while (m_nextEdge < sampleEnd) {
            const double level = Level(m_bits, m_nextBit);
            const double after = std::min(1.0, sampleEnd - std::max(m_nextEdge, sampleStart));
            value += (level - m_level) * after;
            m_level = level;
            ++m_nextBit;
            AdvanceEdge();
        }
        out[i] = value;
    }
}

double StressedStimulus::IdealStart(size_t bit) const {
    if (bit < m_idealStarts.size()) return m_idealStarts[bit];
    return m_idealStarts.back() + double(bit + 1 - m_idealStarts.size()) * m_unitInterval;
}

double StressedStimulus::DataUiAt(double time) const {
    const auto after = std::upper_bound(m_idealStarts.begin(), m_idealStarts.end(), time);
    if (after == m_idealStarts.begin()) return time / m_unitInterval;
    if (after == m_idealStarts.end()) {
        return double(m_idealStarts.size() - 1) + (time - m_idealStarts.back()) / m_unitInterval;
    }
    const size_t bit = size_t(after - m_idealStarts.begin()) - 1;
    return double(bit) + (time - m_idealStarts[bit]) / (*after - m_idealStarts[bit]);
}

size_t StressedStimulus::BitsNeeded(size_t unitIntervals, const StressSettings& stress) {
    const double fastest = 1.0 + std::max(stress.ppm, 0.0) * 1e-6;
    return size_t(std::ceil(double(unitIntervals) * fastest)) + 16;
}

}  // namespace linksim
