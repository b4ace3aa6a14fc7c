// Cost of one firing of each of the receiver's custom blocks, each fed the
// kind of signal it sees in the receiver (32 samples per bit).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "Adapt_custom.h"
#include "CircularBuffer.h"
#include "DFE_custom.h"
#include "Delay.h"
#include "EOM_custom.h"
#include "LoopFilter.h"
#include "NClockDelay.h"
#include "PFD.h"

namespace {

const int kSamplesPerBit = 32;
const double kTwoPi = 6.283185307179586;

template <typename T>
struct Item {
    T value = T();
    void Attach(Tessel::CircularBuffer<T>& port) { port.SetBuffer(&value, 1, 1, 0); }
};

int ClockAt(long n) { return (n % kSamplesPerBit) < kSamplesPerBit / 2 ? 1 : 0; }
double DataAt(long n) { return ((n / kSamplesPerBit) * 7 % 3 == 0) ? 0.2 : -0.2; }

void BM_DFE(benchmark::State& state) {
    DFE_custom dfe;
    dfe.Setup();
    Item<int> clock, decision;
    Item<double> input, output, taps[5];
    clock.Attach(dfe.Clock);
    input.Attach(dfe.Input);
    decision.Attach(dfe.Decision);
    output.Attach(dfe.Output);
    for (int k = 0; k < 5; ++k) {
        taps[k].Attach(dfe.Taps[k]);
        taps[k].value = 0.01 * (k + 1);
    }
    dfe.Initialize();
    long n = 0;
    for (auto _ : state) {
        clock.value = ClockAt(n);
        input.value = DataAt(n);
        dfe.Run();
        benchmark::DoNotOptimize(output.value);
        ++n;
    }
}
BENCHMARK(BM_DFE);

// Collecting, with one evaluation and restart every 1000 bits as in the
// receiver's adaptation.
void BM_EOM(benchmark::State& state) {
    auto eom = std::make_unique<EOM_custom>();
    eom->SamplesPerBit = kSamplesPerBit;
    eom->EOM_window = 1000;
    eom->Setup();
    Item<int> clock, restart, done;
    Item<double> input, width, height;
    clock.Attach(eom->Clock);
    input.Attach(eom->Input);
    restart.Attach(eom->Restart);
    done.Attach(eom->Done);
    width.Attach(eom->EyeWidth);
    height.Attach(eom->EyeHeight);
    eom->Initialize();
    long n = 0;
    for (auto _ : state) {
        clock.value = ClockAt(n);
        input.value = DataAt(n) + 0.01 * std::sin(0.37 * n);
        restart.value = done.value;  // restart as soon as a measurement is done
        eom->Run();
        benchmark::DoNotOptimize(width.value);
        ++n;
    }
}
BENCHMARK(BM_EOM);

void BM_EOMEvaluateAndClear(benchmark::State& state) {
    auto eom = std::make_unique<EOM_custom>();
    eom->SamplesPerBit = kSamplesPerBit;
    eom->EOM_window = 0;  // every start evaluates at once
    eom->Setup();
    Item<int> clock, restart, done;
    Item<double> input, width, height;
    clock.Attach(eom->Clock);
    input.Attach(eom->Input);
    restart.Attach(eom->Restart);
    done.Attach(eom->Done);
    width.Attach(eom->EyeWidth);
    height.Attach(eom->EyeHeight);
    eom->Initialize();
    for (auto _ : state) {
        // A falling clock edge starts and evaluates; a restart pulse clears.
        clock.value = 1;
        eom->Run();
        clock.value = 0;
        eom->Run();
        restart.value = 1;
        eom->Run();
        restart.value = 0;
        eom->Run();
        benchmark::DoNotOptimize(height.value);
    }
}
BENCHMARK(BM_EOMEvaluateAndClear);

// An ordinary firing between measurements: no edge on any input.
void BM_AdaptIdle(benchmark::State& state) {
    Adapt_custom adapt;
    adapt.CTLEAdapt = 1;
    adapt.DFEAdapt = 1;
    adapt.Setup();
    Item<int> start, measureDone, rearm, select, restart, ctleDone, unused;
    Item<double> width, height, taps[5];
    start.Attach(adapt.Start);
    measureDone.Attach(adapt.MeasureDone);
    rearm.Attach(adapt.Rearm);
    width.Attach(adapt.EyeWidth);
    height.Attach(adapt.EyeHeight);
    select.Attach(adapt.CTLE_Select);
    restart.Attach(adapt.Restart);
    ctleDone.Attach(adapt.CTLE_Done);
    unused.Attach(adapt.Port10);
    for (int k = 0; k < 5; ++k) taps[k].Attach(adapt.DFE_Taps[k]);
    adapt.Initialize();
    start.value = 1;
    for (auto _ : state) {
        adapt.Run();
        benchmark::DoNotOptimize(taps[0].value);
    }
}
BENCHMARK(BM_AdaptIdle);

void BM_ClockRecoveryBlocks(benchmark::State& state) {
    Delay quadrature;
    Item<double> vco;
    vco.Attach(quadrature.Input);
    quadrature.Setup();
    quadrature.Initialize();
    PFD detector;
    LoopFilter filter;
    filter.SeriesCapacitance = 2.2e-8;
    filter.ShuntCapacitance = 5e-11;
    filter.Resistance = 100.0;
    filter.PumpCurrent = 2.5e-5;
    filter.SampleInterval = 3.125e-12;
    filter.Setup();
    filter.Initialize();
    long n = 0;
    for (auto _ : state) {
        vco.value = std::sin(kTwoPi * (n % kSamplesPerBit) / kSamplesPerBit);
        quadrature.Run();
        detector.ClockI = vco.value;
        detector.ClockQ = quadrature.Output;
        detector.DataIn = DataAt(n + 3);
        detector.Run();
        filter.PumpInput = detector.BitI + detector.UpDown;
        filter.Run();
        benchmark::DoNotOptimize(filter.ControlVoltage);
        ++n;
    }
}
BENCHMARK(BM_ClockRecoveryBlocks);

void BM_NClockDelay(benchmark::State& state) {
    NClockDelay delay;
    delay.N = 5000;
    Item<int> clock, trigger, output;
    clock.Attach(delay.Clock);
    trigger.Attach(delay.Trigger);
    output.Attach(delay.Output);
    delay.Setup();
    delay.Initialize();
    trigger.value = 1;
    long n = 0;
    for (auto _ : state) {
        clock.value = ClockAt(n);
        delay.Run();
        benchmark::DoNotOptimize(output.value);
        ++n;
    }
}
BENCHMARK(BM_NClockDelay);

}  // namespace
