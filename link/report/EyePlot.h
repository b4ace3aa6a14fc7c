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

// Frees the drawing library's process-wide caches (fonts above all), so
// that a leak checker sees a clean exit. Call once, after the last picture.
void ReleasePlotCaches();

}  // namespace linksim

#endif
