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
    // The differential reference the data were read against: a .s2p's R (or
    // the one given), twice the single-ended ports' for larger files.
    double differentialReferenceOhms = 0.0;
    double lossDbAtNyquist = 0.0;    // of the differential path alone; NaN beyond the data
    // |SDD11| and, for 4 or more ports, |SCD21| (the differential input's
    // common-mode output) at the Nyquist frequency in dB; NaN beyond the
    // data or (SCD21 of a two-port) without the ports to tell.
    double sdd11DbAtNyquist = 0.0;
    double scd21DbAtNyquist = 0.0;
    double delaySeconds = 0.0;       // of the response with the buffers
    // The data's own energy before time 0, the band limit's ringing taken out.
    double precursorEnergyShare = 0.0;
    // How long a response the frequency step holds unaliased: 0.75 / step.
    double unaliasedSpanSeconds = 0.0;
    // The whole file's worst excess over passivity (largest singular value).
    double passivityExcessDb = 0.0;
    double passivityWorstHz = 0.0;
    // The same of the differential pair the run uses.
    double pairPassivityExcessDb = 0.0;
    double pairPassivityWorstHz = 0.0;
    std::vector<std::string> warnings;
    std::vector<std::string> notes;  // what a user should know, not a fault
};

// Through paths are checked for a port order the data contradict (a
// warning) and refused when they carry nothing (with the order's advice);
// crosstalk paths (through = false) are not. A .s2p is the differential path
// itself, referenced to s2pReferenceOhms differential (NaN: the file's R as
// it stands), with a warning when its return loss says the other reading of
// R (per leg, doubled) is the one that fits. False with one line in error.
bool TouchstoneImpulse(const std::string& path, const PortMap& ports, double s2pReferenceOhms, bool through,
                       const BufferLoads& loads, double bitRate, double sampleInterval, std::vector<double>& impulse,
                       TouchstoneChannelReport& report, std::string& error);

// The loss in dB of |s21| at hertz, read between the data's points (linear
// in dB); NaN outside the data's range.
double LossDbAt(const DifferentialPath& path, double hertz);
// 20 log10 |value| at hertz, read the same way; NaN outside the data's range.
double DecibelsAt(const std::vector<double>& frequencies, const std::vector<Complex>& values, double hertz);

}  // namespace linksim

#endif
