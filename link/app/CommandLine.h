// The options of orvex-link, defined once with CLI11: the definitions give
// the parsing, the checks and the help text, in groups (models, stimulus,
// channel, output). A program that runs links among other things (a sweep)
// adds the same options to its own CLI::App.
#ifndef LINK_COMMAND_LINE_H
#define LINK_COMMAND_LINE_H

#include <string>
#include <vector>

#include "LinkRun.h"

namespace CLI {
class App;
}

namespace linksim {

struct CommandLine {
    LinkSettings settings;
    bool quiet = false;
    // Pictures and tables beside summary.json; without them (--outputs
    // summary) a run leaves summary.json and the models' own files only.
    bool pictures = true;
};

enum class CommandLineAction { Run, Help, Version, Fail };

// The folder of the running program (argument0 when the system cannot say),
// where the kit's models are found by default.
std::string ProgramFolder(const char* argument0);

// The kit's models, found relative to the program: <folder>/kit/<model>.so.
std::string DefaultTxLibrary(const std::string& programFolder);
std::string DefaultRxLibrary(const std::string& programFolder);

// Adds every link option to app, writing into line (whose defaults they
// take: the kit's models beside the program, output folder link-run). A
// bad value fails the parse with a CLI::ValidationError whose text names the
// option, the value and what it takes.
void AddLinkOptions(CLI::App& app, CommandLine& line, const std::string& programFolder);
// The first option of app given more than once in arguments (the options
// that add a value each time aside), as a sentence naming it; empty when
// none is.
std::string RepeatedOption(const CLI::App& app, const std::vector<std::string>& arguments);
// After a successful parse: without --rx-model the kit's receiver runs (or
// with --ibs, the file's receiver), and when that is the kit's, unless --rx
// sets it, with Rx_config=1 (its equalised output, which gives an eye).
// With --ibs the file is read once and its pins chosen; false with one line
// in error when the pins cannot give a transmitter and a receiver.
bool CompleteLinkOptions(const CLI::App& app, CommandLine& line, std::string& error);

// Parses the arguments after the program name. Fail leaves one line in
// error.
CommandLineAction ParseCommandLine(const std::vector<std::string>& arguments, const std::string& programFolder,
                                   CommandLine& commandLine, std::string& error);

// orvex-link's help, generated from the option definitions.
std::string UsageText();

}  // namespace linksim

#endif
