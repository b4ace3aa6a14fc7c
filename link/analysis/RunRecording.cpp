#include "RunRecording.h"

#include <algorithm>
#include <cmath>

namespace linksim {

RunRecorder::RunRecorder(double sampleInterval, double keepFrom, size_t maxSamples)
    : m_sampleInterval(sampleInterval),
      m_firstKept(size_t(std::max(0.0, std::floor(keepFrom / sampleInterval)))),
      m_maxSamples(maxSamples) {}

void RunRecorder::Add(size_t firstSample, const double* wave, size_t count, const double* clockTimes,
                      size_t clockCount) {
    m_clockTimes.insert(m_clockTimes.end(), clockTimes, clockTimes + clockCount);
    const size_t end = firstSample + count;
    if (end <= m_firstKept) return;
    const size_t from = std::max(firstSample, m_firstKept);
    // Samples before the first kept one that a late start skipped hold nothing.
    if (m_wave.empty() && from > m_firstKept) m_firstKept = from;
    size_t take = end - from;
    if (m_wave.size() + take > m_maxSamples) {
        take = m_maxSamples - m_wave.size();
        m_truncated = true;
    }
    const double* kept = wave + (from - firstSample);
    m_wave.resize(m_wave.size() + take);
    std::transform(kept, kept + take, m_wave.end() - long(take), [](double value) { return float(value); });
}

}  // namespace linksim
