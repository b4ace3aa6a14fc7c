#include "WorkingFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace linksim {

namespace fs = std::filesystem;

WorkingFolder::~WorkingFolder() {
    Restore();
    if (m_temporary) {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
}

bool WorkingFolder::Enter(const std::string& folder, std::string& error) {
    std::error_code failure;
    const fs::path previous = fs::current_path(failure);
    const fs::path target = failure ? fs::path() : fs::absolute(folder, failure);
    if (!failure) fs::current_path(target, failure);
    if (failure) {
        error = "cannot work in the folder " + folder + ": " + failure.message();
        return false;
    }
    m_previous = previous.string();
    m_path = target.lexically_normal().string();
    m_entered = true;
    return true;
}

bool WorkingFolder::EnterTemporary(const std::string& prefix, std::string& error) {
    const char* root = getenv("TMPDIR");
    const std::string pattern = std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        error = "cannot make a temporary folder " + pattern;
        return false;
    }
    m_temporary = true;
    m_path = name.data();
    return Enter(name.data(), error);
}

void WorkingFolder::Restore() {
    if (!m_entered) return;
    std::error_code ignored;
    fs::current_path(m_previous, ignored);
    m_entered = false;
}

}  // namespace linksim
