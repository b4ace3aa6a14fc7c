// orvex-sweep: runs orvex-link over the corners of a sweep, on this
// machine's cores or, through a jobs file, on GNU parallel or a Slurm array,
// and gathers the corners' results into one table and a heat map.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "CornerJob.h"
#include "CornerResult.h"
#include "EyePlot.h"
#include "LocalRunner.h"
#include "PlanCheck.h"
#include "ProgressBar.h"
#include "SlurmScript.h"
#include "SweepCommandLine.h"
#include "SweepFolder.h"
#include "SweepReport.h"
#include "SweepResults.h"

#include <nlohmann/json.hpp>

namespace {

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "orvex-sweep: %s\n", message.c_str());
    return code;
}

// Collects the corners' results, prints what they say (unless `worst` is
// all that is wanted yet) and returns the sweep's exit status; the worst
// corners go into `worst` when asked for.
int Report(const linksweep::SweepPlan& plan, const std::string& folder, const linksweep::SweepOptions& options,
           std::vector<size_t>* worst = nullptr, bool print = true) {
    linksweep::SweepReport report;
    std::string error;
    const bool written = linksweep::WriteSweepReport(plan, folder, options.metric, options.best,
                                                     worst ? options.keepWorst : 0, report, error);
    linksim::ReleasePlotCaches();
    if (!written) return Fail(error, 1);
    if (print) std::fputs(report.text.c_str(), stdout);
    if (worst) *worst = report.worst;
    return report.exitStatus;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Whether the plan's corners run --sequential: one thread each, not two.
bool Sequential(const linksweep::SweepPlan& plan) {
    for (const linksweep::SweepSetting& setting : plan.Settings()) {
        if (setting.option == "--sequential") return true;
    }
    return false;
}

// The Slurm job for the jobs file's lines, sized for the largest corner.
linksweep::SlurmJob SlurmJobFor(const linksweep::SweepPlan& plan, const linksweep::CornerSize& largest,
                                double cornerSeconds, const std::string& jobsFile, const std::string& folder,
                                size_t lines, const linksweep::SweepOptions& options) {
    linksweep::SlurmJob job;
    job.jobsFile = jobsFile;
    job.sweepFolder = folder;
    std::error_code failure;
    job.sweepProgram = std::filesystem::read_symlink("/proc/self/exe", failure).string();
    job.lines = lines;
    job.sweepCorners = plan.CornerCount();
    job.cornersPerTask = options.cornersPerTask;
    // Each corner's run uses a second thread beside its models' calls
    // unless the sweep runs them --sequential.
    job.cpusPerTask = Sequential(plan) ? 1 : 2;
    const size_t corners = std::min(lines, options.cornersPerTask);
    job.time = options.slurmTime.empty() ? linksweep::SlurmTime(linksweep::TaskMinutes(corners, cornerSeconds))
                                         : options.slurmTime;
    job.megabytes = linksweep::TaskMegabytes(largest.bits);
    job.throttle = options.slurmThrottle;
    job.maxArraySize = options.slurmMaxArray;
    job.siteOptions = options.slurmOptions;
    // This emission's own record: scripts emitted again, for the corners
    // still without results, start from a clean one.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    job.ranRecord = folder + "/.slurm-ran/" +
                    std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) + "-" +
                    std::to_string(getpid());
    job.collect = options.slurmCollect;
    job.collectArguments = {"--metric", options.metric, "--best", std::to_string(options.best)};
    return job;
}

