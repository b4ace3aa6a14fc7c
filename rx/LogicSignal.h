// Helpers shared by the receiver's custom blocks: how a logic sample counts as
// an edge, and the port shape every one of these blocks uses.
#ifndef RX_LOGIC_SIGNAL_H
#define RX_LOGIC_SIGNAL_H

#include <initializer_list>

#include "CircularBuffer.h"

namespace LogicSignal {

// Logic levels travel as int samples; the equaliser, the eye monitor and the
// adaptation compare them with the 0.5 threshold as doubles, so 1 or more is
// high and 0 or less is low.
inline bool IsRisingEdge(double previous, double current) {
    return previous < 0.5 && current > 0.5;
}

inline bool IsFallingEdge(double previous, double current) {
    return previous > 0.5 && current < 0.5;
}

// One item read or written per firing on every port. SetRate raises a history
// depth below the rate, so no depth is left at 0.
inline void UseOneItemPerFiring(std::initializer_list<Tessel::CircularBufferBase*> ports) {
    for (Tessel::CircularBufferBase* port : ports) {
        port->SetRate(1);
    }
}

}  // namespace LogicSignal

#endif
