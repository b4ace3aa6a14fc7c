// Pictures written as PNG files through libpng at a low compression level:
// a run's pictures are flat colours and lines, which the fastest level
// already packs well, and at the default level writing them took longer
// than drawing them.
#ifndef LINK_REPORT_PNG_FILE_H
#define LINK_REPORT_PNG_FILE_H

#include <cairo.h>

#include <string>

namespace linksim {

// Writes an RGB24 image surface to `path` as an 8-bit RGB PNG. False, with
// "cannot write <what> <path>: <reason>" in `error`, when the surface is not
// an RGB24 image or the file cannot be written.
bool WritePng(cairo_surface_t* surface, const std::string& path, const std::string& what, std::string& error);

}  // namespace linksim

#endif
