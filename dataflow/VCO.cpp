#include "VCO.h"

#include <cmath>
#include <cstdint>
#include <limits>

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
    m_dArgument = 0.0;
    m_dPreviousArgument = 0.0;
    m_dWholeTurns = 0.0;
    // Written as "not positive" so that a not-a-number interval is refused
    // too instead of turning every output into not-a-number.
    if (!(SampleInterval > 0.0)) {
        DFErrorHandler::PostError(this, "SampleInterval must be a positive number.");
        return false;
    }
    return true;
}

bool VCO::Run() {
    const double signal = Amplitude * std::cos(ArgumentOfThisFiring());
    SignalOutput[0] = signal;
    ClockOutput[0] = ClockOf(signal);
    return true;
}

bool VCO::RunClockOnly() {
    const double argument = ArgumentOfThisFiring();
    const int clock = ClockWithoutCosine(argument);
    ClockOutput[0] = clock >= 0 ? clock : ClockOf(Amplitude * std::cos(argument));
    return true;
}

double VCO::ArgumentOfThisFiring() {
    const double T = SampleInterval;
    // The control of this firing already moves this firing's output.
    m_dPhase += ControlInput[0] * (kTwoPi * Sensitivity * T);
    // The carrier comes from the counter on every firing rather than being
    // accumulated, so it does not drift with the number of firings.
    const double carrier = kTwoPi * FreeRunningFrequency * T * static_cast<double>(m_iSampleCount);
    ++m_iSampleCount;
    m_dPreviousArgument = m_dArgument;
    m_dArgument = carrier + m_dPhase;
    return m_dArgument;
}

// The argument is reduced by the whole turns below it, in ordinary double
// arithmetic. For arguments below kLargestReduced radians that reduction is
// off by less than 1e-7 rad, so a reduced argument more than kZeroMargin
// from a zero of the cosine has a cosine of at least 9e-7 in magnitude, whose
// sign the library's cosine (within an ulp) gets right. Closer, larger or
// not a number: -1, and the owner takes the cosine itself. The whole turns
// are kept from firing to firing and moved on only when the argument leaves
// its turn, so that the usual firing has no division or rounding to wait for.
int VCO::ClockWithoutCosine(double argument) {
    const double kLargestReduced = 1e8;
    const double kZeroMargin = 1e-6;
    const double kSmallestAmplitude = 1e-200;  // the product cannot underflow
    const double kHalfPi = kTwoPi / 4.0;
    if (!(std::fabs(argument) < kLargestReduced) || !(Amplitude >= kSmallestAmplitude) ||
        !(Amplitude <= std::numeric_limits<double>::max())) {
        return -1;
    }
    double withinTurn = argument - m_dWholeTurns * kTwoPi;
    if (!(withinTurn >= 0.0 && withinTurn < kTwoPi)) {
        m_dWholeTurns = std::floor(argument / kTwoPi);
        withinTurn = argument - m_dWholeTurns * kTwoPi;  // [0, 2 pi) up to the error
    }
    // The cosine is zero at pi / 2 and 3 pi / 2, and positive outside them.
    const bool nearZero = std::fabs(withinTurn - kHalfPi) <= kZeroMargin ||
                          std::fabs(withinTurn - 3.0 * kHalfPi) <= kZeroMargin;
    if (nearZero) {
        return -1;
    }
    return withinTurn < kHalfPi || withinTurn > 3.0 * kHalfPi ? 1 : 0;
}

bool VCO::Finalize() { return true; }

}  // namespace Tessel
