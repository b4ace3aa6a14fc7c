#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "LoopFilter.h"

namespace {

// The receiver's loop: 22 nF in series with 100 ohm, 50 pF shunt, 25 uA pump,
// 3.125 ps per sample.
LoopFilter ReceiverFilter(double sampleInterval = 3.125e-12) {
    LoopFilter filter;
    filter.SeriesCapacitance = 2.2e-8;
    filter.ShuntCapacitance = 5e-11;
    filter.Resistance = 100.0;
    filter.PumpCurrent = 2.5e-5;
    filter.SampleInterval = sampleInterval;
    return filter;
}

void Pump(LoopFilter& filter, double command, int firings = 1) {
    for (int i = 0; i < firings; ++i) {
        filter.PumpInput = command;
        ASSERT_TRUE(filter.Run());
    }
}

TEST(LoopFilter, InitializeRefusesANonPositiveSampleIntervalAndKeepsTheVoltages) {
    for (double interval : {0.0, -1e-12}) {
        LoopFilter filter = ReceiverFilter(interval);
        ASSERT_TRUE(filter.Setup());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(filter.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("SampleInterval must be a positive number.\n"));
    }
    LoopFilter filter = ReceiverFilter();
    ASSERT_TRUE(filter.Setup());
    ASSERT_TRUE(filter.Initialize());
    Pump(filter, 1.0, 10);
    const double charged = filter.ControlVoltage;
    ASSERT_GT(charged, 0.0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(filter.Initialize());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(filter.ShuntVoltage, charged);
}

TEST(LoopFilter, OnePumpFiringFromRestChargesByTheCapacitiveAndResistiveTerms) {
    LoopFilter filter = ReceiverFilter();
    ASSERT_TRUE(filter.Initialize());
    Pump(filter, 1.0);
    const double a = 2.2e-8, b = 5e-11, r = 100.0, dt = 3.125e-12, i = 2.5e-5;
    const double e = std::exp(-(a + b) * dt / (a * b * r));
    const double expected = dt * i / (a + b) + a * a * r * (1.0 - e) * i / ((a + b) * (a + b));
    EXPECT_NEAR(filter.ControlVoltage, expected, 1e-12 * expected);
    EXPECT_EQ(filter.ControlVoltage, filter.ShuntVoltage);
    // Nearly all of the first charge sits on the small shunt capacitor.
    EXPECT_NEAR(filter.ControlVoltage, i * dt / b, 0.001 * i * dt / b);
    EXPECT_GT(filter.SeriesVoltage, 0.0);
    EXPECT_LT(filter.SeriesVoltage, filter.ShuntVoltage);

    Pump(filter, -1.0);
    EXPECT_LT(filter.PumpCurrentInForce, 0.0);
    EXPECT_LT(filter.ControlVoltage, expected) << "a negative command discharges";
}

TEST(LoopFilter, StepIsTheExactSolutionSoTwoHalfStepsMatchOneWholeStep) {
    LoopFilter fine = ReceiverFilter(1e-9);
    LoopFilter coarse = ReceiverFilter(2e-9);
    for (LoopFilter* filter : {&fine, &coarse}) {
        filter->SeriesVoltage = 0.3;
        filter->ShuntVoltage = -0.2;
        ASSERT_TRUE(filter->Initialize());
    }
    Pump(fine, 1.0, 2);
    Pump(coarse, 1.0, 1);
    EXPECT_NEAR(fine.ShuntVoltage, coarse.ShuntVoltage, 1e-12);
    EXPECT_NEAR(fine.SeriesVoltage, coarse.SeriesVoltage, 1e-12);
}

TEST(LoopFilter, WithoutPumpTheVoltagesSettleToTheSharedCharge) {
    LoopFilter filter = ReceiverFilter(1e-6);  // two hundred time constants
    filter.SeriesVoltage = 0.5;
    filter.ShuntVoltage = -0.4;
    ASSERT_TRUE(filter.Initialize());
    Pump(filter, 0.0);
    const double a = 2.2e-8, b = 5e-11;
    const double shared = (a * 0.5 + b * -0.4) / (a + b);
    EXPECT_NEAR(filter.SeriesVoltage, shared, 1e-12);
    EXPECT_NEAR(filter.ShuntVoltage, shared, 1e-12);
}

TEST(LoopFilter, AVanishingIntervalLeavesTheVoltagesAlone) {
    LoopFilter filter = ReceiverFilter(1e-30);
    filter.SeriesVoltage = 0.5;
    filter.ShuntVoltage = -0.4;
    ASSERT_TRUE(filter.Initialize());
    Pump(filter, 1.0, 3);
    EXPECT_NEAR(filter.SeriesVoltage, 0.5, 1e-12);
    EXPECT_NEAR(filter.ShuntVoltage, -0.4, 1e-12);
}

TEST(LoopFilter, CommandsOtherThanPlusMinusOneAndZeroKeepTheCurrentInForce) {
    LoopFilter held = ReceiverFilter();
    LoopFilter pumped = ReceiverFilter();
    ASSERT_TRUE(held.Initialize());
    ASSERT_TRUE(pumped.Initialize());
    Pump(held, 1.0);
    Pump(held, 2.0);   // the phase detector's sum can reach +-2
    Pump(held, -2.0);
    Pump(held, 0.5);
    Pump(pumped, 1.0, 4);
    EXPECT_EQ(held.PumpCurrentInForce, 2.5e-5);
    EXPECT_EQ(held.ControlVoltage, pumped.ControlVoltage);

    Pump(held, 0.0);
    EXPECT_EQ(held.PumpCurrentInForce, 0.0);
    Pump(held, 2.0);
    EXPECT_EQ(held.PumpCurrentInForce, 0.0);
}

TEST(LoopFilter, ParametersChangedBeforeInitializeTakeEffect) {
    LoopFilter changed = ReceiverFilter(1e-12);
    ASSERT_TRUE(changed.Setup());
    changed.SampleInterval = 3.125e-12;
    changed.PumpCurrent = 5e-5;
    ASSERT_TRUE(changed.Initialize());
    LoopFilter reference = ReceiverFilter(3.125e-12);
    reference.PumpCurrent = 5e-5;
    ASSERT_TRUE(reference.Setup());
    ASSERT_TRUE(reference.Initialize());
    Pump(changed, 1.0, 5);
    Pump(reference, 1.0, 5);
    EXPECT_EQ(changed.ControlVoltage, reference.ControlVoltage);
}

}  // namespace