int EmitSlurm(const linksweep::SlurmJob& job, const linksweep::SweepOptions& options) {
    namespace fs = std::filesystem;
    std::string error;
    std::error_code failure;
    // The helper names the other scripts by absolute paths, to be run from anywhere.
    const std::string script = fs::absolute(options.emitSlurm, failure).string();
    const std::vector<linksweep::SlurmFile> files = linksweep::SlurmFiles(job, script);
    for (const linksweep::SlurmFile& file : files) {
        if (!linksweep::WriteTextFile(file.path, file.text, error)) return Fail(error, 1);
        fs::permissions(file.path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, failure);
    }
    const size_t tasks = linksweep::SlurmTaskCount(job.lines, job.cornersPerTask);
    std::printf("Slurm: %zu array tasks of %zu corner(s), each --time=%s --mem=%zuM --cpus-per-task=%u\n", tasks,
                job.cornersPerTask, job.time.c_str(), job.megabytes, job.cpusPerTask);
    if (files.size() == 1) {
        std::printf("submit: sbatch %s\n", script.c_str());
    } else {
        std::printf("submit: sh %s   (%zu scripts beside it)\n", script.c_str(), files.size() - 1);
    }
    if (job.maxArraySize == 0 && tasks > linksweep::kSlurmDefaultMaxArraySize) {
        std::fprintf(stderr,
                     "orvex-sweep: %zu array tasks exceed Slurm's default MaxArraySize of %zu: give the site's "
                     "--slurm-max-array, or a larger --corners-per-task, unless the cluster allows more\n",
                     tasks, linksweep::kSlurmDefaultMaxArraySize);
    }
    return 0;
}

// --measure: the first corner to run runs here, timed, and is taken off
// the lines when it finished; the largest corner is taken to need that time in proportion to
// its bits and samples per unit interval. The estimate stands, with a
// warning, when the corner did not finish.
double MeasuredCornerSeconds(const linksweep::CornerSize& largest, const linksweep::SweepPlan& plan,
                             linksweep::PreparedSweep& prepared, std::vector<std::string>& lines,
                             const linksweep::SweepOptions& options) {
    const double estimate = linksweep::CornerSeconds(largest.bits, largest.samplesPerUi);
    if (lines.empty()) return estimate;
    const linksweep::CornerSpec spec = linksweep::SpecOfCorner(plan, prepared.folder, prepared.corners.front(),
                                                               options.linkProgram, options.keep);
    const std::string& corner = spec.folder;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const bool started = linksweep::RunCorner(spec, error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream file(corner + "/" + linksweep::kSummaryFile);
    const nlohmann::json summary = nlohmann::json::parse(file, nullptr, false);
    // The corner's size as its summary's stimulus gives it.
    const auto count = [&summary](const char* key) {
        const nlohmann::json::json_pointer pointer(std::string("/stimulus/") + key);
        return summary.is_object() && summary.contains(pointer) && summary[pointer].is_number_unsigned()
                   ? summary[pointer].get<size_t>()
                   : size_t(0);
    };
    const size_t bits = count("bits");
    const size_t samplesPerUi = count("samples_per_ui");
    if (!started || !linksweep::SummaryComplete(corner) || bits == 0 || samplesPerUi == 0) {
        std::fprintf(stderr,
                     "orvex-sweep: the measured corner %s did not finish (journal.txt says why): the tasks' time "
                     "is estimated, and the corner runs again with the others\n",
                     corner.c_str());
        return estimate;
    }
    // Its results are kept: it leaves the jobs file.
    lines.erase(lines.begin());
    prepared.corners.erase(prepared.corners.begin());
    ++prepared.kept;
    std::printf("measured: %s took %.1f s\n", corner.c_str(), seconds);
    return seconds * double(largest.bits) * double(largest.samplesPerUi) / (double(bits) * double(samplesPerUi));
}

// Writes the jobs file, and the Slurm scripts when asked, for another
// engine to run; the results come with --collect.
int Emit(const linksweep::SweepPlan& plan, const linksweep::CornerSize& largest, linksweep::PreparedSweep& prepared,
         std::vector<std::string> lines, const linksweep::SweepOptions& options) {
    const double cornerSeconds = options.measure ? MeasuredCornerSeconds(largest, plan, prepared, lines, options)
                                                 : linksweep::CornerSeconds(largest.bits, largest.samplesPerUi);
    namespace fs = std::filesystem;
    std::error_code failure;
    const std::string jobsFile =
        fs::absolute(options.emitJobs.empty() ? prepared.folder + "/jobs.txt" : options.emitJobs, failure).string();
    std::string error;
    if (!linksweep::WriteTextFile(jobsFile, Joined(lines), error)) return Fail(error, 1);
    std::printf("%zu corners, %zu to run, %zu kept: %s\n", plan.CornerCount(), lines.size(), prepared.kept,
                jobsFile.c_str());
    if (!options.emitSlurm.empty() && lines.empty()) {
        std::printf("every corner has its results: no Slurm script to submit\n");
    } else if (!options.emitSlurm.empty()) {
        const int status =
            EmitSlurm(SlurmJobFor(plan, largest, cornerSeconds, jobsFile, prepared.folder, lines.size(), options),
                      options);
        if (status != 0) return status;
    } else {
        std::printf("run them: parallel -j N < %s   (add --sshloginfile HOSTS across machines)\n",
                    jobsFile.c_str());
    }
    if (options.emitSlurm.empty() || !options.slurmCollect || lines.empty()) {
        std::printf("then: orvex-sweep --collect %s\n", prepared.folder.c_str());
    } else {
        std::printf("then the collect job gathers the results in %s\n", prepared.folder.c_str());
    }
    return 0;
}

// One sweep at a time in a folder. The lock is inherited by the corners'
// runs (no close-on-exec), so that it holds while any of them still runs,
// even after the sweep itself was killed: a second sweep would otherwise
// empty their folders under them or count them twice.
bool LockSweepFolder(const std::string& folder, std::string& error) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    const std::string path = folder + "/.orvex-sweep.lock";
    const int lock = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    if (lock < 0) {
        error = "cannot write in the sweep's folder " + folder;
        return false;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        error = "another sweep, or a corner of an earlier one, is still running in " + folder +
                "; wait for it to end, or give another --out";
        close(lock);
        return false;
    }
    return true;  // held until this process and the corners it started have ended
}

}  // namespace

