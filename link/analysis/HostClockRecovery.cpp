#include "HostClockRecovery.h"

#include <algorithm>
#include <cmath>

namespace linksim {

HostClockRecovery::HostClockRecovery(const HostClockSettings& settings)
    : m_settings(settings), m_nextInstant(settings.firstInstant), m_previousInstant(settings.firstInstant) {}

bool HostClockRecovery::Readable(double time) const {
    const double position = time / m_settings.sampleInterval;
    return int64_t(std::floor(position)) + 1 < m_historyStart + int64_t(m_history.size());
}

double HostClockRecovery::ValueAt(double time) const {
    const double position = std::max(0.0, time / m_settings.sampleInterval);
    const int64_t index = std::max<int64_t>(int64_t(std::floor(position)), m_historyStart);
    const double share = std::min(1.0, std::max(0.0, position - double(index)));
    const size_t at = size_t(index - m_historyStart);
    return m_history[at] + share * (m_history[at + 1] - m_history[at]);
}

void HostClockRecovery::Process(const double* wave, size_t count, std::vector<double>& instants) {
    m_history.insert(m_history.end(), wave, wave + count);
    const double ui = m_settings.unitInterval;
    while (Readable(m_nextInstant)) {
        const double instant = m_nextInstant;
        const bool bit = ValueAt(instant) > m_settings.threshold;
        double vote = 0.0;
        if (m_havePrevious && bit != m_previousBit) {
            const double edge = instant - m_settings.edgeLeadUi * (instant - m_previousInstant);
            const bool edgeShowsNewBit = (ValueAt(edge) > m_settings.threshold) == bit;
            vote = edgeShowsNewBit ? -1.0 : 1.0;  // late: come earlier; early: later
            m_frequency += vote * m_settings.frequencyStepUi;
            m_frequency = std::max(-m_settings.frequencyLimitUi, std::min(m_settings.frequencyLimitUi, m_frequency));
        }
        instants.push_back(instant);
        m_previousInstant = instant;
        m_previousBit = bit;
        m_havePrevious = true;
        m_nextInstant = instant + ui * (1.0 + m_frequency + vote * m_settings.phaseStepUi);
    }
    Trim();
}

void HostClockRecovery::Trim() {
    // The earliest sample still needed is the edge before the next instant.
    const double earliest = m_previousInstant - m_settings.unitInterval;
    const int64_t keepFrom = std::max<int64_t>(int64_t(std::floor(earliest / m_settings.sampleInterval)) - 1, 0);
    if (keepFrom > m_historyStart + int64_t(m_history.size() / 2) && keepFrom > m_historyStart) {
        const int64_t drop = std::min<int64_t>(keepFrom - m_historyStart, int64_t(m_history.size()));
        m_history.erase(m_history.begin(), m_history.begin() + drop);
        m_historyStart += drop;
    }
}

}  // namespace linksim
