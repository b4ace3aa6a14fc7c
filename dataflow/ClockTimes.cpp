#include "ClockTimes.h"

#include "DFErrorHandler.h"

namespace Tessel {

bool ClockTimes::Initialize() {
    // "Not positive" also refuses a not-a-number interval, whose times would
    // otherwise pass for valid (non-negative) clock times downstream.
    if (!(SampleInterval > 0.0)) {
        DFErrorHandler::PostError(this, "SampleInterval must be larger than 0.");
        return false;
    }
    m_iPreviousInput = -1;
    m_iSampleCount = 0;
    return true;
}

bool ClockTimes::IsSelectedEdge(int previous, int current) const {
    switch (EdgeSelect) {
        case RisingEdges:
            return previous <= 0 && current > 0;
        case FallingEdges:
            return previous > 0 && current <= 0;
        default:
            return false;
    }
}

bool ClockTimes::Run() {
    const int level = ClockInput[0];
    double time = -1.0;
    // The first firing has no previous level, so it never reports.
    if (m_iSampleCount != 0 && IsSelectedEdge(m_iPreviousInput, level)) {
        time = static_cast<double>(m_iSampleCount) * SampleInterval + TimeOffset;
    }
    TimeOutput[0] = time;
    m_iPreviousInput = level;
    ++m_iSampleCount;
    return true;
}

bool ClockTimes::Finalize() { return true; }

}  // namespace Tessel
