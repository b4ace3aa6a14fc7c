// The analog ends of a differential link: the transmitter's output
// impedance and pad capacitance, the receiver's termination and pad
// capacitance, each per leg, and the package between each die and its pins.
// What the receiver sees is the channel's differential 2-port with these
// at both ends, as a gain from the transmitter's source.
#ifndef LINK_SIGNAL_BUFFERS_H
#define LINK_SIGNAL_BUFFERS_H

#include <limits>
#include <string>

#include "Touchstone.h"

namespace linksim {

// The package of one end, between its pad and its pin: series R and L, and
// C to ground at the pin.
struct PackageParasitics {
    double ohms = 0.0;
    double henries = 0.0;
    double farads = 0.0;
};

// Per leg: a differential pair sees twice each series element and half
// each capacitance to ground.
struct BufferLoads {
    double txOhms = 50.0;
    double txFarads = 0.0;
    double rxOhms = 50.0;  // infinity for an unterminated input
    double rxFarads = 0.0;
    PackageParasitics txPackage;
    PackageParasitics rxPackage;
};

// One line in error naming the value that is out of range (negative, not a
// number, or an infinite transmitter impedance).
bool CheckBufferLoads(const BufferLoads& loads, std::string& error);

// The voltage at the receiver's pad over half the source voltage (the
// swing is set so that matched buffers on a lossless matched channel give
// 1), at frequency hertz, for the differential 2-port s11..s22 of reference
// impedance referenceOhms.
Complex TerminatedGain(const BufferLoads& loads, double hertz, Complex s11, Complex s12,
                            Complex s21, Complex s22, double referenceOhms);

}  // namespace linksim

#endif
