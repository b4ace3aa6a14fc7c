// Gathers a sweep's corners and writes sweep.csv, sweep.json and
// heatmap.png into its folder.
#ifndef LINK_SWEEP_SWEEP_REPORT_H
#define LINK_SWEEP_SWEEP_REPORT_H

#include <cstddef>
#include <string>

#include "SweepPlan.h"

namespace linksweep {

// text gets the counts and the best corners to print. False with one line
// in error on an unknown metric or a file that cannot be written.
bool WriteSweepReport(const SweepPlan& plan, const std::string& folder, const std::string& metricName,
                      size_t bestCount, std::string& text, int& exitStatus, std::string& error);

}  // namespace linksweep

#endif
