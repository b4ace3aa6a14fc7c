// Opening a file a run reads as input. Only a regular file is read: a FIFO,
// a device or a folder would block the run forever or never end, and the
// --model-timeout watch covers model calls only. A file larger than its
// kind's limit is refused before any of it is read, and so is one whose
// start holds a NUL byte or a control character no text file holds.
#ifndef LINK_COMMON_INPUT_FILE_H
#define LINK_COMMON_INPUT_FILE_H

#include <cstdint>
#include <fstream>
#include <string>

namespace linksim {

// Limits by kind of file, far above any real one.
const std::uintmax_t kMaxAmiFileBytes = std::uintmax_t(16) << 20;
const std::uintmax_t kMaxIbisFileBytes = std::uintmax_t(256) << 20;
const std::uintmax_t kMaxChannelFileBytes = std::uintmax_t(512) << 20;
const std::uintmax_t kMaxModelLibraryBytes = std::uintmax_t(1) << 30;

// That path is a regular file of at most maxBytes, judged without blocking
// on it. False with one line in error naming what it is instead.
bool CheckRegularFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes,
                      std::string& error);

// what names the kind of file in the message ("the Touchstone file").
// False with one line in error.
bool OpenInputFile(const std::string& path, const std::string& what, std::uintmax_t maxBytes, std::ifstream& file,
                   std::string& error);

}  // namespace linksim

#endif
