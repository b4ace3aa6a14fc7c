// A stimulus as a receiver gets it, whole: a PRBS sent as NRZ at +-0.5 V,
// at a data rate that may be offset from the receiver's nominal one, through
// a channel impulse response, sampled at the simulator's sample interval.
// The receiver's tests feed it to the receiver's blocks and library.
#ifndef LINK_STIMULUS_H
#define LINK_STIMULUS_H

#include <cstddef>
#include <vector>

namespace linksim {

struct RxStimulus {
    std::vector<int> bits;      // transmitted bits, 0 or 1
    double dataUi = 0.0;        // seconds per transmitted bit
    double sampleInterval = 0;  // seconds per sample
    std::vector<double> wave;   // received samples
};

// NRZ samples: each is the mean of the +-0.5 V waveform over its sample
// interval, so an edge between two samples shows up in proportion.
std::vector<double> NrzSamples(const std::vector<int>& bits, double dataUi, double sampleInterval, size_t samples);

// `bits` bits of the PRBS of this order at 1 / dataUi bits per second,
// through the channel (impulse response in 1/s on the sample grid; empty for
// none), as many samples as the bits last.
RxStimulus MakeRxStimulus(int prbsOrder, size_t bitCount, double dataUi, double sampleInterval,
                          const std::vector<double>& channel);

}  // namespace linksim

#endif
