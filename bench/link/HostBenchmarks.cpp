// What the link simulator itself spends, next to the receiver's AMI_GetWave
// (items are samples, so items_per_second gives the time per sample): the
// channel convolution as a run does it (a full chunk of stimulus at a time,
// for several transform sizes) and as it would cost once per receiver block,
// the transforms themselves, the eye analysis per block, and, once per run,
// the eye picture's density, the margins at a target BER (and the tail fits
// they are made of), where a host clock starts, and the lossy line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "Channel.h"
#include "EyeAnalysis.h"
#include "EyeDensity.h"
#include "Fft.h"
#include "JitterBreakdown.h"
#include "Margins.h"
#include "Prbs.h"
#include "Stress.h"
#include "StreamConvolver.h"

namespace {

const double kBitRate = 10e9;
const int kSpui = 32;
const size_t kBlockBits = 1024;
const size_t kBlockSamples = kBlockBits * kSpui;

std::vector<double> ChannelTaps(double lossDb) {
    const double dt = 1.0 / (kBitRate * kSpui);
    std::vector<double> taps = linksim::LossyChannelImpulse(lossDb, kBitRate, kSpui);
    taps.resize(taps.size() + 64 * kSpui, 0.0);  // the impulse matrix's margin
    for (double& tap : taps) tap *= dt;
    return taps;
}

std::vector<double> NrzWave(size_t samples) {
    const std::vector<int> bits = linksim::Prbs(15, samples / kSpui + 1);
    std::vector<double> wave(samples);
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = bits[i / kSpui] ? 0.5 : -0.5;
    return wave;
}

std::vector<double> NrzBlock() { return NrzWave(kBlockSamples); }

// The channel as a run convolves it: a full chunk of the stimulus at a time.
// Arguments: the loss in dB, the transform size (0: the convolver's choice).
void BM_ChannelConvolution(benchmark::State& state) {
    linksim::StreamConvolver convolver(ChannelTaps(double(state.range(0))), size_t(state.range(1)));
    const size_t chunk = convolver.ChunkLength();
    const std::vector<double> input = NrzWave(chunk);
    std::vector<double> output(chunk);
    for (auto _ : state) {
        convolver.Process(input.data(), chunk, output.data());
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(chunk));
    state.counters["taps"] = double(convolver.TapCount());
    state.counters["transform"] = double(convolver.TransformSize());
}
BENCHMARK(BM_ChannelConvolution)
    ->Args({12, 0})
    ->Args({30, 0})
    ->Args({12, 1 << 13})
    ->Args({12, 1 << 14})
    ->Args({12, 1 << 15})
    ->Args({12, 1 << 16})
    ->Args({30, 1 << 15});

// The same filter called once per receiver block, as if the stimulus were
// not known ahead: each call pays for a whole transform.
void BM_ChannelConvolutionPerBlock(benchmark::State& state) {
    linksim::StreamConvolver convolver(ChannelTaps(double(state.range(0))));
    const std::vector<double> input = NrzBlock();
    std::vector<double> output(kBlockSamples);
    for (auto _ : state) {
        convolver.Process(input.data(), kBlockSamples, output.data());
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kBlockSamples));
}
BENCHMARK(BM_ChannelConvolutionPerBlock)->Arg(12);

