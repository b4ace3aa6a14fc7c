// Fuzz target of the IBIS reader over its in-memory entry point, with what
// a run does with a file it read: choose models, size buffers. Any input
// must give a result or a message, never a crash, a hang or a sanitizer
// report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "IbisFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string error;
    linksim::IbisFile file;
    if (!linksim::ReadIbisStream(in, "fuzz.ibs", file, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const linksim::IbisModel* model = nullptr;
    linksim::ChooseModel(file, true, "", model, error);
    linksim::ChooseModel(file, false, "1", model, error);
    for (const linksim::IbisModel& each : file.models) (void)linksim::BufferImpedance(each);
    return 0;
}
