#include "Channel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Fft.h"
#include "InputFile.h"

namespace linksim {

namespace {

// The frequency grid of the line model spans this many unit intervals of
// time: far longer than any response it produces, so the circular
// transforms neither alias the cepstrum nor wrap the response.
const size_t kModelSpanUi = 4096;
// Attenuation beyond this is below double precision's interest and would only
// make the cepstrum harder to represent.
const double kLossFloorDb = 300.0;
// Below this share of the Nyquist frequency the current fills the whole
// conductor and the skin effect's loss stops growing as the square root of
// frequency (it falls off linearly towards DC instead); without that, the
// response would settle to its DC gain over thousands of unit intervals.
const double kSkinCornerShare = 0.01;
// A response is cut once the rest holds less than this share of its energy.
const double kTailEnergyShare = 1e-6;
const size_t kMinimumLengthUi = 16;

// The skin effect's loss relative to its value at Nyquist.
double SkinLossShape(double ratioToNyquist) {
    const double corner = kSkinCornerShare;
    return (std::sqrt(corner + ratioToNyquist) - std::sqrt(corner)) / (std::sqrt(corner + 1.0) - std::sqrt(corner));
}

// The cut-off tail still carries some of the DC gain: it is put back as a
// ramp down over the second half of what is kept, which changes nothing
// but the lowest frequencies.
void RestoreDcGain(std::vector<double>& taps) {
    double area = 0.0;
    for (double tap : taps) area += tap;
    const size_t start = taps.size() / 2;
    const size_t span = taps.size() - start;
    const double weightSum = double(span + 1) / 2.0;  // sum of (span - i) / span
    for (size_t i = 0; i < span; ++i) {
        taps[start + i] += (1.0 - area) * (double(span - i) / double(span)) / weightSum;
    }
}

}  // namespace

size_t CutLength(const std::vector<double>& taps, size_t limit, size_t minimum, double energyShare) {
    double energy = 0.0;
    for (size_t i = 0; i < limit; ++i) energy += taps[i] * taps[i];
    double tailEnergy = 0.0;
    size_t length = limit;
    // Walk back from the end while the discarded part stays negligible.
    while (length > minimum) {
        const double value = taps[length - 1];
        if (tailEnergy + value * value > energyShare * energy) break;
        tailEnergy += value * value;
        --length;
    }
    return length;
}

std::vector<double> MinimumPhaseTaps(const std::vector<double>& logMagnitude) {
    const size_t n = (logMagnitude.size() - 1) * 2;
    Fft fft(n);
    std::vector<Complex> spectrum(n);
    for (size_t k = 0; k <= n / 2; ++k) {
        spectrum[k] = Complex(logMagnitude[k], 0.0);
        if (k > 0 && k < n / 2) spectrum[n - k] = spectrum[k];
    }
    // Real cepstrum, folded onto positive quefrencies: the log spectrum of
    // the minimum-phase response with this magnitude (Oppenheim & Schafer).
    fft.Inverse(spectrum);
    for (size_t q = 1; q < n / 2; ++q) {
        spectrum[q] = 2.0 * spectrum[q].real();
        spectrum[n - q] = 0.0;
    }
    spectrum[0] = spectrum[0].real();
    spectrum[n / 2] = spectrum[n / 2].real();
    fft.Forward(spectrum);
    for (Complex& value : spectrum) {
        value = std::exp(value);
    }
    fft.Inverse(spectrum);
    std::vector<double> taps(n);
    for (size_t i = 0; i < n; ++i) taps[i] = spectrum[i].real();
    return taps;
}

std::vector<double> LossyChannelImpulse(double lossDbAtNyquist, double bitRate, int samplesPerUi,
                                        double skinShare) {
    const double sampleInterval = 1.0 / (bitRate * samplesPerUi);
    const size_t n = NextPowerOfTwo(kModelSpanUi * size_t(samplesPerUi));
    const double nyquist = bitRate / 2.0;
    std::vector<double> logMagnitude(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) {
        const double ratio = double(k) / (double(n) * sampleInterval) / nyquist;
        double lossDb = lossDbAtNyquist * (skinShare * SkinLossShape(ratio) + (1.0 - skinShare) * ratio);
        lossDb = std::min(lossDb, kLossFloorDb);
        logMagnitude[k] = -lossDb / 20.0 * std::log(10.0);
    }
    std::vector<double> taps = MinimumPhaseTaps(logMagnitude);
    // The second half of the circular result is negative time: it holds
    // nothing but rounding, so only the causal half is looked at.
    const size_t minimum = std::min(n / 2, kMinimumLengthUi * size_t(samplesPerUi));
    taps.resize(CutLength(taps, n / 2, minimum, kTailEnergyShare));
    RestoreDcGain(taps);
    for (double& tap : taps) tap /= sampleInterval;  // taps to 1/s
    return taps;
}

namespace {

// Value of the piecewise-linear response through the table at time t.
double InterpolateLinear(const std::vector<double>& times, const std::vector<double>& values, double t,
                         size_t& interval) {
    if (t < times.front() || t > times.back()) return 0.0;
    while (interval + 2 < times.size() && times[interval + 1] < t) ++interval;
    const double f = (t - times[interval]) / (times[interval + 1] - times[interval]);
    return values[interval] + f * (values[interval + 1] - values[interval]);
}

// Step response of the table read as a staircase (each value holds until the
// next time, the last one for one more step), at time t.
double StaircaseStep(const std::vector<double>& times, const std::vector<double>& steps,
                     const std::vector<double>& values, double t, size_t& interval) {
    const size_t count = times.size();
    const double end = times[count - 1] + (times[count - 1] - times[count - 2]);
    if (t <= times[0]) return 0.0;
    if (t >= end) return steps[count];
    while (interval + 1 < count && times[interval + 1] <= t) ++interval;
    return steps[interval] + values[interval] * (t - times[interval]);
}

}  // namespace

std::vector<double> ResampleImpulse(const std::vector<double>& rawTimes, const std::vector<double>& values,
                                    double sampleInterval) {
    const size_t count = rawTimes.size();
    std::vector<double> times(rawTimes);
    if (times[0] < 0.0) {
        const double shift = -times[0];
        for (double& t : times) t += shift;
    }
    std::vector<double> gaps(count - 1);
    for (size_t i = 1; i < count; ++i) gaps[i - 1] = times[i] - times[i - 1];
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double typicalGap = gaps[gaps.size() / 2];
    const double end = times[count - 1] + typicalGap;
    const size_t length = size_t(std::ceil(end / sampleInterval)) + 1;
    std::vector<double> impulse(length, 0.0);
    size_t interval = 0;
    if (typicalGap >= sampleInterval * (1.0 - 1e-9)) {
        // A table as coarse as the grid or coarser samples a smooth response:
        // read it between its points (on the grid itself this copies it).
        for (size_t k = 0; k < length; ++k) {
            impulse[k] = InterpolateLinear(times, values, double(k) * sampleInterval, interval);
        }
        return impulse;
    }
    // A finer table is averaged over each grid interval, which keeps every
    // bit of its area however narrow its peaks are.
    std::vector<double> steps(count + 1, 0.0);
    for (size_t i = 0; i < count; ++i) {
        const double width = (i + 1 < count) ? times[i + 1] - times[i] : times[i] - times[i - 1];
        steps[i + 1] = steps[i] + values[i] * width;
    }
    double previous = 0.0;
    for (size_t k = 0; k < length; ++k) {
        const double next = StaircaseStep(times, steps, values, double(k + 1) * sampleInterval, interval);
        impulse[k] = (next - previous) / sampleInterval;
        previous = next;
    }
    return impulse;
}

namespace {

// Line of a table: a time and a value, separated by blanks, commas or
// semicolons, nothing after them.
bool ParseTableLine(std::string line, double& t, double& v) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::replace(line.begin(), line.end(), ';', ' ');
    std::istringstream fields(line);
    std::string extra;
    return (fields >> t >> v) && !(fields >> extra) && std::isfinite(t) && std::isfinite(v);
}

bool IsComment(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == '#' || line[first] == '!' || line[first] == '%' ||
           line.compare(first, 2, "//") == 0;
}

// An impulse response of a serial link lasts nanoseconds: a table far longer
// is in other units than seconds (picoseconds, most likely), and would not
// fit in memory on the grid.
const double kLongestImpulseSeconds = 1e-6;
// Larger than any passive channel's gain: values not in 1/s.
const double kLargestGain = 1e3;

}  // namespace

