// responses.png: every path's 1-UI pulse, step and impulse against time in
// unit intervals, and |H(f)| in dB against GHz with Nyquist marked, one
// colour per path.
#ifndef LINK_REPORT_RESPONSE_PLOTS_H
#define LINK_REPORT_RESPONSE_PLOTS_H

#include <string>
#include <vector>

#include "LinkResponses.h"

namespace linksim {

// False with one line in error when the picture cannot be written.
bool WriteResponsesPng(const std::string& path, const std::vector<PathResponse>& responses, double unitInterval,
                       const std::string& title, std::string& error);

}  // namespace linksim

#endif
