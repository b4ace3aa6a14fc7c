// Named constants of the elementary-function blocks: the guard limits of
// their domains and the substitute values written where a function is not
// defined or not representable.
#ifndef TESSEL_MATH_CONSTANTS_H
#define TESSEL_MATH_CONSTANTS_H

namespace Tessel {

struct MathConstants {
    static constexpr double PI = 3.141592653589793;
    static constexpr double HalfPI = 1.5707963267948966;
    static constexpr double Ln2 = 0.6931471805599453;
    static constexpr double Ln10 = 2.302585092994046;

    // Largest argument magnitude of the circular functions: beyond it the
    // spacing of doubles exceeds a useful fraction of a period.
    static constexpr double RadianMax = 0x1.5555555555552p+48;  // 375299968947541.1
    // Closeness to a pole of tan or cot that counts as hitting it: pi * 2^-52.
    static constexpr double EpsilonPI = PI * 0x1p-52;

    static constexpr double ExpDomainMax = 709.782712893384;  // ln of the largest double
    // sinh and cosh halve the exponential, so they reach ln 2 further.
    static constexpr double HalfExpDomainMax = ExpDomainMax + Ln2;
    static constexpr double MostNegativeLog = -708.3964185322641;  // ln 2^-1022
    static constexpr double MostNegativeLog10 = -307.6526555685888;
    static constexpr double Pow10DomainMax = 308.25471555991675;
    static constexpr double RecipDomainMagnitudeMin = 0x1p-1022;  // 2.2250738585072014e-308
    static constexpr double FloatIntegerMax = 0x1p52;
    static constexpr double SqrDomainMax = 1.3407807929942596e+154;
    // Above this magnitude x*x + 1 rounds to x*x, so asinh and acosh switch
    // to ln(2|x|).
    static constexpr double SqrtFloatIntegerMax = 0x1p26;
};

}  // namespace Tessel

#endif
