// Gathers a sweep's corners and writes sweep.csv, sweep.json, heatmap.png
// and sweep.html, the page that shows them, into its folder.
#ifndef LINK_SWEEP_SWEEP_REPORT_H
#define LINK_SWEEP_SWEEP_REPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "SweepPlan.h"

namespace linksweep {

struct SweepReport {
    std::string text;            // the counts and the best corners, to print
    int exitStatus = 0;          // the sweep's, from its corners' statuses
    std::vector<size_t> worst;   // the worst corners by the metric, worst first
};

// False with one line in error on an unknown metric or a file that cannot
// be written.
bool WriteSweepReport(const SweepPlan& plan, const std::string& folder, const std::string& metricName,
                      size_t bestCount, size_t worstCount, SweepReport& report, std::string& error);

}  // namespace linksweep

#endif
