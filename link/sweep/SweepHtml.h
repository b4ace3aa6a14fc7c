// sweep.html: the page of a sweep a user opens first, beside sweep.csv: the
// counts, the axes and the settings every corner shares, the best corners,
// the heat maps, and a table of the corners that sorts by any column.
// Self-contained: inline style and a small inline script for the sorting,
// no network; the pictures are the files beside it.
//
// The table is read back from sweep.csv a row at a time, so the page costs
// the memory of the rows it shows, whatever the sweep's size: a sweep of
// more than kMostTableRows corners shows its best and worst corners by the
// metric (and, room allowing, some without a value), and says so.
#ifndef LINK_SWEEP_SWEEP_HTML_H
#define LINK_SWEEP_SWEEP_HTML_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "SweepPlan.h"
#include "SweepResults.h"

namespace linksweep {

constexpr size_t kMostTableRows = 2000;

struct SweepPageText {
    std::string counts;               // "12 corners: 10 pass, ..."
    std::string best;                 // the best corners, a line each
    std::vector<std::string> notes;   // the dead axes
    // The heat maps: file names beside the page, and what each shows.
    std::vector<std::pair<std::string, std::string>> pictures;
};

// Which corners (indices into results.corners) the table shows: every one
// up to `most`, else the best and the worst halves of `most` by the
// ranking, the rest of the room for corners without a value.
std::vector<bool> TableCorners(const SweepResults& results, const std::vector<size_t>& ranked, size_t most);

// Writes <folder>/sweep.html (whole or not at all) from <folder>/sweep.csv.
// False with one line in error.
bool WriteSweepHtml(const SweepPlan& plan, const std::string& folder, const SweepResults& results,
                    const std::vector<size_t>& ranked, const SweepPageText& text, std::string& error);

}  // namespace linksweep

#endif
