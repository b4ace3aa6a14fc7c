// The differential through path of a single-ended network: which four
// ports carry the pair (the port numbering), the mixed-mode conversion to
// the differential 2-port (SDD11, SDD12, SDD21, SDD22), and the check a
// user wants before trusting a file: a network that gives out more power
// than it takes (whether the numbering fits the data: PortPairing.h).
#ifndef LINK_SIGNAL_MIXED_MODE_H
#define LINK_SIGNAL_MIXED_MODE_H

#include <string>
#include <vector>

#include "Touchstone.h"

namespace linksim {

// The input P, input N, output P and output N ports of a pair, counted from
// 1. The default numbering has ports 1 and 3 at the input, 1 to 2 and 3 to 4
// through; the other common one is 1,2,3,4 (1 to 3 and 2 to 4 through).
struct PortMap {
    int inP = 1;
    int inN = 3;
    int outP = 2;
    int outN = 4;
};

// "A,B,C,D" with four different ports from 1 on.
bool ParsePortMap(const std::string& text, PortMap& map, std::string& error);
std::string PortMapText(const PortMap& map);

// A differential 2-port at the network's frequencies, with its reference
// impedance (twice the single-ended ports'), and for a network of single-
// ended ports the common mode the differential input sends out (SCD21).
struct DifferentialPath {
    std::vector<double> frequencies;
    std::vector<Complex> s11, s12, s21, s22;
    std::vector<Complex> scd21;  // empty for a 2-port
    double referenceOhms = 100.0;
};

// A 2-port network is taken as the differential path itself (the map is
// not used); a larger one is converted with the map. False with one line
// in error when the map names ports the network lacks; warnings gets what
// the user should know (ports of unequal reference impedance).
bool DifferentialThrough(const NetworkData& network, const PortMap& map, DifferentialPath& path,
                         std::vector<std::string>& warnings, std::string& error);

// A passive network gives out at most the power it takes, however its ports
// are driven together: at every frequency the largest singular value of S
// is at most 1. The worst excess over 0 dB (0 when passive) and where.
struct PassivityExcess {
    double excessDb = 0.0;
    double frequencyHz = 0.0;
};
PassivityExcess WorstPassivityExcess(const NetworkData& network);
// The same of the differential 2-port alone. It never exceeds the whole
// network's, but tells whether the pair a run uses carries the excess.
PassivityExcess WorstPassivityExcess(const DifferentialPath& path);
// A sentence naming the network's worst excess in dB and where, and the
// pair's (ports as the user gave them), or empty while the network's is
// within a hundredth of a dB.
std::string PassivityWarning(const PassivityExcess& network, const PassivityExcess& pair, const std::string& ports);

}  // namespace linksim

#endif
