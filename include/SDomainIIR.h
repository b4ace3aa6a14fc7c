// A recursive filter designed from an analogue zero-pole-gain description,
//   H(s) = GainConstant x product(s - zero) / product(s - pole),
// mapped to discrete time with the bilinear transform (no pre-warping) and
// run as a biquad cascade with the gain shared equally among the sections.
//
// The defaults are a fifth-order Butterworth low-pass with its corner at
// 650148 rad/s (about 103.5 kHz) and H(0) = 1, sampled at 1 MHz.
#ifndef TESSEL_SDOMAIN_IIR_H
#define TESSEL_SDOMAIN_IIR_H

#include <complex>

#include "BiquadCascade.h"
#include "Matrix.h"
#include "TesselExport.h"

namespace Tessel {

class TESSEL_EXPORT SDomainIIR : public BiquadCascade {
public:
    enum FrequencyUnits { kRadiansPerSecond = 0, kHertz = 1 };

    SDomainIIR();
    ~SDomainIIR() override;
    SDomainIIR(const SDomainIIR&) = delete;
    SDomainIIR& operator=(const SDomainIIR&) = delete;

    // Designs Coefficients and NumCoefficients, then initialises the cascade.
    bool Initialize() override;
    // Frees the designed coefficients.
    bool Finalize() override;

    double SampleRate = 1e6;  // hertz
    double GainConstant = 1.1616128054708951e29;
    Matrix<double> RealPoles;
    Matrix<std::complex<double>> ComplexPoles;  // one of each conjugate pair
    Matrix<double> RealZeros;
    Matrix<std::complex<double>> ComplexZeros;  // one of each conjugate pair
    int FrequencyUnit = kRadiansPerSecond;

private:
    void FreeCoefficients();
    void ConvertHertzToRadians();
    void ShareGain(int iNumSections);
};

}  // namespace Tessel

#endif
