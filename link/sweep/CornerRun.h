// One corner's run as the sweep starts it, on this machine or in a jobs
// file's line: the link simulator started directly (no shell between), in
// a folder made empty for it when it starts, dying with whatever started
// it, its messages in the corner's link.log and its exit status recorded by
// the sweep. A lean corner (--keep summary) keeps summary.json and the
// models' own files only: its log's tail and its exit status go into the
// sweep's journal instead.
#ifndef LINK_SWEEP_CORNER_RUN_H
#define LINK_SWEEP_CORNER_RUN_H

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "SweepPlan.h"

namespace linksweep {

constexpr const char* kJournalFile = "journal.txt";

// What a sweep keeps of each corner: Summary (the default) its summary.json
// and the models' files, run with --outputs summary; All every output.
enum class KeepMode { Summary, All };

struct CornerSpec {
    size_t number = 0;
    std::string folder;       // absolute
    std::string linkProgram;
    std::vector<std::string> arguments;  // the link simulator's, every one
    size_t ownArguments = 0;  // the last of them, which are the plan's for the corner
    KeepMode keep = KeepMode::Summary;
    std::string journal;      // absolute
};

// The plan's identity: the same plan gives the same text wherever its
// folder is. Each corner carries it as its --run-tag.
std::string PlanIdentity(const SweepPlan& plan);

// How corner `number` of the plan in `sweepFolder` (absolute) runs.
CornerSpec SpecOfCorner(const SweepPlan& plan, const std::string& sweepFolder, size_t number,
                        const std::string& linkProgram, KeepMode keep);

// Whether the corner's folder holds a whole summary of this very corner: its
// verdict, the plan's identity as its tag, and the corner's arguments.
bool CornerKept(const CornerSpec& spec, const std::string& planIdentity);

// Empties the corner's folder and starts the link simulator in it. False,
// with the reason, when it could not be started.
bool StartCorner(const CornerSpec& spec, pid_t& child, std::string& error);

// After the child was waited for: its exit status (128 + N for signal N,
// as a shell gives it) in exit-status beside link.log, or for a lean
// corner that left a whole summary, both in the journal.
void FinishCorner(const CornerSpec& spec, int waitStatus);

// Starts the corner, waits for it and finishes it: the whole of one jobs
// file line. False, with the reason, when it could not be started.
bool RunCorner(const CornerSpec& spec, std::string& error);

// The jobs file's line for a corner: orvex-sweep running it by number,
// every word quoted for the shell.
std::string CornerLine(const std::string& sweepProgram, const std::string& linkProgram,
                       const std::string& sweepFolder, size_t number, KeepMode keep);

}  // namespace linksweep

#endif
