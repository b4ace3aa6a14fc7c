// What a corner's files are called, and the words of a jobs file's lines:
// the same line runs a corner in a jobs file for GNU parallel or in a Slurm
// array task, so the corner's files are the same whichever ran it.
#ifndef LINK_SWEEP_CORNER_JOB_H
#define LINK_SWEEP_CORNER_JOB_H

#include <string>
#include <utility>
#include <vector>

namespace linksweep {

// The files a corner's folder holds besides the link simulator's own.
constexpr const char* kSummaryFile = "summary.json";
constexpr const char* kLogFile = "link.log";
constexpr const char* kExitStatusFile = "exit-status";

// The text as one word of a POSIX shell: as it is when it holds only
// characters the shell leaves alone, else in single quotes.
std::string ShellQuote(const std::string& text);

// A command line is one line of a jobs file, and the Slurm script names the
// sweep folder in a directive: a newline or another control character in a
// path or value would end the line there and run the rest as a command.
// The first such text of texts (with its name), or empty when none has one.
std::string UnsafeForJobLines(const std::vector<std::pair<std::string, std::string>>& namedTexts);

}  // namespace linksweep

#endif
