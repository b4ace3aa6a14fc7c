// The response-selecting FIR both models share: which column is in force,
// the taps it builds, the guards on its tables and its memory lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "CustomFIR_select.h"
#include "ResponseSelectorDefaults.h"

namespace {

// The shared selector with the simplest model-side Run: rebuild from the
// current selection when asked to, then filter.
template <typename TCount>
class Selector : public Tessel::CustomFIR_select<TCount> {
public:
    bool Run() override {
        bool ok = true;
        if (rebuildBeforeNextFiring) {
            ok = this->ReloadSelectedColumn();
            rebuildBeforeNextFiring = false;
        }
        return this->FireFilter() && ok;
    }
    bool rebuildBeforeNextFiring = false;
};

// A selector with its ports attached to one-item arrays of the test's own.
template <typename TCount>
struct Bench {
    Bench() {
        selector.Input.SetBuffer(&in, 1, 1, 0);
        selector.Output.SetBuffer(&out, 1, 1, 0);
    }
    ~Bench() {
        selector.Input.SetBuffer(nullptr, 0, 0, 0);
        selector.Output.SetBuffer(nullptr, 0, 0, 0);
    }
    double Fire(double sample) {
        in = sample;
        EXPECT_TRUE(selector.Run());
        return out;
    }
    Selector<TCount> selector;
    double in = 0.0;
    double out = 0.0;
};

// A grid of 2^-40 s (about 0.9 ps) and the matching sample rate, so that
// the taps fall exactly on the time stamps.
const double kStep = std::ldexp(1.0, -40);
const double kRate = std::ldexp(1.0, 40);

// Columns c = 0, 1, ... of n points on that grid: decaying responses whose
// scale and decay differ per column.
void LoadColumns(Tessel::CustomFIR_select<int>& selector, int points, int columns) {
    const size_t shape[2] = {static_cast<size_t>(points), static_cast<size_t>(columns)};
    selector.Response_Matrix.ResizeMultidimensional(2, shape);
    for (int c = 0; c < columns; ++c) {
        for (int k = 0; k < points; ++k) {
            selector.Response_Matrix(k, c) = (c + 1) * 1e10 * std::exp(-k / (5.0 + c));
        }
    }
    const size_t stampShape[2] = {static_cast<size_t>(points), 1};
    selector.Time_Stamps.ResizeMultidimensional(2, stampShape);
    for (int k = 0; k < points; ++k) selector.Time_Stamps(k) = k * kStep;
    selector.Num_Time_Points = points;
    selector.Num_Responses = columns;
}

std::vector<double> Taps(const Tessel::TimeResponseFIR& filter) {
    return std::vector<double>(filter.m_pTaps, filter.m_pTaps + filter.m_iNumTaps);
}

TEST(CustomFIRSelect, DefaultTablesFilterWithFiftyTapsTenPicosecondsApart) {
    Bench<int> bench;
    ASSERT_TRUE(bench.selector.Setup());
    ASSERT_TRUE(bench.selector.Initialize());
    ASSERT_EQ(bench.selector.ResponseFIR.m_iNumTaps, 50);

    double peak = 0.0;
    for (int row = 0; row < 500; ++row) peak = std::fmax(peak, std::fabs(Response_Matrix_default[row]));
    for (int k = 0; k < 60; ++k) {
        const double expected = k < 50 ? Response_Matrix_default[10 * k] * 1e-11 : 0.0;
        EXPECT_NEAR(bench.Fire(k == 0 ? 1.0 : 0.0), expected, 1e-12 * peak * 1e-11) << "tap " << k;
    }
    EXPECT_TRUE(bench.selector.Finalize());
}

TEST(CustomFIRSelect, ControlOutsideTheResponsesSelectsTheFirst) {
    Selector<int> integer;
    integer.Num_Responses = 5;
    Selector<double> real;
    real.Num_Responses = 2.5;
    const struct {
        int control;
        size_t integerColumn;  // of 5 responses
        size_t realColumn;     // of 2.5 responses
    } cases[] = {{1, 0, 0}, {2, 1, 1}, {3, 2, 0}, {5, 4, 0}, {6, 0, 0}, {0, 0, 0}, {-3, 0, 0}};
    for (const auto& c : cases) {
        integer.Control = c.control;
        real.Control = c.control;
        EXPECT_EQ(integer.SelectedColumn(), c.integerColumn) << "Control " << c.control;
        EXPECT_EQ(real.SelectedColumn(), c.realColumn) << "Control " << c.control;
    }
    real.Num_Responses = std::nan("");
    real.Control = 1;
    EXPECT_EQ(real.SelectedColumn(), 0u);
}

TEST(CustomFIRSelect, SetupBuildsTheTapsOfTheSelectedColumnAndRebasesOnlyItsCopy) {
    Selector<int> selector;
    LoadColumns(selector, 40, 3);
    const double start = std::ldexp(1.0, -28);  // about 3.7 ns
    for (int k = 0; k < 40; ++k) selector.Time_Stamps(k) += start;
    selector.SampleRate = kRate;
    selector.Control = 3;
    ASSERT_TRUE(selector.Setup());
    // On the table's own grid every tap is the sample times one period.
    ASSERT_EQ(selector.ResponseFIR.m_iNumTaps, 40);
    for (int k = 0; k < 40; ++k) {
        EXPECT_EQ(selector.ResponseFIR.m_pTaps[k], selector.Response_Matrix(k, 2) / kRate) << k;
    }
    EXPECT_EQ(selector.Time_Stamps(0), start);
    EXPECT_EQ(selector.Time_Stamps(39), 39 * kStep + start);

    // A second Setup frees and rebuilds the lent arrays from the new choice.
    selector.Control = 0;
    ASSERT_TRUE(selector.Setup());
    EXPECT_EQ(selector.ResponseFIR.m_pTaps[0], selector.Response_Matrix(0, 0) / kRate);
}

TEST(CustomFIRSelect, RebuildKeepsTheHistoryAndFiltersItWithTheNewTaps) {
    Bench<int> bench;
    LoadColumns(bench.selector, 20, 2);
    bench.selector.SampleRate = kRate;
    bench.selector.Control = 1;
    ASSERT_TRUE(bench.selector.Setup());
    ASSERT_TRUE(bench.selector.Initialize());
    const std::vector<double> first = Taps(bench.selector.ResponseFIR);

    const std::vector<double> input = {1.0, -2.0, 0.5, 3.0};
    for (double x : input) bench.Fire(x);

    bench.selector.Control = 2;
    bench.selector.rebuildBeforeNextFiring = true;
    const double out = bench.Fire(0.25);
    const std::vector<double> second = Taps(bench.selector.ResponseFIR);
    ASSERT_EQ(second.size(), first.size());
    EXPECT_NE(second[0], first[0]);
    // Newest sample first, summed in the filter's order.
    const std::vector<double> history = {0.25, 3.0, 0.5, -2.0, 1.0};
    double expected = 0.0;
    for (size_t k = 0; k < history.size(); ++k) expected = history[k] * second[k] + expected;
    EXPECT_EQ(out, expected);
}

TEST(CustomFIRSelect, TablesThatCannotHoldTheSelectionAreRefusedWithAMessage) {
    const struct {
        const char* what;
        int points;    // Num_Time_Points
        int control;   // with 3 columns of 40 rows and Num_Responses 5
        int stamps;    // time stamps present
        const char* message;
    } cases[] = {
        {"more points than rows", 41, 1, 41, "Num_Time_Points (41) exceeds the 40 rows of Response_Matrix\n"},
        {"a column beyond the matrix", 40, 4, 40, "Control 4 selects response 4, but Response_Matrix holds 3 responses\n"},
        {"too few time stamps", 40, 1, 30, "Num_Time_Points (40) exceeds the 30 values of Time_Stamps\n"},
        {"three points", 3, 1, 40, "At least 4 response coefficients are required for input impulse response\n"},
        {"a negative count", -7, 1, 40, "At least 4 response coefficients are required for input impulse response\n"},
    };
    for (const auto& c : cases) {
        Selector<int> selector;
        LoadColumns(selector, 40, 3);
        const size_t stampShape[2] = {static_cast<size_t>(c.stamps), 1};
        selector.Time_Stamps.ResizeMultidimensional(2, stampShape);
        selector.Num_Time_Points = c.points;
        selector.Num_Responses = 5;
        selector.Control = c.control;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(selector.Setup()) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.what;
    }
}

TEST(CustomFIRSelect, FiringWithoutTapsOrHistoryIsRefusedWithoutTouchingTheOutput) {
    Bench<int> bench;
    bench.out = 42.0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bench.selector.Run()) << "no Setup yet";
    ASSERT_TRUE(bench.selector.Setup());
    EXPECT_FALSE(bench.selector.Run()) << "no Initialize yet";
    ASSERT_TRUE(bench.selector.Initialize());
    ASSERT_TRUE(bench.selector.Finalize());
    EXPECT_FALSE(bench.selector.Run()) << "after Finalize";
    const std::string posted = testing::internal::GetCapturedStderr();
    EXPECT_EQ(bench.out, 42.0);
    EXPECT_NE(posted.find("The response filter runs only after a successful Setup and Initialize"), std::string::npos);
    // Finalize leaves the filter no pointer into the freed arrays.
    EXPECT_EQ(bench.selector.ResponseFIR.m_pResponse, nullptr);
    EXPECT_EQ(bench.selector.ResponseFIR.ResponseTimeStamps, nullptr);
}

TEST(CustomFIRSelect, AFreshInitializeStartsFromAnEmptyHistory) {
    Bench<int> bench;
    ASSERT_TRUE(bench.selector.Setup());
    ASSERT_TRUE(bench.selector.Initialize());
    const double first = bench.Fire(1.0);
    bench.Fire(5.0);
    ASSERT_TRUE(bench.selector.Initialize());
    EXPECT_EQ(bench.Fire(1.0), first);
}

}  // namespace
