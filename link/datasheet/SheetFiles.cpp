#include "SheetFiles.h"

#include <unistd.h>

#include <cstdio>

#include "WholeFile.h"

namespace kitsheet {

bool WriteSheet(const std::string& folder, const std::string& name, linksim::PlotCanvas& picture,
                const std::string& csv, std::string& error) {
    const std::string png = folder + "/" + name + ".png";
    const std::string partial = png + ".partial-" + std::to_string(long(getpid()));
    if (!picture.Save(partial, error)) {
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), png.c_str()) != 0) {
        std::remove(partial.c_str());
        error = "cannot write " + png;
        return false;
    }
    return linksim::WriteFileWhole(folder + "/" + name + ".csv", csv, error);
}

std::string CsvNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

}  // namespace kitsheet
