// Checks a sweep before anything runs: every corner's options through the
// link simulator's own option parser, and every value of every model
// parameter against the models' .ami files.
#ifndef LINK_SWEEP_PLAN_CHECK_H
#define LINK_SWEEP_PLAN_CHECK_H

#include <cstddef>
#include <string>
#include <vector>

#include "SweepPlan.h"

namespace linksweep {

// The most any corner of a plan asks of a run: the bits it sends (the
// models' default where --bits is not given) and its samples per unit
// interval. Each is the largest over the plan's values, so together they
// bound every corner.
struct CornerSize {
    size_t bits = 0;
    size_t samplesPerUi = 0;
};

// programFolder is where the link simulator looks for the kit's models by
// default. False with one line in error naming the option and the value.
bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, std::string& error);
// The same, with the size of the largest corner in largest, and in
// deadAxes one line for each axis that cannot change any corner's result
// (a model parameter that another parameter's value makes the model
// ignore), naming what makes it dead.
bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, CornerSize& largest,
               std::vector<std::string>& deadAxes, std::string& error);

}  // namespace linksweep

#endif
