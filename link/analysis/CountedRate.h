// What a count of errors says of the rate behind it, at 95 % confidence:
// the bounds the margins and the verdict hold the fits to.
#ifndef LINK_ANALYSIS_COUNTED_RATE_H
#define LINK_ANALYSIS_COUNTED_RATE_H

#include <cstddef>

namespace linksim {

// The lower end of the one-sided 95 % interval of a rate seen as `errors`
// in `compared` trials (Wilson's score interval, which stays inside 0 .. 1
// for few errors); 0 without errors.
double CountedLowerBound95(size_t errors, size_t compared);

// True when the count shows, beyond statistical doubt, a rate above `rate`.
inline bool CountedAbove(size_t errors, size_t compared, double rate) {
    return CountedLowerBound95(errors, compared) > rate;
}

}  // namespace linksim

#endif
