#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "BiquadCascade.h"
#include "SDomainIIR.h"

using Tessel::BiquadCascade;
using Tessel::Matrix;
using Tessel::SDomainIIR;
typedef std::complex<double> Complex;

namespace {

const double kPi = 3.14159265358979323846;
const double kButterworthCorner = 650148.0708064173;  // rad/s

// Ports of one sample for a cascade: the input and every output.
class CascadeRig {
public:
    explicit CascadeRig(BiquadCascade& cascade) : m_cascade(cascade) {}

    // After Setup/Initialize shaped the output bus.
    void Attach() {
        m_outputs.assign(m_cascade.Outputs.GetSize(), 0.0);
        m_cascade.Input.SetBuffer(&m_in, 1, 1, 0);
        for (size_t i = 0; i < m_outputs.size(); ++i)
            m_cascade.Outputs[i].SetBuffer(&m_outputs[i], 1, 1, 0);
    }

    const std::vector<double>& Fire(double x) {
        m_in = x;
        EXPECT_TRUE(m_cascade.Run());
        return m_outputs;
    }

private:
    BiquadCascade& m_cascade;
    double m_in = 0.0;
    std::vector<double> m_outputs;
};

bool InitializeQuietly(BiquadCascade& block, std::string& messages) {
    testing::internal::CaptureStderr();
    const bool ok = block.Initialize();
    messages = testing::internal::GetCapturedStderr();
    return ok;
}

template <typename T>
void SetColumn(Matrix<T>& m, const std::vector<T>& values) {
    const size_t dimensions[2] = {values.size(), 1};
    m.ResizeMultidimensional(2, dimensions);
    for (size_t i = 0; i < values.size(); ++i) m(i) = values[i];
}

// The designed filter at z = exp(j w T), from its coefficients.
Complex DigitalResponse(const BiquadCascade& cascade, double frequency, double sampleRate) {
    const Complex zInverse = std::polar(1.0, -2.0 * kPi * frequency / sampleRate);
    Complex h = 1.0;
    for (int i = 0; i < cascade.NumBiquads; ++i) {
        const double* c = cascade.Coefficients + 6 * i;
        h *= (c[0] + zInverse * (c[1] + zInverse * c[2])) /
             (c[3] + zInverse * (c[4] + zInverse * c[5]));
    }
    return h;
}

// The analogue description at s = j w (poles and zeros in rad/s, each
// complex one with its conjugate).
Complex AnalogueResponse(SDomainIIR& iir, double omega) {
    const Complex s(0.0, omega);
    Complex h = iir.GainConstant;
    for (size_t i = 0; i < iir.RealZeros.NumElements(); ++i) h *= s - iir.RealZeros(i);
    for (size_t i = 0; i < iir.ComplexZeros.NumElements(); ++i)
        h *= (s - iir.ComplexZeros(i)) * (s - std::conj(iir.ComplexZeros(i)));
    for (size_t i = 0; i < iir.RealPoles.NumElements(); ++i) h /= s - iir.RealPoles(i);
    for (size_t i = 0; i < iir.ComplexPoles.NumElements(); ++i)
        h /= (s - iir.ComplexPoles(i)) * (s - std::conj(iir.ComplexPoles(i)));
    return h;
}

// The unwarped bilinear transform maps analogue frequency
// 2 fs tan(w T / 2) onto digital frequency w.
void ExpectBilinearImageOfTheAnalogue(SDomainIIR& iir) {
    const double fs = iir.SampleRate;
    for (double f = fs * 1e-4; f < 0.49 * fs; f *= 1.37) {
        const double warped = 2.0 * fs * std::tan(kPi * f / fs);
        const Complex analogue = AnalogueResponse(iir, warped);
        const Complex digital = DigitalResponse(iir, f, fs);
        EXPECT_LT(std::abs(digital - analogue), 1e-9 * (std::abs(analogue) + 1e-12)) << "f = " << f;
    }
}

// Amplitude of the steady-state response to a sine, by correlation over
// whole periods.
double SineAmplitude(CascadeRig& rig, double frequency, double sampleRate) {
    const int period = static_cast<int>(sampleRate / frequency + 0.5);
    for (int n = 0; n < 400 * period; ++n) rig.Fire(std::sin(2.0 * kPi * n / period));
    double inPhase = 0.0, quadrature = 0.0;
    const int measured = 40 * period;
    for (int n = 0; n < measured; ++n) {
        const double y = rig.Fire(std::sin(2.0 * kPi * n / period))[0];
        inPhase += y * std::sin(2.0 * kPi * n / period);
        quadrature += y * std::cos(2.0 * kPi * n / period);
    }
    return 2.0 / measured * std::hypot(inPhase, quadrature);
}

}  // namespace

