// A sweep's results: every corner's figures, written as sweep.csv and
// sweep.json, and the corners ranked by a chosen metric.
#ifndef LINK_SWEEP_SWEEP_RESULTS_H
#define LINK_SWEEP_SWEEP_RESULTS_H

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CornerResult.h"
#include "SweepPlan.h"

namespace linksweep {

struct SweepResults {
    std::vector<std::string> axisNames;
    std::vector<CornerResult> corners;  // corner N at index N-1
};

// Reads every corner's folder under sweepFolder.
SweepResults CollectResults(const SweepPlan& plan, const std::string& sweepFolder);

// How corners are ranked. Names: eye_height_v (also eye_height, the
// default), eye_width_ui (eye_width), bit_errors, ber (the BER, or its 95 %
// bound when no error was counted), or a margin column ("margins.NAME", or
// NAME alone when a corner reports it).
struct Metric {
    std::string column;
    std::string label;  // for the picture
    bool higherIsBetter = true;
    bool logScale = false;
};
bool FindMetric(const std::string& name, const SweepResults& results, Metric& metric, std::string& error);
std::optional<double> MetricValue(const CornerResult& corner, const Metric& metric);

// Indices of the corners that finished with a value of the metric, best
// first; equal values in corner order.
std::vector<size_t> RankCorners(const SweepResults& results, const Metric& metric);

// One row per corner: corner, folder, the axes, status, reason, the
// figures, the DFE taps (as many columns as the most taps reported), the
// margins reported by any corner, and last run_time_s, the only column that
// depends on timing.
std::string ResultsCsv(const SweepResults& results);
nlohmann::ordered_json ResultsJson(const SweepResults& results, const Metric& metric, const std::vector<size_t>& ranked);

// "12 corners: 10 ok, 1 failed, 1 not run"
std::string CountsText(const SweepResults& results);
// Notes on the axes whose values changed nothing that any corner found
// (a dead axis: the same corners four times over, unseen otherwise).
std::vector<std::string> DeadAxes(const SweepResults& results);

// The sweep's exit status: 0 every corner passed; 3 some failed or were
// unreliable, none errored; 4 some errored or did not run.
int SweepExitStatus(const SweepResults& results);
// The best corners, one line each with their values and metric.
std::string BestText(const SweepResults& results, const Metric& metric, const std::vector<size_t>& ranked,
                     size_t count);

}  // namespace linksweep

#endif
