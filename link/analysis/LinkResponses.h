// The responses SI engineers look at first, for each path of a run: the
// impulse, the step and the one-unit-interval pulse in time, and |H(f)| in
// frequency. Volts are for the ±0.5 V source the stimulus uses: the step
// is the response to a 0.5 V step, the pulse to one bit of it (0.5 V for
// one unit interval), so the pulse is the step less itself one unit
// interval later. The cursors are that pulse at unit-interval spacing from
// the main cursor's peak.
#ifndef LINK_ANALYSIS_LINK_RESPONSES_H
#define LINK_ANALYSIS_LINK_RESPONSES_H

#include <string>
#include <vector>

namespace linksim {

struct PathResponse {
    std::string name;             // "channel", "channel shaped by <transmitter>", ...
    double sampleInterval = 0.0;  // of the time responses, seconds
    std::vector<double> impulse;  // 1/s
    std::vector<double> step;     // volts
    std::vector<double> pulse;    // volts
    std::vector<double> hertz;    // of the magnitude
    std::vector<double> magnitudeDb;
};

// The response to one bit of the source (0.5 V for one unit interval), in
// volts, as long as the impulse and one unit interval more (its tail).
std::vector<double> BitPulse(const std::vector<double>& impulse, double sampleInterval, int samplesPerUi);

PathResponse DescribePath(const std::string& name, const std::vector<double>& impulse, double sampleInterval,
                          int samplesPerUi);

struct PulseCursors {
    bool known = false;
    double peakTime = 0.0;  // of the main cursor, seconds after the pulse starts
    std::vector<double> pre;   // nearest first
    double main = 0.0;
    std::vector<double> post;  // nearest first
};

PulseCursors CursorsOf(const PathResponse& path, int samplesPerUi, size_t preCount, size_t postCount);

// responses.csv: one row per value, "path,quantity,x,value", x in seconds
// (impulse, step, pulse) or hertz (magnitude_db).
std::string ResponsesCsv(const std::vector<PathResponse>& paths);

}  // namespace linksim

#endif
