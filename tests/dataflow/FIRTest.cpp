#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "FIR.h"

using Tessel::FIR;

namespace {

// Drives a filter the way a schematic does: Decimation items into the
// input port, one Run, Interpolation items out of the output port.
class FirRig {
public:
    FirRig(std::vector<double> taps, int decimation, int phase, int interpolation)
        : m_taps(std::move(taps)) {
        fir.m_pTaps = m_taps.data();
        fir.m_iNumTaps = static_cast<int>(m_taps.size());
        fir.Decimation = decimation;
        fir.DecimationPhase = phase;
        fir.Interpolation = interpolation;
    }

    bool Start() {
        if (!fir.Setup()) return false;
        m_in.assign(static_cast<size_t>(fir.Decimation), 0.0);
        m_out.assign(static_cast<size_t>(fir.Interpolation), 0.0);
        fir.Input.SetBuffer(m_in.data(), m_in.size(), m_in.size(), 0);
        fir.Output.SetBuffer(m_out.data(), m_out.size(), m_out.size(), 0);
        return fir.Initialize();
    }

    // x holds a whole number of firings.
    std::vector<double> Filter(const std::vector<double>& x) {
        std::vector<double> y;
        for (size_t first = 0; first + m_in.size() <= x.size(); first += m_in.size()) {
            for (size_t i = 0; i < m_in.size(); ++i) m_in[i] = x[first + i];
            EXPECT_TRUE(fir.Run());
            y.insert(y.end(), m_out.begin(), m_out.end());
        }
        return y;
    }

    FIR<double, false> fir;

private:
    std::vector<double> m_taps, m_in, m_out;
};

// Upsample by L (zero-stuffing), convolve, keep every D-th sample starting
// at the phase: the textbook definition of the rational resampler.
std::vector<double> ReferenceResample(const std::vector<double>& taps, const std::vector<double>& x,
                                      int decimation, int phase, int interpolation) {
    const long long outputs = static_cast<long long>(x.size()) / decimation * interpolation;
    std::vector<double> y;
    for (long long r = 0; r < outputs; ++r) {
        const long long q = phase + r * decimation;
        double sum = 0.0;
        for (long long t = 0; t < static_cast<long long>(taps.size()); ++t) {
            const long long u = q - t;
            if (u >= 0 && u % interpolation == 0)
                sum = x[static_cast<size_t>(u / interpolation)] * taps[t] + sum;
        }
        y.push_back(sum);
    }
    return y;
}

std::vector<double> RandomSignal(std::mt19937& random, size_t n) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& value : v) value = uniform(random);
    return v;
}

}  // namespace

TEST(FIR, ShortFilterGeometryAndResponses) {
    FirRig rig({1.0, 2.0, 3.0}, 1, 0, 1);
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.fir.m_History.GetHistoryDepth(), 5u);
    EXPECT_EQ(rig.fir.m_History.GetRate(), 1u);
    EXPECT_EQ(rig.fir.m_iTapsPerPhase, 3);
    EXPECT_EQ(rig.Filter({1, 0, 0, 0}), (std::vector<double>{1, 2, 3, 0}));
    ASSERT_TRUE(rig.fir.Initialize());  // starts again from zeros
    EXPECT_EQ(rig.Filter({1, 1, 1}), (std::vector<double>{1, 3, 6}));

    // Five taps in two branches: branch 1 (taps 1, 3) is one tap short.
    FirRig branches({1, 1, 1, 1, 1}, 1, 0, 2);
    ASSERT_TRUE(branches.Start());
    EXPECT_EQ(branches.fir.m_iTapsPerPhase, 3);
}

TEST(FIR, DecimationPhaseSelectsTheNewestInputOfTheOutput) {
    const double h0 = 2.0, h1 = 3.0, h2 = 5.0;
    const double before = 7.0, a = 11.0, b = 13.0;
    FirRig even({h0, h1, h2}, 2, 0, 1);
    ASSERT_TRUE(even.Start());
    EXPECT_EQ(even.Filter({0, before, a, b}).back(), h0 * a + h1 * before);
    FirRig odd({h0, h1, h2}, 2, 1, 1);
    ASSERT_TRUE(odd.Start());
    EXPECT_EQ(odd.Filter({0, before, a, b}).back(), h0 * b + h1 * a + h2 * before);
}

