#include "SweepCommandLine.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iterator>
#include <map>

namespace linksweep {

namespace {

const char* const kDescription =
    "Runs orvex-link over the corners of a sweep and gathers their results.\n"
    "A value of --tx, --rx, --bit-rate or --prbs given as a list (DE=0,3,7) or an inclusive\n"
    "range START:STOP[:STEP] (VOD=0:7, gain=0.6:1.0:0.1; step 1 when left out) is an axis;\n"
    "each --channel is one value of the channel axis, and loss:5,10,15 or loss:5:25:5 give\n"
    "several. The corners are the product of the axes; every value is checked against the\n"
    ".ami files before anything runs. Any other orvex-link option is passed to every corner.";

// The link simulator's options, with its own words; the sweepable ones first.
struct LinkOption {
    const char* name;
    const char* type;
    const char* help;
};
const LinkOption kSweptOptions[] = {
    {"--tx", "NAME=VALUES", "transmitter parameter NAME=VALUES (repeatable)"},
    {"--rx", "NAME=VALUES", "receiver parameter NAME=VALUES (repeatable)"},
    {"--bit-rate", "HZ", "bit rate(s), e.g. 10G or 8G,10G,12G"},
    {"--prbs", "N", "PRBS order(s): 7, 15, 23, 31"},
    {"--channel", "CHANNEL", "loss:DB[,DB...|:START:STOP[:STEP]] or file:PATH (repeatable)"},
};
const LinkOption kFixedOptions[] = {
    {"--tx-model", "PATH", "transmitter library"},
    {"--rx-model", "PATH", "receiver library"},
    {"--tx-ami", "PATH", "transmitter .ami file"},
    {"--rx-ami", "PATH", "receiver .ami file"},
    {"--bits", "N", "bits to send in each corner"},
    {"--samples-per-ui", "N", "samples per unit interval"},
    {"--bits-per-call", "N", "bits per AMI_GetWave call"},
    {"--rx-output", "MODE", "auto, equalised or retimed"},
};

// Corners may run in another folder or on another machine (on a shared
// file system): the files they read are named by absolute paths.
std::string Absolute(const std::string& path) {
    std::error_code failure;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
    return failure ? path : absolute.lexically_normal().string();
}

std::string WithAbsolutePaths(const std::string& option, const std::string& value) {
    if (option == "--tx-model" || option == "--rx-model" || option == "--tx-ami" || option == "--rx-ami") {
        return Absolute(value);
    }
    const std::string file = "file:";
    if (option == "--channel" && value.rfind(file, 0) == 0 && value.size() > file.size()) {
        return file + Absolute(value.substr(file.size()));
    }
    return value;
}

}  // namespace

SweepAction ParseSweepCommandLine(const std::vector<std::string>& arguments, SweepOptions& options,
                                  std::string& message, int& status) {
    CLI::App app(kDescription, "orvex-sweep");
    app.allow_extras();
    std::map<std::string, std::vector<std::string>> given;
    const auto addLinkOptions = [&](const LinkOption* begin, const LinkOption* end, const char* group) {
        for (const LinkOption* option = begin; option != end; ++option) {
            app.add_option(option->name, given[option->name], option->help)
                ->allow_extra_args(false)
                ->type_name(option->type)
                ->group(group);
        }
    };
    addLinkOptions(std::begin(kSweptOptions), std::end(kSweptOptions), "sweep axes (orvex-link options)");
    addLinkOptions(std::begin(kFixedOptions), std::end(kFixedOptions), "fixed orvex-link options");
    bool sequential = false;
    app.add_flag("--sequential", sequential, "channel and analysis between the receiver's calls")
        ->group("fixed orvex-link options");

    const char* where = "where the corners run";
    app.add_option("--out", options.out, "the sweep's folder: plan.json, corners/, results (default sweep)")
        ->type_name("DIR")
        ->group(where);
    app.add_option("--jobs", options.jobs, "corners at a time on this machine (default: one per core)")
        ->check(CLI::Range(1, 4096))
        ->type_name("N")
        ->group(where);
    app.add_option("--emit-jobs", options.emitJobs,
                   "write one orvex-link command line per corner to FILE instead of running them "
                   "(for GNU parallel); then --collect")
        ->type_name("FILE")
        ->group(where);
    app.add_option("--emit-slurm", options.emitSlurm,
                   "write a Slurm job-array script to FILE running the jobs file (--emit-jobs, or "
                   "jobs.txt in the sweep's folder); then --collect")
        ->type_name("FILE")
        ->group(where);
    app.add_option("--corners-per-task", options.cornersPerTask, "corners each Slurm array task runs (default 1)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("K")
        ->group(where);
    app.add_option("--collect", options.collect, "gather the results of the sweep in folder DIR")->type_name("DIR")
        ->group(where);
    app.add_option("--link", options.linkProgram, "the orvex-link program (default: beside this one)")
        ->type_name("PATH")
        ->group(where);
    app.add_flag("--force", options.force, "run corners again that already have their summary.json")->group(where);

    const char* results = "results";
    app.add_option("--metric", options.metric,
                   "what ranks corners and the heat map shows: eye_height (default), eye_width, "
                   "bit_errors, ber, or a margin orvex-link reports")
        ->type_name("NAME")
        ->group(results);
    app.add_option("--best", options.best, "how many of the best corners to print (default 5)")->type_name("N")
        ->group(results);
    app.add_flag("--quiet", options.quiet, "no progress bar")->group(results);

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        message = app.help();
        status = 0;
        return SweepAction::Exit;
    } catch (const CLI::ParseError& failure) {
        message = failure.what();
        status = 2;
        return SweepAction::Exit;
    }

    // The options in the order given, so that the axes keep it.
    std::map<std::string, size_t> used;
    for (const CLI::Option* option : app.parse_order()) {
        const std::string name = option->get_name();
        if (name == "--sequential") {
            options.plan.AddFlag(name, message);
            continue;
        }
        const auto values = given.find(name);
        if (values == given.end()) continue;
        const std::string value = WithAbsolutePaths(name, values->second.at(used[name]++));
        if (!options.plan.Add(name, value, message)) {
            status = 2;
            return SweepAction::Exit;
        }
    }
    // Options this program does not know go to orvex-link as written, which
    // checks them before anything runs.
    for (const std::string& extra : app.remaining()) {
        if (!options.plan.AddFlag(extra, message)) {
            status = 2;
            return SweepAction::Exit;
        }
    }
    if (!options.linkProgram.empty()) options.linkProgram = Absolute(options.linkProgram);
    return SweepAction::Run;
}

}  // namespace linksweep
