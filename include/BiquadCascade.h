// A chain of second-order sections (biquads), one sample per firing.
//
// Section i has six coefficients N0, N1, N2, D0, D1, D2:
//   H(z) = (N0 + N1 z^-1 + N2 z^-2) / (D0 + D1 z^-1 + D2 z^-2),
// and runs in direct form II. Output 0 carries the last section's output,
// output 1 the one before it, and so on for as many outputs as the bus has.
#ifndef TESSEL_BIQUAD_CASCADE_H
#define TESSEL_BIQUAD_CASCADE_H

#include "CircularBuffer.h"
#include "DFModel.h"
#include "TesselExport.h"

namespace Tessel {

class TESSEL_EXPORT BiquadCascade : public DFModel {
public:
    static constexpr int kCoefficientsPerBiquad = 6;
    // Positions of the coefficients within a section.
    enum CoefficientIndex { kN0 = 0, kN1, kN2, kD0, kD1, kD2 };

    BiquadCascade();  // out of line, so that the transmitter library can publish it
    ~BiquadCascade() override;
    // The section states are owned (and the output bus cannot be shared):
    // a copy would free them twice.
    BiquadCascade(const BiquadCascade&) = delete;
    BiquadCascade& operator=(const BiquadCascade&) = delete;

    // Validates the coefficients, normalises every section to D0 = 1 in
    // place and clears the section states.
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    double* Coefficients = nullptr;  // 6 per section, set by the owner
    int NumCoefficients = 0;
    CircularBuffer<double> Input;
    CircularBufferBusT<CircularBuffer<double>> Outputs;
    double* State1 = nullptr;  // w[n-1] of each section
    double* State2 = nullptr;  // w[n-2] of each section
    int NumBiquads = 0;

private:
    bool NormaliseSections();
    void ResetStates();
};

}  // namespace Tessel

#endif
