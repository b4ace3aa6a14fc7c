#include "SweepCommandLine.h"

#include <CLI/CLI.hpp>

#include "CommandLine.h"
#include "SlurmScript.h"
#include "SweepValues.h"

#include <filesystem>
#include <iterator>
#include <map>
#include <set>

namespace linksweep {

namespace {

const char* const kDescription =
    "Runs orvex-link over the corners of a sweep and gathers their results.\n"
    "A value of --tx, --rx, --bit-rate, --prbs or a stress option (--tx-rj, --tx-dj, --tx-sj,\n"
    "--tx-ppm, --tx-ssc, --rx-noise, --seed) given as a list (DE=0,3,7; --tx-rj 0,1p) or an\n"
    "inclusive range START:STOP[:STEP] (VOD=0:7, gain=0.6:1.0:0.1; step 1 when left out) is\n"
    "an axis; each --channel is one value of the channel axis, and loss:5,10,15, loss:5:25:5\n"
    "or touchstone:a.s4p,touchstone:b.s4p give several. The corners are the product of the axes; every value is checked against the\n"
    ".ami files before anything runs. The other orvex-link options go to every corner.";

// The link simulator's options that make axes.
bool Sweepable(const std::string& option) {
    return option == "--tx" || option == "--rx" || option == "--channel" || IsValueAxis(option);
}

// A model that hangs in a call fails its corner instead of holding up the
// sweep: the limit on each model call, unless one is given.
const char* const kModelTimeoutOption = "--model-timeout";
const char* const kModelTimeoutSeconds = "120";

// The sweep's own options of the same name stand for these; --keep
// stands for --outputs, and the sweep tags each corner with its plan.
bool OwnedBySweep(const std::string& option) {
    return option == "--out" || option == "--quiet" || option == "--help" || option == "--outputs" ||
           option == "--run-tag";
}

// Every option of the link simulator, with its own words and groups, added
// to the sweep's app: values are gathered per option into given (so that
// they keep their order with parse_order), flags are counted there. The
// link simulator's own parser checks the values later, corner by corner.
// pathOptions gets the names of the options whose value is a path.
void AddLinkOptions(CLI::App& app, std::map<std::string, std::vector<std::string>>& given,
                    std::set<std::string>& pathOptions) {
    CLI::App link;
    linksim::CommandLine line;
    linksim::AddLinkOptions(link, line, ".");
    for (const CLI::Option* option : link.get_options()) {
        if (option->get_lnames().empty()) continue;
        const std::string name = "--" + option->get_lnames().front();
        if (OwnedBySweep(name)) continue;
        std::string help = option->get_description();
        if (option->get_type_name() == "PATH") pathOptions.insert(name);
        if (Sweepable(name)) help += "\nA list or START:STOP[:STEP] range sweeps it.";
        if (name == kModelTimeoutOption) help += std::string("\nThe sweep sets ") + kModelTimeoutSeconds + " unless given.";
        if (option->get_expected_max() == 0) {
            app.add_flag(name)->description(help)->group(option->get_group());
        } else {
            app.add_option(name, given[name], help)
                ->allow_extra_args(false)
                ->type_name(option->get_type_name())
                ->group(option->get_group());
        }
    }
}

// Corners may run in another folder or on another machine (on a shared
// file system): the files they read are named by absolute paths.
std::string Absolute(const std::string& path) {
    std::error_code failure;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
    return failure ? path : absolute.lexically_normal().string();
}

// A path option's value, or a channel's file in KIND:PATH, made absolute.
std::string ChannelWithAbsolutePath(const std::string& value) {
    for (const std::string kind : {"file:", "touchstone:"}) {
        if (value.rfind(kind, 0) == 0 && value.size() > kind.size()) return kind + Absolute(value.substr(kind.size()));
    }
    return value;
}

// Each channel of a list (touchstone:a,file:b) on its own.
std::string WithAbsolutePaths(const std::string& value, bool pathOption) {
    if (pathOption) return Absolute(value);
    std::vector<std::string> channels;
    std::string error;
    if (!ExpandChannel(value, channels, error) || channels.size() < 2) return ChannelWithAbsolutePath(value);
    std::string joined;
    for (const std::string& channel : channels) joined += (joined.empty() ? "" : ",") + ChannelWithAbsolutePath(channel);
    return joined;
}

const char* const kSlurmOption = "--slurm-option";

// --slurm-option's value is itself an option (--partition=x), which the
// parser would take for one of its own: the pair is read as one word.
std::vector<std::string> WithSlurmOptionsJoined(const std::vector<std::string>& arguments) {
    std::vector<std::string> joined;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == kSlurmOption && i + 1 < arguments.size()) {
            joined.push_back(std::string(kSlurmOption) + "=" + arguments[++i]);
        } else {
            joined.push_back(arguments[i]);
        }
    }
    return joined;
}

