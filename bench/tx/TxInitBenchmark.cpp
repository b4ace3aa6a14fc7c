// The transmitter's AMI_Init on a 9-column x 16384-row impulse matrix at 32
// samples per unit interval (481 taps), against the floor of a plain
// 481-tap direct convolution of one column, and against rebuilding the taps
// before every sample. Compare the "per_column" counters:
//   AmiInit / DirectConvolution      how close the model is to the floor
//   AmiInitRebuildingTaps / AmiInit  what building the taps once per column saves
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <vector>

#include "Orvex_TX_AMI_01142014.h"
#include "TxEntryPoints.h"

namespace {

const long kRows = 16384;
const long kColumns = 9;
const double kBitTime = 1e-10;
const double kSampleInterval = kBitTime / 32;
char kParameters[] = "(Orvex_TX_AMI_01142014 (DE 7) (VOD 7) (gain 1.0) (DE_range 1))";

// A channel-like impulse matrix: a decaying ringing pulse per column, each
// column shifted a little.
std::vector<double> ImpulseMatrix() {
    std::vector<double> matrix(static_cast<size_t>(kRows * kColumns));
    for (long c = 0; c < kColumns; ++c) {
        for (long i = 0; i < kRows; ++i) {
            const double t = static_cast<double>(i - 40 * c) / 32.0;
            matrix[static_cast<size_t>(c * kRows + i)] = t < 0 ? 0.0 : t * std::exp(-t / 3.0) * std::cos(1.3 * t);
        }
    }
    return matrix;
}

// The schematic with the taps rebuilt before every firing.
class RebuildingTransmitter : public Orvex_TX_AMI_01142014 {
public:
    RebuildingTransmitter() { ResponseSelector.RebuildTapsEveryFiring = true; }
};

template <class Schematic>
void RunInit(benchmark::State& state) {
    const std::vector<double> original = ImpulseMatrix();
    std::vector<double> matrix;
    for (auto _ : state) {
        state.PauseTiming();
        matrix = original;
        state.ResumeTiming();
        void* handle = nullptr;
        char* msg = nullptr;
        const long result = Orvex::TxEntryPoints<Schematic>::Init(matrix.data(), kRows, kColumns - 1, kSampleInterval,
                                                                  kBitTime, kParameters, nullptr, &handle, &msg);
        Orvex::TxEntryPoints<Schematic>::Close(handle);
        if (result != 1) {
            state.SkipWithError("AMI_Init failed");
            return;
        }
        benchmark::DoNotOptimize(matrix.data());
    }
    state.counters["per_column"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kColumns),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void AmiInit(benchmark::State& state) { RunInit<Orvex_TX_AMI_01142014>(state); }
BENCHMARK(AmiInit)->Unit(benchmark::kMillisecond);

void AmiInitRebuildingTaps(benchmark::State& state) { RunInit<RebuildingTransmitter>(state); }
BENCHMARK(AmiInitRebuildingTaps)->Unit(benchmark::kMillisecond)->Iterations(2);

// The model's own taps for the benchmark's settings.
std::vector<double> ModelTaps() {
    Orvex_TX_AMI_01142014 model;
    model.Setup();
    const Tessel::TimeResponseFIR& filter = model.ResponseSelector.ResponseFIR;
    std::vector<double> taps(filter.m_pTaps, filter.m_pTaps + filter.m_iNumTaps);
    model.Finalize();
    return taps;
}

// The floor: y[n] = sum over k of tap[k] x[n - k] over contiguous arrays,
// each sum accumulated newest sample first, as the model does, with the
// samples before the column taken as zero.
void DirectConvolution(benchmark::State& state) {
    const std::vector<double> taps = ModelTaps();
    const size_t numTaps = taps.size();
    const std::vector<double> matrix = ImpulseMatrix();
    std::vector<double> input(numTaps - 1 + static_cast<size_t>(kRows), 0.0);
    std::vector<double> output(static_cast<size_t>(kRows));
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(matrix.begin(), matrix.begin() + kRows, input.begin() + static_cast<long>(numTaps - 1));
        state.ResumeTiming();
        const double* tap = taps.data();
        for (size_t n = 0; n < static_cast<size_t>(kRows); ++n) {
            const double* newest = input.data() + n + numTaps - 1;
            double sum = 0.0;
            for (size_t k = 0; k < numTaps; ++k) sum = newest[-static_cast<ptrdiff_t>(k)] * tap[k] + sum;
            output[n] = sum;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.counters["taps"] = static_cast<double>(numTaps);
    state.counters["per_column"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(DirectConvolution)->Unit(benchmark::kMillisecond);

}  // namespace
