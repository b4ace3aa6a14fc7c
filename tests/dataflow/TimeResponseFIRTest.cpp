#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Interpolators.h"
#include "TimeResponseFIR.h"

using Tessel::Interpolators;
using Tessel::TimeResponseFIR;

namespace {

// A filter over tables the test keeps (the block only borrows them).
struct ResponseRig {
    ResponseRig(std::vector<double> values, std::vector<double> times, int type, double sampleRate)
        : response(std::move(values)), stamps(std::move(times)) {
        fir.m_pResponse = response.data();
        fir.m_iNumResponseValues = static_cast<int>(response.size());
        fir.ResponseTimeStamps = stamps.data();
        fir.m_iNumTimeStamps = static_cast<int>(stamps.size());
        fir.ResponseType = type;
        fir.SampleRate = sampleRate;
    }

    // Setup with its messages captured.
    bool Setup(std::string& messages) {
        testing::internal::CaptureStderr();
        const bool ok = fir.Setup();
        messages = testing::internal::GetCapturedStderr();
        return ok;
    }

    std::vector<double> Taps() const {
        return std::vector<double>(fir.m_pTaps, fir.m_pTaps + fir.m_iNumTaps);
    }

    std::vector<double> response, stamps;
    TimeResponseFIR fir;
};

std::vector<double> Ramp(int n, double step, double start = 0.0) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[i] = start + i * step;
    return v;
}

// Strictly increasing, irregular steps between 0.3 and 1.7 ps.
std::vector<double> IrregularGrid(int n) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(0.3e-12, 1.7e-12);
    std::vector<double> t(static_cast<size_t>(n));
    for (int i = 1; i < n; ++i) t[i] = t[i - 1] + step(random);
    return t;
}

double Cubic(double t) { return 3.0 - 2.0 * t + 0.5 * t * t - 0.25 * t * t * t; }
double CubicSlope(double t) { return -2.0 + t - 0.75 * t * t; }

// The polynomial through the points (x[i], y[i]), i < n, and its slope.
double LagrangeValue(double t, const double* x, const double* y, int n) {
    double sum = 0.0;
    for (int a = 0; a < n; ++a) {
        double weight = 1.0;
        for (int b = 0; b < n; ++b)
            if (b != a) weight *= (t - x[b]) / (x[a] - x[b]);
        sum += y[a] * weight;
    }
    return sum;
}

double LagrangeSlope(double t, const double* x, const double* y, int n) {
    double sum = 0.0;
    for (int a = 0; a < n; ++a) {
        double weight = 0.0;
        for (int b = 0; b < n; ++b) {
            if (b == a) continue;
            double term = 1.0 / (x[a] - x[b]);
            for (int c = 0; c < n; ++c)
                if (c != a && c != b) term *= (t - x[c]) / (x[a] - x[c]);
            weight += term;
        }
        sum += y[a] * weight;
    }
    return sum;
}

}  // namespace

TEST(TimeResponseFIR, TableSizeAndTypeChecks) {
    struct Case {
        int type;
        const char* messages;
    };
    const Case cases[] = {
        {0, "At least 4 response coefficients are required for input impulse response\n"},
        {1, "At least 4 response coefficients are required for input step response\n"},
        {2,
         "Inavlid ResponseType is specified, it can be either Impulse Response or Step Response\n"},
    };
    for (const Case& c : cases) {
        ResponseRig rig({1, 2, 3}, {0, 1, 2}, c.type, 1.0);
        std::string messages;
        EXPECT_FALSE(rig.Setup(messages));
        EXPECT_EQ(messages, c.messages);
    }

    ResponseRig mismatch({1, 2, 3, 4}, {0, 1, 2}, 0, 1.0);
    std::string messages;
    EXPECT_FALSE(mismatch.Setup(messages));
    EXPECT_EQ(
        messages,
        "Number of coefficients in response must be same as the number of values in time stamps\n");

    for (double rate : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        ResponseRig rig({1, 2, 3, 4}, {0, 1, 2, 3}, 0, rate);
        EXPECT_FALSE(rig.Setup(messages));
        EXPECT_EQ(messages, "SampleRate must be > 0.0\n");
        EXPECT_EQ(rig.fir.m_pTaps, nullptr);
    }
}

