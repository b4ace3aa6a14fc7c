#include "VCO.h"

#include <cmath>

#include "DFErrorHandler.h"

namespace Tessel {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

VCO::VCO() {}
VCO::VCO(const VCO& other) = default;
VCO& VCO::operator=(const VCO& other) = default;
VCO::~VCO() {}

bool VCO::Initialize() {
    m_dPhase = InitialPhase;
    m_iSampleCount = 0;
    // Written as "not positive" so that a not-a-number interval is refused
    // too instead of turning every output into not-a-number.
    if (!(SampleInterval > 0.0)) {
        DFErrorHandler::PostError(this, "SampleInterval must be a positive number.");
        return false;
    }
    return true;
}

bool VCO::Run() {
    const double T = SampleInterval;
    // The control of this firing already moves this firing's output.
    m_dPhase += ControlInput[0] * (kTwoPi * Sensitivity * T);
    // The carrier comes from the counter on every firing rather than being
    // accumulated, so it does not drift with the number of firings.
    const double carrier = kTwoPi * FreeRunningFrequency * T * static_cast<double>(m_iSampleCount);
    const double signal = Amplitude * std::cos(carrier + m_dPhase);
    SignalOutput[0] = signal;
    ClockOutput[0] = signal > 0.0 ? 1 : 0;
    ++m_iSampleCount;
    return true;
}

bool VCO::Finalize() { return true; }

}  // namespace Tessel
