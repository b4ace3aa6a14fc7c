// The pictures of a run's margins and history:
//   bathtub.png     the error rate against the sampling phase on a log
//                   axis: counted where errors were seen, the dual-Dirac
//                   fit below that, the target rate, the walls of the
//                   opening and the receiver's sampling instant;
//   trajectory.png  over the adaptation's bits: the CTLE response chosen
//                   and the eye width and height the receiver measured at
//                   each adaptation step, the five DFE taps, and the
//                   recovered clock's phase against the data's grid, with
//                   the lock and the end of Ignore_Bits marked; under them
//                   the clock's phase over the whole run, the stretch above
//                   shaded. The markers are labelled above the panels, in
//                   rows, so that no label prints over another or the data.
#ifndef LINK_REPORT_MARGIN_PLOTS_H
#define LINK_REPORT_MARGIN_PLOTS_H

#include <cstddef>
#include <string>
#include <utility>
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

// The bits the trajectory's panels show, from 0: a fifth past the later of
// the last adaptation measurement and the clock's lock, or the whole run
// when that is most of it.
double TrajectoryZoomBits(const Trajectory& trajectory);

// Labels along a line, as their left and right ends, placed in order into
// the first row where they clear the row's last label by `gap`: the row of
// each (0 the nearest the line).
std::vector<int> LabelRows(const std::vector<std::pair<double, double>>& spans, double gap);

}  // namespace linksim

#endif