TEST(TimeResponseFIR, RepeatedTimeStampIsNamedFromOne) {
    ResponseRig rig({1, 2, 3, 4}, {1e-12, 2e-12, 2e-12, 3e-12}, 0, 1e12);
    std::string messages;
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_EQ(messages,
              "ResponseTimeStamps[3] = 2e-12  <= ResponseTimeStamps[2] = 2e-12. "
              "Time stamps must be in non-repeating ascending order.\n");
    // Rebased up to the failure, the rest left as given.
    EXPECT_EQ(rig.stamps[0], 0.0);
    EXPECT_EQ(rig.stamps[1], 2e-12 - 1e-12);
    EXPECT_EQ(rig.stamps[3], 3e-12);
}

TEST(TimeResponseFIR, TimeStampsAreRebasedInTheCallersArray) {
    ResponseRig rig({1, 2, 3, 4, 5}, Ramp(5, 1e-9, 5e-9), 1, 1e10);
    std::string messages;
    ASSERT_TRUE(rig.Setup(messages)) << messages;
    EXPECT_EQ(rig.stamps[0], 0.0);
    EXPECT_NEAR(rig.stamps[4], 4e-9, 1e-24);
    const std::vector<double> rebased = rig.stamps;
    const std::vector<double> taps = rig.Taps();
    ASSERT_TRUE(rig.Setup(messages));
    EXPECT_EQ(rig.stamps, rebased);
    EXPECT_EQ(rig.Taps(), taps);
}

TEST(TimeResponseFIR, TapCountIsTheTruncatedProductPlusOne) {
    struct Case {
        double last, rate;
        int taps;
    };
    const Case cases[] = {
        {99e-12, 1e12, 100}, {99.9999e-12, 1e12, 100}, {100.0, 1.0, 101}, {3.0, 1.0, 4}};
    for (const Case& c : cases) {
        ResponseRig rig({1, 2, 3, 4}, {0, c.last / 3, 2 * c.last / 3, c.last}, 1, c.rate);
        std::string messages;
        ASSERT_TRUE(rig.Setup(messages)) << messages;
        EXPECT_EQ(rig.fir.m_iNumTaps, c.taps) << c.last;
        EXPECT_EQ(rig.fir.m_History.GetHistoryDepth(), static_cast<size_t>(c.taps) + 2);
    }
}

