#include "SlurmScript.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>

#include "CornerJob.h"
#include "LinkRun.h"

namespace linksweep {

namespace {

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

std::string Directive(const std::string& option) { return "#SBATCH " + option + "\n"; }

// A log file in the folder as one word of an #SBATCH line (see
// SbatchCanName): quoted, its quotes escaped, the folder's % written %%,
// the name's own % (Slurm's %A, %a, %j) kept.
std::string LogFileOption(const std::string& folder, const std::string& name) {
    std::string quoted = "--output='";
    for (char c : folder) {
        if (c == '\'') quoted += "'\\''";  // out of the quotes and back: read alike either way
        else if (c == '%') quoted += "%%";
        else quoted += c;
    }
    return quoted + "/" + name + "'";
}

// The directives every script of the job shares: what each task asks for.
std::string TaskDirectives(unsigned cpus, const std::string& time, size_t megabytes) {
    return Directive("--ntasks=1") + Directive("--cpus-per-task=" + std::to_string(cpus)) +
           Directive("--time=" + time) + Directive("--mem=" + std::to_string(megabytes) + "M");
}

// The site's own options last, so that they stand over the defaults above.
std::string SiteDirectives(const SlurmJob& job) {
    std::string text;
    for (const std::string& option : job.siteOptions) text += Directive(option);
    return text;
}

// One part of the array: tasks offset .. offset+count-1.
std::string ArrayScript(const SlurmJob& job, size_t offset, size_t count) {
    std::string array = "0-" + std::to_string(count - 1);
    if (job.throttle > 0) array += "%" + std::to_string(job.throttle);
    const std::string perTask = std::to_string(job.cornersPerTask);
    return "#!/bin/bash\n" + Directive("--job-name=orvex-sweep") + Directive("--array=" + array) +
           TaskDirectives(job.cpusPerTask, job.time, job.megabytes) +
           Directive("--signal=B:USR1@" + std::to_string(kTimeLimitWarningSeconds)) +
           Directive(LogFileOption(job.sweepFolder, "slurm-%A_%a.out")) + SiteDirectives(job) +
           "# Each array task runs " + perTask + " corner(s): its lines of the jobs file, one after\n"
           "# another. It exits 0 when each of them ran and recorded its result, whatever\n"
           "# the result; else 1. Afterwards: orvex-sweep --collect on the sweep folder.\n"
           "set -u\n"
           "jobs_file=" + ShellQuote(job.jobsFile) + "\n"
           "lines=" + std::to_string(job.lines) + "\n"
           "per_task=" + perTask + "\n"
           "task=$(( " + std::to_string(offset) + " + SLURM_ARRAY_TASK_ID ))\n"
           "first=$(( task * per_task + 1 ))\n"
           "last=$(( first + per_task - 1 ))\n"
           "(( last <= lines )) || last=$lines\n"
           "# Slurm's warning before the time limit: no further corner starts, so that\n"
           "# none is cut off; those not started are run by submitting the sweep again.\n"
           "warned=0\n"
           "trap 'warned=1' USR1\n"
           "# A line that ran in an earlier submission of these scripts is not run again.\n"
           "record=" + ShellQuote(job.ranRecord) + "/$task\n"
           "mkdir -p " + ShellQuote(job.ranRecord) + "\n"
           "ran=0\n"
           "unrecorded=0\n"
           "while (( ! warned )) && IFS= read -r line; do\n"
           "  number=$(( first + ran ))\n"
           "  if ! grep -qx \"$number\" \"$record\" 2>/dev/null; then\n"
           "    if bash -c \"$line\" </dev/null; then echo \"$number\" >>\"$record\"\n"
           "    else unrecorded=$(( unrecorded + 1 )); fi\n"
           "  fi\n"
           "  ran=$(( ran + 1 ))\n"
           "done < <(sed -n \"${first},${last}p;${last}q\" \"$jobs_file\")\n"
           "wanted=$(( last - first + 1 ))\n"
           "if (( warned )); then\n"
           "  echo \"orvex-sweep: the time limit is near: $ran of lines $first-$last ran\" >&2\n"
           "fi\n"
           "if (( ran < wanted || unrecorded > 0 )); then\n"
           "  echo \"orvex-sweep: $ran of $wanted corners ran, $unrecorded without their result\" >&2\n"
           "  exit 1\n"
           "fi\n"
           "exit 0\n";
}

size_t Megabytes(double bytes) { return size_t(std::ceil(bytes / double(size_t(1) << 20))); }

std::string CollectScript(const SlurmJob& job) {
    const size_t megabytes = kBaseMegabytes + Megabytes(double(job.sweepCorners) * double(kCollectBytesPerCorner));
    const size_t minutes = TaskMinutes(job.sweepCorners, kCollectSecondsPerCorner);
    std::string command = ShellQuote(job.sweepProgram) + " --quiet --collect " + ShellQuote(job.sweepFolder);
    for (const std::string& argument : job.collectArguments) command += " " + ShellQuote(argument);
    return "#!/bin/bash\n" + Directive("--job-name=orvex-sweep-collect") +
           TaskDirectives(1, SlurmTime(minutes), megabytes) +
           Directive(LogFileOption(job.sweepFolder, "slurm-collect-%j.out")) + SiteDirectives(job) +
           "# The sweep's results, once its arrays have ended however they ended.\n" + command + "\n";
}

// Submits the parts, each after the one before when throttled (so that the
// throttle holds for the whole sweep), then the collect job after all.
std::string SubmitHelper(const SlurmJob& job, const std::vector<std::string>& parts, const std::string& collect) {
    std::string text =
        "#!/bin/sh\n"
        "# Submits the sweep's Slurm jobs and prints their ids. Arguments go to\n"
        "# every sbatch (--hold, --account=NAME, ...).\n"
        "set -eu\n"
        "all=\n"
        "previous=\n";
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string after = job.throttle > 0 && i > 0 ? "--dependency=afterany:$previous " : "";
        text += "previous=$(sbatch --parsable " + after + "\"$@\" " + ShellQuote(parts[i]) + ")\n"
                "previous=${previous%%;*}\n"
                "all=$all:$previous\n"
                "echo \"array " + std::to_string(i + 1) + " of " + std::to_string(parts.size()) +
                ": job $previous\"\n";
    }
    if (!collect.empty()) {
        text += "collect=$(sbatch --parsable --dependency=afterany$all \"$@\" " + ShellQuote(collect) + ")\n"
                "echo \"collect: job ${collect%%;*}\"\n";
    }
    return text;
}

// FILE's stem with a suffix, and FILE's extension: sweep.slurm, -2 ->
// sweep-2.slurm.
std::string Beside(const std::string& file, const std::string& suffix) {
    const size_t slash = file.rfind('/');
    const size_t dot = file.rfind('.');
    const bool extension = dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
    return extension ? file.substr(0, dot) + suffix + file.substr(dot) : file + suffix;
}

}  // namespace

