#include "SDomainIIR.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "DFErrorHandler.h"
#include "MathConstants.h"

namespace Tessel {

namespace {

const double kTwoPi = 2.0 * MathConstants::PI;
const int kNumeratorSide = BiquadCascade::kN0;
const int kDenominatorSide = BiquadCascade::kD0;

void Reshape(Matrix<double>& m, size_t rows, size_t columns) {
    const size_t dimensions[2] = {rows, columns};
    m.ResizeMultidimensional(2, dimensions);
}

void Reshape(Matrix<std::complex<double>>& m, size_t rows, size_t columns) {
    const size_t dimensions[2] = {rows, columns};
    m.ResizeMultidimensional(2, dimensions);
}

// Writes one side (numerator or denominator) of the sections, in z^-1, from
// the roots of that side. Every factor (s - r) becomes, under
// s = c (1 - z^-1) / (1 + z^-1), (c - r) - (c + r) z^-1 over (1 + z^-1); the
// (1 + z^-1) factors left over where this side's order is below the
// filter's order fill the remaining sections.
class SideWriter {
public:
    SideWriter(double* pCoefficients, int iSide, size_t iNumSections, bool bOddOrder, double c)
        : m_pCoefficients(pCoefficients),
          m_iSide(iSide),
          m_iNumSections(iNumSections),
          m_bOddOrder(bOddOrder),
          m_c(c) {}

    void Write(const Matrix<std::complex<double>>& complexRoots, const Matrix<double>& realRoots) {
        const std::complex<double>* pairs = complexRoots.Data();
        for (size_t i = 0; i < complexRoots.NumElements(); ++i) {
            const double a = pairs[i].real();
            const double b = pairs[i].imag();
            const double m = a * a + b * b;
            Put(m_c * m_c - 2.0 * a * m_c + m, 2.0 * (m - m_c * m_c),
                m_c * m_c + 2.0 * a * m_c + m);
        }
        const double* real = realRoots.Data();
        const size_t numReal = realRoots.NumElements();
        for (size_t i = 0; i + 1 < numReal; i += 2) {
            const double p1 = real[i];
            const double p2 = real[i + 1];
            Put((m_c - p1) * (m_c - p2), -(m_c - p2) * (m_c + p1) - (m_c + p2) * (m_c - p1),
                (m_c + p1) * (m_c + p2));
        }
        if (numReal % 2 == 1) {
            const double p = real[numReal - 1];
            if (IsFirstOrderSection()) {
                Put(m_c - p, -(m_c + p), 0.0);
            } else {
                Put(m_c - p, -2.0 * p, -(m_c + p));  // times (1 + z^-1)
            }
        }
        while (m_iNext < m_iNumSections) {
            if (IsFirstOrderSection()) {
                Put(1.0, 1.0, 0.0);
            } else {
                Put(1.0, 2.0, 1.0);
            }
        }
    }

private:
    // An odd filter order leaves the last section first-order.
    bool IsFirstOrderSection() const { return m_bOddOrder && m_iNext == m_iNumSections - 1; }

    void Put(double a0, double a1, double a2) {
        double* section =
            m_pCoefficients + BiquadCascade::kCoefficientsPerBiquad * m_iNext + m_iSide;
        section[0] = a0;
        section[1] = a1;
        section[2] = a2;
        ++m_iNext;
    }

