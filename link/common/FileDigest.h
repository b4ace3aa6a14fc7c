// The SHA-256 digest of a file, as a run records each model library, .ami,
// .ibs, channel and aggressor file it used, so that a result can be tied to
// exactly the files that made it.
#ifndef LINK_COMMON_FILE_DIGEST_H
#define LINK_COMMON_FILE_DIGEST_H

#include <string>

namespace linksim {

// 64 lower-case hex digits; false with one line in error when the file
// cannot be read.
bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error);
// The same digest of a text; empty if the digest could not be made.
std::string Sha256OfText(const std::string& text);

}  // namespace linksim

#endif
