// The printed summary's lines on the stress, the margins, the clock's
// track and the notes.
#ifndef LINK_REPORT_MARGIN_SUMMARY_H
#define LINK_REPORT_MARGIN_SUMMARY_H

#include <string>

#include "LinkRun.h"

namespace linksim {

// "RJ 1 ps rms, noise 10 mV rms", or empty without stress.
std::string StressText(const StressSettings& stress);

// Lines, each starting with two spaces and ending in a newline.
std::string MarginLines(const LinkSettings& settings, const LinkResult& result);

}  // namespace linksim

#endif
