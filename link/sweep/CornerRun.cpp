#include "CornerRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "CornerJob.h"
#include "CornerResult.h"
#include "FileDigest.h"

namespace linksweep {

namespace {

namespace fs = std::filesystem;

// Lines of a lean corner's log the journal keeps.
const size_t kJournalLogLines = 5;

// A corner's folder made empty, so that nothing of an earlier run (the
// receiver appends to its adapt.txt) mixes with the new one.
bool EmptyFolder(const std::string& folder, std::string& error) {
    std::error_code failure;
    fs::remove_all(folder, failure);
    if (!failure) fs::create_directories(folder, failure);
    if (failure) error = "cannot make an empty folder " + folder + ": " + failure.message();
    return !failure;
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecLink(char* const* argv, const char* log, pid_t parent) {
    // The run ends with whatever started it, even when that was killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(128 + SIGKILL);
    const int input = open("/dev/null", O_RDONLY);
    const int output = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(126);
    execv(argv[0], argv);
    static const char message[] = "orvex-sweep: the link simulator could not be started\n";
    ssize_t ignored = write(2, message, sizeof message - 1);
    (void)ignored;
    _exit(127);
}

std::string Tail(const std::string& path, size_t lines) {
    std::ifstream file(path);
    std::deque<std::string> last;
    std::string line;
    while (std::getline(file, line)) {
        last.push_back(line);
        if (last.size() > lines) last.pop_front();
    }
    std::string text;
    for (const std::string& kept : last) text += "  " + kept + "\n";
    return text;
}

// One record, appended whole under the journal's lock: corners of other
// tasks may finish at the same moment.
void AppendToJournal(const std::string& journal, const std::string& record) {
    const int file = open(journal.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (file < 0) return;
    flock(file, LOCK_EX);  // where the file system has no locks, the append alone
    size_t written = 0;
    while (written < record.size()) {
        const ssize_t now = write(file, record.data() + written, record.size() - written);
        if (now < 0 && errno == EINTR) continue;
        if (now <= 0) break;
        written += size_t(now);
    }
    close(file);  // which releases the lock
}

int ShellStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return 1;
}

}  // namespace

std::string PlanIdentity(const SweepPlan& plan) {
    const std::string text = plan.ToJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return "plan-" + linksim::Sha256OfText(text).substr(0, 16);
}

CornerSpec SpecOfCorner(const SweepPlan& plan, const std::string& sweepFolder, size_t number,
                        const std::string& linkProgram, KeepMode keep) {
    CornerSpec spec;
    spec.number = number;
    spec.folder = sweepFolder + "/" + CornerFolder(number, plan.CornerCount());
    spec.linkProgram = linkProgram;
    spec.keep = keep;
    spec.journal = sweepFolder + "/" + kJournalFile;
    spec.arguments = {"--quiet", "--out", spec.folder, "--run-tag", PlanIdentity(plan)};
    if (keep == KeepMode::Summary) spec.arguments.insert(spec.arguments.end(), {"--outputs", "summary"});
    const std::vector<std::string> own = plan.CornerArguments(number);
    spec.arguments.insert(spec.arguments.end(), own.begin(), own.end());
    spec.ownArguments = own.size();
    return spec;
}

bool CornerKept(const CornerSpec& spec, const std::string& planIdentity) {
    if (!SummaryComplete(spec.folder)) return false;
    std::ifstream file(spec.folder + "/" + kSummaryFile);
    const nlohmann::json summary = nlohmann::json::parse(file, nullptr, false);
    const nlohmann::json::json_pointer tag("/run/tag"), line("/run/command_line");
    if (!summary.contains(tag) || summary[tag] != planIdentity || !summary.contains(line) ||
        !summary[line].is_array()) {
        return false;
    }
    // The corner's own arguments end the command line; the ones before
    // them name the folder, which may have moved, and what was kept.
    const nlohmann::json& given = summary[line];
    const size_t own = spec.ownArguments;
    if (given.size() < own) return false;
    for (size_t i = 0; i < own; ++i) {
        const nlohmann::json& word = given[given.size() - own + i];
        if (!word.is_string() || word.get<std::string>() != spec.arguments[spec.arguments.size() - own + i]) {
            return false;
        }
    }
    return true;
}

bool StartCorner(const CornerSpec& spec, pid_t& child, std::string& error) {
    if (!EmptyFolder(spec.folder, error)) return false;
    // Everything the child needs is made before the fork.
    std::vector<std::string> words = {spec.linkProgram};
    words.insert(words.end(), spec.arguments.begin(), spec.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const std::string log = spec.folder + "/" + kLogFile;
    const pid_t parent = getpid();
    child = fork();
    if (child < 0) {
        error = "cannot start the link simulator for corner " + std::to_string(spec.number) + ": " +
                std::strerror(errno);
        return false;
    }
    if (child == 0) ExecLink(argv.data(), log.c_str(), parent);
    return true;
}

void FinishCorner(const CornerSpec& spec, int waitStatus) {
    const int status = ShellStatus(waitStatus);
    const std::string log = spec.folder + "/" + kLogFile;
    // A lean corner with its results keeps no log and no status of its own.
    const bool lean = spec.keep == KeepMode::Summary && SummaryComplete(spec.folder);
    if (!lean) std::ofstream(spec.folder + "/" + kExitStatusFile) << status << "\n";
    CornerResult result;
    ReadCorner(spec.folder, result);
    AppendToJournal(spec.journal, "corner " + std::to_string(spec.number) + ": exit status " + std::to_string(status) +
                                      ", " + StatusName(result.status) +
                                      (result.reason.empty() ? "" : ": " + result.reason) + "\n" +
                                      Tail(log, kJournalLogLines));
    std::error_code ignored;
    if (lean) fs::remove(log, ignored);
}

bool RunCorner(const CornerSpec& spec, std::string& error) {
    pid_t child = 0;
    if (!StartCorner(spec, child, error)) return false;
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0) {
        if (errno != EINTR) {
            error = "lost the link simulator of corner " + std::to_string(spec.number) + ": " + std::strerror(errno);
            return false;
        }
    }
    FinishCorner(spec, waitStatus);
    return true;
}

std::string CornerLine(const std::string& sweepProgram, const std::string& linkProgram,
                       const std::string& sweepFolder, size_t number, KeepMode keep) {
    return ShellQuote(sweepProgram) + " --run-corner " + std::to_string(number) + " --link " +
           ShellQuote(linkProgram) + (keep == KeepMode::All ? " --keep all" : "") + " --out " + ShellQuote(sweepFolder);
}

}  // namespace linksweep
