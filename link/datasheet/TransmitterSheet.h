// The transmitter's pages of the data sheet, one per VOD and DE_range: the
// pulse (one bit of the ±0.5 V source at 10 Gb/s through the tabulated
// response) and |H(f)| in dB against GHz, one curve per DE, with each DE's
// DC gain and boost at 5 GHz; tx_vod<V>_range<R>.png and .csv. All pages
// share their axes, so that flipping between them compares the settings.
#ifndef LINK_DATASHEET_TRANSMITTER_SHEET_H
#define LINK_DATASHEET_TRANSMITTER_SHEET_H

#include <string>

namespace kitsheet {

// "tx_vod7_range1"
std::string TransmitterSheetName(int vod, int deRange);

// False with one line in error when a file cannot be written.
bool WriteTransmitterSheets(const std::string& folder, std::string& error);

}  // namespace kitsheet

#endif
