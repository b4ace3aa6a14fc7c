// Runs shell command lines on this machine, a given number at a time, each
// through /bin/sh with no standard input.
#ifndef LINK_SWEEP_LOCAL_RUNNER_H
#define LINK_SWEEP_LOCAL_RUNNER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace linksweep {

// Calls progress(done, total) after each line ends. Returns the number of
// lines that could not be started (each named in error's last line); the
// lines' own exit statuses are theirs to record.
size_t RunLocally(const std::vector<std::string>& lines, size_t jobs,
                  const std::function<void(size_t done, size_t total)>& progress, std::string& error);

}  // namespace linksweep

#endif
