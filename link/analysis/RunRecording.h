// What a run keeps for its margins and history: every clock time the
// receiver reported, and its output from just before the measured bits on
// (as float: margins need no more), up to a limit.
#ifndef LINK_ANALYSIS_RUN_RECORDING_H
#define LINK_ANALYSIS_RUN_RECORDING_H

#include <cstddef>
#include <utility>
#include <vector>

namespace linksim {

class RunRecorder {
public:
    // Output before keepFrom (seconds) is not kept, nor more than maxSamples of it.
    RunRecorder(double sampleInterval, double keepFrom, size_t maxSamples);

    // The output samples from absolute index firstSample on, in order, and
    // the clock times reported with them.
    void Add(size_t firstSample, const double* wave, size_t count, const double* clockTimes, size_t clockCount);

    const std::vector<double>& ClockTimes() const { return m_clockTimes; }
    double WaveStart() const { return double(m_firstKept) * m_sampleInterval; }
    const std::vector<float>& Wave() const { return m_wave; }
    // Hands the kept output over instead of copying it, keeping none.
    std::vector<float> TakeWave() { return std::move(m_wave); }
    bool Truncated() const { return m_truncated; }

private:
    double m_sampleInterval;
    size_t m_firstKept;
    size_t m_maxSamples;
    bool m_truncated = false;
    std::vector<double> m_clockTimes;
    std::vector<float> m_wave;
};

}  // namespace linksim

#endif
