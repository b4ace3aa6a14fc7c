// The pictures of a run's margins and history:
//   bathtub.png     the error rate against the sampling phase on a log
//                   axis: counted where errors were seen, the dual-Dirac
//                   fit below that, the target rate, the walls of the
//                   opening and the receiver's sampling instant;
//   trajectory.png  over the run's bits: the CTLE response chosen and the
//                   eye width and height the receiver measured at each
//                   adaptation step, the five DFE taps, and the recovered
//                   clock's phase against the data's grid, with the lock
//                   and the end of Ignore_Bits marked.
#ifndef LINK_REPORT_MARGIN_PLOTS_H
#define LINK_REPORT_MARGIN_PLOTS_H

#include <cstddef>
#include <string>
#include <vector>

#include "AdaptLog.h"
#include "ClockTrack.h"
#include "Margins.h"

namespace linksim {

// False with one line in error when the picture cannot be written.
bool WriteBathtubPng(const std::string& path, const MarginReport& margins, const std::string& title,
                     std::string& error);

struct Trajectory {
    std::vector<AdaptMeasurement> measurements;
    std::vector<size_t> measurementBits;  // when each was logged; may be shorter
    ClockTrack clock;
    double unitInterval = 0.0;
    size_t ignoreBits = 0;
    size_t bits = 0;
};

bool WriteTrajectoryPng(const std::string& path, const Trajectory& trajectory, const std::string& title,
                        std::string& error);

}  // namespace linksim

#endif
