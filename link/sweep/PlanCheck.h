// Checks a sweep before anything runs: every corner's options through the
// link simulator's own option parser, and every value of every model
// parameter against the models' .ami files.
#ifndef LINK_SWEEP_PLAN_CHECK_H
#define LINK_SWEEP_PLAN_CHECK_H

#include <string>

#include "SweepPlan.h"

namespace linksweep {

// programFolder is where the link simulator looks for the kit's models by
// default. False with one line in error naming the option and the value.
bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, std::string& error);

}  // namespace linksweep

#endif
