// A sweep's folder: plan.json (what the corners are), corners/N/ (one run
// each) and the results. A folder that holds another sweep's plan is not
// reused unless forced; a corner whose summary.json exists is kept unless
// forced, so that an interrupted sweep resumes where it stopped.
#ifndef LINK_SWEEP_SWEEP_FOLDER_H
#define LINK_SWEEP_SWEEP_FOLDER_H

#include <cstddef>
#include <string>
#include <vector>

#include "SweepPlan.h"

namespace linksweep {

constexpr const char* kPlanFile = "plan.json";

struct PreparedSweep {
    std::string folder;          // absolute
    std::vector<size_t> corners;  // the corners to run, each with an empty folder
    size_t kept = 0;             // corners whose summary.json was kept
};

// Writes plan.json and empties the folders of the corners that will run.
bool PrepareSweepFolder(const SweepPlan& plan, const std::string& folder, bool force, PreparedSweep& prepared,
                        std::string& error);

bool ReadPlan(const std::string& folder, SweepPlan& plan, std::string& error);

// The command line of each corner that will run, in corner order.
std::vector<std::string> CornerLines(const SweepPlan& plan, const PreparedSweep& prepared,
                                     const std::string& linkProgram);

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace linksweep

#endif
