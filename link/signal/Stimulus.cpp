#include "Stimulus.h"

#include <cmath>

#include "Fft.h"
#include "Prbs.h"

namespace linksim {

std::vector<double> NrzSamples(const std::vector<int>& bits, double dataUi, double sampleInterval, size_t samples) {
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

RxStimulus MakeRxStimulus(int prbsOrder, size_t bitCount, double dataUi, double sampleInterval,
                          const std::vector<double>& channel) {
    RxStimulus stimulus;
    stimulus.bits = Prbs(prbsOrder, bitCount);
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
    stimulus.wave = Convolve(nrz, taps);
    stimulus.wave.resize(samples);
    return stimulus;
}

}  // namespace linksim
