// The receiver schematic: how parameters reach its blocks, the connections
// Initialize creates, the timing its firing order gives, and its end of life.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "RxSchematic.h"

namespace {

typedef Orvex_RX_AMI_05272013 Rx;

TEST(RxSchematic, DefaultsReachTheBlocks) {
    RxSchematic s;
    ASSERT_TRUE(s.Start());
    Rx& rx = *s.rx;
    EXPECT_EQ(rx.Subnetwork1.CtleSampleRate, 3.2e11);
    for (const CustomFIR_select_inp* bank : {&rx.Subnetwork1.C4, &rx.Subnetwork1.C1}) {
        EXPECT_EQ(bank->ResponseFIR.SampleRate, 3.2e11);
        EXPECT_EQ(bank->ResponseFIR.m_iNumTaps, 160);  // 0 to 499 ps every 3.125 ps
        EXPECT_EQ(bank->Response_Matrix.NumRows(), 500u);
    }
    EXPECT_EQ(rx.Subnetwork1.C4.Num_Responses, 16);
    EXPECT_EQ(rx.Subnetwork1.C1.Num_Responses, 5);
    EXPECT_EQ(rx.Subnetwork1.C4.Response_Matrix.NumColumns(), 16u);
    EXPECT_EQ(rx.Subnetwork1.C1.Response_Matrix.NumColumns(), 5u);
    EXPECT_DOUBLE_EQ(rx.Subnetwork2.Vco.SampleInterval, 3.125e-12);
    EXPECT_DOUBLE_EQ(rx.Subnetwork2.Vco.FreeRunningFrequency, 1e10);
    EXPECT_EQ(rx.Subnetwork2.Vco.Sensitivity, 8e8);
    EXPECT_DOUBLE_EQ(rx.Subnetwork2.Filter.SampleInterval, 3.125e-12);
    EXPECT_EQ(rx.Subnetwork2.Filter.SeriesCapacitance, 2.2e-8);
    EXPECT_EQ(rx.Subnetwork2.Filter.PumpCurrent, 2.5e-5);
    EXPECT_DOUBLE_EQ(rx.ClockTimeRecorder.SampleInterval, 3.125e-12);
    EXPECT_EQ(rx.ClockTimeRecorder.EdgeSelect, Tessel::ClockTimes::FallingEdges);
    EXPECT_EQ(rx.AdaptStartDelay.N, 5000);
    EXPECT_EQ(rx.EOM.EOM_window, 1000);
    EXPECT_EQ(rx.EOM.SamplesPerBit, 32);
    EXPECT_EQ(rx.Adapt.DFEAdapt, 1);
    EXPECT_EQ(rx.Adapt.CTLEAdapt, 1);
}

// Parameters reach the integer settings truncated; the two selectors round.
TEST(RxSchematic, ParametersAreTruncatedOrRoundedOnTheirWay) {
    RxSchematic s;
    s.rx->EOM_window = 1000.9;
    s.rx->DFEtap1 = -2.7;
    s.rx->EQ_Level = 4.99;
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.rx->EOM.EOM_window, 1000);
    EXPECT_EQ(s.rx->Adapt.DFEtap1, -2);
    EXPECT_EQ(s.rx->Adapt.EQ_Level, 4);

    // Values no int holds (which the parameter loading refuses) reach the
    // blocks as the nearest int limit, not-a-number as 0.
    RxSchematic wild;
    wild.rx->DFEtap2 = 1e12;
    wild.rx->DFEtap3 = -1e12;
    wild.rx->EOM_window = std::nan("");
    wild.rx->Setup();
    EXPECT_EQ(wild.rx->Adapt.DFEtap2, std::numeric_limits<int>::max());
    EXPECT_EQ(wild.rx->Adapt.DFEtap3, std::numeric_limits<int>::min());
    EXPECT_EQ(wild.rx->EOM.EOM_window, 0);

