// Clock-times recorder: on each selected edge of a logic clock it outputs the
// time of the sample at which the new level is first seen (counted from the
// first firing at time 0, plus TimeOffset); on every other firing -1.0.
#ifndef TESSEL_CLOCK_TIMES_H
#define TESSEL_CLOCK_TIMES_H

#include <cstdint>

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

class ClockTimes : public DFModel {
public:
    enum Edge { FallingEdges = 0, RisingEdges = 1 };  // any other value reports nothing

    CircularBuffer<int> ClockInput;
    CircularBuffer<double> TimeOutput;

    double SampleInterval = 1e-10;  // seconds per firing
    double TimeOffset = 0.0;        // added to every reported time
    int EdgeSelect = FallingEdges;

    int m_iPreviousInput = -1;      // clock level of the previous firing
    uint64_t m_iSampleCount = 0;    // firings since Initialize

    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    // For an owner that knows the firing's clock level: a level equal to the
    // previous firing's (after the first firing) is no edge, so the firing
    // only counts itself and outputs -1.0. QuietWith says whether it is such
    // a firing; CountFiringWithoutEdge does its work and returns its output,
    // without writing the port.
    bool QuietWith(int level) const { return m_iSampleCount != 0 && level == m_iPreviousInput; }
    double CountFiringWithoutEdge() {
        ++m_iSampleCount;
        return -1.0;
    }

private:
    bool IsSelectedEdge(int previous, int current) const;
};

}  // namespace Tessel

#endif
