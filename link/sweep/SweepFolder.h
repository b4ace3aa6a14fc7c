// A sweep's folder: plan.json (what the corners are), corners/N/ (one run
// each, made when it starts), journal.txt and the results. A folder that
// holds another sweep's plan is not reused unless forced; a corner whose
// summary.json is whole and of this plan is kept unless forced, so that an
// interrupted sweep resumes where it stopped.
#ifndef LINK_SWEEP_SWEEP_FOLDER_H
#define LINK_SWEEP_SWEEP_FOLDER_H

#include <cstddef>
#include <string>
#include <vector>

#include "CornerRun.h"
#include "SweepPlan.h"

namespace linksweep {

constexpr const char* kPlanFile = "plan.json";

struct PreparedSweep {
    std::string folder;          // absolute
    std::vector<size_t> corners;  // the corners to run
    size_t kept = 0;             // corners whose summary.json was kept
};

// Writes plan.json and finds the corners to run: all of them unless the
// folder holds results of this plan, whose corners are kept. A folder with
// another plan's corners, or corners and no plan, is refused unless forced.
bool PrepareSweepFolder(const SweepPlan& plan, const std::string& folder, bool force,
                        const std::string& linkProgram, KeepMode keep, PreparedSweep& prepared, std::string& error);

bool ReadPlan(const std::string& folder, SweepPlan& plan, std::string& error);

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace linksweep

#endif
