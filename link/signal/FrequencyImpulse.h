// From a frequency response to the impulse response a time-domain run
// needs, on the simulation's sample grid: the DC point extrapolated when the
// data have none, the band limited with a smooth window where the data or
// the sample grid end, one inverse FFT sized for the data's frequency step,
// and causality enforced, with the energy that was found before time 0
// reported. Impulse responses are in 1/s, as everywhere in the link.
#ifndef LINK_SIGNAL_FREQUENCY_IMPULSE_H
#define LINK_SIGNAL_FREQUENCY_IMPULSE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Touchstone.h"

namespace linksim {

struct FrequencyImpulse {
    std::vector<double> impulse;        // 1/s at k * sampleInterval
    double precursorEnergyShare = 0.0;  // of the energy, found before time 0 and removed
    double bandLimitHz = 0.0;           // where the window reaches 0
    double periodSeconds = 0.0;         // the transform's span (1 / its frequency step)
    std::vector<std::string> warnings;
};

// The response at increasing frequencies (hertz >= 0; any grid, even or
// not, with or without a DC point). False with one line in error for fewer
// than two points or a sample interval that is not positive.
bool ImpulseFromFrequencyResponse(const std::vector<double>& hertz, const std::vector<Complex>& response,
                         double sampleInterval, FrequencyImpulse& result, std::string& error);

// The impulse response filtered by a gain known at every frequency (for
// example buffers added to a channel given in time): extraSamples of room
// are added for what the filter lengthens it by, and the quiet tail is cut.
std::vector<double> FilterImpulse(const std::vector<double>& impulse, double sampleInterval,
                                  const std::function<Complex(double hertz)>& gain, size_t extraSamples);

// The time (seconds) at which the step response reaches half its final
// value, or for a response with (almost) no DC gain, the time of its largest
// magnitude.
double ResponseDelay(const std::vector<double>& impulse, double sampleInterval);

}  // namespace linksim

#endif
