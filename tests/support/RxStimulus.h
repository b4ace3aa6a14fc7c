// What a receiver test feeds the receiver: a PRBS sent as NRZ at +-0.5 V,
// at a data rate that may be offset from the receiver's nominal one, through
// a channel impulse response, sampled at the simulator's sample interval.
#ifndef TESTS_SUPPORT_RX_STIMULUS_H
#define TESTS_SUPPORT_RX_STIMULUS_H

#include <cmath>
#include <cstddef>
#include <vector>

#include "Channel.h"
#include "Fft.h"
#include "Prbs.h"

struct RxStimulus {
    std::vector<int> bits;      // transmitted bits, 0 or 1
    double dataUi = 0.0;        // seconds per transmitted bit
    double sampleInterval = 0;  // seconds per sample
    std::vector<double> wave;   // received samples

    // The bit transmitted at time t (s), before any channel delay; -1 outside.
    int BitAt(double t) const {
        const double k = std::floor(t / dataUi);
        return k >= 0 && k < static_cast<double>(bits.size()) ? bits[static_cast<size_t>(k)] : -1;
    }
};

// NRZ samples: each is the mean of the +-0.5 V waveform over its sample
// interval, so an edge between two samples shows up in proportion.
inline std::vector<double> NrzSamples(const std::vector<int>& bits, double dataUi, double sampleInterval,
                                      size_t samples) {
    std::vector<double> wave(samples, 0.0);
    for (size_t n = 0; n < samples; ++n) {
        const double start = n * sampleInterval;
        const double end = start + sampleInterval;
        double t = start;
        double area = 0.0;
        while (t < end) {
            const size_t k = static_cast<size_t>(std::floor(t / dataUi));
            const double boundary = std::fmin(end, (k + 1) * dataUi);
            const double level = k < bits.size() ? (bits[k] ? 0.5 : -0.5) : 0.0;
            area += level * (boundary - t);
            t = boundary > t ? boundary : end;  // a boundary that does not move ends the sample
        }
        wave[n] = area / sampleInterval;
    }
    return wave;
}

// `bits` bits of the PRBS of this order at 1 / dataUi bits per second,
// through the channel (impulse response in 1/s on the sample grid; empty for
// none), as many samples as the bits last.
inline RxStimulus MakeRxStimulus(int prbsOrder, size_t bitCount, double dataUi, double sampleInterval,
                                 const std::vector<double>& channel) {
    RxStimulus stimulus;
    stimulus.bits = linksim::Prbs(prbsOrder, bitCount);
    stimulus.dataUi = dataUi;
    stimulus.sampleInterval = sampleInterval;
    const size_t samples = static_cast<size_t>(std::floor(bitCount * dataUi / sampleInterval));
    std::vector<double> nrz = NrzSamples(stimulus.bits, dataUi, sampleInterval, samples);
    if (channel.empty()) {
        stimulus.wave = nrz;
        return stimulus;
    }
    std::vector<double> taps(channel);
    for (double& tap : taps) tap *= sampleInterval;
    stimulus.wave = linksim::Convolve(nrz, taps);
    stimulus.wave.resize(samples);
    return stimulus;
}

#endif
