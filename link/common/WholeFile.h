// Files written whole or not at all: the text goes to a file beside the
// target, which is renamed over it only once complete, so that a failed or
// interrupted write never leaves a truncated file or destroys the old one.
#ifndef LINK_COMMON_WHOLE_FILE_H
#define LINK_COMMON_WHOLE_FILE_H

#include <fstream>
#include <string>

namespace linksim {

// False with one line in error; the target is then as it was.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error);

// The same for a file written piece by piece, too large to hold at once:
// nothing reaches the target until Commit; a writer destroyed uncommitted
// leaves the target as it was.
class WholeFileWriter {
public:
    explicit WholeFileWriter(std::string path);
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    void Write(const std::string& text) { m_file << text; }
    // False with one line in error when any piece could not be written.
    bool Commit(std::string& error);

private:
    std::string m_path;
    std::string m_partial;
    std::ofstream m_file;
    bool m_committed = false;
};

}  // namespace linksim

#endif
