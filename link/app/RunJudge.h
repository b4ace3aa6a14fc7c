// The verdict on a run: whether its counted errors, its margins and its
// clock show a link that meets the target rate, and the --require-*
// thresholds checked against what was measured. Every reason is a sentence
// the summary prints as it stands.
#ifndef LINK_APP_RUN_JUDGE_H
#define LINK_APP_RUN_JUDGE_H

#include "LinkResult.h"
#include "LinkSettings.h"

namespace linksim {

// A tail fit of fewer crossing times than this cannot carry a margin.
const size_t kFewestFittedCrossings = 100;
// A run must compare at least this share of the bits sent after the
// ignored ones (a clock at the data's rate gives all but a few).
const double kLeastComparedShare = 0.9;

Verdict JudgeRun(const LinkSettings& settings, const LinkResult& result);

// The error rate at the sampling instant as reported: the bathtub there
// (the fit, never below the counted rate's lower bound), or, without
// margins, the counted rate (its 95 % upper bound when none was counted).
double RateAtInstant(const LinkResult& result);

}  // namespace linksim

#endif