TEST(FIR, MatchesTheTextbookResamplerOnRandomData) {
    struct Case {
        int taps, decimation, phase, interpolation;
    };
    const Case cases[] = {{1, 1, 0, 1}, {7, 1, 0, 1},  {160, 1, 0, 1}, {4, 1, 0, 2},
                          {8, 3, 2, 1}, {9, 2, 1, 3},  {13, 4, 0, 4},  {12, 5, 4, 2},
                          {2, 1, 0, 5}, {31, 3, 1, 7}, {20, 7, 6, 3},  {481, 1, 0, 1}};
    std::mt19937 random(20240527);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "taps " << c.taps << ", D " << c.decimation
                                          << ", phase " << c.phase << ", L " << c.interpolation);
        const std::vector<double> taps = RandomSignal(random, static_cast<size_t>(c.taps));
        // Long enough for the history window to wrap many times.
        const std::vector<double> x = RandomSignal(random, static_cast<size_t>(c.decimation) * 700);
        FirRig rig(taps, c.decimation, c.phase, c.interpolation);
        ASSERT_TRUE(rig.Start());
        const std::vector<double> y = rig.Filter(x);
        const std::vector<double> expected =
            ReferenceResample(taps, x, c.decimation, c.phase, c.interpolation);
        ASSERT_EQ(y.size(), expected.size());
        for (size_t i = 0; i < y.size(); ++i) {
            ASSERT_DOUBLE_EQ(y[i], expected[i]) << "output " << i;
        }
    }
}

TEST(FIR, SetupPostsEveryBrokenRuleAndChangesNothing) {
    FIR<double, false> fir;
    fir.m_iNumTaps = 0;
    fir.Decimation = 0;
    fir.DecimationPhase = -1;
    fir.Interpolation = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fir.Setup());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "There must be at least one Tap\n"
              "Decimation must be > 0\n"
              "DecimationPhase must be >= 0\n"
              "Interpolation must be > 0\n");
    EXPECT_EQ(fir.Input.GetRate(), 1u);
    EXPECT_EQ(fir.m_History.GetHistoryDepth(), 1u);

    double tap = 1.0;
    fir.m_pTaps = &tap;
    fir.m_iNumTaps = 1;
    fir.Decimation = 3;
    fir.DecimationPhase = 3;
    fir.Interpolation = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fir.Setup());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DecimationPhase must be < Decimation ratio\n");
}

// A window that shrinks below the previous rate must not trip the history's
// depth check, and the filter must work on the new geometry.
TEST(FIR, SetupAgainWithSmallerDecimation) {
    FirRig rig({1.0, 0.5}, 20, 0, 1);
    ASSERT_TRUE(rig.Start());
    rig.fir.Decimation = 1;
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.fir.m_History.GetHistoryDepth(), 4u);
    EXPECT_EQ(rig.fir.m_History.GetRate(), 1u);
    EXPECT_EQ(rig.Filter({2, 4}), (std::vector<double>{2, 5}));
    EXPECT_TRUE(rig.fir.Finalize());
    EXPECT_EQ(rig.fir.m_pHistoryBuffer, nullptr);
}

#if TESSEL_CHECKED
TEST(FIRDeathTest, RunNeedsAHistoryOfTheSetUpWindow) {
    FirRig rig({1.0, 2.0}, 1, 0, 1);
    ASSERT_TRUE(rig.Start());
    std::vector<double> longer(9, 1.0);
    rig.fir.m_pTaps = longer.data();
    rig.fir.m_iNumTaps = 9;
    ASSERT_TRUE(rig.fir.Setup());  // window grows, history not reallocated
    EXPECT_DEATH(rig.fir.Run(), "m_History.GetSize\\(\\) == m_History.GetHistoryDepth\\(\\)");
}
#endif

