// The receiver's CTLE bank: when a change of Control rebuilds the taps, and
// what the delay line and the output do around it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "CustomFIR_select_inp.h"
#include "OneItemWire.h"

namespace {

// Five constant impulse responses, column c at (c + 1) x 1e11 / s over
// 0..41 ps, so that at 1e11 Hz every tap of column c is exactly c + 1.
const int kColumns = 5;
const int kPoints = 42;
const double kRate = 1e11;

class BankTest : public ::testing::Test {
protected:
    void SetUp() override {
        const size_t shape[2] = {kPoints, kColumns};
        bank.Response_Matrix.ResizeMultidimensional(2, shape);
        for (int c = 0; c < kColumns; ++c) {
            for (int k = 0; k < kPoints; ++k) bank.Response_Matrix(k, c) = (c + 1) * kRate;
        }
        const size_t stampShape[2] = {kPoints, 1};
        bank.Time_Stamps.ResizeMultidimensional(2, stampShape);
        for (int k = 0; k < kPoints; ++k) bank.Time_Stamps(k) = k * 1e-12;
        bank.ResponseType = 0;
        bank.SampleRate = kRate;
        bank.Num_Time_Points = kPoints;
        bank.Num_Responses = kColumns;
        input.Attach(bank.Input);
        output.Attach(bank.Output);
        ASSERT_TRUE(bank.Setup());
        ASSERT_TRUE(bank.Initialize());
        ASSERT_EQ(bank.ResponseFIR.m_iNumTaps, 5);  // 0, 10, .., 40 ps
    }

    // The value every tap holds, or NaN when they differ.
    double TapValue() const {
        const double first = bank.ResponseFIR.m_pTaps[0];
        for (int k = 1; k < bank.ResponseFIR.m_iNumTaps; ++k) {
            if (bank.ResponseFIR.m_pTaps[k] != first) return std::nan("");
        }
        return first;
    }

    double Fire(int control, double x) {
        bank.Control = control;
        input.item = x;
        EXPECT_TRUE(bank.Run());
        return output.item;
    }

    CustomFIR_select_inp bank;
    OneItemWire<double> input, output;
};

// A change rebuilds the taps from the column now selected; a repeat does not
// look at the table again (a column edited meanwhile stays unseen), and an
// out-of-range Control falls back to the first column.
TEST_F(BankTest, TapsAreRebuiltOnlyWhenControlChanges) {
    // Setup ran with Control out of range: the first column is in force, and
    // a first Control of 1 equals Previous_Control, so nothing is rebuilt.
    EXPECT_EQ(TapValue(), 1.0);
    bank.Response_Matrix(0, 0) = 7 * kRate;
    Fire(1, 0.0);
    EXPECT_EQ(TapValue(), 1.0);

    Fire(2, 0.0);
    EXPECT_EQ(TapValue(), 2.0);
    for (int k = 0; k < kPoints; ++k) bank.Response_Matrix(k, 1) = 9 * kRate;
    Fire(2, 0.0);
    EXPECT_EQ(TapValue(), 2.0);

    for (int k = 0; k < kPoints; ++k) bank.Response_Matrix(k, 0) = 1 * kRate;
    Fire(0, 0.0);
    EXPECT_EQ(TapValue(), 1.0);
    Fire(6, 0.0);  // changed, but out of range too: the first column again
    EXPECT_EQ(TapValue(), 1.0);
    Fire(5, 0.0);
    EXPECT_EQ(TapValue(), 5.0);
    EXPECT_EQ(bank.Previous_Control, 5);
}

// The samples already in the delay line meet the new taps at once.
TEST_F(BankTest, ChangeOfResponseKeepsTheDelayLine) {
    EXPECT_EQ(Fire(1, 1.0), 1.0);
    EXPECT_EQ(Fire(1, 2.0), 3.0);
    EXPECT_EQ(Fire(3, 0.0), 9.0);   // (1 + 2 + 0) x 3
    EXPECT_EQ(Fire(3, 0.5), 10.5);  // (1 + 2 + 0 + 0.5) x 3
}

// Without its output the bank still takes every sample and follows every
// change; asked again, its output is what it would have been.
TEST_F(BankTest, FiringsWithoutOutputKeepTheHistoryAndTheSelection) {
    Fire(1, 1.0);
    bank.OutputNeeded = false;
    output.item = -4.0;
    EXPECT_EQ(Fire(2, 2.0), -4.0);
    EXPECT_EQ(TapValue(), 2.0);
    EXPECT_EQ(Fire(2, 3.0), -4.0);
    bank.OutputNeeded = true;
    EXPECT_EQ(Fire(2, 4.0), (1.0 + 2.0 + 3.0 + 4.0) * 2);
}

// A rebuild that the filter refuses fails that firing, and the next change
// tries again.
TEST_F(BankTest, FailedRebuildFailsItsFiring) {
    bank.Response_Matrix(3, 1) = std::nan("");
    bank.Control = 2;
    input.item = 1.0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bank.Run());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Response values and time stamps must be finite numbers\n");
    EXPECT_EQ(TapValue(), 1.0) << "the taps of the first column stay";
    EXPECT_TRUE(bank.Run()) << "no retry without a change";
    bank.Control = 3;
    EXPECT_TRUE(bank.Run());
    EXPECT_EQ(TapValue(), 3.0);
}

}  // namespace