    double* m_pCoefficients;
    int m_iSide;
    size_t m_iNumSections;
    bool m_bOddOrder;
    double m_c;
    size_t m_iNext = 0;
};

}  // namespace

SDomainIIR::SDomainIIR() {
    Reshape(RealPoles, 1, 1);
    RealPoles(0) = -650148.0708064173;
    Reshape(ComplexPoles, 1, 2);
    ComplexPoles(0) = std::complex<double>(-200906.8027392695, 618327.5592971661);
    ComplexPoles(1) = std::complex<double>(-525980.8381424781, 382147.44782641466);
    Outputs.Initialize(1);
}

SDomainIIR::~SDomainIIR() { FreeCoefficients(); }

void SDomainIIR::FreeCoefficients() {
    delete[] Coefficients;
    Coefficients = nullptr;
    NumCoefficients = 0;
}

bool SDomainIIR::Finalize() {
    FreeCoefficients();
    return true;
}

// In place: afterwards the members hold radians per second.
void SDomainIIR::ConvertHertzToRadians() {
    for (Matrix<double>* roots : {&RealPoles, &RealZeros}) {
        for (size_t i = 0; i < roots->NumElements(); ++i) (*roots)(i) *= kTwoPi;
    }
    for (Matrix<std::complex<double>>* roots : {&ComplexPoles, &ComplexZeros}) {
        for (size_t i = 0; i < roots->NumElements(); ++i) (*roots)(i) *= kTwoPi;
    }
}

bool SDomainIIR::Initialize() {
    if (!(SampleRate > 0.0)) {
        DFErrorHandler::PostError(this, "SampleRate must be positive.");
        return false;
    }
    const double period = 1.0 / SampleRate;
    const double c = 2.0 / period;
    if (FrequencyUnit == kHertz) {
        ConvertHertzToRadians();
    }

    const size_t poleOrder = RealPoles.NumElements() + 2 * ComplexPoles.NumElements();
    const size_t zeroOrder = RealZeros.NumElements() + 2 * ComplexZeros.NumElements();
    const size_t order = poleOrder > zeroOrder ? poleOrder : zeroOrder;
    const size_t sections = (order + 1) / 2;

    FreeCoefficients();
    if (order == 0) {
        // One section that only scales.
        Coefficients = new double[kCoefficientsPerBiquad]{GainConstant, 0.0, 0.0, 1.0, 0.0, 0.0};
        NumCoefficients = kCoefficientsPerBiquad;
        return BiquadCascade::Initialize();
    }

    NumCoefficients = static_cast<int>(kCoefficientsPerBiquad * sections);
    Coefficients = new double[kCoefficientsPerBiquad * sections];
    const bool oddOrder = order % 2 == 1;
    SideWriter(Coefficients, kDenominatorSide, sections, oddOrder, c)
        .Write(ComplexPoles, RealPoles);
    SideWriter(Coefficients, kNumeratorSide, sections, oddOrder, c).Write(ComplexZeros, RealZeros);
    for (size_t i = 0; i < sections; ++i) {
        double* section = Coefficients + kCoefficientsPerBiquad * i;
        const double d0 = section[kD0];
        for (int k = 0; k < kCoefficientsPerBiquad; ++k) section[k] /= d0;
        section[kD0] = 1.0;
    }
    ShareGain(static_cast<int>(sections));
    return BiquadCascade::Initialize();
}

// Moves every section's leading numerator coefficient into one overall
// gain G and gives each section the same share of it. A section whose N0 is
// 0 (a zero at s = 2 x SampleRate, which maps to z = infinity) cannot be
// scaled to N0 = 1 and keeps its numerator. A negative G has no real equal
// share: the sections share |G| and the first one takes the sign.
void SDomainIIR::ShareGain(int iNumSections) {
    double gain = GainConstant;
    for (int i = 0; i < iNumSections; ++i) {
        double* section = Coefficients + kCoefficientsPerBiquad * i;
        const double n0 = section[kN0];
        if (n0 == 0.0) continue;
        gain *= n0;
        section[kN1] /= n0;
        section[kN2] /= n0;
        section[kN0] = 1.0;
    }
    const double share = std::pow(std::fabs(gain), 1.0 / iNumSections);
    for (int i = 0; i < iNumSections; ++i) {
        double* section = Coefficients + kCoefficientsPerBiquad * i;
        const double factor = (i == 0 && gain < 0.0) ? -share : share;
        section[kN0] *= factor;
        section[kN1] *= factor;
        section[kN2] *= factor;
    }
}

}  // namespace Tessel