// The Slurm options' values, and that they go with --emit-slurm.
bool CheckSlurmOptions(const CLI::App& app, const SweepOptions& options, std::string& error) {
    if (!options.collect.empty() && !options.emitSlurm.empty() && options.keepWorst == 0) {
        error = "--emit-slurm with --collect writes the worst corners' array: give --keep worst:N";
        return false;
    }
    for (const char* name : {"--slurm-time", kSlurmOption, "--slurm-throttle", "--slurm-max-array",
                             "--slurm-collect", "--measure"}) {
        if (app.count(name) > 0 && options.emitSlurm.empty()) {
            error = std::string(name) + " shapes the Slurm script: give it with --emit-slurm";
            return false;
        }
    }
    if (options.measure && !options.slurmTime.empty()) {
        error = "--measure and --slurm-time both set the tasks' time: give one";
        return false;
    }
    if (!options.slurmTime.empty() && !IsSlurmTime(options.slurmTime)) {
        error = "--slurm-time " + options.slurmTime +
                ": give MINUTES, HH:MM:SS or DAYS-HH:MM:SS (or a shorter form Slurm takes)";
        return false;
    }
    for (const std::string& option : options.slurmOptions) {
        const std::string problem = SiteOptionProblem(option);
        if (!problem.empty()) {
            error = std::string(kSlurmOption) + " " + option + " " + problem;
            return false;
        }
    }
    return true;
}

bool OwnFlag(const std::string& name) {
    return name == "--force" || name == "--quiet" || name == "--slurm-collect" || name == "--measure" ||
           name == "--strict";
}

}  // namespace

