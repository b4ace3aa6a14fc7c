// The values one sweep option stands for: "0,3,7" is a list, "0:7" and
// "0.6:1.0:0.1" are inclusive ranges (step 1 when left out), and the two mix
// ("0,2:4" is 0, 2, 3, 4). Channels sweep inside their kind: "loss:5,10,15"
// and "loss:5:25:5" give one lossy line per value.
#ifndef LINK_SWEEP_SWEEP_VALUES_H
#define LINK_SWEEP_SWEEP_VALUES_H

#include <cstddef>
#include <string>
#include <vector>

namespace linksweep {

// No axis has more values than this: a range written with the wrong step
// stops here instead of filling the memory.
constexpr size_t kMaxAxisValues = 100000;

// The values of a list of items, each a value or a START:STOP[:STEP] range.
// Integer ranges stay integers; other ranges are written with 12 significant
// digits, so 0.6:1.0:0.1 gives 0.6 0.7 0.8 0.9 1. A range's numbers may carry
// k, M or G. False, with the reason in error, on an empty item, a step of 0,
// a step leading away from STOP, or too many values.
bool ExpandValues(const std::string& text, std::vector<std::string>& values, std::string& error);

// A channel option: "loss:LIST" gives "loss:V" for each value of LIST;
// anything else (file:PATH) is one value, as written.
bool ExpandChannel(const std::string& text, std::vector<std::string>& values, std::string& error);

}  // namespace linksweep

#endif
