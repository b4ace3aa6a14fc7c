// One end-to-end run of a serial link through an IBIS-AMI transmitter and
// receiver, the way a channel simulator runs it: both AMI_Init calls on the
// channel's impulse response, then the bit stream through the transmitter
// and the channel into the receiver's AMI_GetWave in blocks, and the
// receiver's output judged on the clock it recovered.
#ifndef LINK_LINK_RUN_H
#define LINK_LINK_RUN_H

#include <cstddef>
#include <string>

#include "LinkResult.h"
#include "LinkSettings.h"

namespace linksim {

// The bits a run needs by default: the models' Ignore_Bits and a measured
// stretch after them.
size_t DefaultBitCount(long ignoreBits);

// The limits of a run, checked before any model is called. The bits a run
// can hold: half this machine's memory at kBytesPerBit (the pattern, the
// value at every sampling instant and the decisions take about 32 bytes a
// bit, the stimulus's grid, the clock times and the instants on the data's
// grid 32 more; half as much again leaves room; the output kept for the
// margins has a limit of its own). The sample rate (bit rate times samples per
// unit interval): the kit's models resample their tabulated responses at it,
// so their work per sample grows with it; at 1e13 samples/s the
// transmitter's 1.5 ns driver response already takes 15 001 taps.
const size_t kBytesPerBit = 96;
const double kMaxSampleRate = 1e13;
size_t MaxBits();

// The files a run leaves in its output folder; a run removes those of an
// earlier one before it starts, so that none is left over.
extern const char* const kRunOutputFiles[11];

// False with one line in error on any bad input or model failure; the
// models are closed and the working folder restored either way.
bool RunLink(const LinkSettings& settings, LinkResult& result, std::string& error);

}  // namespace linksim

#endif
