#include "RunFolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace linksim {

namespace fs = std::filesystem;

namespace {

const char kStagingPrefix[] = ".orvex-link-run-";
const char kSummaryName[] = "summary.json";

// What the interrupt handler may touch: text written before it is
// installed, and flags of sig_atomic_t.
char g_outputFolder[2048] = "";
volatile sig_atomic_t g_committing = 0;
volatile sig_atomic_t g_interruptedBy = 0;

const char* InterruptName(int number) {
    switch (number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

void WriteText(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

[[noreturn]] void ReportInterrupt(int number, const char* outcome) {
    WriteText("\norvex-link: interrupted (");
    WriteText(InterruptName(number));
    WriteText("): ");
    WriteText(outcome);
    WriteText(g_outputFolder);
    WriteText("\n");
    _exit(128 + number);
}

// The run's own folder is left for the next run into the output folder to
// remove (a handler may not walk folders); what an earlier run left there
// is untouched. While the outputs are being moved into place the move is
// finished first, so that the folder never holds half of two runs.
void OnInterrupt(int number) {
    if (g_committing) {
        g_interruptedBy = number;
        return;
    }
    ReportInterrupt(number, "the outputs of an earlier run, if any, are left as they were in ");
}

void InstallInterruptReport(const std::string& outputFolder) {
    std::snprintf(g_outputFolder, sizeof g_outputFolder, "%s", outputFolder.c_str());
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

bool ProcessIsGone(const std::string& folderName) {
    char* end = nullptr;
    const long pid = std::strtol(folderName.c_str() + sizeof kStagingPrefix - 1, &end, 10);
    return end != nullptr && *end == '\0' && pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// The folders of runs that were killed or interrupted before they could
// remove their own.
void RemoveAbandonedRunFolders(const std::string& outputFolder) {
    std::error_code failure;
    std::vector<fs::path> abandoned;
    for (const fs::directory_entry& entry : fs::directory_iterator(outputFolder, failure)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kStagingPrefix, 0) == 0 && ProcessIsGone(name)) abandoned.push_back(entry.path());
    }
    for (const fs::path& folder : abandoned) fs::remove_all(folder, failure);
}

}  // namespace

RunFolder::~RunFolder() {
    if (!m_staging.empty()) {
        std::error_code ignored;
        fs::remove_all(m_staging, ignored);
    }
    if (m_lock >= 0) close(m_lock);  // which releases the lock
}

bool RunFolder::Prepare(const std::string& outputFolder, std::string& error, std::string& warning) {
    std::error_code failure;
    fs::create_directories(outputFolder, failure);
    if (failure || !fs::is_directory(outputFolder)) {
        error = "cannot create the output folder " + outputFolder + (failure ? ": " + failure.message() : "");
        return false;
    }
    const std::string lockPath = (fs::path(outputFolder) / kLockName).string();
    m_lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lock < 0) {
        error = "cannot write in the output folder " + outputFolder;
        return false;
    }
    if (flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            error = "another run is writing into the output folder " + outputFolder + "; wait for it or give another --out";
            return false;
        }
        warning = "the output folder " + outputFolder + " cannot be locked (" + std::strerror(errno) +
                  "): a second run into it at the same time would not be stopped";
    }
    InstallInterruptReport(outputFolder);
    RemoveAbandonedRunFolders(outputFolder);
    const fs::path staging = fs::path(outputFolder) / (kStagingPrefix + std::to_string(long(getpid())));
    fs::remove_all(staging, failure);
    if (!fs::create_directory(staging, failure) || failure) {
        error = "cannot write in the output folder " + outputFolder;
        return false;
    }
    m_output = outputFolder;
    m_staging = staging.string();
    return true;
}

bool RunFolder::Commit(const char* const* names, size_t count, std::string& error) {
    g_committing = 1;
    const bool moved = MoveIntoPlace(names, count, error);
    g_committing = 0;
    if (g_interruptedBy != 0) {
        ReportInterrupt(g_interruptedBy, moved ? "after this run's outputs were all moved into "
                                               : "while this run's outputs were moved into ");
    }
    return moved;
}

// Each file renamed over the earlier one, summary.json last, so that a
// summary always describes the files beside it; an earlier run's outputs
// this run did not make are removed before the summary arrives.
bool RunFolder::MoveIntoPlace(const char* const* names, size_t count, std::string& error) {
    std::error_code failure;
    std::vector<fs::path> made;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_staging, failure)) made.push_back(entry.path());
    if (failure) {
        error = "cannot read the run's folder " + m_staging + ": " + failure.message();
        return false;
    }
    std::stable_partition(made.begin(), made.end(), [](const fs::path& file) { return file.filename() != kSummaryName; });
    for (const fs::path& file : made) {
        if (file.filename() == kSummaryName) RemoveEarlierOutputs(names, count, made);
        const fs::path target = fs::path(m_output) / file.filename();
        if (fs::is_directory(target)) fs::remove_all(target, failure);
        fs::rename(file, target, failure);
        if (failure) {
            error = "cannot move " + file.filename().string() + " into " + m_output + ": " + failure.message();
            return false;
        }
    }
    fs::remove_all(m_staging, failure);
    m_staging.clear();
    return true;
}

void RunFolder::RemoveEarlierOutputs(const char* const* names, size_t count, const std::vector<fs::path>& made) {
    for (size_t i = 0; i < count; ++i) {
        const bool remade = std::any_of(made.begin(), made.end(),
                                        [&](const fs::path& file) { return file.filename() == names[i]; });
        std::error_code ignored;
        if (!remade) fs::remove(fs::path(m_output) / names[i], ignored);
    }
}

}  // namespace linksim