bool LoadImpulseFile(const std::string& path, double sampleInterval, std::vector<double>& impulse,
                     std::string& error) {
    std::ifstream file;
    if (!OpenInputFile(path, "the channel file", kMaxChannelFileBytes, file, error)) return false;
    return ReadImpulseTable(file, path, sampleInterval, impulse, error);
}

bool ReadImpulseTable(std::istream& file, const std::string& path, double sampleInterval,
                      std::vector<double>& impulse, std::string& error) {
    std::vector<double> times;
    std::vector<double> values;
    std::string line;
    int lineNumber = 0;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (IsComment(line)) continue;
        double t = 0.0;
        double v = 0.0;
        if (!ParseTableLine(line, t, v)) {
            // Column names above the numbers, as spreadsheets write them.
            if (times.empty()) continue;
            error = "the channel file " + path + " has no time and value on line " + std::to_string(lineNumber);
            return false;
        }
        if (!times.empty() && t <= times.back()) {
            error = "the times in the channel file " + path + " do not increase at line " +
                    std::to_string(lineNumber);
            return false;
        }
        times.push_back(t);
        values.push_back(v);
    }
    if (times.size() < 2) {
        error = "the channel file " + path + " holds fewer than two samples";
        return false;
    }
    const double span = times.back() - std::min(times.front(), 0.0);
    if (span > kLongestImpulseSeconds) {
        char text[96];
        std::snprintf(text, sizeof text, " spans %g s: its times must be in seconds", span);
        error = "the channel file " + path + text;
        return false;
    }
    impulse = ResampleImpulse(times, values, sampleInterval);
    return CheckChannelImpulse(impulse, sampleInterval, "the channel file " + path, error);
}

