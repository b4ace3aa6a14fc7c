// The options of orvex-link.
#ifndef LINK_COMMAND_LINE_H
#define LINK_COMMAND_LINE_H

#include <string>
#include <vector>

#include "LinkRun.h"

namespace linksim {

struct CommandLine {
    LinkSettings settings;
    bool quiet = false;
};

enum class CommandLineAction { Run, Help, Fail };

// The kit's models, found relative to the program: <folder>/kit/<model>.so.
std::string DefaultTxLibrary(const std::string& programFolder);
std::string DefaultRxLibrary(const std::string& programFolder);

// Parses the arguments after the program name. Without --rx-model the kit's
// receiver runs, and unless --rx sets it, with Rx_config=1 (its equalised
// output, which gives an eye). Fail leaves one line in error.
CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, const std::string& programFolder,
                                   CommandLine& commandLine, std::string& error);

std::string UsageText();

}  // namespace linksim

#endif
