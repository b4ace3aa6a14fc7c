// adaptation.csv: the receiver's adaptation log as a table with a header,
// one row per eye measurement, in order:
//   measurement   1, 2, ...
//   by_bit        the bits the receiver had been given when the row was
//                 logged (to within one AMI_GetWave call; empty if unknown)
//   ctle          the CTLE response in force (1-based)
//   dfe1_v..dfe5_v  the five DFE taps in force, volts
//   eye_width_ui  the width the receiver's eye monitor measured, UI
//   eye_height_v  the height it measured, volts
#ifndef LINK_REPORT_ADAPTATION_CSV_H
#define LINK_REPORT_ADAPTATION_CSV_H

#include <cstddef>
#include <string>
#include <vector>

#include "AdaptLog.h"

namespace linksim {

std::string AdaptationCsv(const std::vector<AdaptMeasurement>& measurements, const std::vector<size_t>& lineBits);

}  // namespace linksim

#endif