TEST(SDomainIIR, DefaultIsAFifthOrderButterworthInThreeSections) {
    SDomainIIR iir;
    std::string messages;
    ASSERT_TRUE(InitializeQuietly(iir, messages)) << messages;
    ASSERT_EQ(iir.NumBiquads, 3);
    ASSERT_EQ(iir.NumCoefficients, 18);
    const double* c = iir.Coefficients;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const double* section = c + 6 * i;
        EXPECT_EQ(section[3], 1.0);
        EXPECT_DOUBLE_EQ(section[0], c[0]);  // an equal share of the gain each
        EXPECT_DOUBLE_EQ(section[1] / section[0], i < 2 ? 2.0 : 1.0);
        EXPECT_DOUBLE_EQ(section[2] / section[0], i < 2 ? 1.0 : 0.0);
    }
    EXPECT_EQ(c[12 + 5], 0.0);  // the real pole's section is first-order
    EXPECT_NEAR(std::abs(DigitalResponse(iir, 0.0, iir.SampleRate)), 1.0, 1e-12);
    ExpectBilinearImageOfTheAnalogue(iir);

    // Below the corner the warping is negligible: the Butterworth magnitude
    // itself.
    for (double f : {1e3, 5e3, 1e4, 2e4}) {
        const double ratio = 2.0 * kPi * f / kButterworthCorner;
        EXPECT_NEAR(std::abs(DigitalResponse(iir, f, iir.SampleRate)),
                    1.0 / std::sqrt(1.0 + std::pow(ratio, 10)), 1e-6)
            << f;
    }
}

TEST(SDomainIIR, DefaultFilterRunsAsDesigned) {
    SDomainIIR iir;
    CascadeRig rig(iir);
    ASSERT_TRUE(iir.Setup());
    ASSERT_TRUE(iir.Initialize());
    rig.Attach();
    double y = 0.0;
    for (int n = 0; n < 3000; ++n) y = rig.Fire(0.7)[0];
    EXPECT_NEAR(y, 0.7, 1e-12);

    for (double f : {2e4, 1e5, 2e5}) {
        ASSERT_TRUE(iir.Initialize());
        EXPECT_NEAR(SineAmplitude(rig, f, iir.SampleRate),
                    std::abs(DigitalResponse(iir, f, iir.SampleRate)), 1e-6)
            << f;
    }
    EXPECT_TRUE(iir.Finalize());
    EXPECT_EQ(iir.Coefficients, nullptr);
}

