// Whether a port order (input P, input N, output P, output N) fits what a
// network of single-ended ports shows about itself: which paths are its
// through paths, from their magnitude over a band away from DC (where
// AC coupling and the last points of a lossy channel say nothing), and which
// ports share an end, from when their coupling arrives (near-end coupling
// comes early, far-end coupling with the channel's delay). An order the data
// contradict gets a warning with the closest order the same check accepts.
#ifndef LINK_SIGNAL_PORT_PAIRING_H
#define LINK_SIGNAL_PORT_PAIRING_H

#include <string>

#include "MixedMode.h"
#include "Touchstone.h"

namespace linksim {

// A sentence saying what in the data contradicts the order and which order
// they accept ("try --ports A,B,C,D"), or empty when nothing does. Networks
// of fewer than four ports, or orders naming ports the network lacks, get
// none. Only meaningful for through paths (not for crosstalk).
std::string PortOrderWarning(const NetworkData& network, const PortMap& map);

}  // namespace linksim

#endif
