// What one corner's folder says about its run: the link simulator's figures
// from summary.json, or why there are none.
#ifndef LINK_SWEEP_CORNER_RESULT_H
#define LINK_SWEEP_CORNER_RESULT_H

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace linksweep {

// Pass, Fail, Unreliable: the run finished and wrote a whole summary, whose
// verdict this is (reason: the verdict's first reason). Error: it ended
// without one, or the summary does not read or has no verdict; reason says
// why. NotRun: nothing ran yet, or a run was stopped before it ended.
enum class CornerStatus { Pass, Fail, Unreliable, Error, NotRun };
const size_t kCornerStatusCount = 5;
const char* StatusName(CornerStatus status);
// The run finished and its figures are in the summary.
inline bool HasFigures(CornerStatus status) {
    return status == CornerStatus::Pass || status == CornerStatus::Fail || status == CornerStatus::Unreliable;
}

// Whether a corner's folder holds a whole summary of a finished run, which
// a resumed sweep may keep.
bool SummaryComplete(const std::string& folder);

struct CornerResult {
    size_t number = 0;
    std::string folder;               // relative to the sweep folder
    std::vector<std::string> values;  // one per axis
    CornerStatus status = CornerStatus::NotRun;
    std::string reason;

    std::optional<long long> bitsCompared;
    std::optional<long long> bitErrors;
    std::optional<double> ber;             // when errors were counted
    std::optional<double> berUpperBound;   // at 95 % confidence, when none were
    std::optional<double> eyeHeightV;
    std::optional<double> eyeWidthUi;
    std::optional<long long> ctleColumn;
    std::vector<double> dfeTapsV;
    std::optional<bool> clockRecovered;
    std::optional<bool> clockLocked;
    std::optional<long long> lockAtBit;
    // Margin figures, when the link simulator reports them: every number
    // under summary.json's "margins", named by its dotted path there.
    std::vector<std::pair<std::string, double>> margins;
    std::optional<double> runTimeS;  // the only figure that depends on timing
};

// Reads folder (corner's files: summary.json, link.log, exit-status) into
// result, leaving number, folder and values as they are.
void ReadCorner(const std::string& folder, CornerResult& result);

}  // namespace linksweep

#endif