// The blocked order sums the same products as the sequential one, so the two
// agree to rounding; and since each product keeps its partial sum wherever
// the history wraps, the same recent inputs give the same bits at every
// position of the wrap-around.
TEST(FIR, BlockedSumAgreesWithTheSequentialOneAndIgnoresTheWrapPosition) {
    std::mt19937 random(5272013);
    for (int taps : {1, 5, 8, 9, 23, 160, 161}) {
        for (int decimation : {1, 3}) {
            SCOPED_TRACE(::testing::Message() << "taps " << taps << ", D " << decimation);
            const std::vector<double> h = RandomSignal(random, static_cast<size_t>(taps));
            const std::vector<double> x = RandomSignal(random, static_cast<size_t>(decimation) * 500);
            FirRig sequential(h, decimation, 0, 1);
            FirRig blocked(h, decimation, 0, 1);
            blocked.fir.m_iSumOrder = FIR<double, false>::kBlockedSum;
            ASSERT_TRUE(sequential.Start());
            ASSERT_TRUE(blocked.Start());
            const std::vector<double> expected = sequential.Filter(x);
            const std::vector<double> y = blocked.Filter(x);
            ASSERT_EQ(y.size(), expected.size());
            double scale = 0.0;
            for (double tap : h) scale += std::fabs(tap);
            for (size_t i = 0; i < y.size(); ++i) {
                ASSERT_NEAR(y[i], expected[i], 1e-14 * scale) << "output " << i;
            }

            // A window's worth of inputs after different numbers of earlier
            // firings: the history wraps at a different place each time.
            const size_t window = static_cast<size_t>(decimation) * (taps / decimation + 2);
            const std::vector<double> tail(x.end() - static_cast<std::ptrdiff_t>(window), x.end());
            for (size_t lead = 0; lead < 12; ++lead) {
                FirRig shifted(h, decimation, 0, 1);
                shifted.fir.m_iSumOrder = FIR<double, false>::kBlockedSum;
                ASSERT_TRUE(shifted.Start());
                shifted.Filter(std::vector<double>(lead * static_cast<size_t>(decimation), 0.5));
                ASSERT_EQ(shifted.Filter(tail).back(), y.back()) << "after " << lead << " firings";
            }
        }
    }
}

// Where the taps sit in memory (on a 16-byte boundary or between two) only
// changes how they are loaded, never the sum.
TEST(FIR, BlockedSumIsTheSameWhereverTheTapsSit) {
    std::mt19937 random(1142014);
    for (int taps : {8, 160, 163}) {
        SCOPED_TRACE(::testing::Message() << "taps " << taps);
        const std::vector<double> h = RandomSignal(random, static_cast<size_t>(taps));
        const std::vector<double> x = RandomSignal(random, 400);
        std::vector<double> offsetStorage(h.size() + 1, 0.0);
        std::vector<double> y[2];
        for (size_t offset = 0; offset < 2; ++offset) {
            std::copy(h.begin(), h.end(), offsetStorage.begin() + static_cast<std::ptrdiff_t>(offset));
            FirRig rig(h, 1, 0, 1);
            rig.fir.m_pTaps = offsetStorage.data() + offset;
            rig.fir.m_iSumOrder = FIR<double, false>::kBlockedSum;
            ASSERT_TRUE(rig.Start());
            y[offset] = rig.Filter(x);
        }
        ASSERT_EQ(y[0].size(), x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            ASSERT_EQ(y[0][i], y[1][i]) << "output " << i;
        }
    }
}

// A firing without outputs moves the history exactly as a full one and
// leaves the output port alone; its output can still be formed afterwards.
TEST(FIR, FiringWithoutOutputKeepsTheHistoryGoing) {
    std::mt19937 random(42);
    const std::vector<double> h = RandomSignal(random, 12);
    const std::vector<double> x = RandomSignal(random, 60);
    FirRig everyFiring(h, 1, 0, 1);
    FirRig someFirings(h, 1, 0, 1);
    ASSERT_TRUE(everyFiring.Start());
    ASSERT_TRUE(someFirings.Start());
    const std::vector<double> expected = everyFiring.Filter(x);
    double out = 7.0;
    someFirings.fir.Output.SetBuffer(&out, 1, 1, 0);
    double in = 0.0;
    someFirings.fir.Input.SetBuffer(&in, 1, 1, 0);
    for (size_t i = 0; i < x.size(); ++i) {
        in = x[i];
        if (i % 3 == 1) {
            out = 7.0;
            ASSERT_TRUE(someFirings.fir.RunWithoutOutput());
            EXPECT_EQ(out, 7.0);
            // Formed afterwards, the output is the one Run would have given.
            EXPECT_EQ(someFirings.fir.OutputOfNewestInput(), expected[i]) << "output " << i;
        } else {
            ASSERT_TRUE(someFirings.fir.Run());
            EXPECT_EQ(out, expected[i]) << "output " << i;
        }
    }
}
