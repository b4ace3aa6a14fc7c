// A sweep's results: every corner's figures, written as sweep.csv and
// sweep.json while the corners are read one at a time, and a brief of each
// corner kept to rank them, count them and find the axes that changed
// nothing. The memory a collection takes is one corner's files and a few
// numbers per corner, however many corners there are.
#ifndef LINK_SWEEP_SWEEP_RESULTS_H
#define LINK_SWEEP_SWEEP_RESULTS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CornerResult.h"
#include "SweepPlan.h"

namespace linksweep {

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

// The figures every sweep maps, whatever metric ranks it: eye height, eye
// width and BER (its bound when no error was counted).
constexpr size_t kMappedFigures = 3;
Metric MappedFigure(size_t index);

// What is kept of a corner once its row is written.
struct CornerBrief {
    size_t number = 0;
    CornerStatus status = CornerStatus::NotRun;
    std::optional<double> metric;  // the chosen metric's value
    uint64_t findings = 0;         // a digest of what its run found, all but its time
    std::array<std::optional<double>, kMappedFigures> mapped;  // MappedFigure(i)'s value
};

struct SweepResults {
    std::vector<std::string> axisNames;
    Metric metric;
    std::vector<CornerBrief> corners;  // corner N at index N-1
};

// Reads every corner's folder under sweepFolder once, writing sweep.csv and
// sweep.json there (each whole or not at all) and keeping a brief of each
// corner. False with one line in error on an unknown metric or a file that
// cannot be written. The rows: corner, folder, the axes, status, reason,
// the figures, the DFE taps (as many columns as the most taps reported),
// the margins reported by any corner, and last run_time_s, the only column
// that depends on timing.
bool CollectResults(const SweepPlan& plan, const std::string& sweepFolder, const std::string& metricName,
                    SweepResults& results, std::string& error);

// Indices of the corners that finished with a value of the metric, best
// first; equal values in corner order.
std::vector<size_t> RankCorners(const SweepResults& results);
// "12 corners: 10 pass, 1 error, 1 not run"
std::string CountsText(const SweepResults& results);
// Notes on the axes whose values changed nothing that any corner found
// (a dead axis: the same corners four times over, unseen otherwise).
std::vector<std::string> DeadAxes(const SweepPlan& plan, const SweepResults& results);
// The sweep's exit status: 0 every corner passed; 3 some failed or were
// unreliable, none errored; 4 some errored or did not run.
int SweepExitStatus(const SweepResults& results);
// The best corners, one line each with their values and metric.
std::string BestText(const SweepPlan& plan, const SweepResults& results, const std::vector<size_t>& ranked,
                     size_t count);

}  // namespace linksweep

#endif
