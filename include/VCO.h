// A sampled voltage-controlled oscillator. Each firing integrates the control
// input into a phase and outputs
//     Amplitude * cos(2 pi FreeRunningFrequency T n + phase)
// and a logic clock that is 1 while that waveform is positive.
#ifndef TESSEL_VCO_H
#define TESSEL_VCO_H

#include <cmath>
#include <cstdint>

#include "CircularBuffer.h"
#include "DFModel.h"
#include "TesselExport.h"

namespace Tessel {

class TESSEL_EXPORT VCO : public DFModel {
public:
    VCO();
    VCO(const VCO& other);
    VCO& operator=(const VCO& other);
    ~VCO() override;

    CircularBuffer<double> ControlInput;
    CircularBuffer<double> SignalOutput;
    CircularBuffer<int> ClockOutput;

    double SampleInterval = 1e-10;        // seconds per firing
    double Amplitude = 1.0;               // peak of the waveform
    double FreeRunningFrequency = 1e9;    // Hz with zero control
    double Sensitivity = 1.0;             // Hz per unit of control
    double InitialPhase = 0.0;            // radians at the first firing

    double m_dPhase = 0.0;                // accumulated control phase, radians
    uint64_t m_iSampleCount = 0;          // firings since Initialize

    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    // The firing of Run without its waveform sample, for an owner that reads
    // the waveform only at some firings: the clock is written as Run writes
    // it, and Waveform() forms the sample Run would have written, bit for
    // bit, when asked. The cosine is evaluated only where the sign of the
    // waveform cannot be told safely from its argument.
    bool RunClockOnly();
    // The waveform sample of the last firing, and of the one before it
    // (which exists from the second firing after Initialize on).
    double Waveform() const { return Amplitude * std::cos(m_dArgument); }
    double PreviousWaveform() const { return Amplitude * std::cos(m_dPreviousArgument); }
    bool HasPreviousWaveform() const { return m_iSampleCount > 1; }

private:
    // The argument of the cosine at firing n, and the clock that follows from
    // a waveform sample.
    double ArgumentOfThisFiring();
    static int ClockOf(double signal) { return signal > 0.0 ? 1 : 0; }
    // The clock of Amplitude * cos(argument) without the cosine where the
    // argument lies safely away from the zeros of the cosine; otherwise, or
    // for an amplitude whose product could underflow, -1.
    int ClockWithoutCosine(double argument);

    double m_dArgument = 0.0;          // of the last firing
    double m_dPreviousArgument = 0.0;  // of the firing before it
    double m_dWholeTurns = 0.0;        // below the last argument the clock was told from
};

}  // namespace Tessel

#endif
