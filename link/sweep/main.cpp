// orvex-sweep: runs orvex-link over the corners of a sweep, on this
// machine's cores or, through a jobs file, on GNU parallel or a Slurm array,
// and gathers the corners' results into one table and a heat map.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "CornerJob.h"
#include "EyePlot.h"
#include "LocalRunner.h"
#include "PlanCheck.h"
#include "ProgressBar.h"
#include "SlurmScript.h"
#include "SweepCommandLine.h"
#include "SweepFolder.h"
#include "SweepReport.h"

namespace {

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "orvex-sweep: %s\n", message.c_str());
    return code;
}

int Report(const linksweep::SweepPlan& plan, const std::string& folder, const linksweep::SweepOptions& options) {
    std::string text;
    std::string error;
    int status = 0;
    const bool written = linksweep::WriteSweepReport(plan, folder, options.metric, options.best, text, status, error);
    linksim::ReleasePlotCaches();
    if (!written) return Fail(error, 1);
    std::fputs(text.c_str(), stdout);
    return status;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Writes the jobs file, and the Slurm script when asked, for another engine
// to run; the results come with --collect.
int Emit(const linksweep::SweepPlan& plan, const linksweep::PreparedSweep& prepared,
         const std::vector<std::string>& lines, const linksweep::SweepOptions& options) {
    namespace fs = std::filesystem;
    std::error_code failure;
    const std::string jobsFile =
        fs::absolute(options.emitJobs.empty() ? prepared.folder + "/jobs.txt" : options.emitJobs, failure).string();
    std::string error;
    if (!linksweep::WriteTextFile(jobsFile, Joined(lines), error)) return Fail(error, 1);
    std::printf("%zu corners, %zu to run, %zu kept: %s\n", plan.CornerCount(), lines.size(), prepared.kept,
                jobsFile.c_str());
    if (!options.emitSlurm.empty()) {
        const size_t tasks = linksweep::SlurmTaskCount(lines.size(), options.cornersPerTask);
        // Each corner's run uses a second thread beside its models' calls
        // unless the sweep runs them --sequential.
        bool sequential = false;
        for (const linksweep::SweepSetting& setting : plan.Settings()) sequential |= setting.option == "--sequential";
        const std::string script = linksweep::SlurmScript(jobsFile, prepared.folder, lines.size(),
                                                          options.cornersPerTask, sequential ? 1 : 2);
        if (!linksweep::WriteTextFile(options.emitSlurm, script, error)) return Fail(error, 1);
        fs::permissions(options.emitSlurm, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, failure);
        std::printf("Slurm array of %zu tasks: sbatch %s\n", tasks, options.emitSlurm.c_str());
        if (tasks > linksweep::kSlurmDefaultArrayLimit) {
            std::fprintf(stderr,
                         "orvex-sweep: %zu array tasks exceed Slurm's default limit of %zu: give a larger "
                         "--corners-per-task unless the cluster allows more\n",
                         tasks, linksweep::kSlurmDefaultArrayLimit);
        }
    } else {
        std::printf("run them: parallel -j N < %s   (add --sshloginfile HOSTS across machines)\n",
                    jobsFile.c_str());
    }
    std::printf("then: orvex-sweep --collect %s\n", prepared.folder.c_str());
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
    if (!options.collect.empty()) {
        linksweep::SweepPlan plan;
        if (!linksweep::ReadPlan(options.collect, plan, error)) return Fail(error, 1);
        return Report(plan, options.collect, options);
    }

    const std::string programFolder = linksim::ProgramFolder(argv[0]);
    if (options.linkProgram.empty()) options.linkProgram = programFolder + "/orvex-link";
    if (!linksweep::CheckPlan(options.plan, programFolder, error)) return Fail(error, 2);
    std::vector<std::pair<std::string, std::string>> texts = {
        {"--out", options.out}, {"--link", options.linkProgram}, {"--emit-jobs", options.emitJobs},
        {"--emit-slurm", options.emitSlurm}};
    for (const linksweep::SweepSetting& setting : options.plan.Settings()) {
        for (const std::string& value : setting.values) texts.emplace_back(setting.option, setting.prefix + value);
    }
    error = linksweep::UnsafeForJobLines(texts);
    if (!error.empty()) return Fail(error, 2);
    if (!LockSweepFolder(options.out, error)) return Fail(error, 1);
    linksweep::PreparedSweep prepared;
    if (!linksweep::PrepareSweepFolder(options.plan, options.out, options.force, prepared, error)) {
        return Fail(error, 1);
    }
    const std::vector<std::string> lines = linksweep::CornerLines(options.plan, prepared, options.linkProgram);
    if (!options.emitJobs.empty() || !options.emitSlurm.empty()) return Emit(options.plan, prepared, lines, options);

    const size_t jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    {
        linksim::ProgressBar bar(stderr, !options.quiet, 1.5, "corners");
        const size_t unstarted = linksweep::RunLocally(
            lines, jobs, [&bar](size_t done, size_t total) { bar.Update(done, total); }, error);
        bar.Finish();
        if (unstarted > 0) Fail(std::to_string(unstarted) + " corners did not start: " + error, 1);
    }
    return Report(options.plan, prepared.folder, options);
}
