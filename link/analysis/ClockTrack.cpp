#include "ClockTrack.h"

#include <algorithm>
#include <cmath>

namespace linksim {

ClockTrack TrackClock(const std::vector<double>& clockTimes, const std::function<double(double)>& dataUiAt,
                      double allowanceUi) {
    ClockTrack track;
    double previous = 0.0;
    double unwrapped = 0.0;
    double sum = 0.0;
    size_t inWindow = 0;
    double windowStart = 0.0;
    for (size_t i = 0; i < clockTimes.size(); ++i) {
        const double position = dataUiAt(clockTimes[i]);
        const double phase = position - std::floor(position);
        if (i == 0) {
            unwrapped = phase;
        } else {
            double step = phase - previous;
            step -= std::floor(step + 0.5);  // the shorter way round
            unwrapped += step;
        }
        previous = phase;
        if (inWindow == 0) windowStart = clockTimes[i];
        sum += unwrapped;
        if (++inWindow == kClockWindowPeriods) {
            track.windows.push_back({windowStart, sum / double(inWindow)});
            sum = 0.0;
            inWindow = 0;
        }
    }
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