// The jobs file's lines: each runs one corner through this program.
std::vector<std::string> CornerLines(const linksweep::PreparedSweep& prepared, const linksweep::SweepOptions& options) {
    std::error_code failure;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", failure).string();
    std::vector<std::string> lines;
    lines.reserve(prepared.corners.size());
    for (size_t corner : prepared.corners) {
        lines.push_back(linksweep::CornerLine(self, options.linkProgram, prepared.folder, corner, options.keep));
    }
    return lines;
}

// --keep worst:N after a collection: the worst corners' lines, keeping all,
// for GNU parallel or (with --emit-slurm) as a Slurm array of their own.
int EmitWorst(const linksweep::SweepPlan& plan, const std::string& folder, const std::string& programFolder,
              const std::vector<size_t>& worstCorners, linksweep::SweepOptions options) {
    std::string error;
    linksweep::PreparedSweep worst;
    worst.folder = std::filesystem::absolute(folder).lexically_normal().string();
    worst.corners = worstCorners;
    worst.kept = plan.CornerCount() - worst.corners.size();
    options.keep = linksweep::KeepMode::All;
    if (options.emitJobs.empty()) options.emitJobs = worst.folder + "/worst-jobs.txt";
    linksweep::CornerSize largest;
    std::vector<std::string> deadAxes;  // told when the sweep was checked
    if (!linksweep::CheckPlan(plan, programFolder, largest, deadAxes, error)) return Fail(error, 1);
    std::printf("the %zu worst corners by %s, to run again keeping all their outputs:\n", worst.corners.size(),
                options.metric.c_str());
    return Emit(plan, largest, worst, CornerLines(worst, options), options);
}

// --run-corner: one corner of the sweep in --out, as a jobs file's line
// runs it. Exits 0 when the corner ran, whatever its verdict.
int RunOneCorner(const linksweep::SweepOptions& options) {
    std::string error;
    linksweep::SweepPlan plan;
    if (!linksweep::ReadPlan(options.out, plan, error)) return Fail(error, 1);
    if (options.runCorner > plan.CornerCount()) {
        return Fail("--run-corner " + std::to_string(options.runCorner) + ": the sweep has " +
                        std::to_string(plan.CornerCount()) + " corners",
                    2);
    }
    std::error_code failure;
    const std::string folder = std::filesystem::absolute(options.out, failure).lexically_normal().string();
    const linksweep::CornerSpec spec =
        linksweep::SpecOfCorner(plan, folder, options.runCorner, options.linkProgram, options.keep);
    return linksweep::RunCorner(spec, error) ? 0 : Fail(error, 1);
}

