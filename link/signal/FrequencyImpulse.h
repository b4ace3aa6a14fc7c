// From a frequency response to the impulse response a time-domain run
// needs, on the simulation's sample grid: the DC point extrapolated when the
// data have none (or one far off their trend, which no step resolves), the
// band limited with a smooth window where the data or the sample grid end,
// one inverse FFT sized for the data's frequency step
// (a step too coarse for the response's delay is refused), and causality
// enforced, with the data's own energy before time 0 reported apart from the
// window's ringing. Impulse responses are in 1/s, as everywhere in the link.
#ifndef LINK_SIGNAL_FREQUENCY_IMPULSE_H
#define LINK_SIGNAL_FREQUENCY_IMPULSE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Touchstone.h"

namespace linksim {

// More energy than this share before time 0, once the band limit's own
// ringing is taken out, means the data are not causal enough to trust the
// response's shape. It is also the share a response may lose to the
// transform's negative time before its frequency step is refused.
const double kPrecursorWarningShare = 1e-3;

struct FrequencyImpulse {
    std::vector<double> impulse;        // 1/s at k * sampleInterval
    // The data's own energy before time 0 (removed from the impulse), as a
    // share of all: what the response put there less what an ideal delay of
    // the same band, window and delay puts there (windowRingShare).
    double precursorEnergyShare = 0.0;
    double windowRingShare = 0.0;
    double bandLimitHz = 0.0;           // where the window reaches 0
    double stepHertz = 0.0;             // the data's frequency step (the median)
    double periodSeconds = 0.0;         // the transform's window (about 1 / step)
    double unaliasedSpanSeconds = 0.0;  // the positive time of 1 / step: 0.75 / step
    // The time of the response's peak at the smallest reading the data
    // allow (a delay is known only modulo 1 / step), and how long after it
    // the response lasts (until all but kPrecursorWarningShare of its energy
    // above the noise floor has come).
    double delaySeconds = 0.0;
    double lengthSeconds = 0.0;
    // The data's DC point was far off the trend of the points above it (a
    // time constant longer than the window, as of AC coupling), and DC was
    // taken from that trend instead.
    bool dcPointOffTrend = false;
    std::vector<std::string> warnings;
};

// The response at increasing frequencies (hertz >= 0; any grid, even or
// not, with or without a DC point). False with one line in error for fewer
// than two points, a sample interval that is not positive, or a frequency
// step too coarse for the response's delay and length (said in numbers).
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
