// Runs a sweep's corners on this machine, a given number at a time, each
// started directly and recorded as it ends.
#ifndef LINK_SWEEP_LOCAL_RUNNER_H
#define LINK_SWEEP_LOCAL_RUNNER_H

#include <cstddef>
#include <functional>
#include <string>

#include "CornerRun.h"

namespace linksweep {

// Runs corners 0 .. count-1 as specOf gives them, `jobs` at a time, and
// calls progress(done, count) after each ends. Returns the number of
// corners that could not be started (the last one's reason in error).
size_t RunLocally(size_t count, size_t jobs, const std::function<CornerSpec(size_t index)>& specOf,
                  const std::function<void(size_t done, size_t total)>& progress, std::string& error);

}  // namespace linksweep

#endif
