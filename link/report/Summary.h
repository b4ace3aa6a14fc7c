// What a run reports: summary.json with every figure, the parameters and
// the models' messages, and a few lines for the console.
#ifndef LINK_SUMMARY_H
#define LINK_SUMMARY_H

#include <nlohmann/json.hpp>
#include <string>

#include "LinkResult.h"
#include "LinkSettings.h"

namespace linksim {

struct RunOutputs {
    std::string folder;
    std::string eyeImage;  // empty when no eye is drawn
    std::string eyeNote;   // why not, or what the picture shows
    std::string bathtubImage;     // empty when not drawn
    std::string trajectoryImage;  // likewise
    std::string adaptationCsv;    // likewise
    std::string report;           // report.html, when written
    std::string responsesImage;   // responses.png and responses.csv, when written
    std::string responsesCsv;
    std::string statisticalImage;  // stateye.png, when the statistical eye was drawn
    std::string jitterImage;       // jitter.png, when drawn
    double eyePictureSeconds = 0.0;
    double totalSeconds = 0.0;  // the program's, from its start to the summary
};

// The program's time outside the receiver's AMI_GetWave: the link
// simulator's own work, the transmitter's calls and the models' AMI_Init and
// AMI_Close.
struct HostTime {
    double seconds = 0.0;
    double share = 0.0;  // of the total, 0 .. 1
};
HostTime TimeOutsideReceiver(const LinkResult& result, const RunOutputs& outputs);

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

// The bit the clock locked from; -1 when it never did or reports no clock.
long long LockAtBit(const LinkResult& result);

// What a picture copied out of its folder needs to be told apart: the
// channel, the pattern and rate, the stress and every parameter the user
// set ("12 dB channel, PRBS15 at 10 Gb/s, RJ 1 ps rms, DE 3").
std::string RunContextText(const LinkSettings& settings, const LinkResult& result);

// summary.json as a document, its keys in the order written: settings,
// models, channel, stress, errors, eye, margins, clock, adaptation, timing,
// notes. Numbers that are not finite are null. Other programs (a sweep)
// build on it and add their own.
typedef nlohmann::ordered_json Json;
// A number as JSON: null when it is not finite, which JSON cannot hold.
Json JsonNumber(double value);
// One number through a printf format, for the console lines.
std::string FormatValue(const char* format, double value);
Json SummaryDocument(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs);
// The document as summary.json's text, indented by two.
std::string SummaryJson(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs);
std::string SummaryText(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs);

}  // namespace linksim

#endif
