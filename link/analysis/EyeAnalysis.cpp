#include "EyeAnalysis.h"

#include "Prbs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace linksim {

namespace {
// The clock has settled once its windowed phase stays this close to where
// it ends, for at least this many windows.
const double kSettledPhaseUi = 0.1;
const size_t kSettledWindows = 8;
// How late a clock time may come, in unit intervals after its instant's
// block: a receiver keeps a few that did not fit one call for the next.
const double kLatestClockUi = 4.0;
}  // namespace

std::vector<double> SteadyStateCrossings(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval) {
    // The steady-state response to PRBS7 repeated: the impulse response
    // folded onto one period and convolved circularly with one period of
    // NRZ. It shows every edge the eye is made of.
    const size_t spui = size_t(samplesPerUi);
    const std::vector<int> pattern = Prbs(7, 127);
    const size_t period = pattern.size() * spui;
    std::vector<double> folded(period, 0.0);
    for (size_t k = 0; k < impulse.size(); ++k) folded[k % period] += impulse[k] * sampleInterval;
    std::vector<double> response(period, 0.0);
    for (size_t k = 0; k < period; ++k) {
        const double level = pattern[k / spui] ? 0.5 : -0.5;
        // (k + j) mod period, without the division: the sum runs from k to
        // the period's end, then wraps to its start.
        for (size_t j = 0; j < period - k; ++j) {
            if (folded[j] != 0.0) response[k + j] += level * folded[j];
        }
        for (size_t j = period - k; j < period; ++j) {
            if (folded[j] != 0.0) response[k + j - period] += level * folded[j];
        }
    }
    // Threshold crossings, as positions within the unit interval.
    std::vector<double> crossings;
    for (size_t k = 0; k < period; ++k) {
        const double a = response[k];
        const double b = response[(k + 1) % period];
        if ((a > 0.0) != (b > 0.0)) {
            const double position = (double(k) + a / (a - b)) / double(spui);
            crossings.push_back(position - std::floor(position));
        }
    }
    return crossings;
}

int CentreSamplingPhase(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval) {
    const size_t spui = size_t(samplesPerUi);
    std::vector<double> crossings = SteadyStateCrossings(impulse, samplesPerUi, sampleInterval);
    if (crossings.empty()) return int(spui / 2);
    std::sort(crossings.begin(), crossings.end());
    // The eye is the widest stretch of the unit interval without crossings.
    double widest = -1.0;
    double centre = 0.0;
    for (size_t i = 0; i < crossings.size(); ++i) {
        const double from = crossings[i];
        const double to = (i + 1 < crossings.size()) ? crossings[i + 1] : crossings[0] + 1.0;
        if (to - from > widest) {
            widest = to - from;
            centre = 0.5 * (from + to);
        }
    }
    return int(std::lround((centre - std::floor(centre)) * double(spui))) % samplesPerUi;
}

EyeAnalyzer::EyeAnalyzer(const EyeAnalyzerSettings& settings)
    : m_settings(settings), m_traceCapacity(std::max<size_t>(settings.traceSamples, 1)) {
    // Reserved, not filled: the ring's pages are first touched as the run
    // fills them, on the thread beside the receiver, not before its first
    // call.
    m_trace.reserve(m_traceCapacity);
}

void EyeAnalyzer::UseIdealClock(double firstInstant) {
    m_idealClock = true;
    m_firstIdealInstant = firstInstant;
    m_idealInstantCount = 0;
}

void EyeAnalyzer::AddBlock(const double* wave, size_t count, const double* clockTimes, size_t clockCount) {
    FindCrossings(wave, count);
    m_history.insert(m_history.end(), wave, wave + count);
    KeepTrace(wave, count);
    m_samplesSeen += int64_t(count);
    for (size_t i = 0; i < clockCount; ++i) {
        AddInstant(clockTimes[i] + m_settings.samplingOffset);
    }
    if (m_idealClock) {
        ExtendIdealClock(SampleTime(m_samplesSeen) + m_settings.unitInterval);
    }
    ResolveInstants();
    ResolveCrossings();
    TrimHistory();
}

void EyeAnalyzer::ExtendIdealClock(double until) {
    for (;;) {
        // From the count, not by adding up, so that rounding cannot drift.
        const double instant = m_firstIdealInstant + double(m_idealInstantCount) * m_settings.unitInterval;
        if (instant > until) {
            break;
        }
        AddInstant(instant);
        ++m_idealInstantCount;
    }
}

void EyeAnalyzer::AddInstant(double instant) {
    if (!(instant > m_lastInstant)) {
        return;  // a repeated or backward time is no new instant
    }
    m_lastInstant = instant;
    m_waitingInstants.push_back(instant);
    m_crossingInstants.push_back(instant);
    if (instant >= m_settings.measureFrom) {
        m_traceInstants.push_back(instant);
    }
    m_instantPhases.Add(instant, instant / m_settings.unitInterval);
}

void EyeAnalyzer::ResolveInstants() {
    const double dt = m_settings.sampleInterval;
    while (!m_waitingInstants.empty()) {
        const double instant = m_waitingInstants.front();
        const double position = std::max(instant / dt, 0.0);
        const int64_t index = int64_t(std::floor(position));
        if (index + 1 >= m_samplesSeen) {
            break;
        }
        const size_t local = size_t(std::max<int64_t>(index - m_historyStart, 0));
        const double fraction = position - double(index);
        const double value = m_history[local] + fraction * (m_history[local + 1] - m_history[local]);
        if (instant >= m_settings.measureFrom) {
            m_measured.push_back({instant, value});
        }
        m_waitingInstants.pop_front();
    }
}

