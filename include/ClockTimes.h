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

    // The firing for an owner that knows its clock level (the item at
    // ClockInput): the same as Run, with the time it outputs in `time`. A
    // level equal to the previous firing's (after the first firing) is no
    // edge, so the firing only counts itself, without writing the port.
    bool FireWith(int level, double& time) {
        if (m_iSampleCount != 0 && level == m_iPreviousInput) {
            ++m_iSampleCount;
            time = -1.0;
            return true;
        }
        const bool ok = ClockTimes::Run();
        time = TimeOutput[0];
        return ok;
    }

private:
    bool IsSelectedEdge(int previous, int current) const;
};

}  // namespace Tessel

#endif
