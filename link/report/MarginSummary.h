// What the summary says of the stress, the margins, the clock's track and
// the notes: lines for the console and parts of summary.json.
#ifndef LINK_REPORT_MARGIN_SUMMARY_H
#define LINK_REPORT_MARGIN_SUMMARY_H

#include <string>

#include "LinkResult.h"
#include "LinkSettings.h"
#include "Summary.h"

namespace linksim {

// "RJ 1 ps rms, noise 10 mV rms", or empty without stress.
std::string StressText(const StressSettings& stress);

// Lines, each starting with two spaces and ending in a newline.
std::string MarginLines(const LinkResult& result);

// summary.json's parts: the stress asked for, the margins (with the fits,
// the bathtub and the picture's name), the clock's track against the data.
Json StressJson(const StressSettings& stress);
Json MarginsJson(const LinkResult& result, const RunOutputs& outputs);
Json ClockTrackJson(const LinkResult& result, const RunOutputs& outputs);

}  // namespace linksim

#endif