    struct Choice {
        double dwdmMode;
        int bank;
    };
    for (const Choice& choice : {Choice{0.4, 0}, Choice{0.5, 1}, Choice{1.4, 1}, Choice{-0.4, 0}}) {
        RxSchematic t;
        t.rx->DWDM_mode = choice.dwdmMode;
        t.rx->Rx_config = 1.4;
        ASSERT_TRUE(t.Start());
        EXPECT_TRUE(t.Fire(0.0)) << choice.dwdmMode;
        EXPECT_EQ(t.rx->Subnetwork1.CtleSelect.Control, choice.bank) << choice.dwdmMode;
        EXPECT_EQ(t.rx->OutputSelect.Control, 1);
    }
}

TEST(RxSchematic, InitializeCreatesEveryConnectionAndAttachesItsPorts) {
    RxSchematic s;
    ASSERT_TRUE(s.Start());
    Rx& rx = *s.rx;
    const auto connections = rx.Connections();
    for (size_t i = 0; i < connections.size(); ++i) {
        const Rx::Connection& c = connections[i];
        const int number = static_cast<int>(c.arc);
        ASSERT_EQ(number, static_cast<int>(i) + 1);
        const void* memory = rx.ArcMemory(c.arc);
        ASSERT_NE(memory, nullptr) << "connection " << number;
        EXPECT_EQ(c.producer->GetBufferMemory(), memory) << "connection " << number;
        EXPECT_EQ(c.producer->GetSize(), c.items) << "connection " << number;
        if (c.consumer != nullptr) {
            EXPECT_EQ(c.consumer->GetBufferMemory(), memory) << "connection " << number;
            EXPECT_EQ(c.consumer->GetSize(), c.items) << "connection " << number;
        }
    }
    // The Restart-to-Rearm delay line holds 3200 zeros, the other feedback
    // connections one zero each.
    EXPECT_EQ(connections[52].items, 3200u);
    const int* delayLine = static_cast<const int*>(rx.ArcMemory(Rx::Arc::RearmDelayLine));
    for (size_t k = 0; k < 3200; ++k) ASSERT_EQ(delayLine[k], 0) << k;
    EXPECT_EQ(*static_cast<const double*>(rx.ArcMemory(Rx::Arc::Equalized)), 0.0);
    EXPECT_EQ(*static_cast<const double*>(rx.ArcMemory(Rx::Arc::VcoControl)), 0.0);
    EXPECT_EQ(*static_cast<const int*>(rx.ArcMemory(Rx::Arc::MeasureDone)), 0);
    EXPECT_EQ(*static_cast<const double*>(rx.ArcMemory(Rx::Arc::EyeHeight)), 0.0);
    EXPECT_EQ(*static_cast<const double*>(rx.ArcMemory(Rx::Arc::EyeWidth)), 0.0);

    // A second Initialize replaces the memory (the first set is freed: the
    // sanitizer build would report it otherwise) and the ports follow.
    for (int k = 0; k < 100; ++k) ASSERT_TRUE(s.Fire(0.1));
    ASSERT_TRUE(rx.Initialize());
    for (const Rx::Connection& c : rx.Connections()) {
        ASSERT_EQ(c.producer->GetBufferMemory(), rx.ArcMemory(c.arc)) << "connection " << static_cast<int>(c.arc);
    }
    EXPECT_EQ(*static_cast<const double*>(rx.ArcMemory(Rx::Arc::Equalized)), 0.0);
    EXPECT_TRUE(s.Fire(0.1));
}