TEST(TimeResponseFIR, UnusableTablesFailWithoutTouchingTheTaps) {
    ResponseRig rig({1, 2, 3, 4}, {0, 1e-12, 2e-12, 3e-12}, 0, 1e12);
    std::string messages;
    ASSERT_TRUE(rig.Setup(messages));
    const double* taps = rig.fir.m_pTaps;
    const std::vector<double> before = rig.Taps();

    // A duration whose tap count does not fit an int, and one just past
    // the most taps supported.
    rig.stamps = {0, 1.0, 2.0, 3.0};
    rig.fir.ResponseTimeStamps = rig.stamps.data();
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_EQ(messages, "SampleRate times the response duration gives 3000000000001 taps; at most 1000000 are supported.\n");
    rig.fir.SampleRate = 1.0;
    rig.stamps = {0, 1.0, 2.0, 1e6};
    rig.fir.ResponseTimeStamps = rig.stamps.data();
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_EQ(messages, "SampleRate times the response duration gives 1000001 taps; at most 1000000 are supported.\n");
    rig.fir.SampleRate = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_NE(messages.find("gives inf taps"), std::string::npos) << messages;

    // Not-a-number in either array; the time stamps stay as given.
    rig.fir.SampleRate = 1e12;
    rig.stamps = {1e-12, 2e-12, std::numeric_limits<double>::quiet_NaN(), 4e-12};
    rig.fir.ResponseTimeStamps = rig.stamps.data();
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_EQ(messages, "Response values and time stamps must be finite numbers\n");
    EXPECT_EQ(rig.stamps[0], 1e-12);
    rig.stamps = {0, 1e-12, 2e-12, 3e-12};
    rig.fir.ResponseTimeStamps = rig.stamps.data();
    rig.response[1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(rig.Setup(messages));
    EXPECT_EQ(messages, "Response values and time stamps must be finite numbers\n");

    EXPECT_EQ(rig.fir.m_pTaps, taps);
    EXPECT_EQ(rig.Taps(), before);
}

TEST(TimeResponseFIR, ImpulseResponseOnTheSimulationGrid) {
    const double rate = 1e11;
    std::vector<double> times(50), values(50);
    for (int k = 0; k < 50; ++k) {
        times[k] = k / rate;
        values[k] = std::sin(0.3 * k) * 1e10;
    }
    ResponseRig rig(values, times, 0, rate);
    std::string messages;
    ASSERT_TRUE(rig.Setup(messages)) << messages;
    // 1e11 x (49 / 1e11) rounds below 49: the last sample may fall off.
    ASSERT_EQ(rig.fir.m_iNumTaps, static_cast<int>(rate * times.back()) + 1);
    ASSERT_GE(rig.fir.m_iNumTaps, 49);
    for (int k = 0; k < rig.fir.m_iNumTaps; ++k)
        EXPECT_EQ(rig.fir.m_pTaps[k], values[k] / rate) << k;
}

// Four-point cubic interpolation reproduces a cubic wherever the taps fall,
// including the clamped ends of an irregular grid.
TEST(TimeResponseFIR, ImpulseResponseOfACubicOnAnIrregularGrid) {
    const double rate = 3e11;
    const double scale = 1e12;  // time in ps inside the polynomial
    std::vector<double> times = IrregularGrid(40), values(40);
    double largest = 0.0;
    for (size_t i = 0; i < times.size(); ++i) {
        values[i] = Cubic(times[i] * scale);
        largest = std::max(largest, std::fabs(values[i]));
    }
    ResponseRig rig(values, times, 0, rate);
    std::string messages;
    ASSERT_TRUE(rig.Setup(messages)) << messages;
    ASSERT_EQ(rig.fir.m_iNumTaps, static_cast<int>(rate * times.back()) + 1);
    for (int k = 0; k < rig.fir.m_iNumTaps; ++k) {
        const double expected = Cubic(k / rate * scale) / rate;
        EXPECT_NEAR(rig.fir.m_pTaps[k], expected, 1e-10 * largest / rate) << k;
    }
}

TEST(TimeResponseFIR, StepResponsesAreDifferentiated) {
    const double rate = 2e11;
    const double a = 4e9;  // volts per second
    std::vector<double> times = IrregularGrid(60), line(60), parabola(60);
    for (size_t i = 0; i < times.size(); ++i) {
        line[i] = a * times[i];
        parabola[i] = a * times[i] * times[i] * 1e12;
    }
    ResponseRig ramp(line, times, 1, rate);
    std::string messages;
    ASSERT_TRUE(ramp.Setup(messages)) << messages;
    for (int k = 0; k < ramp.fir.m_iNumTaps; ++k)
        EXPECT_NEAR(ramp.fir.m_pTaps[k], a / rate, 1e-8 * a / rate) << k;

    // The three-point parabola also has the exact slope of a quadratic.
    ResponseRig curve(parabola, times, 1, rate);
    ASSERT_TRUE(curve.Setup(messages));
    for (int k = 0; k < curve.fir.m_iNumTaps; ++k) {
        const double expected = 2.0 * a * 1e12 * (k / rate) / rate;
        EXPECT_NEAR(curve.fir.m_pTaps[k], expected, 1e-7 * a / rate) << k;
    }
    const double between = 0.5 * (times[0] + times[1]);
    EXPECT_NEAR(TimeResponseFIR::AnalyticalDifferntiation(between, times.data(), parabola.data()),
                2.0 * a * 1e12 * between, 1e-9 * a);
}

// Which table points each tap is built from: the first time stamp at or
// after t (an exact hit on an impulse sample is taken as it is), kept far
// enough from the ends for four (impulse) or three (step) points. Random
// values, so that any other choice of points shows.
TEST(TimeResponseFIR, EachTapUsesThePointsAroundItsTime) {
    const int n = 12;
    const double rate = 1.5;  // every third tap lands exactly on a time stamp
    std::vector<double> times = Ramp(n, 1.0), values(n);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (double& v : values) v = uniform(random);

    for (int type : {0, 1}) {
        SCOPED_TRACE(type);
        ResponseRig rig(values, times, type, rate);
        std::string messages;
        ASSERT_TRUE(rig.Setup(messages)) << messages;
        ASSERT_EQ(rig.fir.m_iNumTaps, 17);
        for (int k = 0; k < 17; ++k) {
            const double t = k / rate;
            int j =
                static_cast<int>(std::lower_bound(times.begin(), times.end(), t) - times.begin());
            j = std::min(j, n - 1);
            double expected;
            if (type == 0 && times[j] == t) {
                expected = values[j];
            } else {
                j = std::max(1, std::min(j, n - 3));
                expected = type == 0 ? LagrangeValue(t, &times[j - 1], &values[j - 1], 4)
                                     : LagrangeSlope(t, &times[j - 1], &values[j - 1], 3);
            }
            EXPECT_NEAR(rig.fir.m_pTaps[k], expected / rate, 1e-12) << k;
        }
    }
}

TEST(Interpolators, CubicThroughFourPointsOfACubic) {
    Interpolators<double> spline;
    double t[4] = {-1.0, 0.2, 0.7, 2.5};
    double v[4];
    for (int i = 0; i < 4; ++i) v[i] = Cubic(t[i]);
    for (double u : {-3.0, -1.0, 0.0, 0.45, 1.9, 2.5, 4.0}) {
        EXPECT_NEAR(spline.CubicSpline(4, u, t, v), Cubic(u), 1e-12 * (1 + std::fabs(Cubic(u))))
            << u;
    }
    EXPECT_EQ(spline.m_iStatus, 0);
}

TEST(Interpolators, SplineReproducesACubicWithEitherEndCondition) {
    const int n = 7;
    double x[n] = {0.0, 0.4, 1.1, 1.3, 2.0, 2.9, 3.1};
    double y[n], b[n], c[n], d[n];
    for (int i = 0; i < n; ++i) y[i] = Cubic(x[i]);
    for (int clamped : {0, 1}) {
        SCOPED_TRACE(clamped);
        ASSERT_EQ(Interpolators<double>::Spline(n, clamped, clamped, CubicSlope(x[0]),
                                                CubicSlope(x[n - 1]), x, y, b, c, d),
                  0);
        int last = 0;
        for (double u = -0.5; u <= 3.6; u += 0.05) {
            EXPECT_NEAR(Interpolators<double>::EvalSpline(n, u, x, y, b, c, d, last), Cubic(u),
                        1e-11)
                << u;
            // The interval found is the one holding u (the end pieces extend).
            const int atOrBelow = static_cast<int>(std::upper_bound(x, x + n, u) - x) - 1;
            EXPECT_EQ(last, std::max(atOrBelow, 0)) << u;
        }
    }
}

TEST(Interpolators, SplineStatusAndShortTables) {
    double x[3] = {0.0, 1.0, 1.0}, y[3] = {1.0, 3.0, 5.0};
    double b[3] = {-7, -7, -7}, c[3], d[3];
    EXPECT_EQ(Interpolators<double>::Spline(1, 0, 0, 0, 0, x, y, b, c, d), 1);
    EXPECT_EQ(Interpolators<double>::Spline(3, 0, 0, 0, 0, x, y, b, c, d), 2);
    EXPECT_EQ(b[0], -7);  // nothing computed
    ASSERT_EQ(Interpolators<double>::Spline(2, 0, 0, 0, 0, x, y, b, c, d), 0);
    int last = 5;  // out of range: starts from the first interval
    EXPECT_DOUBLE_EQ(Interpolators<double>::EvalSpline(2, 0.25, x, y, b, c, d, last), 1.5);
    EXPECT_EQ(last, 0);
}

// No comparison with a not-a-number holds; the interval search must still end.
TEST(Interpolators, SearchEndsOnANotANumberAbscissa) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double x[5] = {0.0, 1.0, nan, 3.0, 4.0}, y[5] = {0, 1, 2, 3, 4}, b[5] = {}, c[5] = {},
           d[5] = {};
    int last = 0;
    Interpolators<double>::EvalSpline(5, 3.5, x, y, b, c, d, last);
    EXPECT_GE(last, 0);
    EXPECT_LT(last, 5);
}

