// orvex-datasheet: the kit's data sheet, drawn from the response tables the
// models carry: the receiver's CTLE banks and the transmitter's settings,
// each as a picture with the CSV of its curves beside it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "CtleSheet.h"
#include "EyePlot.h"
#include "KitTables.h"
#include "TransmitterSheet.h"

namespace {

bool WriteAll(const std::string& folder, std::string& error) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        error = "cannot create " + folder + ": " + failure.message();
        return false;
    }
    for (const kitsheet::CtleBank& bank : kitsheet::CtleBanks()) {
        if (!kitsheet::WriteCtleSheet(folder, bank, error)) return false;
    }
    return kitsheet::WriteTransmitterSheets(folder, error);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: orvex-datasheet <folder>\n"
                             "Writes the kit's data sheet, pictures and CSV files, into the folder.\n");
        return 2;
    }
    std::string error;
    const bool written = WriteAll(argv[1], error);
    linksim::ReleasePlotCaches();
    if (!written) {
        std::fprintf(stderr, "orvex-datasheet: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
