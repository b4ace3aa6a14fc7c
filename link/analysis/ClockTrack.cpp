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
    double previousPosition = 0.0;
    for (size_t i = 0; i < clockTimes.size(); ++i) {
        const double position = dataUiAt(clockTimes[i]);
        phases.Add(clockTimes[i], position);
        const double step = std::round(position - previousPosition);
        if (i > 0 && step >= 2.0) track.lostTimes += size_t(step) - 1;
        previousPosition = position;
    }
    track.windows = phases.Windows();
    track.bandUi = kLockHoldUi + allowanceUi;
    if (track.windows.empty()) return track;

    // Locked from the first window after which every window stays within
    // half the band of where the clock ends (the mean of its last
    // kLockWindows windows): the lock waits for the last large move to end,
    // however slowly it was made.
    const size_t count = track.windows.size();
    const size_t tail = std::min(count, kLockWindows);
    double final = 0.0;
    for (size_t k = count - tail; k < count; ++k) final += track.windows[k].phaseUi / double(tail);
    size_t lockWindow = count;
    while (lockWindow > 0 && std::fabs(track.windows[lockWindow - 1].phaseUi - final) <= 0.5 * track.bandUi) {
        --lockWindow;
    }
    track.locked = lockWindow + kLockWindows <= count;
    if (track.locked) track.lockTime = track.windows[lockWindow].time;
    auto span = [&track, count](size_t from) {
        double low = track.windows[from].phaseUi, high = low;
        for (size_t k = from; k < count; ++k) {
            low = std::min(low, track.windows[k].phaseUi);
            high = std::max(high, track.windows[k].phaseUi);
        }
        return high - low;
    };
    track.movedUi = span(0);
    track.wanderUi = span(track.locked ? lockWindow : 0);
    return track;
}

}  // namespace linksim
