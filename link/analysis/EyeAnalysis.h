// What the receiver's output looks like on the recovered clock: the value
// at every sampling instant, the threshold crossings around the instants
// (the eye's width), how the clock settles, and the last stretch of the
// waveform for the eye picture. Fed block by block, as the receiver
// produces its output, so that long runs need no whole-waveform copy.
#ifndef LINK_EYE_ANALYSIS_H
#define LINK_EYE_ANALYSIS_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "ClockTrack.h"

namespace linksim {

// The output's value at one sampling instant.
struct InstantSample {
    double time;
    double value;
};

struct EyeAnalyzerSettings {
    double sampleInterval = 0.0;
    double unitInterval = 0.0;
    // Instants are this long after each clock time (IBIS-AMI samples half a
    // unit interval after the clock edge; a retimed output is read at it).
    double samplingOffset = 0.0;
    // Nothing before this time counts (the bits a model asks to ignore).
    double measureFrom = 0.0;
    double threshold = 0.0;
    // The eye picture keeps the last this many output samples.
    size_t traceSamples = size_t(1) << 19;
};

// Where the recovered clock settled: its phase against the bit grid,
// averaged over windows of clock periods, stays near its final value from
// settleTime on.
struct ClockSettling {
    size_t clockCount = 0;
    bool settled = false;
    double settleTime = 0.0;       // seconds; valid when settled
    double meanPeriod = 0.0;       // seconds, over the settled part (or all)
    double finalPhaseUi = 0.0;     // of the instants in the bit grid, 0 .. 1
};

// The horizontal opening at the threshold: crossings after an instant
// bound the eye on the right, crossings before the next one on the left.
struct EyeWidthMargins {
    size_t crossings = 0;
    double right = 0.0;  // smallest crossing time minus the instant before it
    double left = 0.0;   // smallest next instant minus the crossing time
    double Width() const { return right + left; }
};

// For a link given by its impulse response (1/s), the sample within the unit
// interval (0 .. samplesPerUi-1) at the horizontal centre of its eye: the
// middle of the widest crossing-free stretch of the unit interval in its
// steady-state response to PRBS7. Where a receiver reports no clock, this is
// where it is sampled.
int CentreSamplingPhase(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval);

// The threshold crossings of that steady-state response to PRBS7, as
// positions within the unit interval (0 .. 1).
std::vector<double> SteadyStateCrossings(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval);

class EyeAnalyzer {
public:
    explicit EyeAnalyzer(const EyeAnalyzerSettings& settings);

    // The next count output samples, which follow the previous ones without a
    // gap, and the clock times reported with them (absolute, increasing).
    void AddBlock(const double* wave, size_t count, const double* clockTimes, size_t clockCount);
    // Lays down instants of an ideal clock instead: one every unit interval,
    // the first at firstInstant, for receivers that report no clock.
    void UseIdealClock(double firstInstant);

    // Valid at any time; instants whose samples have not arrived yet wait.
    const std::vector<InstantSample>& MeasuredSamples() const { return m_measured; }
    const EyeWidthMargins& WidthMargins() const { return m_margins; }
    ClockSettling Settling() const;

    // The last stretch of measured output (its first sample's time and the
    // samples) and the instants that fall in it.
    double TraceStartTime() const;
    std::vector<double> TraceSamples() const;
    std::vector<double> TraceInstants() const;

private:
    void AddInstant(double instant);
    void ExtendIdealClock(double until);
    void ResolveInstants();
    void FindCrossings(const double* wave, size_t count);
    void ResolveCrossings();
    void KeepTrace(const double* wave, size_t count);
    void TrimHistory();
    double SampleTime(int64_t index) const { return double(index) * m_settings.sampleInterval; }

    EyeAnalyzerSettings m_settings;

    // Output samples still needed, from absolute index m_historyStart on.
    std::vector<double> m_history;
    int64_t m_historyStart = 0;
    int64_t m_samplesSeen = 0;

    std::deque<double> m_waitingInstants;  // known instants whose samples are still to come
    std::vector<InstantSample> m_measured;

    bool m_idealClock = false;
    double m_firstIdealInstant = 0.0;
    int64_t m_idealInstantCount = 0;

    // Crossings wait for the instant after them; instants are remembered
    // until every crossing before them is placed.
    std::deque<double> m_crossings;
    std::deque<double> m_crossingInstants;
    double m_lastInstant = -1.0;
    EyeWidthMargins m_margins;

    // Clock settling, tracked from the first instant on.
    ClockPhaseWindows m_instantPhases;

    // The eye picture's ring of the latest measured samples.
    size_t m_traceCapacity;
    std::vector<double> m_trace;  // a ring of m_traceCapacity once full
    size_t m_traceNext = 0;
    int64_t m_traceEndIndex = 0;  // absolute index after the newest kept sample
    size_t m_traceFill = 0;
    std::deque<double> m_traceInstants;
};

}  // namespace linksim

#endif
