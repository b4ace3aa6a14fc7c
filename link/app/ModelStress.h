// The jitter and noise a model declares of itself in its reserved Info
// parameters (Tx_Rj, Rx_Noise and the others), applied as a conforming host
// applies them: added to the command line's stress, or to the analysis.
// Each one is recorded with what it became, and one that is declared but
// not applied is named with the reason.
#ifndef LINK_APP_MODEL_STRESS_H
#define LINK_APP_MODEL_STRESS_H

#include <string>
#include <vector>

#include "AmiDescription.h"
#include "LinkResult.h"
#include "Stress.h"

namespace linksim {

struct ModelStress {
    StressSettings stress;        // the command line's with the models' own
    double rxSensitivityV = 0.0;  // taken off the voltage margin
    std::vector<DeclaredStress> applied;
    std::vector<std::string> notApplied;  // one line each: what and why
};

ModelStress CombineModelStress(const StressSettings& given, double unitInterval, const AmiDescription& tx,
                               const AmiDescription& rx);

}  // namespace linksim

#endif
