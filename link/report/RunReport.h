// report.html: one page a user can open or send on, beside the run's
// pictures: the verdict and its reasons, the settings the run was made
// with, its figures, its notes, every picture it drew and the receiver's
// adaptation. Self-contained: inline style, no script, no network; the
// pictures are the files beside it.
#ifndef LINK_REPORT_RUN_REPORT_H
#define LINK_REPORT_RUN_REPORT_H

#include <string>

#include "LinkResult.h"
#include "LinkSettings.h"
#include "Summary.h"

namespace linksim {

// figures: the run's printed summary, shown as it was printed.
std::string RunReportHtml(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs,
                          const std::string& figures);

// Text made safe inside HTML.
std::string HtmlEscaped(const std::string& text);

}  // namespace linksim

#endif