TEST(Interpolators, WorkspaceGrowsOnlyForMorePoints) {
    Interpolators<double> spline;
    double t[6] = {0, 1, 2, 3, 4, 5}, v[6] = {0, 1, 4, 9, 16, 25};
    spline.CubicSpline(4, 0.5, t, v);
    const double* b = spline.m_pBufferB;
    spline.CubicSpline(3, 0.5, t, v);
    EXPECT_EQ(spline.m_iCapacity, 4u);
    EXPECT_EQ(spline.m_pBufferB, b);
    EXPECT_NEAR(spline.CubicSpline(6, 2.5, t, v), 6.25, 1e-12);
    EXPECT_EQ(spline.m_iCapacity, 6u);
}

#if TESSEL_CHECKED
TEST(InterpolatorsDeathTest, CheckedBuildStopsOnUnusablePoints) {
    Interpolators<double> spline;
    double t[4] = {0, 1, 1, 2}, v[4] = {0, 1, 2, 3};
    EXPECT_DEATH(spline.CubicSpline(2, 0.5, t, v), "iBufferSize > 2");
    EXPECT_DEATH(spline.CubicSpline(4, 0.5, nullptr, v), "pastT");
    EXPECT_DEATH(spline.CubicSpline(4, 0.5, t, v), "m_iStatus == 0");
}
#endif
