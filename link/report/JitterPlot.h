// jitter.png: the jitter breakdown of the receiver's output edges drawn
// for a reader: the histogram of their time-interval error and the
// amplitude spectrum of what the bit patterns leave of it, against the
// recovered clock and against the data's grid, with the spectral lines
// taken as periodic jitter marked.
#ifndef LINK_REPORT_JITTER_PLOT_H
#define LINK_REPORT_JITTER_PLOT_H

#include <string>

#include "JitterBreakdown.h"

namespace linksim {

// False with one line in error when the picture cannot be written.
bool WriteJitterPng(const std::string& path, const JitterBreakdown& jitter, const std::string& title,
                    std::string& error);

}  // namespace linksim

#endif