SweepAction ParseSweepCommandLine(const std::vector<std::string>& arguments, SweepOptions& options,
                                  std::string& message, int& status) {
    CLI::App app(kDescription, "orvex-sweep");
    std::map<std::string, std::vector<std::string>> given;
    std::set<std::string> pathOptions;
    AddLinkOptions(app, given, pathOptions);

    const char* where = "where the corners run";
    app.add_option("--out", options.out, "the sweep's folder: plan.json, corners/, results (default sweep)")
        ->type_name("DIR")
        ->group(where);
    app.add_option("--jobs", options.jobs, "corners at a time on this machine (default: one per core)")
        ->check(CLI::Range(1, 4096))
        ->type_name("N")
        ->group(where);
    app.add_option("--emit-jobs", options.emitJobs,
                   "write one orvex-link command line per corner to FILE instead of\n"
                   "running them (for GNU parallel); then --collect")
        ->type_name("FILE")
        ->group(where);
    app.add_option("--emit-slurm", options.emitSlurm,
                   "write a Slurm job-array script to FILE running the jobs file\n"
                   "(--emit-jobs, or jobs.txt in the sweep's folder), each task asking\n"
                   "for the cores, time and memory its corners need; then --collect")
        ->type_name("FILE")
        ->group(where);
    app.add_option("--corners-per-task", options.cornersPerTask, "corners each Slurm array task runs (default 1)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("K")
        ->group(where);
    app.add_option("--slurm-time", options.slurmTime,
                   "each array task's --time (default: estimated from the bits and the\n"
                   "corners per task, at least " + std::to_string(kMinimumTaskMinutes) + " minutes)")
        ->type_name("TIME")
        ->group(where);
    app.add_option(kSlurmOption, options.slurmOptions,
                   "an #SBATCH option for the site, written as given, e.g.\n"
                   "--slurm-option --partition=short (repeatable)")
        ->allow_extra_args(false)
        ->type_name("OPTION")
        ->group(where);
    app.add_option("--slurm-throttle", options.slurmThrottle, "at most M array tasks at once (--array=0-N%M)")
        ->check(CLI::Range(1, 1000000))
        ->type_name("M")
        ->group(where);
    app.add_option("--slurm-max-array", options.slurmMaxArray,
                   "the site's MaxArraySize: a larger array is written as several,\n"
                   "FILE then submitting them all")
        ->check(CLI::Range(1, 100000000))
        ->type_name("N")
        ->group(where);
    app.add_flag("--slurm-collect", options.slurmCollect,
                 "a collect job after the array (FILE then submits both)")
        ->group(where);
    app.add_flag("--measure", options.measure,
                 "run the first corner here first, timed, and give the tasks a --time\n"
                 "from it (scaled to the largest corner) instead of the estimate")
        ->group(where);
    app.add_option("--collect", options.collect, "gather the results of the sweep in folder DIR")->type_name("DIR")
        ->group(where);
    app.add_option("--link", options.linkProgram, "the orvex-link program (default: beside this one)")
        ->type_name("PATH")
        ->group(where);
    app.add_flag("--force", options.force, "run corners again that already have their summary.json")->group(where);
    app.add_flag("--strict", options.strict,
                 "refuse a plan with an axis that cannot change any corner (a parameter the\n"
                 "model ignores under another's value, such as EQ_Level under CTLEAdapt 1),\n"
                 "which is otherwise a warning")
        ->group(where);
    app.add_option_function<std::string>(
           "--keep",
           [&options](const std::string& text) {
               const std::string worst = "worst:";
               options.keep = text == "all" ? KeepMode::All : KeepMode::Summary;
               options.keepWorst = 0;
               if (text.rfind(worst, 0) == 0) {
                   const std::string count = text.substr(worst.size());
                   if (!count.empty() && count.size() < 10 && count.find_first_not_of("0123456789") == std::string::npos) {
                       options.keepWorst = std::stoul(count);
                   }
                   if (options.keepWorst == 0) throw CLI::ValidationError("--keep " + text + ": give worst:N, N 1 or more");
               } else if (text != "summary" && text != "all") {
                   throw CLI::ValidationError("--keep " + text + ": give summary, all or worst:N");
               }
           },
           "what each corner keeps: summary (default: its summary.json and the models' files,\n"
           "its log's tail and exit status in journal.txt), all (pictures, report, log), or\n"
           "worst:N (summary, then the N worst corners by --metric run again keeping all;\n"
           "with --collect, their jobs file, and with --emit-slurm their Slurm script)")
        ->type_name("WHAT")
        ->group(where);
    app.add_option("--run-corner", options.runCorner,
                   "run corner N of the sweep in --out and record it (the jobs file's lines do)")
        ->type_name("N")
        ->group(where);

    const char* results = "results";
    app.add_option("--metric", options.metric,
                   "what ranks corners and the heat map shows: eye_height (default),\n"
                   "eye_width, bit_errors, ber, or a margin orvex-link reports")
        ->type_name("NAME")
        ->group(results);
    app.add_option("--best", options.best, "how many of the best corners to print (default 5)")->type_name("N")
        ->group(results);
    app.add_flag("-q,--quiet", options.quiet, "no progress bar")->group(results);

    const std::vector<std::string> joined = WithSlurmOptionsJoined(arguments);
    std::vector<std::string> reversed(joined.rbegin(), joined.rend());
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
        const auto values = given.find(name);
        if (values == given.end()) {
            // A flag of the link simulator's, or one of the sweep's own.
            if (option->get_expected_max() == 0 && !OwnFlag(name) && !options.plan.AddFlag(name, message)) {
                status = 2;
                return SweepAction::Exit;
            }
            continue;
        }
        const std::string value = WithAbsolutePaths(values->second.at(used[name]++), pathOptions.count(name) > 0);
        if (!options.plan.Add(name, value, message)) {
            status = 2;
            return SweepAction::Exit;
        }
    }
    if (!CheckSlurmOptions(app, options, message)) {
        status = 2;
        return SweepAction::Exit;
    }
    const auto timeout = given.find(kModelTimeoutOption);
    if (timeout != given.end() && timeout->second.empty()) {
        options.plan.Add(kModelTimeoutOption, kModelTimeoutSeconds, message);
    }
    if (!options.linkProgram.empty()) options.linkProgram = Absolute(options.linkProgram);
    return SweepAction::Run;
}

}  // namespace linksweep
