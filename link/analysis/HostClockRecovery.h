// The host's own clock recovery, for receivers that report no clock times
// (or have no AMI_GetWave): a bang-bang loop of the usual kind. At every
// unit interval it reads the waveform at the data instant and half a unit
// interval before it (the edge); at a data transition, an edge reading that
// already shows the new bit means the clock is late, one that still shows
// the old bit means it is early. Each vote moves the phase by a fixed step
// and nudges the loop's frequency, so the clock follows data-rate offsets
// (the frequency term) and slow jitter (the phase steps), dithering by one
// phase step at most once locked. It starts where the caller says the
// centre of the eye is; values between samples are read linearly.
#ifndef LINK_ANALYSIS_HOST_CLOCK_RECOVERY_H
#define LINK_ANALYSIS_HOST_CLOCK_RECOVERY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace linksim {

struct HostClockSettings {
    double sampleInterval = 0.0;
    double unitInterval = 0.0;
    double firstInstant = 0.0;  // the first data instant, at the eye's centre
    double threshold = 0.0;
    // How far before the data instant the edge is read, in unit intervals:
    // the loop settles with this reading on the crossings' median.
    double edgeLeadUi = 0.5;
    double phaseStepUi = 1.0 / 128.0;        // per transition
    // A bang-bang loop hunts a few phase steps around where it settles:
    // that much movement is its own, no loss of lock.
    double HuntingUi() const { return 4.0 * phaseStepUi; }
    double frequencyStepUi = 1.0 / 65536.0;  // of the period, per transition
    double frequencyLimitUi = 0.01;          // the loop's period stays within 1 % of the bit rate
};

class HostClockRecovery {
public:
    explicit HostClockRecovery(const HostClockSettings& settings);

    // The next count output samples, following the earlier ones without a
    // gap; appends the data instants (absolute seconds) that these samples
    // complete.
    void Process(const double* wave, size_t count, std::vector<double>& instants);

    // The loop's period offset from the unit interval, in unit intervals.
    double FrequencyOffsetUi() const { return m_frequency; }

private:
    double ValueAt(double time) const;
    bool Readable(double time) const;
    void Trim();

    HostClockSettings m_settings;
    std::vector<double> m_history;  // samples from absolute index m_historyStart on
    int64_t m_historyStart = 0;
    double m_nextInstant;
    double m_previousInstant;
    bool m_havePrevious = false;
    bool m_previousBit = false;
    double m_frequency = 0.0;
};

}  // namespace linksim

#endif
