#include "InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

// The offset of the first byte no text file holds: NUL, or a control
// character other than TAB, LF, FF and CR (Latin-1 and UTF-8 bytes are
// text). size_t(-1) when there is none.
size_t FirstBinaryByte(const char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\f' && byte != '\r') return i;
    }
    return size_t(-1);
}

}  // namespace

namespace {

bool OpenRegularFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes, int& descriptor,
                     std::string& error) {
    // Opened without blocking, so that a FIFO with no writer cannot hold
    // the run, and judged by the descriptor, so that what is read is what
    // was judged.
    descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        error = "cannot read " + what + " " + path + (descriptor < 0 ? ": " + std::string(std::strerror(errno)) : "");
        if (descriptor >= 0) close(descriptor);
        descriptor = -1;
        return false;
    }
    if (!S_ISREG(status.st_mode) || std::uintmax_t(status.st_size) > maxBytes) {
        error = !S_ISREG(status.st_mode)
                    ? "cannot read " + what + " " + path + ": it is " + Kind(status.st_mode) + ", not a file"
                    : what + " " + path + " is " + std::to_string(std::uintmax_t(status.st_size) >> 20) +
                          " MB, more than the " + std::to_string(maxBytes >> 20) + " MB such a file may be";
        close(descriptor);
        descriptor = -1;
        return false;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return true;
}

}  // namespace

bool CheckRegularFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes,
                      std::string& error) {
    int descriptor = -1;
    if (!OpenRegularFile(path, what, maxBytes, descriptor, error)) return false;
    close(descriptor);
    return true;
}

bool OpenInputFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes, std::ifstream& file,
                   std::string& error) {
    int descriptor = -1;
    if (!OpenRegularFile(path, what, maxBytes, descriptor, error)) return false;
    // The very file judged, through its descriptor where /proc shows it.
    file.open("/proc/self/fd/" + std::to_string(descriptor), std::ios::binary);
    if (!file) file.open(path, std::ios::binary);
    close(descriptor);
    if (!file) {
        error = "cannot read " + what + " " + path;
        return false;
    }
    // Every input is text: a binary file is refused at once rather than
    // read as one endless line or as numbers made of its bytes.
    char start[4096];
    file.read(start, sizeof start);
    const size_t bad = FirstBinaryByte(start, size_t(file.gcount()));
    if (bad != size_t(-1)) {
        const size_t line = 1 + size_t(std::count(start, start + bad, '\n'));
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", unsigned(static_cast<unsigned char>(start[bad])));
        error = what + " " + path + " is not a text file: line " + std::to_string(line) + " holds the byte " + code;
        file.close();
        return false;
    }
    file.clear();
    file.seekg(0);
    return true;
}

}  // namespace linksim
