// The options of orvex-sweep: the link simulator's own, any of which may
// sweep, and where and how the corners run.
#ifndef LINK_SWEEP_SWEEP_COMMAND_LINE_H
#define LINK_SWEEP_SWEEP_COMMAND_LINE_H

#include <cstddef>
#include <string>
#include <vector>

#include "CornerRun.h"
#include "SweepPlan.h"

namespace linksweep {

struct SweepOptions {
    SweepPlan plan;
    std::string out = "sweep";
    std::string linkProgram;  // default: orvex-link beside this program
    size_t jobs = 0;          // 0: one per core
    std::string emitJobs;
    std::string emitSlurm;
    size_t cornersPerTask = 1;
    std::string slurmTime;                 // empty: estimated from the plan
    std::vector<std::string> slurmOptions;  // #SBATCH lines as given
    size_t slurmThrottle = 0;              // 0: no limit
    size_t slurmMaxArray = 0;              // 0: one array
    bool slurmCollect = false;
    bool measure = false;                  // time one corner here for --time
    std::string collect;
    std::string metric = "eye_height";
    size_t best = 5;
    bool force = false;
    bool strict = false;  // a dead axis refuses the plan
    bool quiet = false;
    KeepMode keep = KeepMode::Summary;
    size_t keepWorst = 0;  // --keep worst:N: N corners run again keeping all
    size_t runCorner = 0;  // a jobs file's line: run this corner alone
};

enum class SweepAction { Run, Exit };

// Run with the options filled in, or Exit with the exit status in status and
// the text to print in message (the help, or one line naming the error).
SweepAction ParseSweepCommandLine(const std::vector<std::string>& arguments, SweepOptions& options,
                                  std::string& message, int& status);

}  // namespace linksweep

#endif
