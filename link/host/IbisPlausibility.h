// The values a run takes from an IBIS file, set against what real
// serial-link buffers and packages have: a value outside the usual range
// gets a warning, one beyond any physical part is refused, so that a typo
// (1 F for 1 pF, a negative supply) never silently reshapes the link.
#ifndef LINK_HOST_IBIS_PLAUSIBILITY_H
#define LINK_HOST_IBIS_PLAUSIBILITY_H

#include <string>
#include <vector>

#include "IbisFile.h"

namespace linksim {

// The buffer model's C_comp, [Voltage Range] and I-V impedance. False with
// one line in error (naming the file, the model and the limit) when one is
// beyond belief; warnings gets one line per value outside the usual range.
bool CheckBufferValues(const IbisFile& file, const IbisModel& model, std::vector<std::string>& warnings,
                       std::string& error);

// The same for the file's package (R_pkg, L_pkg, C_pkg).
bool CheckPackageValues(const IbisFile& file, std::vector<std::string>& warnings, std::string& error);

}  // namespace linksim

#endif
