#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "MathConstants.h"
#include "Trig.h"

using namespace Tessel;
using M = MathConstants;

namespace {

struct Firing {
    bool ok;
    double output;
    std::string message;
};

// Fires a fresh block of type Block once on x, capturing what it posts.
template <typename Block>
Firing Fire(double x) {
    Block block;
    double in = x, out = 12345.0;
    block.Input.SetBuffer(&in, 1, 1, 0);
    block.Output.SetBuffer(&out, 1, 1, 0);
    EXPECT_TRUE(block.Setup());
    testing::internal::CaptureStderr();
    const bool ok = block.Run();
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(block.Finalize());
    return {ok, out, message};
}

struct Case {
    const char* name;
    Firing (*fire)(double);
    double (*reference)(double);
};

const Case kFamily[] = {
    {"sin", Fire<TrigSin>, [](double x) { return std::sin(x); }},
    {"cos", Fire<TrigCos>, [](double x) { return std::cos(x); }},
    {"tan", Fire<TrigTan>, [](double x) { return std::tan(x); }},
    {"cot", Fire<TrigCot>, [](double x) { return 1.0 / std::tan(x); }},
    {"asin", Fire<TrigAsin>, [](double x) { return std::asin(x); }},
    {"acos", Fire<TrigAcos>, [](double x) { return std::acos(x); }},
    {"atan", Fire<TrigAtan>, [](double x) { return std::atan(x); }},
    {"acot", Fire<TrigAcot>, [](double x) { return M::HalfPI - std::atan(x); }},
    {"sinh", Fire<TrigSinh>, [](double x) { return std::sinh(x); }},
    {"cosh", Fire<TrigCosh>, [](double x) { return std::cosh(x); }},
    {"tanh", Fire<TrigTanh>, [](double x) { return std::tanh(x); }},
    {"coth", Fire<TrigCoth>, [](double x) { return 1.0 / std::tanh(x); }},
    {"asinh", Fire<TrigAsinh>, [](double x) { return std::asinh(x); }},
    {"acosh", Fire<TrigAcosh>, [](double x) { return std::acosh(x); }},
    {"atanh", Fire<TrigAtanh>, [](double x) { return std::atanh(x); }},
    {"acoth", Fire<TrigAcoth>, [](double x) { return std::atanh(1.0 / x); }},
};

const Case& Member(const std::string& name) {
    for (const Case& c : kFamily) {
        if (name == c.name) return c;
    }
    ADD_FAILURE() << "no member " << name;
    return kFamily[0];
}

}  // namespace

TEST(Trig, InsideTheDomainEveryMemberIsThePlainFunction) {
    const struct {
        const char* name;
        double inputs[5];
    } domains[] = {
        {"sin", {0.0, 0.5, -2.0, 100.0, 1e10}},     {"cos", {0.0, 0.5, -2.0, 100.0, 1e10}},
        {"tan", {0.0, 0.5, -2.0, 100.0, 1.5}},
        // pi/2 + 1e-9 lies in the band where cot is taken as pi/2 - r.
        {"cot", {0.3, -0.5, 100.0, 3.1, 1.5707963277948966}},
        {"asin", {0.0, 0.5, -0.99, 1.0, -1.0}},     {"acos", {0.0, 0.5, -0.99, 1.0, -1.0}},
        {"atan", {0.0, 0.5, -2.0, 1e300, -1e300}},  {"acot", {0.0, 0.5, -2.0, 1e300, -1e300}},
        {"sinh", {0.0, 0.5, -2.0, 700.0, -709.0}},  {"cosh", {0.0, 0.5, -2.0, 700.0, -709.0}},
        {"tanh", {0.0, 0.5, -2.0, 1e3, -1e3}},      {"coth", {0.1, 0.5, -2.0, 1e3, -1e-300}},
        // asinh is odd all the way out to -2^26, where x + sqrt(x*x + 1) cancels to 0.
        {"asinh", {0.5, -3.0, 1e8, -5e7, -67108864.0}},
        {"acosh", {1.0, 1.5, 10.0, 1e8, 6e7}},
        {"atanh", {0.0, 0.5, -0.9, 0.9999999999999998, -0.999}},
        {"acoth", {1.0000000000000002, 1.5, -3.0, 1e6, -1e6}},
    };
    for (const auto& domain : domains) {
        const Case& member = Member(domain.name);
        for (double x : domain.inputs) {
            const Firing f = member.fire(x);
            const double expected = member.reference(x);
            EXPECT_TRUE(f.ok) << domain.name << "(" << x << ")";
            EXPECT_EQ(f.message, "") << domain.name << "(" << x << ")";
            EXPECT_NEAR(f.output, expected, 1e-12 * std::fmax(1.0, std::fabs(expected)))
                << domain.name << "(" << x << ")";
        }
    }
}

