// Speed of the receiver as a simulator feels it: AMI_GetWave on the default
// settings, fed blocks of 1024 unit intervals at 32 samples each of a PRBS
// through a mildly lossy channel. Reported as samples per second.
//
// The receiver appends its adaptation log to "adapt.txt" in the working
// folder, so the benchmark runs in a fresh temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "Orvex_RX_AMI_05272013.h"
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

void BM_GetWaveDefaultSettings(benchmark::State& state) {
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
        state.PauseTiming();
        block.assign(pattern.begin() + static_cast<long>(next * kBlockSamples),
                     pattern.begin() + static_cast<long>((next + 1) * kBlockSamples));
        next = (next + 1) % kPatternBlocks;
        state.ResumeTiming();
        if (Receiver::GetWave(block.data(), kBlockSamples, clockTimes.data(), nullptr, handle) != 1) {
            state.SkipWithError("AMI_GetWave failed");
            break;
        }
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(clockTimes.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlockSamples);
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlockSamples, benchmark::Counter::kIsRate);
    Receiver::Close(handle);
}
BENCHMARK(BM_GetWaveDefaultSettings)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
