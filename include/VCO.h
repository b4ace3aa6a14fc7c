// A sampled voltage-controlled oscillator. Each firing integrates the control
// input into a phase and outputs
//     Amplitude * cos(2 pi FreeRunningFrequency T n + phase)
// and a logic clock that is 1 while that waveform is positive.
#ifndef TESSEL_VCO_H
#define TESSEL_VCO_H

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
};

}  // namespace Tessel

#endif