TEST(Trig, OutsideTheDomainAMessageAndAFiniteSubstitute) {
    const double belowHalfPI = std::nextafter(M::HalfPI, 0.0);
    const struct {
        const char* name;
        double x;
        double substitute;
        const char* message;
    } cases[] = {
        {"sin", 4e14, 0.0, "Sin magnitude |4e+14| exceed 3.753e+14 radians."},
        {"cos", -4e14, 1.0, "Cos magnitude |-4e+14| exceed 3.753e+14 radians."},
        {"tan", 1e15, 0.0, "Tan magnitude |1e+15| exceed 3.753e+14 radians."},
        {"tan", M::HalfPI, -DBL_MAX, "Tan argument |1.5708| radians maps to MathConstants::PI/2."},
        {"tan", belowHalfPI, DBL_MAX, "Tan argument |1.5708| radians maps to MathConstants::PI/2."},
        {"tan", -M::HalfPI, -DBL_MAX, "Tan argument |-1.5708| radians maps to MathConstants::PI/2."},
        {"cot", 1e15, DBL_MAX, "Cot magnitude |1e+15| exceed 3.753e+14 radians."},
        {"cot", 0.0, DBL_MAX, "Cot argument 0 radians maps to 0."},
        {"cot", -1e-17, -DBL_MAX, "Cot argument -1e-17 radians maps to MathConstants::PI."},
        {"asin", 1.5, M::HalfPI, "Asin magnitude |1.5| exceed 1.0 ."},
        {"asin", -1.5, -M::HalfPI, "Asin magnitude |-1.5| exceed 1.0 ."},
        {"acos", -2.0, M::PI, "Acos magnitude |-2| exceed 1.0 ."},
        {"acos", 2.0, 0.0, "Acos magnitude |2| exceed 1.0 ."},
        {"sinh", 800.0, DBL_MAX, "Sinh input magnitude |800| exceed 710.476 ."},
        {"sinh", -800.0, -DBL_MAX, "Sinh input magnitude |-800| exceed 710.476 ."},
        {"cosh", -800.0, DBL_MAX, "Cosh input magnitude |-800| exceed 710.476 ."},
        {"coth", 0.0, 0x1p1022, "1/ |tanh(0)| is below 2.22507e-308 ."},
        {"coth", -1e-310, -0x1p1022, "1/ |tanh(-1e-310)| is below 2.22507e-308 ."},
        {"asinh", -1e8, M::MostNegativeLog, "Asinh input -1e+08 is less than -6.71089e+07. "},
        {"acosh", 0.5, 0.0, "Acosh input 0.5 is less than 1. "},
        {"atanh", 1.0, DBL_MAX, "Atanh input magnitude |1| is greater than or equal to 1. "},
        {"atanh", -1.0, M::MostNegativeLog, "Atanh input magnitude |-1| is greater than or equal to 1. "},
        {"atanh", 0.99999999999999989, DBL_MAX, "Atanh input magnitude |1| is greater than or equal to 1. "},
        {"acoth", 0.5, DBL_MAX, "Acoth input magnitude |0.5| is less than or equal to 1. "},
        {"acoth", -1.0, M::MostNegativeLog, "Acoth input magnitude |-1| is less than or equal to 1. "},
    };
    for (const auto& c : cases) {
        const Firing f = Member(c.name).fire(c.x);
        EXPECT_FALSE(f.ok) << c.name << "(" << c.x << ")";
        EXPECT_EQ(f.output, c.substitute) << c.name << "(" << c.x << ")";
        EXPECT_EQ(f.message, std::string(c.message) + "\n");
    }
}

TEST(Trig, NotANumberPassesEveryGuard) {
    for (const Case& member : kFamily) {
        const Firing f = member.fire(std::numeric_limits<double>::quiet_NaN());
        EXPECT_TRUE(f.ok) << member.name;
        EXPECT_TRUE(std::isnan(f.output)) << member.name;
        EXPECT_EQ(f.message, "") << member.name;
    }
}
