// Speed of the receiver as a simulator feels it: AMI_GetWave on the default
// settings, fed blocks of 1024 unit intervals at 32 samples each of a PRBS
// through a mildly lossy channel. Reported as samples per second.
//
// Beside it, the floor kernel on the same blocks: per sample, one 160-tap
// dot product over a sliding history (as the CTLE forms it), one tanh and
// one cos from the C library. It is what any receiver of this design must
// at least do, so the ratio of the two rates says how much the receiver's
// own bookkeeping costs. Both take the dot product's path from the argument
// (0 one lane at a time, 1 SSE2, 2 AVX2; skipped where not available), so
// that every path is measured; compare them in the same run.
//
// The receiver appends its adaptation log to "adapt.txt" in the working
// folder, so the benchmark runs in a fresh temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DotProduct.h"
#include "Orvex_RX_AMI_05272013.h"
#include "SampleHistory.h"
#include "RxEntryPoints.h"
#include "WorkingFolder.h"

namespace {

typedef Orvex::RxEntryPoints<Orvex_RX_AMI_05272013> Receiver;

const int kSamplesPerBit = 32;
const double kBitTime = 1e-10;
const long kBlockSamples = 1024 * kSamplesPerBit;
const size_t kPatternBlocks = 64;

// PRBS15 at +-0.5 V through a first-order low pass of one unit interval.
std::vector<double> ReceivedWaveform(size_t samples) {
    std::vector<double> wave(samples);
    unsigned state = 0x7fff;
    int bit = 0;
    const double decay = std::exp(-1.0 / kSamplesPerBit);
    double level = 0.0;
    for (size_t i = 0; i < samples; ++i) {
        if (i % kSamplesPerBit == 0) {
            bit = static_cast<int>(((state >> 14) ^ (state >> 13)) & 1u);
            state = ((state << 1) | static_cast<unsigned>(bit)) & 0x7fffu;
        }
        level = decay * level + (1.0 - decay) * (bit ? 0.5 : -0.5);
        wave[i] = level;
    }
    return wave;
}

const Tessel::DotProductPath kPaths[] = {Tessel::DotProductPath::Plain, Tessel::DotProductPath::Sse2,
                                         Tessel::DotProductPath::Avx2};

// Puts the argument's path in force; false (the benchmark skipped) where
// this processor or build lacks it.
bool UsePathOfArgument(benchmark::State& state) {
    const Tessel::DotProductPath path = kPaths[state.range(0)];
    if (!Tessel::UseDotProductPath(path)) {
        state.SkipWithError("this dot product path is not available here");
        return false;
    }
    return true;
}

// The pattern's next block into `block`, outside the timing: the
// receiver and the floor kernel are given the same input.
void NextBlock(benchmark::State& state, const std::vector<double>& pattern, size_t& next, std::vector<double>& block) {
    state.PauseTiming();
    block.assign(pattern.begin() + static_cast<long>(next * kBlockSamples),
                 pattern.begin() + static_cast<long>((next + 1) * kBlockSamples));
    next = (next + 1) % kPatternBlocks;
    state.ResumeTiming();
}

void SetRate(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlockSamples);
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlockSamples, benchmark::Counter::kIsRate);
}

void BM_GetWaveDefaultSettings(benchmark::State& state) {
    if (!UsePathOfArgument(state)) {
        return;
    }
    // The receiver writes its adaptation log into the working folder.
    linksim::WorkingFolder folder;
    std::string error;
    if (!folder.EnterTemporary("rx-bench", error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::vector<double> pattern = ReceivedWaveform(kPatternBlocks * kBlockSamples);
    void* handle = nullptr;
    if (Receiver::Init(nullptr, 0, 0, kBitTime / kSamplesPerBit, kBitTime, "", nullptr, &handle, nullptr) != 1) {
        state.SkipWithError("AMI_Init failed");
        Receiver::Close(handle);
        return;
    }
    std::vector<double> block(kBlockSamples);
    std::vector<double> clockTimes(kBlockSamples / kSamplesPerBit + 1);
    size_t next = 0;
    for (auto _ : state) {
        NextBlock(state, pattern, next, block);
        if (Receiver::GetWave(block.data(), kBlockSamples, clockTimes.data(), nullptr, handle) != 1) {
            state.SkipWithError("AMI_GetWave failed");
            break;
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(clockTimes.data());
    }
    SetRate(state);
    Receiver::Close(handle);
}
BENCHMARK(BM_GetWaveDefaultSettings)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(3.0);

const size_t kFloorTaps = 160;
const double kFloorTwoPi = 6.283185307179586;

// The floor kernel over one block, in place: the CTLE's sum, the soft
// limiter's tanh and a clock's cos at the bit rate, per sample.
// The clock's phase is kept within a turn, so that the cos never takes the
// library's slow path for large arguments.
__attribute__((noinline)) void FloorKernel(std::vector<double>& block, Tessel::SampleHistory& history, const std::vector<double>& taps,
                                                 double& phase) {
    const double step = kFloorTwoPi / kSamplesPerBit * 1.0001;
    for (double& sample : block) {
        history.Push(sample);
        const double sum = Tessel::BlockedDotProduct(history.Newest(), taps.data(), kFloorTaps);
        const double limited = 0.2604 * std::tanh(3.840245775729646 * sum);
        phase += step;
        if (phase >= kFloorTwoPi) {
            phase -= kFloorTwoPi;
        }
        sample = std::cos(phase) > 0.0 ? limited : -limited;
    }
}

void BM_FloorKernel(benchmark::State& state) {
    if (!UsePathOfArgument(state)) {
        return;
    }
    const std::vector<double> pattern = ReceivedWaveform(kPatternBlocks * kBlockSamples);
    std::vector<double> taps(kFloorTaps);
    for (size_t j = 0; j < kFloorTaps; ++j) {
        taps[j] = std::exp(-static_cast<double>(j) / 20.0) / 20.0;  // a smooth low pass
    }
    Tessel::SampleHistory history;
    history.Reset(kFloorTaps);
    std::vector<double> block(kBlockSamples);
    double phase = 0.0;
    size_t next = 0;
    for (auto _ : state) {
        NextBlock(state, pattern, next, block);
        FloorKernel(block, history, taps, phase);
        benchmark::DoNotOptimize(block.data());
    }
    SetRate(state);
}
BENCHMARK(BM_FloorKernel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