TEST(SDomainIIR, PolesAndZerosOfEveryKindMatchTheAnalogue) {
    struct Case {
        const char* name;
        std::vector<double> realPoles, realZeros;
        std::vector<Complex> complexPoles, complexZeros;
        int sections;
    };
    const std::vector<Case> cases = {
        {"more poles than zeros",
         {-1e5, -2.5e5, -4e4},
         {-3e5},
         {Complex(-8e4, 3e5)},
         {Complex(-1e4, 6e5)},
         3},
        {"two real poles", {-1e5, -3e5}, {}, {}, {}, 1},
        {"zeros only", {}, {-2e5, 0.0}, {}, {}, 1},
        {"odd zeros over a pole pair", {}, {-1e5, -2e5, -3e5}, {Complex(-5e4, 2e5)}, {}, 2},
        {"one real pole", {-2e5}, {}, {}, {}, 1},
        // maps to z = infinity: its section's leading numerator term is 0
        {"a zero at twice the sample rate", {-1e5, -3e5}, {2e6}, {}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SDomainIIR iir;
        SetColumn(iir.RealPoles, c.realPoles);
        SetColumn(iir.RealZeros, c.realZeros);
        SetColumn(iir.ComplexPoles, c.complexPoles);
        SetColumn(iir.ComplexZeros, c.complexZeros);
        iir.GainConstant = 3e9;
        std::string messages;
        ASSERT_TRUE(InitializeQuietly(iir, messages)) << messages;
        EXPECT_EQ(iir.NumBiquads, c.sections);
        ExpectBilinearImageOfTheAnalogue(iir);
    }
}

TEST(SDomainIIR, TwoRealPolesShareOneSectionOverTheSquaredFiller) {
    SDomainIIR iir;
    SetColumn(iir.RealPoles, {-1e5, -3e5});
    SetColumn(iir.ComplexPoles, {});
    std::string messages;
    ASSERT_TRUE(InitializeQuietly(iir, messages));
    ASSERT_EQ(iir.NumCoefficients, 6);
    EXPECT_DOUBLE_EQ(iir.Coefficients[1], 2.0 * iir.Coefficients[0]);
    EXPECT_DOUBLE_EQ(iir.Coefficients[2], iir.Coefficients[0]);
}

TEST(SDomainIIR, WithoutPolesOrZerosOnlyScales) {
    SDomainIIR iir;
    SetColumn(iir.RealPoles, {});
    SetColumn(iir.ComplexPoles, {});
    iir.GainConstant = 2.5;
    CascadeRig rig(iir);
    ASSERT_TRUE(iir.Initialize());
    rig.Attach();
    EXPECT_EQ(iir.NumCoefficients, 6);
    EXPECT_EQ(rig.Fire(3.0)[0], 7.5);
    EXPECT_EQ(rig.Fire(-1.0)[0], -2.5);
}

TEST(SDomainIIR, PolesInHertzAreConvertedInPlace) {
    SDomainIIR reference;
    ASSERT_TRUE(reference.Initialize());

    SDomainIIR iir;
    const double toHertz = 1.0 / (2.0 * kPi);
    iir.RealPoles(0) *= toHertz;
    iir.ComplexPoles(0) *= toHertz;
    iir.ComplexPoles(1) *= toHertz;
    iir.FrequencyUnit = SDomainIIR::kHertz;
    ASSERT_TRUE(iir.Initialize());
    EXPECT_NEAR(iir.RealPoles(0), -kButterworthCorner, 1e-6);
    for (int i = 0; i < 18; ++i) {
        EXPECT_NEAR(iir.Coefficients[i], reference.Coefficients[i],
                    1e-12 * std::fabs(reference.Coefficients[i]))
            << i;
    }
    // Every Initialize converts what the members hold at that time.
    ASSERT_TRUE(iir.Initialize());
    EXPECT_NEAR(iir.RealPoles(0), -kButterworthCorner * 2.0 * kPi, 1e-5);
}

// A negative overall gain cannot be split into equal real shares; the sign
// rides on the first section and the response stays the analogue's.
TEST(SDomainIIR, NegativeGainKeepsItsSign) {
    SDomainIIR iir;
    iir.GainConstant = -iir.GainConstant;
    CascadeRig rig(iir);
    ASSERT_TRUE(iir.Initialize());
    rig.Attach();
    for (int i = 0; i < iir.NumCoefficients; ++i)
        ASSERT_FALSE(std::isnan(iir.Coefficients[i])) << i;
    ExpectBilinearImageOfTheAnalogue(iir);
    double y = 0.0;
    for (int n = 0; n < 3000; ++n) y = rig.Fire(0.7)[0];
    EXPECT_NEAR(y, -0.7, 1e-12);
}

TEST(SDomainIIR, SampleRateMustBePositive) {
    for (double rate : {0.0, -1e6}) {
        SDomainIIR iir;
        iir.SampleRate = rate;
        std::string messages;
        EXPECT_FALSE(InitializeQuietly(iir, messages));
        EXPECT_EQ(messages, "SampleRate must be positive.\n");
    }
}

TEST(BiquadCascade, CoefficientCountMustBeWholeSections) {
    std::vector<double> coefficients(7, 1.0);
    BiquadCascade cascade;
    cascade.Coefficients = coefficients.data();
    std::string messages;
    for (int count : {0, 7}) {
        cascade.NumCoefficients = count;
        EXPECT_FALSE(InitializeQuietly(cascade, messages));
        EXPECT_EQ(messages,
                  "The number of parameter taps must not be zero and must be a multiple of 6 taps. "
                  "There are currently " +
                      std::to_string(count) + " taps.\n");
    }
}

TEST(BiquadCascade, ZeroD0IsNamedFromOne) {
    std::vector<double> coefficients = {2, 4, 6, 2, 1, 0.5, 1, 1, 1, 0, 1, 1};
    BiquadCascade cascade;
    cascade.Coefficients = coefficients.data();
    cascade.NumCoefficients = 12;
    std::string messages;
    EXPECT_FALSE(InitializeQuietly(cascade, messages));
    EXPECT_EQ(messages, "The D0 coefficient for biquad number 2 cannot be zero. \n");
    EXPECT_EQ(std::vector<double>(coefficients.begin(), coefficients.begin() + 6),
              (std::vector<double>{1, 2, 3, 1, 0.5, 0.25}));
}

TEST(BiquadCascade, OutputsCarryTheLastSectionsOnRandomInput) {
    // Section gains below one and stable poles.
    std::vector<double> coefficients = {0.5, 0.2,  -0.1, 2.0, -0.6, 0.18,  //
                                        1.0, -0.4, 0.3,  1.0, 0.1,  0.25,  //
                                        0.3, 0.3,  0.0,  1.0, -0.5, 0.0};
    BiquadCascade cascade;
    cascade.Coefficients = coefficients.data();
    cascade.NumCoefficients = 18;
    cascade.Outputs.Initialize(2);
    ASSERT_TRUE(cascade.Setup());
    const std::vector<double> designed = coefficients;
    ASSERT_TRUE(cascade.Initialize());
    CascadeRig rig(cascade);
    rig.Attach();

    // Direct form I on the coefficients as given, section by section.
    struct Section {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    } sections[3];
    std::mt19937 random(11);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n = 0; n < 500; ++n) {
        double x = uniform(random);
        const std::vector<double> outputs = rig.Fire(x);
        double sectionOutput[3];
        for (int i = 0; i < 3; ++i) {
            const double* c = designed.data() + 6 * i;
            Section& s = sections[i];
            const double y =
                (c[0] * x + c[1] * s.x1 + c[2] * s.x2 - c[4] * s.y1 - c[5] * s.y2) / c[3];
            s.x2 = s.x1;
            s.x1 = x;
            s.y2 = s.y1;
            s.y1 = y;
            sectionOutput[i] = y;
            x = y;
        }
        ASSERT_NEAR(outputs[0], sectionOutput[2], 1e-12) << n;
        ASSERT_NEAR(outputs[1], sectionOutput[1], 1e-12) << n;
    }
}

TEST(BiquadCascade, MoreOutputsThanSectionsIsRefused) {
    std::vector<double> coefficients = {1, 0, 0, 1, 0, 0};
    BiquadCascade cascade;
    cascade.Coefficients = coefficients.data();
    cascade.NumCoefficients = 6;
    cascade.Outputs.Initialize(2);
    std::string messages;
    EXPECT_FALSE(InitializeQuietly(cascade, messages));
    EXPECT_EQ(messages,
              "The number of outputs must be less than or equal to the number of biquads in the "
              "cascade.  Currently, there are 2 outputs and 1 biquads.\n");
}
