// Fuzz target of the Touchstone reader over its in-memory entry point. The
// first byte chooses the ports a file name would give (0, none, to 12); the
// rest is the file. Any input must give a network or a message, never a
// crash, a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Touchstone.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    std::string error;
    linksim::NetworkData network;
    if (!linksim::ParseTouchstone(in, data[0] % 13, network, error) && error.empty()) std::abort();
    return 0;
}
