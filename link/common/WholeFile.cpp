#include "WholeFile.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace linksim {

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string partial = path + ".partial-" + std::to_string(long(getpid()));
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace linksim
