// The eye picture: an eye density drawn as a PNG image with axes and labels.
#ifndef LINK_EYE_PLOT_H
#define LINK_EYE_PLOT_H

#include <string>

#include "EyeDensity.h"

namespace linksim {

struct EyePlotText {
    std::string title;
    std::string subtitle;
};

// False with one line in error when the image cannot be written.
bool WriteEyePng(const std::string& path, const EyeDensity& density, const EyePlotText& text, std::string& error);

}  // namespace linksim

#endif
