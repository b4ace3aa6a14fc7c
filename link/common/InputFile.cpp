#include "InputFile.h"

#include <sys/stat.h>

#include <cstring>

namespace linksim {

namespace {

const char* Kind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

bool OpenInputFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes, std::ifstream& file,
                   std::string& error) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        error = "cannot read " + what + " " + path;
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "cannot read " + what + " " + path + ": it is " + Kind(status.st_mode) + ", not a file";
        return false;
    }
    if (std::uintmax_t(status.st_size) > maxBytes) {
        error = what + " " + path + " is " + std::to_string(std::uintmax_t(status.st_size) >> 20) +
                " MB, more than the " + std::to_string(maxBytes >> 20) + " MB such a file may be";
        return false;
    }
    file.open(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + what + " " + path;
        return false;
    }
    // Every input is text, which holds no NUL byte: a binary file is refused
    // at once rather than read as one endless line.
    char start[4096];
    file.read(start, sizeof start);
    if (std::memchr(start, '\0', size_t(file.gcount())) != nullptr) {
        error = what + " " + path + " is not a text file (it holds NUL bytes)";
        file.close();
        return false;
    }
    file.clear();
    file.seekg(0);
    return true;
}

}  // namespace linksim
