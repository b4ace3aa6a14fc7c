#include "Version.h"

#include "OrvexVersion.h"

namespace linksim {

const char* ProgramVersion() { return ORVEX_VERSION; }

}  // namespace linksim
