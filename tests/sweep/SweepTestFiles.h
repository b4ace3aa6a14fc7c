// Files and shell commands for the sweep's tests.
#ifndef SWEEP_TEST_FILES_H
#define SWEEP_TEST_FILES_H

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// A fresh, empty folder.
inline std::string FreshFolder(const std::string& path) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

// The exit status of a /bin/sh command line (-1 when it did not exit).
inline int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif
