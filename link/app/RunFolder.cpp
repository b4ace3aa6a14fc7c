#include "RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace linksim {

namespace fs = std::filesystem;

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
    const fs::path staging = fs::path(outputFolder) / (".orvex-link-run-" + std::to_string(long(getpid())));
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
    std::error_code failure;
    for (size_t i = 0; i < count; ++i) {
        fs::remove(fs::path(m_output) / names[i], failure);
        if (failure) {
            error = "cannot replace " + (fs::path(m_output) / names[i]).string() + " of an earlier run: " +
                    failure.message();
            return false;
        }
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(m_staging, failure)) {
        const fs::path target = fs::path(m_output) / entry.path().filename();
        if (fs::is_directory(target)) fs::remove_all(target, failure);
        fs::rename(entry.path(), target, failure);
        if (failure) {
            error = "cannot move " + entry.path().filename().string() + " into " + m_output + ": " + failure.message();
            return false;
        }
    }
    if (failure) {
        error = "cannot read the run's folder " + m_staging + ": " + failure.message();
        return false;
    }
    fs::remove_all(m_staging, failure);
    m_staging.clear();
    return true;
}

}  // namespace linksim