int main(int argc, char** argv) {
    linksweep::SweepOptions options;
    std::string message;
    int status = 0;
    if (linksweep::ParseSweepCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, message, status) ==
        linksweep::SweepAction::Exit) {
        if (status == 0) std::fputs(message.c_str(), stdout);
        return status == 0 ? 0 : Fail(message, status);
    }
    std::string error;
    const std::string programFolder = linksim::ProgramFolder(argv[0]);
    if (options.linkProgram.empty()) options.linkProgram = programFolder + "/orvex-link";
    if (!options.collect.empty()) {
        linksweep::SweepPlan plan;
        if (!linksweep::ReadPlan(options.collect, plan, error)) return Fail(error, 1);
        // Not while a sweep on this machine still runs corners into it.
        if (!LockSweepFolder(options.collect, error)) return Fail(error, 1);
        std::vector<size_t> worst;
        const int status = Report(plan, options.collect, options, &worst);
        if (options.keepWorst == 0 || (status != 0 && status != 3 && status != 4)) return status;
        const int emitted = EmitWorst(plan, options.collect, programFolder, worst, options);
        return emitted != 0 ? emitted : status;
    }

    if (options.runCorner > 0) return RunOneCorner(options);
    linksweep::CornerSize largest;
    std::vector<std::string> deadAxes;
    if (!linksweep::CheckPlan(options.plan, programFolder, largest, deadAxes, error)) return Fail(error, 2);
    for (const std::string& dead : deadAxes) {
        if (options.strict) return Fail(dead + "; --strict refuses such a plan", 2);
        std::fprintf(stderr, "orvex-sweep: warning: %s\n", dead.c_str());
    }
    std::vector<std::pair<std::string, std::string>> texts = {
        {"--out", options.out}, {"--link", options.linkProgram}, {"--emit-jobs", options.emitJobs},
        {"--emit-slurm", options.emitSlurm}};
    for (const linksweep::SweepSetting& setting : options.plan.Settings()) {
        for (const std::string& value : setting.values) texts.emplace_back(setting.option, setting.prefix + value);
    }
    error = linksweep::UnsafeForJobLines(texts);
    if (!error.empty()) return Fail(error, 2);
    std::error_code failure;
    if (!options.emitSlurm.empty() &&
        !linksweep::SbatchCanName(std::filesystem::absolute(options.out, failure).string())) {
        return Fail("--out " + options.out + " holds a backslash, which would turn off the %A and %a of the Slurm "
                    "scripts' log names: give another folder",
                    2);
    }
    if (!LockSweepFolder(options.out, error)) return Fail(error, 1);
    linksweep::PreparedSweep prepared;
    if (!linksweep::PrepareSweepFolder(options.plan, options.out, options.force, options.linkProgram, options.keep,
                                       prepared, error)) {
        return Fail(error, 1);
    }
    if (!options.emitJobs.empty() || !options.emitSlurm.empty()) {
        return Emit(options.plan, largest, prepared, CornerLines(prepared, options), options);
    }

    const size_t jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    {
        linksim::ProgressBar bar(stderr, !options.quiet, 1.5, "corners");
        const auto specOf = [&](size_t index) {
            return linksweep::SpecOfCorner(options.plan, prepared.folder, prepared.corners[index],
                                           options.linkProgram, options.keep);
        };
        const size_t unstarted = linksweep::RunLocally(
            prepared.corners.size(), jobs, specOf, [&bar](size_t done, size_t total) { bar.Update(done, total); },
            error);
        bar.Finish();
        if (unstarted > 0) Fail(std::to_string(unstarted) + " corners did not start: " + error, 1);
    }
    if (options.keepWorst == 0) return Report(options.plan, prepared.folder, options);
    std::vector<size_t> worst;
    const int swept = Report(options.plan, prepared.folder, options, &worst, false);
    if (!worst.empty()) {
        // Run again keeping everything: the same results, with their pictures and report.
        const auto specOf = [&](size_t index) {
            return linksweep::SpecOfCorner(options.plan, prepared.folder, worst[index], options.linkProgram,
                                           linksweep::KeepMode::All);
        };
        const size_t unstarted = linksweep::RunLocally(worst.size(), jobs, specOf, nullptr, error);
        if (unstarted > 0) Fail(std::to_string(unstarted) + " of the worst corners did not start: " + error, 1);
        std::printf("the %zu worst corners by %s kept all their outputs\n", worst.size(), options.metric.c_str());
    }
    // The tables again, with the worst corners' new run times.
    return swept == 1 ? swept : Report(options.plan, prepared.folder, options);
}
