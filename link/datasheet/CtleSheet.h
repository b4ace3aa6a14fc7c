// One CTLE bank's page of the data sheet: |H(f)| in dB against GHz, one
// curve per EQ_Level, with each level's DC gain and boost at 5 GHz beside
// the plot; ctle_dwdm<mode>.png and .csv.
#ifndef LINK_DATASHEET_CTLE_SHEET_H
#define LINK_DATASHEET_CTLE_SHEET_H

#include <string>

#include "KitTables.h"

namespace kitsheet {

// "ctle_dwdm0"
std::string CtleSheetName(const CtleBank& bank);

// False with one line in error when a file cannot be written.
bool WriteCtleSheet(const std::string& folder, const CtleBank& bank, std::string& error);

}  // namespace kitsheet

#endif
