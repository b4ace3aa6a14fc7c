#include "CountedRate.h"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {
// The standard normal quantile of a one-sided 95 % bound.
const double kZ95 = 1.6448536269514722;
}  // namespace

double CountedLowerBound95(size_t errors, size_t compared) {
    if (errors == 0 || compared == 0) return 0.0;
    const double n = double(compared);
    const double p = double(errors) / n;
    const double z2 = kZ95 * kZ95;
    const double centre = p + z2 / (2.0 * n);
    const double spread = kZ95 * std::sqrt(p * (1.0 - p) / n + z2 / (4.0 * n * n));
    return std::max(0.0, (centre - spread) / (1.0 + z2 / n));
}

}  // namespace linksim
