// A fresh temporary folder made the working folder for as long as the object
// lives: the receiver appends its adaptation log, "adapt.txt", to the working
// folder, so every test that runs an adaptation gets a folder of its own.
#ifndef TESTS_SUPPORT_WORKING_FOLDER_H
#define TESTS_SUPPORT_WORKING_FOLDER_H

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class WorkingFolder {
public:
    WorkingFolder() {
        char previous[4096];
        if (getcwd(previous, sizeof previous) != nullptr) m_previous = previous;
        std::string pattern = TempRoot() + "/rx-test-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) != nullptr && chdir(name.data()) == 0) m_path = name.data();
    }
    ~WorkingFolder() {
        if (!m_previous.empty() && chdir(m_previous.c_str()) != 0) return;
        if (m_path.empty()) return;
        RemoveFiles();
        rmdir(m_path.c_str());
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    bool Ready() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }

    // The lines of a file in this folder; none if it does not exist.
    std::vector<std::string> Lines(const std::string& file) const {
        std::vector<std::string> lines;
        std::ifstream in(m_path + "/" + file);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    std::string Text(const std::string& file) const {
        std::ifstream in(m_path + "/" + file);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    static std::string TempRoot() {
        const char* root = getenv("TMPDIR");
        return root != nullptr && *root != '\0' ? root : "/tmp";
    }

    void RemoveFiles() const {
        DIR* folder = opendir(m_path.c_str());
        if (folder == nullptr) return;
        while (dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") unlink((m_path + "/" + name).c_str());
        }
        closedir(folder);
    }

    std::string m_previous;
    std::string m_path;
};

#endif
