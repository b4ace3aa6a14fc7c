// The recovered clock against the data's unit-interval grid over a run:
// its phase averaged over windows of clock periods, when it locked, and how
// far it wandered after that.
#ifndef LINK_ANALYSIS_CLOCK_TRACK_H
#define LINK_ANALYSIS_CLOCK_TRACK_H

#include <cstddef>
#include <functional>
#include <vector>

namespace linksim {

struct ClockPhaseWindow {
    double time = 0.0;     // of the window's first clock time, seconds
    double phaseUi = 0.0;  // mean phase in the data's grid, unwrapped
    double period = 0.0;   // mean spacing of the window's clock times, seconds
};

const size_t kClockWindowPeriods = 64;

// A clock's phase against a bit grid, taken one clock time at a time:
// unwrapped the shorter way round from each time to the next, and averaged
// over windows of kClockWindowPeriods times.
class ClockPhaseWindows {
public:
    // gridPosition: where the time falls in the grid, in bits.
    void Add(double time, double gridPosition);
    size_t Times() const { return m_times; }
    const std::vector<ClockPhaseWindow>& Windows() const { return m_windows; }

private:
    size_t m_times = 0;
    double m_previousPhase = 0.0;
    double m_unwrappedPhase = 0.0;
    double m_windowPhaseSum = 0.0;
    double m_windowStart = 0.0;
    size_t m_inWindow = 0;
    std::vector<ClockPhaseWindow> m_windows;
};

struct ClockTrack {
    std::vector<ClockPhaseWindow> windows;
    bool locked = false;
    double lockTime = 0.0;       // seconds; valid when locked
    double movedUi = 0.0;        // peak to peak over the whole run
    double wanderUi = 0.0;       // peak to peak from the lock on (all of it when never locked)
    // Clock times missing against the data's grid: a step of two or more
    // bits between one time and the next lacks all but one of them.
    size_t lostTimes = 0;
    double bandUi = 0.0;  // the lock's band, with the allowance
};

// dataUiAt maps a time to the data's bit grid in bits (t / UI for a plain
// stimulus). The clock is locked from the first window after which its
// phase stays within a band of kLockHoldUi around where it ends, to the end
// of the run: after its last large move, however slow. It never locked when
// fewer than kLockWindows windows stay in the band. allowanceUi widens the
// band by movement the stimulus explains (a sinusoidal jitter the clock
// follows or not).
ClockTrack TrackClock(const std::vector<double>& clockTimes, const std::function<double(double)>& dataUiAt,
                      double allowanceUi = 0.0);

const size_t kLockWindows = 16;
const double kLockHoldUi = 0.05;

}  // namespace linksim

#endif
