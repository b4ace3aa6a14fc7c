// A channel given as a Touchstone file, as the time-domain run uses it: the
// differential path between the chosen ports, with the buffers at both
// ends, as an impulse response on the simulation's grid, and what a user
// should know about it (its loss at the Nyquist frequency as the data give
// it, its delay, the energy it had before time 0, and every warning).
#ifndef LINK_SIGNAL_TOUCHSTONE_CHANNEL_H
#define LINK_SIGNAL_TOUCHSTONE_CHANNEL_H

#include <string>
#include <vector>

#include "Buffers.h"
#include "MixedMode.h"

namespace linksim {

struct TouchstoneChannelReport {
    std::string file;
    std::string ports;               // "1,3,2,4", or "1,2" for a two-port
    int networkPorts = 0;
    double lossDbAtNyquist = 0.0;    // of the differential path alone; NaN beyond the data
    double delaySeconds = 0.0;       // of the response with the buffers
    double precursorEnergyShare = 0.0;
    // The whole file's worst excess over passivity (largest singular value).
    double passivityExcessDb = 0.0;
    double passivityWorstHz = 0.0;
    std::vector<std::string> warnings;
};

// Through paths are checked for a likely wrong port numbering (a warning)
// and refused when they carry nothing (with the numbering advice); crosstalk
// paths (through = false) are not. False with one line in error.
bool TouchstoneImpulse(const std::string& path, const PortMap& ports, bool through, const BufferLoads& loads,
                       double bitRate, double sampleInterval, std::vector<double>& impulse,
                       TouchstoneChannelReport& report, std::string& error);

// The loss in dB of |s21| at hertz, read between the data's points (linear
// in dB); NaN outside the data's range.
double LossDbAt(const DifferentialPath& path, double hertz);

}  // namespace linksim

#endif
