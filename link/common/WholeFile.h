// Files written whole or not at all: the text goes to a file beside the
// target, which is renamed over it only once complete, so that a failed or
// interrupted write never leaves a truncated file or destroys the old one.
#ifndef LINK_COMMON_WHOLE_FILE_H
#define LINK_COMMON_WHOLE_FILE_H

#include <string>

namespace linksim {

// False with one line in error; the target is then as it was.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error);

}  // namespace linksim

#endif
