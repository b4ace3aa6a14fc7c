#include "RunFolder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace linksim {

namespace fs = std::filesystem;

RunFolder::~RunFolder() {
    if (m_staging.empty()) return;
    std::error_code ignored;
    fs::remove_all(m_staging, ignored);
}

bool RunFolder::Prepare(const std::string& outputFolder, std::string& error) {
    std::error_code failure;
    fs::create_directories(outputFolder, failure);
    if (failure || !fs::is_directory(outputFolder)) {
        error = "cannot create the output folder " + outputFolder + (failure ? ": " + failure.message() : "");
        return false;
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
