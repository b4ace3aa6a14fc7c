// What a run reports: summary.json with every figure, the parameters and
// the models' messages, and a few lines for the console.
#ifndef LINK_SUMMARY_H
#define LINK_SUMMARY_H

#include <string>

#include "LinkRun.h"

namespace linksim {

struct RunOutputs {
    std::string folder;
    std::string eyeImage;  // empty when no eye is drawn
    std::string eyeNote;   // why not, or what the picture shows
    double totalSeconds = 0.0;
};

// The eye figures as reported: height at the instants (0 when shut), width
// at the threshold in unit intervals; known is false when they mean
// nothing (a retimed output, or nothing measured).
struct EyeFigures {
    bool known = false;
    bool open = false;
    double heightV = 0.0;
    double widthUi = 0.0;
};
EyeFigures ReportedEye(const LinkResult& result);

std::string SummaryJson(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs);
std::string SummaryText(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs);

}  // namespace linksim

#endif
