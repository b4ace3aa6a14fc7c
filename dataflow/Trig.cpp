#include "Trig.h"

#include <cfloat>
#include <cmath>

#include "DFErrorHandler.h"
#include "MathConstants.h"
#include "MessageText.h"

namespace Tessel {

namespace {

using M = MathConstants;

// 2^1022: the reciprocal of the smallest magnitude coth still inverts.
constexpr double kRecipSubstitute = 0x1p1022;
// Half-width, around pi/2, of the band where cot is taken as its first-order
// value pi/2 - r instead of 1/tan(r).
constexpr double kCotHalfPiTolerance = 2.1073424255447017e-08;  // sqrt(2) * 2^-26
// Bounds of the inverse hyperbolic tangent and cotangent: one unit in the
// last place either side of 1.
constexpr double kAtanhLimit = 1.0 - 0x1p-52;
constexpr double kAcothLimit = 1.0 + 0x1p-52;

// Argument reduced into [0, pi).
double ReduceToHalfTurn(double x) {
    double r = std::fmod(x, M::PI);
    if (r < 0) {
        r += M::PI;
    }
    return r;
}

// ln(2|x|), the value of asinh and acosh once x*x + 1 rounds to x*x.
double LogOfLargeArgument(double x) { return std::log(x) + M::Ln2; }

}  // namespace

bool CTrig::Setup() { return true; }
bool CTrig::Finalize() { return true; }

bool CTrig::Write(double value) {
    Output[0] = value;
    return true;
}

bool CTrig::Fail(double substitute, const std::string& text) {
    DFErrorHandler::PostError(this, text.c_str());
    Output[0] = substitute;
    return false;
}

bool TrigSin::Run() {
    const double x = In();
    if (std::fabs(x) > M::RadianMax) {
        return Fail(0.0, MessageText("Sin magnitude |", x, "| exceed ", M::RadianMax, " radians."));
    }
    return Write(std::sin(x));
}

bool TrigCos::Run() {
    const double x = In();
    if (std::fabs(x) > M::RadianMax) {
        return Fail(1.0, MessageText("Cos magnitude |", x, "| exceed ", M::RadianMax, " radians."));
    }
    return Write(std::cos(x));
}

bool TrigTan::Run() {
    const double x = In();
    if (std::fabs(x) > M::RadianMax) {
        return Fail(0.0, MessageText("Tan magnitude |", x, "| exceed ", M::RadianMax, " radians."));
    }
    const double r = ReduceToHalfTurn(x);
    if (std::fabs(r - M::HalfPI) < M::EpsilonPI) {
        // Left of the pole tan grows without bound, right of it it comes from below.
        return Fail(r < M::HalfPI ? DBL_MAX : -DBL_MAX,
                    MessageText("Tan argument |", x, "| radians maps to MathConstants::PI/2."));
    }
    return Write(std::tan(r));
}

bool TrigCot::Run() {
    const double x = In();
    if (std::fabs(x) > M::RadianMax) {
        return Fail(DBL_MAX, MessageText("Cot magnitude |", x, "| exceed ", M::RadianMax, " radians."));
    }
    const double r = ReduceToHalfTurn(x);
    if (std::fabs(r) < M::EpsilonPI) {
        return Fail(DBL_MAX, MessageText("Cot argument ", x, " radians maps to 0."));
    }
    if (std::fabs(r - M::PI) < M::EpsilonPI) {
        return Fail(-DBL_MAX, MessageText("Cot argument ", x, " radians maps to MathConstants::PI."));
    }
    if (std::fabs(r - M::HalfPI) < kCotHalfPiTolerance) {
        return Write(M::HalfPI - r);
    }
    return Write(1.0 / std::tan(r));
}

bool TrigAsin::Run() {
    const double x = In();
    if (std::fabs(x) > 1.0) {
        return Fail(x < 0 ? -M::HalfPI : M::HalfPI, MessageText("Asin magnitude |", x, "| exceed 1.0 ."));
    }
    return Write(std::asin(x));
}

bool TrigAcos::Run() {
    const double x = In();
    if (std::fabs(x) > 1.0) {
        return Fail(x < 0 ? M::PI : 0.0, MessageText("Acos magnitude |", x, "| exceed 1.0 ."));
    }
    return Write(std::acos(x));
}

bool TrigAtan::Run() { return Write(std::atan(In())); }

bool TrigAcot::Run() { return Write(M::HalfPI - std::atan(In())); }

bool TrigSinh::Run() {
    const double x = In();
    if (std::fabs(x) > M::HalfExpDomainMax) {
        return Fail(x < 0 ? -DBL_MAX : DBL_MAX,
                    MessageText("Sinh input magnitude |", x, "| exceed ", M::HalfExpDomainMax, " ."));
    }
    return Write(std::sinh(x));
}

bool TrigCosh::Run() {
    const double x = In();
    if (std::fabs(x) > M::HalfExpDomainMax) {
        return Fail(DBL_MAX, MessageText("Cosh input magnitude |", x, "| exceed ", M::HalfExpDomainMax, " ."));
    }
    return Write(std::cosh(x));
}

bool TrigTanh::Run() { return Write(std::tanh(In())); }

bool TrigCoth::Run() {
    const double x = In();
    const double t = std::tanh(x);
    if (std::fabs(t) < M::RecipDomainMagnitudeMin) {
        return Fail(t < 0 ? -kRecipSubstitute : kRecipSubstitute,
                    MessageText("1/ |tanh(", x, ")| is below ", M::RecipDomainMagnitudeMin, " ."));
    }
    return Write(1.0 / t);
}

bool TrigAsinh::Run() {
    const double x = In();
    if (std::fabs(x) > M::SqrtFloatIntegerMax) {
        if (x < 0) {
            return Fail(M::MostNegativeLog,
                        MessageText("Asinh input ", x, " is less than ", -M::SqrtFloatIntegerMax, ". "));
        }
        return Write(LogOfLargeArgument(x));
    }
    // asinh is odd: negative arguments are taken through their magnitude, so
    // that x + sqrt(x*x + 1) never cancels (down to ln 0 at x = -2^26).
    const double magnitude = std::fabs(x);
    const double value = std::log(magnitude + std::sqrt(magnitude * magnitude + 1.0));
    return Write(x < 0 ? -value : value);
}

bool TrigAcosh::Run() {
    const double x = In();
    if (x < 1.0) {
        return Fail(0.0, MessageText("Acosh input ", x, " is less than 1. "));
    }
    if (x > M::SqrtFloatIntegerMax) {
        return Write(LogOfLargeArgument(x));
    }
    return Write(std::log(x + std::sqrt(std::fabs(x * x - 1.0))));
}

bool TrigAtanh::Run() {
    const double x = In();
    if (std::fabs(x) > kAtanhLimit) {
        return Fail(x < 0 ? M::MostNegativeLog : DBL_MAX,
                    MessageText("Atanh input magnitude |", x, "| is greater than or equal to 1. "));
    }
    return Write(0.5 * std::log((x + 1.0) / (1.0 - x)));
}

bool TrigAcoth::Run() {
    const double x = In();
    if (std::fabs(x) < kAcothLimit) {
        return Fail(x < 0 ? M::MostNegativeLog : DBL_MAX,
                    MessageText("Acoth input magnitude |", x, "| is less than or equal to 1. "));
    }
    return Write(0.5 * std::log((x + 1.0) / (x - 1.0)));
}

}  // namespace Tessel