size_t SlurmTaskCount(size_t lines, size_t cornersPerTask) {
    if (cornersPerTask == 0) return lines;
    return (lines + cornersPerTask - 1) / cornersPerTask;
}

double CornerSeconds(size_t bits, size_t samplesPerUi) {
    return kCornerStartSeconds +
           double(bits) * kSecondsPerBit * double(samplesPerUi) / double(kReferenceSamplesPerUi);
}

size_t TaskMinutes(size_t corners, double cornerSeconds) {
    const double seconds = double(corners) * cornerSeconds * kTimeSafetyFactor;
    return std::max(kMinimumTaskMinutes, size_t(std::ceil(seconds / 60)));
}

size_t TaskMegabytes(size_t bits) { return kBaseMegabytes + Megabytes(double(bits) * double(linksim::kBytesPerBit)); }

std::string SlurmTime(size_t minutes) {
    char text[48];
    std::snprintf(text, sizeof text, "%zu-%02zu:%02zu:00", minutes / 1440, minutes / 60 % 24, minutes % 60);
    return text;
}

namespace {

// Digits, then up to maxColons more groups of digits each after a colon.
bool IsColonNumbers(const std::string& text, size_t maxColons) {
    size_t groups = 0;
    size_t at = 0;
    while (true) {
        const size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        if (at == start) return false;
        ++groups;
        if (at == text.size()) return groups <= maxColons + 1;
        if (text[at] != ':') return false;
        ++at;
    }
}

}  // namespace

// Slurm's forms: M, M:S, H:M:S, D-H, D-H:M, D-H:M:S, UNLIMITED, INFINITE.
bool IsSlurmTime(const std::string& text) {
    if (text == "UNLIMITED" || text == "INFINITE") return true;
    const size_t dash = text.find('-');
    if (dash == std::string::npos) return IsColonNumbers(text, 2);
    return IsColonNumbers(text.substr(0, dash), 0) && IsColonNumbers(text.substr(dash + 1), 2);
}

namespace {

// --NAME with a lower-case letter first, then lower-case letters, digits
// and dashes.
bool IsOptionName(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "--") != 0 || !std::islower(static_cast<unsigned char>(name[2]))) {
        return false;
    }
    return std::all_of(name.begin() + 2, name.end(), [](char c) {
        return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '-';
    });
}

}  // namespace

std::string SiteOptionProblem(const std::string& text) {
    if (HasControlCharacter(text)) return "holds a newline or another control character";
    const size_t nameEnd = std::min(text.find('='), text.size());
    const std::string name = text.substr(0, nameEnd);
    if (!IsOptionName(name)) {
        return "is not one sbatch option: give --NAME or --NAME=VALUE";
    }
    if (std::string("--array").rfind(name, 0) == 0) return "sets the array, which the sweep's scripts count on";
    // sbatch's own reading of an #SBATCH line: quotes group, a backslash
    // takes the next character as it is, white space or '#' outside quotes
    // ends the option.
    char quote = 0;
    for (size_t i = nameEnd; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (++i == text.size()) return "ends in a backslash";
        } else if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ' ' || c == '#') {
            return "holds white space or '#' outside quotes, which would end the option there";
        }
    }
    return quote ? "leaves a quote open" : "";
}

bool SbatchCanName(const std::string& folder) {
    return !HasControlCharacter(folder) && folder.find('\\') == std::string::npos;
}

std::vector<SlurmFile> SlurmFiles(const SlurmJob& job, const std::string& file) {
    const size_t tasks = SlurmTaskCount(job.lines, job.cornersPerTask);
    if (tasks == 0) return {};
    const size_t perPart = job.maxArraySize > 0 ? job.maxArraySize : tasks;
    const size_t partCount = (tasks + perPart - 1) / perPart;
    if (partCount <= 1 && !job.collect) return {{file, ArrayScript(job, 0, tasks)}};

    std::vector<SlurmFile> files(1);
    std::vector<std::string> parts;
    for (size_t part = 0; part < partCount; ++part) {
        const size_t offset = part * perPart;
        parts.push_back(Beside(file, "-" + std::to_string(part + 1)));
        files.push_back({parts.back(), ArrayScript(job, offset, std::min(perPart, tasks - offset))});
    }
    std::string collect;
    if (job.collect) {
        collect = Beside(file, "-collect");
        files.push_back({collect, CollectScript(job)});
    }
    files.front() = {file, SubmitHelper(job, parts, collect)};
    return files;
}

}  // namespace linksweep
