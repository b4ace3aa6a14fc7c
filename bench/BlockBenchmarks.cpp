// Per-sample cost of the FIR filter as a schematic drives it (one-item port
// buffers, one Run per sample), and the cost of turning a tabulated response
// into taps, which the transmitter repeats before every sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "FIR.h"
#include "TimeResponseFIR.h"

namespace {

// Deterministic, non-trivial sample values.
std::vector<double> Signal(size_t n, double step) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = std::sin(step * static_cast<double>(i));
    return v;
}

void FirPerSample(benchmark::State& state) {
    const int numTaps = static_cast<int>(state.range(0));
    std::vector<double> taps = Signal(static_cast<size_t>(numTaps), 0.37);
    const std::vector<double> input = Signal(1024, 0.11);

    Tessel::FIR<double, false> fir;
    fir.m_pTaps = taps.data();
    fir.m_iNumTaps = numTaps;
    double in = 0.0, out = 0.0;
    if (!fir.Setup()) {
        state.SkipWithError("Setup failed");
        return;
    }
    fir.Input.SetBuffer(&in, 1, 1, 0);
    fir.Output.SetBuffer(&out, 1, 1, 0);
    fir.Initialize();

    size_t i = 0;
    for (auto _ : state) {
        in = input[i++ & 1023];
        fir.Run();
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    fir.Finalize();
}
BENCHMARK(FirPerSample)->Arg(160)->Arg(481);

// 751 points, 0 to 1.5 ns in 2 ps steps, resampled at 32 samples per 100 ps:
// 481 taps.
void TimeResponseTaps(benchmark::State& state) {
    const int points = 751;
    std::vector<double> times(points), response(points);
    for (int k = 0; k < points; ++k) {
        times[k] = k * 2e-12;
        const double t = times[k] / 50e-12;
        response[k] = 1e10 * t * std::exp(-t) * std::cos(0.4 * t);
    }
    Tessel::TimeResponseFIR fir;
    fir.m_pResponse = response.data();
    fir.m_iNumResponseValues = points;
    fir.ResponseTimeStamps = times.data();
    fir.m_iNumTimeStamps = points;
    fir.ResponseType = Tessel::TimeResponseFIR::kImpulseResponse;
    fir.SampleRate = 32 / 1e-10;

    for (auto _ : state) {
        if (!fir.Setup()) {
            state.SkipWithError("Setup failed");
            break;
        }
        benchmark::DoNotOptimize(fir.m_pTaps[fir.m_iNumTaps - 1]);
    }
    state.counters["taps"] = fir.m_iNumTaps;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * fir.m_iNumTaps);
}
BENCHMARK(TimeResponseTaps);

}  // namespace
