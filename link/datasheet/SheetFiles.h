// A sheet's two files, each written whole or not at all: its picture and
// the CSV of what the picture shows, beside it under the same name.
#ifndef LINK_DATASHEET_SHEET_FILES_H
#define LINK_DATASHEET_SHEET_FILES_H

#include <string>

#include "PlotCanvas.h"

namespace kitsheet {

// Writes <folder>/<name>.png and <folder>/<name>.csv. False with one line
// in error; a file that could not be written is left as it was.
bool WriteSheet(const std::string& folder, const std::string& name, linksim::PlotCanvas& picture,
                const std::string& csv, std::string& error);

// A number as the CSV files give it: enough digits to read back.
std::string CsvNumber(double value);

}  // namespace kitsheet

#endif