// The first firing: the equalised signal reaches the output one firing
// late, the oscillator runs free and starts with its clock high, which the
// DFE takes as a rising edge: the retimed output is +-0.5 from the first
// firing on.
TEST(RxSchematic, FirstFiringsShowTheDelaysOfTheFiringOrder) {
    RxSchematic equalised;
    equalised.rx->Rx_config = 1;
    ASSERT_TRUE(equalised.Start());
    ASSERT_TRUE(equalised.Fire(0.3));
    EXPECT_EQ(equalised.out, 0.0);
    EXPECT_EQ(equalised.rx->Subnetwork2.Vco.ControlInput[0], 0.0);
    EXPECT_NE(equalised.rx->DFE.Decisions[0], 0) << "decided in the first firing";
    double previous = equalised.rx->DFE.Output[0];
    EXPECT_NE(previous, 0.0);
    for (int k = 0; k < 100; ++k) {
        ASSERT_TRUE(equalised.Fire(k % 40 < 20 ? 0.3 : -0.3));
        ASSERT_EQ(equalised.out, previous) << "firing " << k + 2;
        previous = equalised.rx->DFE.Output[0];
    }

    RxSchematic retimed;
    ASSERT_TRUE(retimed.Start());
    for (int k = 0; k < 200; ++k) {
        ASSERT_TRUE(retimed.Fire(k < 100 ? 0.3 : -0.3));
        ASSERT_EQ(retimed.out, 0.5 * retimed.rx->DFE.Decision[0]) << "firing " << k + 1;
        ASSERT_EQ(std::fabs(retimed.out), 0.5) << "firing " << k + 1;
    }
}

// An out-of-range selector fails every firing with its message, while the
// rest of the schematic keeps firing.
TEST(RxSchematic, OutOfRangeSelectorsFailEveryFiringButTheRestRuns) {
    struct Case {
        double dwdmMode;
        double rxConfig;
        const char* message;
    };
    const Case cases[] = {
        {0, 2,
         "Control input signal value is equal to 2.  There are 2 inputs connected.  The valid control input "
         "range is [0,1].\n"},
        {-1, 1,
         "Control input signal value is equal to -1.  There are 2 inputs connected.  The valid control input "
         "range is [0,1].\n"},
    };
    for (const Case& c : cases) {
        RxSchematic s;
        s.rx->DWDM_mode = c.dwdmMode;
        s.rx->Rx_config = c.rxConfig;
        ASSERT_TRUE(s.Start());
        int clockTimes = 0;
        for (int k = 0; k < 64; ++k) {
            testing::internal::CaptureStderr();
            EXPECT_FALSE(s.Fire(0.2));
            EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
            if (s.clock >= 0.0) ++clockTimes;
        }
        EXPECT_EQ(clockTimes, 2) << "the clock-time recorder keeps firing";
        EXPECT_EQ(s.rx->Subnetwork2.Vco.m_iSampleCount, 64u);
    }
}

// The delay line from Restart to Rearm: Restart is 1 from Initialize on,
// and Rearm first sees it in firing 3201.
TEST(RxSchematic, RearmSeesRestartThreeThousandTwoHundredFiringsLater) {
    RxSchematic s;
    ASSERT_TRUE(s.Start());
    for (int k = 1; k <= 3200; ++k) {
        ASSERT_TRUE(s.Fire(0.0));
        ASSERT_EQ(s.rx->Adapt.Restart[0], 1);
        ASSERT_EQ(s.rx->Adapt.PreviousRearm, 0) << "firing " << k;
    }
    ASSERT_TRUE(s.Fire(0.0));
    EXPECT_EQ(s.rx->Adapt.PreviousRearm, 1);
}

TEST(RxSchematic, FinalizeFreesEveryConnectionAndLaterFiringsTouchNothing) {
    RxSchematic s;
    ASSERT_TRUE(s.Start());
    for (int k = 0; k < 300; ++k) ASSERT_TRUE(s.Fire(std::sin(0.1 * k)));
    ASSERT_TRUE(s.rx->Finalize());
    for (int number = 1; number <= Rx::kNumConnections; ++number) {
        EXPECT_EQ(s.rx->ArcMemory(static_cast<Rx::Arc>(number)), nullptr) << "connection " << number;
    }
    s.out = 7.0;
    s.clock = 7.0;
    EXPECT_FALSE(s.Fire(0.5));
    EXPECT_EQ(s.out, 7.0);
    EXPECT_EQ(s.clock, 7.0);
    s.rx->DeleteBuffers();  // nothing left to free
    // Started again, it runs: Initialize creates the connections anew.
    ASSERT_TRUE(s.rx->Initialize());
    EXPECT_TRUE(s.Fire(0.5));
}

}  // namespace
