// Fuzz targets of the host's file readers, over their in-memory entry
// points: the IBIS reader, the .ami file reader, the impulse-file reader and
// the Touchstone reader. Built once per reader, chosen with READER_IBIS,
// READER_AMI, READER_IMPULSE or READER_TOUCHSTONE. Any input must give a result or a message, never a crash,
// a hang or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#if defined(READER_IBIS)
#include "IbisFile.h"
#elif defined(READER_AMI)
#include "AmiFile.h"
#elif defined(READER_IMPULSE)
#include "Channel.h"
#elif defined(READER_TOUCHSTONE)
#include "Touchstone.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
#if defined(READER_IBIS)
    std::istringstream in(text);
    linksim::IbisFile file;
    if (linksim::ReadIbisStream(in, "fuzz.ibs", file, error)) {
        // What a run does with a file it read: choose models, size buffers.
        const linksim::IbisModel* model = nullptr;
        linksim::ChooseModel(file, true, "", model, error);
        linksim::ChooseModel(file, false, "1", model, error);
        for (const linksim::IbisModel& each : file.models) (void)linksim::BufferImpedance(each);
    } else if (error.empty()) {
        std::abort();
    }
#elif defined(READER_AMI)
    linksim::AmiDescription description;
    if (!linksim::ParseAmiText(text, description, error) && error.empty()) std::abort();
#elif defined(READER_IMPULSE)
    std::istringstream in(text);
    std::vector<double> impulse;
    if (!linksim::ReadImpulseTable(in, "fuzz.txt", 3.125e-12, impulse, error) && error.empty()) std::abort();
#elif defined(READER_TOUCHSTONE)
    // The first byte chooses the ports a file name would give (0 to 12).
    if (text.empty()) return 0;
    std::istringstream in(text.substr(1));
    linksim::NetworkData network;
    if (!linksim::ParseTouchstone(in, static_cast<unsigned char>(text[0]) % 13, network, error) && error.empty()) {
        std::abort();
    }
#endif
    return 0;
}
