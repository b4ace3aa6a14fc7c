#include "AdaptLogWatcher.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace linksim {

void AdaptLogWatcher::Check(size_t bitsDone) {
    std::error_code failure;
    const uintmax_t size = std::filesystem::file_size(m_path, failure);
    if (failure || size <= m_bytesRead) return;
    std::ifstream log(m_path, std::ios::binary);
    if (!log.seekg(std::streamoff(m_bytesRead))) return;
    std::string added(size_t(size - m_bytesRead), '\0');
    log.read(&added[0], std::streamsize(added.size()));
    added.resize(size_t(log.gcount()));
    // Only whole lines count; a line still being written waits.
    const size_t lastNewline = added.rfind('\n');
    if (lastNewline == std::string::npos) return;
    const size_t lines = size_t(std::count(added.begin(), added.begin() + long(lastNewline) + 1, '\n'));
    m_lineBits.insert(m_lineBits.end(), lines, bitsDone);
    m_bytesRead += lastNewline + 1;
}

}  // namespace linksim
