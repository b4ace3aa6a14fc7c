// The eye picture: an eye density drawn as a PNG image with axes and labels.
#ifndef LINK_EYE_PLOT_H
#define LINK_EYE_PLOT_H

#include <string>
#include <vector>

#include "EyeDensity.h"
#include "StatisticalEye.h"

namespace linksim {

struct EyePlotText {
    std::string title;
    std::string subtitle;
    // What a cell's count stands for: a count times countScale, named so on
    // the colour bar.
    std::string countLabel = "traces per cell (log scale)";
    double countScale = 1.0;
};

// Drawn over the density: the outline of the opening at a target error
// rate (its upper and lower edge at phases from the sampling instant) and
// the sampling point.
struct EyeOutline {
    std::vector<double> phaseUi;
    std::vector<double> upperV;
    std::vector<double> lowerV;
};

struct EyeOverlay {
    std::vector<double> phaseUi;  // the opening at the target rate, drawn black
    std::vector<double> upperV;
    std::vector<double> lowerV;
    // Openings at other rates, drawn thin in grey, the highest rate lightest.
    std::vector<EyeOutline> contours;
    std::string outlineLabel;
    bool samplingPoint = false;
    double samplingUi = 0.0;
    double samplingV = 0.0;
};

// A colour bar beside the density says what its colours count, on its log
// scale. False with one line in error when the image cannot be written.
bool WriteEyePng(const std::string& path, const EyeDensity& density, const EyePlotText& text, std::string& error,
                 const EyeOverlay& overlay = EyeOverlay());

// The statistical eye drawn the same way: its probabilities per cell down
// to 1e-9 as the density, its contours over it (the target's black) and
// its sampling point.
bool WriteStatisticalEyePng(const std::string& path, const StatisticalEye& eye, EyePlotText text, std::string& error);

// Frees the drawing library's process-wide caches (fonts above all), so
// that a leak checker sees a clean exit. Call once, after the last picture.
void ReleasePlotCaches();

}  // namespace linksim

#endif
