// The kit's tabulated responses as the models carry them, read (never
// changed) for the data sheet: the receiver's two CTLE banks, one impulse
// response per EQ_Level, and the transmitter's response for each DE, VOD
// and DE_range.
#ifndef LINK_DATASHEET_KIT_TABLES_H
#define LINK_DATASHEET_KIT_TABLES_H

#include <string>
#include <vector>

namespace kitsheet {

struct TabulatedResponse {
    double sampleInterval = 0.0;  // seconds
    std::vector<double> impulse;  // 1/s
};

struct CtleBank {
    int dwdmMode = 0;                       // the receiver setting that selects the bank
    std::string name;                       // "sixteen-response bank"
    std::vector<TabulatedResponse> levels;  // index = EQ_Level
};

// DWDM_mode 0, then 1.
std::vector<CtleBank> CtleBanks();

constexpr int kTransmitterSettings = 8;  // DE and VOD each run 0..7
constexpr int kDeRanges = 2;             // DE_range 0 (coarse) and 1 (fine)

TabulatedResponse TransmitterResponse(int de, int vod, int deRange);

}  // namespace kitsheet

#endif
