// Fuzz target of the impulse-table reader over its in-memory entry point.
// Any input must give an impulse or a message, never a crash, a hang or a
// sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "Channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string error;
    std::vector<double> impulse;
    if (!linksim::ReadImpulseTable(in, "fuzz.txt", 3.125e-12, impulse, error) && error.empty()) std::abort();
    return 0;
}
