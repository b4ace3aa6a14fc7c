#include "ClockTrack.h"

#include <algorithm>
#include <cmath>

namespace linksim {

void ClockPhaseWindows::Add(double time, double gridPosition) {
    const double phase = gridPosition - std::floor(gridPosition);
    if (m_times == 0) {
        m_unwrappedPhase = phase;
    } else {
        double step = phase - m_previousPhase;
        step -= std::floor(step + 0.5);  // the shorter way round
        m_unwrappedPhase += step;
    }
    m_previousPhase = phase;
    ++m_times;
    if (m_inWindow == 0) m_windowStart = time;
    m_windowPhaseSum += m_unwrappedPhase;
    if (++m_inWindow == kClockWindowPeriods) {
        const double period = (time - m_windowStart) / double(kClockWindowPeriods - 1);
        m_windows.push_back({m_windowStart, m_windowPhaseSum / double(kClockWindowPeriods), period});
        m_windowPhaseSum = 0.0;
        m_inWindow = 0;
    }
}

ClockTrack TrackClock(const std::vector<double>& clockTimes, const std::function<double(double)>& dataUiAt,
                      double allowanceUi) {
    ClockTrack track;
    ClockPhaseWindows phases;
    for (double time : clockTimes) phases.Add(time, dataUiAt(time));
    track.windows = phases.Windows();
    if (track.windows.empty()) return track;

    auto span = [&](size_t from, size_t to) {
        double low = track.windows[from].phaseUi, high = low;
        for (size_t k = from; k < to; ++k) {
            low = std::min(low, track.windows[k].phaseUi);
            high = std::max(high, track.windows[k].phaseUi);
        }
        return high - low;
    };
    const size_t count = track.windows.size();
    track.movedUi = span(0, count);
    // Locked from the end of the last stretch of kLockWindows windows in
    // which the phase moved more than kLockHoldUi: slow wander after that
    // is wander, not acquisition.
    size_t lockWindow = 0;
    for (size_t k = 0; k + kLockWindows < count; ++k) {
        if (span(k, k + kLockWindows + 1) > kLockHoldUi + allowanceUi) lockWindow = k + kLockWindows + 1;
    }
    track.locked = lockWindow < count;
    if (track.locked) track.lockTime = track.windows[lockWindow].time;
    track.wanderUi = span(track.locked ? lockWindow : 0, count);
    return track;
}

}  // namespace linksim