bool CheckChannelImpulse(const std::vector<double>& impulse, double sampleInterval, const std::string& what,
                         std::string& error) {
    double absoluteArea = 0.0;
    for (double value : impulse) absoluteArea += std::fabs(value) * sampleInterval;
    if (!std::isfinite(absoluteArea)) {
        error = what + " has values too large to compute with";
    } else if (absoluteArea == 0.0) {
        error = what + " is all zeros: nothing would reach the receiver";
    } else if (absoluteArea > kLargestGain) {
        char text[128];
        std::snprintf(text, sizeof text, " amplifies by up to %g: its values must be in 1/s", absoluteArea);
        error = what + text;
    } else {
        return true;
    }
    return false;
}

bool BuildChannelImpulse(const ChannelSpec& spec, double bitRate, int samplesPerUi, std::vector<double>& impulse,
                         std::string& error) {
    if (spec.kind == ChannelKind::File) {
        return LoadImpulseFile(spec.path, (1.0 / bitRate) / samplesPerUi, impulse, error);
    }
    impulse = LossyChannelImpulse(spec.lossDb, bitRate, samplesPerUi);
    return CheckChannelImpulse(impulse, (1.0 / bitRate) / samplesPerUi, "the lossy line", error);
}

double DcGain(const std::vector<double>& impulse, double sampleInterval) {
    double sum = 0.0;
    for (double value : impulse) sum += value;
    return sum * sampleInterval;
}

}  // namespace linksim
