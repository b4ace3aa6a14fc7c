// The colour ramp of the pictures: perceptually even, from dark violet
// through teal to yellow, so that the eye picture's densities and a sweep's
// heat map read the same way.
#ifndef LINK_COLOUR_RAMP_H
#define LINK_COLOUR_RAMP_H

#include <algorithm>
#include <cstddef>

namespace linksim {

struct Rgb {
    double r, g, b;
};

// The colour at level 0 (dark violet) .. 1 (yellow); levels outside are
// clamped.
inline Rgb RampColour(double level) {
    static const Rgb kRamp[] = {
        {0.267, 0.005, 0.329}, {0.229, 0.322, 0.546}, {0.128, 0.567, 0.551}, {0.369, 0.789, 0.383},
        {0.993, 0.906, 0.144},
    };
    const size_t stops = sizeof kRamp / sizeof kRamp[0];
    const double position = std::min(std::max(level, 0.0), 1.0) * double(stops - 1);
    const size_t low = std::min(size_t(position), stops - 2);
    const double f = position - double(low);
    const Rgb& a = kRamp[low];
    const Rgb& b = kRamp[low + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

}  // namespace linksim

#endif
