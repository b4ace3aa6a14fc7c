// heatmap.png: one metric over the first two axes of a sweep, the other
// axes held at the best corner's values, titled in words with units, the
// settings it holds named, the best corner framed and the corners that did
// not pass marked.
#ifndef LINK_SWEEP_SWEEP_HEATMAP_H
#define LINK_SWEEP_SWEEP_HEATMAP_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "SweepPlan.h"
#include "SweepResults.h"

namespace linksweep {

constexpr size_t kNoCell = size_t(-1);

// The cells of the picture. A sweep of one axis has one row, one of none a
// single cell.
struct HeatmapGrid {
    std::string xAxis;  // empty when the sweep has no axis
    std::string yAxis;  // empty when it has fewer than two
    std::vector<std::string> xValues;  // at least one
    std::vector<std::string> yValues;  // at least one
    std::vector<std::string> held;     // "name=value" of the other axes
    std::vector<std::string> fixed;    // "name value" of the settings every corner shares
    std::vector<std::optional<double>> cells;  // row by row, row 0 the first y value
    std::vector<size_t> cellCorners;           // index into the results' corners, or kNoCell
    std::vector<CornerStatus> cellStatus;      // NotRun where no corner is
    size_t bestCell = kNoCell;                 // the best corner's cell
    std::string bestText;                      // "corners/07: 0.412"
};

// Holds the other axes at the best ranked corner (the first corner when
// none has a value). The cells hold the metric the corners are ranked by,
// or MappedFigure(mapped)'s value when mapped is below kMappedFigures.
HeatmapGrid MakeHeatmapGrid(const SweepPlan& plan, const SweepResults& results, const std::vector<size_t>& ranked,
                            size_t mapped = kMappedFigures);

// False with one line in error when the picture cannot be written.
bool WriteHeatmapPng(const std::string& path, const HeatmapGrid& grid, const Metric& metric, std::string& error);

}  // namespace linksweep

#endif
