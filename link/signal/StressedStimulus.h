// The host's stimulus: the bits as NRZ levels of +-0.5 V, with the
// transmitter's jitter and data rate applied to the edge times.
//
// Each sample holds the mean of the ideal waveform over its sample interval
// [k dt, (k+1) dt): an edge inside a sample leaves the fraction of the step
// that lies after it. That is a step box-filtered over one sample, so an
// edge moved by a tenth of a picosecond moves the waveform's crossing by
// exactly as much, at any sample rate; without stress every edge falls on a
// sample boundary and the levels are those of plain NRZ.
#ifndef LINK_SIGNAL_STRESSED_STIMULUS_H
#define LINK_SIGNAL_STRESSED_STIMULUS_H

#include <cstddef>
#include <vector>

#include "Stress.h"

namespace linksim {

class StressedStimulus {
public:
    // bits must outlive the stimulus; past their end the last level holds.
    StressedStimulus(const std::vector<int>& bits, double unitInterval, int samplesPerUi,
                     const StressSettings& stress);

    // The next count samples, following the previous ones.
    void Fill(double* out, size_t count);

    // Where bit n starts without the jitter (rate offset and spread alone),
    // and its inverse: the data's unit-interval grid, in bits, at a time.
    // Both valid for bits already reached by Fill.
    double IdealStart(size_t bit) const;
    double DataUiAt(double time) const;

    // Bits a stimulus of this many unit intervals consumes, at the highest
    // data rate the settings reach, with room to spare.
    static size_t BitsNeeded(size_t unitIntervals, const StressSettings& stress);

private:
    // Ideal start of the next bit and the jittered edge before it.
    void AdvanceEdge();
    double Jitter(double idealTime);
    double RateFactor(double time) const;

    const std::vector<int>& m_bits;
    double m_unitInterval;
    double m_sampleInterval;
    int m_samplesPerUi;
    StressSettings m_stress;
    NormalSource m_random;
    NormalSource m_deterministic;

    std::vector<double> m_idealStarts;  // of every bit reached so far
    double m_idealSamples = 0.0;        // the last ideal start, in samples
    size_t m_nextBit = 1;               // the bit whose edge is next
    double m_nextEdge = 0.0;            // where it starts in samples, jitter included
    double m_level = 0.0;
    size_t m_nextSample = 0;
};

}  // namespace linksim

#endif
