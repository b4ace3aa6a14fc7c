#include "WholeFile.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace linksim {

WholeFileWriter::WholeFileWriter(std::string path)
    : m_path(std::move(path)),
      m_partial(m_path + ".partial-" + std::to_string(long(getpid()))),
      m_file(m_partial, std::ios::binary | std::ios::trunc) {}

WholeFileWriter::~WholeFileWriter() {
    if (!m_committed) {
        m_file.close();
        std::remove(m_partial.c_str());
    }
}

bool WholeFileWriter::Commit(std::string& error) {
    m_file.close();
    if (!m_file || std::rename(m_partial.c_str(), m_path.c_str()) != 0) {
        error = "cannot write " + m_path;
        return false;
    }
    m_committed = true;
    return true;
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error) {
    WholeFileWriter file(path);
    file.Write(text);
    return file.Commit(error);
}

}  // namespace linksim
