#include "LinkResponses.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <sstream>

#include "Fft.h"

namespace linksim {

namespace {

// The source's step: from -0.5 V to +0.5 V is 1 V; one bit of the ±0.5 V
// source adds 0.5 V to a level of 0.
const double kBitVolts = 0.5;
// The magnitude's resolution: at least this many bins up to the sample rate's half.
const size_t kLeastBins = 1024;

std::vector<double> MagnitudeDb(const std::vector<double>& impulse, double sampleInterval, std::vector<double>& hertz) {
    const size_t size = NextPowerOfTwo(std::max(impulse.size(), 2 * kLeastBins));
    std::vector<Complex> data(size, Complex(0.0, 0.0));
    for (size_t n = 0; n < impulse.size(); ++n) data[n] = impulse[n] * sampleInterval;
    Fft(size).Forward(data);
    std::vector<double> db(size / 2 + 1);
    hertz.resize(db.size());
    for (size_t k = 0; k < db.size(); ++k) {
        hertz[k] = double(k) / (double(size) * sampleInterval);
        db[k] = 20.0 * std::log10(std::max(std::abs(data[k]), 1e-30));
    }
    return db;
}

// The response to the source's step, held `tail` samples past the impulse.
std::vector<double> StepOf(const std::vector<double>& impulse, double sampleInterval, size_t tail) {
    std::vector<double> step(impulse.size() + tail);
    double running = 0.0;
    for (size_t n = 0; n < step.size(); ++n) {
        if (n < impulse.size()) running += kBitVolts * impulse[n] * sampleInterval;
        step[n] = running;
    }
    return step;
}

// A bit is the step less itself one unit interval later.
std::vector<double> PulseOfStep(const std::vector<double>& step, size_t samplesPerUi) {
    std::vector<double> pulse(step.size());
    for (size_t n = 0; n < step.size(); ++n) pulse[n] = step[n] - (n >= samplesPerUi ? step[n - samplesPerUi] : 0.0);
    return pulse;
}

}  // namespace

std::vector<double> BitPulse(const std::vector<double>& impulse, double sampleInterval, int samplesPerUi) {
    return PulseOfStep(StepOf(impulse, sampleInterval, size_t(samplesPerUi)), size_t(samplesPerUi));
}

PathResponse DescribePath(const std::string& name, const std::vector<double>& impulse, double sampleInterval,
                          int samplesPerUi) {
    PathResponse path;
    path.name = name;
    path.sampleInterval = sampleInterval;
    path.impulse = impulse;
    path.step = StepOf(impulse, sampleInterval, 0);
    path.pulse = PulseOfStep(path.step, size_t(samplesPerUi));
    path.magnitudeDb = MagnitudeDb(impulse, sampleInterval, path.hertz);
    return path;
}

PulseCursors CursorsOf(const PathResponse& path, int samplesPerUi, size_t preCount, size_t postCount) {
    PulseCursors cursors;
    if (path.pulse.empty()) return cursors;
    const size_t peak = size_t(std::max_element(path.pulse.begin(), path.pulse.end()) - path.pulse.begin());
    const size_t ui = size_t(samplesPerUi);
    const auto at = [&](long index) { return index >= 0 && size_t(index) < path.pulse.size() ? path.pulse[size_t(index)] : 0.0; };
    cursors.known = true;
    cursors.peakTime = double(peak) * path.sampleInterval;
    cursors.main = path.pulse[peak];
    for (size_t k = 1; k <= preCount; ++k) cursors.pre.push_back(at(long(peak) - long(k * ui)));
    for (size_t k = 1; k <= postCount; ++k) cursors.post.push_back(at(long(peak + k * ui)));
    return cursors;
}

std::string CsvField(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string ResponsesCsv(const std::vector<PathResponse>& paths) {
    std::ostringstream csv;
    csv << "path,quantity,x,value\n";
    char line[160];
    for (const PathResponse& path : paths) {
        const struct {
            const char* name;
            const std::vector<double>& values;
        } inTime[] = {{"impulse_per_s", path.impulse}, {"step_v", path.step}, {"pulse_v", path.pulse}};
        for (const auto& quantity : inTime) {
            for (size_t n = 0; n < quantity.values.size(); ++n) {
                std::snprintf(line, sizeof line, ",%s,%.9e,%.9e\n", quantity.name, double(n) * path.sampleInterval,
                              quantity.values[n]);
                csv << CsvField(path.name) << line;
            }
        }
        for (size_t k = 0; k < path.hertz.size(); ++k) {
            std::snprintf(line, sizeof line, ",magnitude_db,%.9e,%.6f\n", path.hertz[k], path.magnitudeDb[k]);
            csv << CsvField(path.name) << line;
        }
    }
    return csv.str();
}

}  // namespace linksim
