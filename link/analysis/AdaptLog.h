// The receiver's adaptation log ("adapt.txt"): one tab-separated line per
// eye measurement, holding the CTLE response in force (1-based), the five
// DFE taps (V), and the eye width (fraction of a bit) and height (V) that
// the receiver's own eye monitor measured with them.
#ifndef LINK_ADAPT_LOG_H
#define LINK_ADAPT_LOG_H

#include <array>
#include <string>
#include <vector>

namespace linksim {

struct AdaptMeasurement {
    int ctle = 0;
    std::array<double, 5> taps{};
    double eyeWidth = 0.0;
    double eyeHeight = 0.0;
    // The receiver's score of an eye: width plus a quarter of the height.
    double Score() const { return eyeWidth + 0.25 * eyeHeight; }
};

struct AdaptOutcome {
    size_t measurements = 0;
    int ctle = 0;
    std::array<double, 5> taps{};
    double eyeWidth = 0.0;   // of the last measurement
    double eyeHeight = 0.0;
    bool lastStepUndone = false;
};

// Parses the log's lines; false with the line number in error when a line
// does not hold the eight fields.
bool ParseAdaptLog(const std::string& text, std::vector<AdaptMeasurement>& measurements, std::string& error);

// The settings the receiver ended with. Each line shows the settings in
// force while it was measured, so the last line holds them, except that the
// receiver takes back a step of its fifth (last) DFE tap that made the eye
// worse without measuring again: then that tap is back at its value of the
// line before.
AdaptOutcome FinalAdaptation(const std::vector<AdaptMeasurement>& measurements);

}  // namespace linksim

#endif
