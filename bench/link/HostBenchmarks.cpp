// What the link simulator itself spends per block of a run, next to the
// receiver's AMI_GetWave: the channel convolution, the eye analysis, and
// building the lossy line once per run.
#include <benchmark/benchmark.h>

#include <vector>

#include "Channel.h"
#include "EyeAnalysis.h"
#include "Fft.h"
#include "Prbs.h"

namespace {

const double kBitRate = 10e9;
const int kSpui = 32;
const size_t kBlockBits = 1024;
const size_t kBlockSamples = kBlockBits * kSpui;

std::vector<double> NrzBlock() {
    const std::vector<int> bits = linksim::Prbs(15, kBlockBits);
    std::vector<double> wave(kBlockSamples);
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = bits[i / kSpui] ? 0.5 : -0.5;
    return wave;
}

void BM_ChannelConvolutionPerBlock(benchmark::State& state) {
    const double dt = 1.0 / (kBitRate * kSpui);
    std::vector<double> taps = linksim::LossyChannelImpulse(double(state.range(0)), kBitRate, kSpui);
    taps.resize(taps.size() + 64 * kSpui, 0.0);  // the impulse matrix's margin
    for (double& tap : taps) tap *= dt;
    linksim::StreamConvolver convolver(taps, kBlockSamples);
    const std::vector<double> input = NrzBlock();
    std::vector<double> output(kBlockSamples);
    for (auto _ : state) {
        convolver.Process(input.data(), kBlockSamples, output.data());
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kBlockSamples));
}
BENCHMARK(BM_ChannelConvolutionPerBlock)->Arg(12)->Arg(30);

void BM_EyeAnalysisPerBlock(benchmark::State& state) {
    linksim::EyeAnalyzerSettings settings;
    settings.sampleInterval = 1.0 / (kBitRate * kSpui);
    settings.unitInterval = 1.0 / kBitRate;
    settings.samplingOffset = 0.5 / kBitRate;
    linksim::EyeAnalyzer analyzer(settings);
    const std::vector<double> wave = NrzBlock();
    std::vector<double> clocks(kBlockBits);
    size_t block = 0;
    for (auto _ : state) {
        for (size_t n = 0; n < kBlockBits; ++n) clocks[n] = double(block * kBlockBits + n) / kBitRate;
        analyzer.AddBlock(wave.data(), wave.size(), clocks.data(), clocks.size());
        ++block;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kBlockSamples));
}
BENCHMARK(BM_EyeAnalysisPerBlock);

void BM_LossyChannelImpulse(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(linksim::LossyChannelImpulse(12.0, kBitRate, kSpui));
    }
}
BENCHMARK(BM_LossyChannelImpulse);

}  // namespace
