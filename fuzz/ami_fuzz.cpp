// Fuzz target of the .ami file reader over its in-memory entry point. Any
// input must give a description or a message, never a crash, a hang or a
// sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "AmiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    linksim::AmiDescription description;
    if (!linksim::ParseAmiText(std::string(reinterpret_cast<const char*>(data), size), description, error) &&
        error.empty()) {
        std::abort();
    }
    return 0;
}