void EyeAnalyzer::FindCrossings(const double* wave, size_t count) {
    const double threshold = m_settings.threshold;
    for (size_t i = 0; i < count; ++i) {
        const int64_t index = m_samplesSeen + int64_t(i);
        if (index == 0) {
            continue;
        }
        const double before = (i == 0) ? m_history.back() : wave[i - 1];
        const double after = wave[i];
        if ((before > threshold) == (after > threshold)) {
            continue;
        }
        const double time = SampleTime(index - 1) + m_settings.sampleInterval * (threshold - before) / (after - before);
        if (time >= m_settings.measureFrom) {
            m_crossings.push_back(time);
        }
    }
}

void EyeAnalyzer::ResolveCrossings() {
    while (!m_crossings.empty()) {
        const double crossing = m_crossings.front();
        while (m_crossingInstants.size() >= 2 && m_crossingInstants[1] <= crossing) {
            m_crossingInstants.pop_front();
        }
        if (m_crossingInstants.empty()) {
            break;
        }
        if (m_crossingInstants.front() > crossing) {
            m_crossings.pop_front();  // before the first instant: no eye to bound
            continue;
        }
        if (m_crossingInstants.size() < 2) {
            break;  // the instant after it is still to come
        }
        const double right = crossing - m_crossingInstants[0];
        const double left = m_crossingInstants[1] - crossing;
        if (m_margins.crossings == 0) {
            m_margins.right = right;
            m_margins.left = left;
        } else {
            m_margins.right = std::min(m_margins.right, right);
            m_margins.left = std::min(m_margins.left, left);
        }
        ++m_margins.crossings;
        m_crossings.pop_front();
    }
    if (m_crossings.empty()) {
        // Later crossings come after the newest sample: keep the instant
        // before that sample and all after it.
        const double newest = SampleTime(m_samplesSeen - 1);
        while (m_crossingInstants.size() >= 2 && m_crossingInstants[1] <= newest) {
            m_crossingInstants.pop_front();
        }
    }
}

ClockSettling EyeAnalyzer::Settling() const {
    ClockSettling result;
    result.clockCount = m_instantPhases.Times();
    const std::vector<ClockPhaseWindow>& windows = m_instantPhases.Windows();
    if (windows.empty()) {
        return result;
    }
    const double finalPhase = windows.back().phaseUi;
    size_t first = 0;
    for (size_t w = windows.size(); w-- > 0;) {
        if (std::fabs(windows[w].phaseUi - finalPhase) > kSettledPhaseUi) {
            first = w + 1;
            break;
        }
    }
    result.settled = windows.size() - first >= kSettledWindows;
    const size_t from = result.settled ? first : 0;
    double periodSum = 0.0;
    for (size_t w = from; w < windows.size(); ++w) {
        periodSum += windows[w].period;
    }
    result.meanPeriod = periodSum / double(windows.size() - from);
    result.settleTime = windows[from].time;
    result.finalPhaseUi = finalPhase - std::floor(finalPhase);
    return result;
}

void EyeAnalyzer::KeepTrace(const double* wave, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int64_t index = m_samplesSeen + int64_t(i);
        if (SampleTime(index) < m_settings.measureFrom) {
            continue;
        }
        if (m_trace.size() < m_traceCapacity) {
            m_trace.push_back(wave[i]);
        } else {
            m_trace[m_traceNext] = wave[i];
        }
        m_traceNext = (m_traceNext + 1) % m_traceCapacity;
        m_traceFill = std::min(m_traceFill + 1, m_traceCapacity);
        m_traceEndIndex = index + 1;
    }
    const double keepFrom = TraceStartTime() - 2.0 * m_settings.unitInterval;
    while (!m_traceInstants.empty() && m_traceInstants.front() < keepFrom) {
        m_traceInstants.pop_front();
    }
}

double EyeAnalyzer::TraceStartTime() const { return SampleTime(m_traceEndIndex - int64_t(m_traceFill)); }

std::vector<double> EyeAnalyzer::TraceSamples() const {
    std::vector<double> samples(m_traceFill);
    const size_t oldest = (m_traceNext + m_traceCapacity - m_traceFill) % m_traceCapacity;
    // The ring from its oldest sample to its end, then from its start.
    const size_t first = std::min(m_traceFill, m_traceCapacity - oldest);
    std::copy(m_trace.begin() + long(oldest), m_trace.begin() + long(oldest + first), samples.begin());
    std::copy(m_trace.begin(), m_trace.begin() + long(m_traceFill - first), samples.begin() + long(first));
    return samples;
}

std::vector<double> EyeAnalyzer::TraceInstants() const {
    const double start = TraceStartTime();
    const double end = SampleTime(m_traceEndIndex);
    std::vector<double> instants;
    for (double instant : m_traceInstants) {
        if (instant >= start - m_settings.unitInterval && instant <= end + m_settings.unitInterval) {
            instants.push_back(instant);
        }
    }
    return instants;
}

void EyeAnalyzer::TrimHistory() {
    // A receiver may deliver a clock time with a later block (one whose
    // clock_times array was full): samples up to kLatestClockUi unit
    // intervals back stay at hand for its instant.
    const int64_t lateSamples = int64_t(std::ceil(kLatestClockUi * m_settings.unitInterval / m_settings.sampleInterval));
    int64_t keepFrom = m_samplesSeen - 1 - lateSamples;
    if (!m_waitingInstants.empty()) {
        const int64_t needed = int64_t(std::floor(std::max(m_waitingInstants.front(), 0.0) / m_settings.sampleInterval));
        keepFrom = std::min(keepFrom, needed);
    }
    keepFrom = std::max(keepFrom, m_historyStart);
    m_history.erase(m_history.begin(), m_history.begin() + (keepFrom - m_historyStart));
    m_historyStart = keepFrom;
}

}  // namespace linksim