// One forward and one inverse real transform, as the convolution does them.
void BM_FftPair(benchmark::State& state) {
    const linksim::Fft fft(size_t(state.range(0)));
    const std::vector<double> wave = NrzWave(fft.Size());
    linksim::FftBuffer<double> signal(fft.Size());
    linksim::FftBuffer<linksim::Complex> spectrum(fft.Size() / 2 + 1);
    std::copy(wave.begin(), wave.end(), signal.data());
    for (auto _ : state) {
        fft.ForwardReal(signal, spectrum);
        fft.InverseReal(spectrum, signal);
        for (size_t i = 0; i < fft.Size(); ++i) signal[i] *= 1.0 / double(fft.Size());
        benchmark::DoNotOptimize(signal.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(fft.Size()));
}
BENCHMARK(BM_FftPair)->Arg(1 << 12)->Arg(1 << 13)->Arg(1 << 14)->Arg(1 << 15)->Arg(1 << 16)->Arg(1 << 17);

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

// The eye picture's density, folded from a run's trace: the last 2^19
// samples (16384 unit intervals) of a channel's output and their instants.
void BM_FoldEye(benchmark::State& state) {
    const size_t samples = size_t(1) << 19;
    linksim::StreamConvolver channel(ChannelTaps(12.0));
    const std::vector<double> input = NrzWave(samples);
    std::vector<double> trace(samples);
    channel.Process(input.data(), samples, trace.data());
    std::vector<double> instants;
    for (size_t n = 0; n < samples / kSpui; ++n) instants.push_back((double(n) + 0.5) / kBitRate);
    for (auto _ : state) {
        benchmark::DoNotOptimize(linksim::FoldEye(trace, 0.0, 1.0 / (kBitRate * kSpui), instants, 1.0 / kBitRate,
                                                  480, 320));
    }
}
BENCHMARK(BM_FoldEye)->Unit(benchmark::kMillisecond);

// What the margins of a default run measure: 50000 bits of an open eye (a
// 5 dB line's output, as the run keeps it: float), sampled at the peak of
// the line's pulse, a little early of the opening's middle.
linksim::MarginInput DefaultRunMargins() {
    const size_t bits = 50000;
    const std::vector<double> taps = ChannelTaps(5.0);
    const size_t peak = size_t(std::max_element(taps.begin(), taps.end()) - taps.begin());
    linksim::StreamConvolver channel(taps);
    const std::vector<double> input = NrzWave(bits * kSpui);
    std::vector<double> trace(input.size());
    channel.Process(input.data(), input.size(), trace.data());
    const std::vector<int> sent = linksim::Prbs(15, bits);
    linksim::MarginInput margins;
    margins.unitInterval = 1.0 / kBitRate;
    margins.sampleInterval = margins.unitInterval / kSpui;
    margins.wave.assign(trace.begin(), trace.end());
    for (size_t n = 0; n + 1 < bits; ++n) {
        margins.instants.push_back((double(n) + 0.5) * margins.unitInterval + double(peak) * margins.sampleInterval);
        margins.instantBits.push_back(sent[n]);
    }
    return margins;
}

void BM_MeasureMargins(benchmark::State& state) {
    const linksim::MarginInput input = DefaultRunMargins();
    for (auto _ : state) {
        const linksim::MarginReport report = linksim::MeasureMargins(input);
        benchmark::DoNotOptimize(report.timingMarginUi);
    }
    state.counters["outline_points"] = double(linksim::MeasureMargins(input).outline.size());
}
BENCHMARK(BM_MeasureMargins)->Unit(benchmark::kMillisecond);

// The jitter breakdown of a default run's output (the margins' 50000 bits),
// its edges found and split against the clock and the data's grid: beside
// the margins in a run, so it must cost well below them.
void BM_JitterBreakdown(benchmark::State& state) {
    const linksim::MarginInput margins = DefaultRunMargins();
    const std::vector<int> sent = linksim::Prbs(15, 50000);
    std::vector<double> clock;
    for (double instant : margins.instants) clock.push_back(instant - 0.5 * margins.unitInterval);
    linksim::JitterInput input;
    input.unitInterval = margins.unitInterval;
    input.sampleInterval = margins.sampleInterval;
    input.wave = &margins.wave;
    input.clockTimes = &clock;
    input.dataUiAt = [&input](double t) { return t / input.unitInterval; };
    input.bits = &sent;
    input.maxLatencyBits = 1500;
    input.latencyHintBits = 0;  // as the bit errors give it in a run
    for (auto _ : state) {
        const linksim::JitterBreakdown jitter = linksim::BreakDownJitter(input, linksim::FindOutputEdges(input));
        benchmark::DoNotOptimize(jitter.againstGrid.total);
    }
}
BENCHMARK(BM_JitterBreakdown)->Unit(benchmark::kMillisecond);

// One Gaussian fit of a level's tail: 25000 values, as each side of the
// margins' levels holds.
void BM_FitGaussianTail(benchmark::State& state) {
    linksim::NormalSource normal(1);
    std::vector<double> values(25000);
    for (double& value : values) value = 0.2 + 0.01 * normal.Next();
    for (auto _ : state) {
        benchmark::DoNotOptimize(linksim::FitGaussianTail(values, 50000.0, linksim::TailSide::Lower).sigma);
    }
}
BENCHMARK(BM_FitGaussianTail)->Unit(benchmark::kMicrosecond);

// Where a host clock starts: the middle of the eye of a 12 dB line's pulse.
void BM_CentreSamplingPhase(benchmark::State& state) {
    const std::vector<double> impulse = linksim::LossyChannelImpulse(12.0, kBitRate, kSpui);
    for (auto _ : state) {
        benchmark::DoNotOptimize(linksim::CentreSamplingPhase(impulse, kSpui, 1.0 / (kBitRate * kSpui)));
    }
}
BENCHMARK(BM_CentreSamplingPhase)->Unit(benchmark::kMillisecond);

void BM_LossyChannelImpulse(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(linksim::LossyChannelImpulse(12.0, kBitRate, kSpui));
    }
}
BENCHMARK(BM_LossyChannelImpulse)->Unit(benchmark::kMillisecond);

}  // namespace
