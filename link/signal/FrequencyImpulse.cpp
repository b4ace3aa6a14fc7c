#include "FrequencyImpulse.h"

#include <algorithm>
#include <cmath>

#include "Channel.h"
#include "Fft.h"

namespace linksim {

namespace {

const double kPi = 3.14159265358979323846;
// The top share of the band over which the window falls from 1 to 0 (a
// raised cosine): smooth enough that the cut rings for well under a unit
// interval, narrow enough to keep the band a channel's data describe.
const double kWindowShare = 0.2;
// The last share of the transform's span is negative time: whatever lands
// there is the response before time 0.
const size_t kNegativeTimeDivisor = 4;
// The share of the data's (1 / step) span that is positive time.
const double kPositiveShare = 1.0 - 1.0 / double(kNegativeTimeDivisor);
// A response is cut where what follows holds less than this share of its
// energy.
const double kTailEnergyShare = 1e-8;
// Energy per sample up to this many times the median's is taken as noise
// spread over the window, not as part of a response (white noise's exceeds
// it in 3 % of the samples, with 6 % of the noise's energy). A response
// fills well under half its window where its length matters, and its median
// sample is then far out in its tail.
const double kNoiseFloorOverMedian = 10.0;
// A DC point departing from the trend of the two points above it by more
// than this share of the first one's magnitude holds a change narrower than
// the step: AC coupling's time constant, far longer than the window the step
// gives. The transform would spread it over the whole window, before time 0
// too; the trend's DC value is what the window can hold.
const double kDcDepartureShare = 0.5;
const size_t kMinimumTransform = 256;
const size_t kMaximumTransform = size_t(1) << 22;

// The next transform size at or above n with no prime factor above 7, the
// sizes FFTW transforms fastest.
size_t SmoothSize(size_t n) {
    for (size_t size = std::max<size_t>(n, 2);; ++size) {
        size_t rest = size;
        for (size_t factor : {2, 3, 5, 7}) {
            while (rest % factor == 0) rest /= factor;
        }
        if (rest == 1) return size;
    }
}

// Magnitude and phase (unwrapped along the frequencies), with a DC point in
// front when the data have none.
struct PolarTable {
    std::vector<double> hertz;
    std::vector<double> magnitude;
    std::vector<double> phase;
};

PolarTable ToPolar(const std::vector<double>& hertz, const std::vector<Complex>& response) {
    PolarTable table;
    table.hertz = hertz;
    for (size_t i = 0; i < response.size(); ++i) {
        table.magnitude.push_back(std::abs(response[i]));
        double phase = std::arg(response[i]);
        if (i > 0) {
            const double step = phase - table.phase.back();
            phase = table.phase.back() + step - 2.0 * kPi * std::round(step / (2.0 * kPi));
        }
        table.phase.push_back(phase);
    }
    if (hertz[0] > 0.0) {
        // The phase runs nearly linearly towards DC, where a real response is
        // real: its line's value at 0 tells which whole turn the data's phase
        // is on and whether the DC value is positive or negative.
        const double slope = (table.phase[1] - table.phase[0]) / (hertz[1] - hertz[0]);
        double intercept = table.phase[0] - slope * hertz[0];
        const double turns = 2.0 * kPi * std::round(intercept / (2.0 * kPi));
        for (double& phase : table.phase) phase -= turns;
        intercept -= turns;
        const double dcPhase = std::fabs(intercept) <= kPi / 2.0 ? 0.0 : (intercept > 0.0 ? kPi : -kPi);
        const double magnitudeSlope = (table.magnitude[1] - table.magnitude[0]) / (hertz[1] - hertz[0]);
        const double dcMagnitude = std::max(0.0, table.magnitude[0] - magnitudeSlope * hertz[0]);
        table.hertz.insert(table.hertz.begin(), 0.0);
        table.magnitude.insert(table.magnitude.begin(), dcMagnitude);
        table.phase.insert(table.phase.begin(), dcPhase);
    }
    return table;
}

bool DcPointOffTrend(const std::vector<double>& hertz, const std::vector<Complex>& response) {
    if (hertz.size() < 3 || hertz[0] != 0.0) return false;
    const double first = std::abs(response[1]);
    const double slope = (std::abs(response[2]) - first) / (hertz[2] - hertz[1]);
    const double trend = std::max(0.0, first - slope * hertz[1]);
    return std::fabs(std::abs(response[0]) - trend) > kDcDepartureShare * first;
}

double MedianStep(const std::vector<double>& hertz) {
    std::vector<double> steps;
    for (size_t i = 1; i < hertz.size(); ++i) steps.push_back(hertz[i] - hertz[i - 1]);
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
    return steps[steps.size() / 2];
}

double Window(double hertz, double bandLimit) {
    const double start = bandLimit * (1.0 - kWindowShare);
    if (hertz <= start) return 1.0;
    if (hertz >= bandLimit) return 0.0;
    return 0.5 * (1.0 + std::cos(kPi * (hertz - start) / (bandLimit - start)));
}

// The response over the transform's whole window (its last part negative
// time), in 1/s: the spectrum at each bin up to the band limit, windowed.
std::vector<double> CircularResponse(const Fft& transform, size_t size, double sampleInterval, double bandLimit,
                                     const std::function<Complex(double hertz)>& spectrum) {
    FftBuffer<Complex> bins(size / 2 + 1);
    FftBuffer<double> samples(size);
    const double binHertz = 1.0 / (double(size) * sampleInterval);
    for (size_t k = 0; k <= size / 2; ++k) {
        const double f = double(k) * binHertz;
        Complex value = f < bandLimit ? spectrum(f) * Window(f, bandLimit) : 0.0;
        // The real transform's DC and (even-size) Nyquist bins are real.
        if (k == 0 || 2 * k == size) value = value.real();
        bins[k] = value;
    }
    transform.InverseReal(bins, samples);
    std::vector<double> response(samples.data(), samples.data() + size);
    const double scale = 1.0 / (double(size) * sampleInterval);
    for (double& value : response) value *= scale;
    return response;
}

// The table's magnitude and phase read linearly between its points.
Complex Interpolate(const PolarTable& table, double hertz, size_t& point) {
    while (point + 2 < table.hertz.size() && table.hertz[point + 1] < hertz) ++point;
    const double share = (hertz - table.hertz[point]) / (table.hertz[point + 1] - table.hertz[point]);
    const double magnitude = table.magnitude[point] + share * (table.magnitude[point + 1] - table.magnitude[point]);
    const double phase = table.phase[point] + share * (table.phase[point + 1] - table.phase[point]);
    return std::polar(magnitude, phase);
}

double EnergyShareFrom(const std::vector<double>& response, size_t first) {
    double energy = 0.0;
    double part = 0.0;
    for (size_t n = 0; n < response.size(); ++n) {
        energy += response[n] * response[n];
        if (n >= first) part += response[n] * response[n];
    }
    return energy > 0.0 ? part / energy : 0.0;
}

// The shortest stretch of the circular response (from start, width samples,
// wrapping round) that holds the given share of its energy above the floor
// that measurement noise spreads evenly over the window: noise is no length.
struct Stretch {
    size_t start = 0;
    size_t width = 0;
};

Stretch ShortestStretch(const std::vector<double>& response, double share) {
    const size_t size = response.size();
    std::vector<double> sums(size + 1, 0.0);
    for (size_t n = 0; n < size; ++n) sums[n + 1] = response[n] * response[n];  // the median's to find first
    std::nth_element(sums.begin() + 1, sums.begin() + 1 + long(size / 2), sums.end());
    const double floor = kNoiseFloorOverMedian * sums[1 + size / 2];
    for (size_t n = 0; n < size; ++n) sums[n + 1] = sums[n] + std::max(0.0, response[n] * response[n] - floor);
    const double target = share * sums[size];
    // The energy from i up to (not including) j, where j may run past the end.
    auto energy = [&](size_t i, size_t j) {
        return j <= size ? sums[j] - sums[i] : sums[size] - sums[i] + sums[j - size];
    };
    Stretch best{0, size};
    size_t end = 0;
    for (size_t start = 0; start < size; ++start) {
        end = std::max(end, start);
        while (end < start + size && energy(start, end) < target) ++end;
        if (end - start < best.width) best = Stretch{start, end - start};
    }
    return best;
}

// Where between its neighbours a circular response's peak lies, in samples
// from the peak sample (-0.5 to 0.5), from the parabola through the three.
double PeakOffset(const std::vector<double>& response, size_t peak) {
    const size_t size = response.size();
    const double before = response[(peak + size - 1) % size];
    const double at = response[peak];
    const double after = response[(peak + 1) % size];
    const double curvature = before - 2.0 * at + after;
    if (curvature == 0.0) return 0.0;
    return std::max(-0.5, std::min(0.5, 0.5 * (before - after) / curvature));
}

// Where the response lies in the transform's window: its delay (its peak's
// time) at the smallest reading the data allow, and how long it lasts after.
struct Placement {
    double delaySeconds = 0.0;
    double lengthSeconds = 0.0;
};

Placement PlaceResponse(const std::vector<double>& response, double sampleInterval, double bandLimit) {
    Placement placement;
    const size_t size = response.size();
    size_t peak = 0;
    for (size_t n = 0; n < size; ++n) {
        if (std::fabs(response[n]) > std::fabs(response[peak])) peak = n;
    }
    if (response[peak] == 0.0) return placement;  // a response of nothing lies nowhere
    const Stretch stretch = ShortestStretch(response, 1.0 - kPrecursorWarningShare);
    // From the peak on to the stretch's end, going round the window when
    // the stretch holds no peak.
    const size_t peakInStretch = (peak + size - stretch.start) % size;
    const size_t length = stretch.width >= size ? size : (stretch.width + size - peakInStretch) % size;
    const double window = double(size) * sampleInterval;
    double delay = (double(peak) + PeakOffset(response, peak)) * sampleInterval;
    // Band-limited data place a delay no closer than about one period of
    // their band: a delay that near the window's end is one at time 0 or
    // just before, not one a whole window later.
    if (delay > window - std::min(1.0 / bandLimit, window / double(kNegativeTimeDivisor))) delay -= window;
    placement.delaySeconds = delay;
    placement.lengthSeconds = double(length) * sampleInterval;
    return placement;
}

std::string StepTooCoarse(const FrequencyImpulse& result, double positiveSeconds) {
    const double reach = result.delaySeconds + result.lengthSeconds;
    char text[480];
    int used = std::snprintf(text, sizeof text,
                             "the %.3f MHz frequency step gives the transform a %.3f ns window, %.3f ns of it positive "
                             "time; the response, at its smallest delay %.3f ns, reaches %.3f ns with its length of "
                             "%.3f ns: a step of at most %.3f MHz is needed",
                             result.stepHertz / 1e6, result.periodSeconds * 1e9, positiveSeconds * 1e9,
                             result.delaySeconds * 1e9, reach * 1e9, result.lengthSeconds * 1e9,
                             kPositiveShare / reach / 1e6);
    if (result.delaySeconds > positiveSeconds && used > 0 && size_t(used) < sizeof text) {
        std::snprintf(text + used, sizeof text - size_t(used),
                      " (or the data are not causal and it starts %.3f ns before time 0)",
                      (result.periodSeconds - result.delaySeconds) * 1e9);
    }
    return text;
}

}  // namespace

bool ImpulseFromFrequencyResponse(const std::vector<double>& hertz, const std::vector<Complex>& response,
                         double sampleInterval, FrequencyImpulse& result, std::string& error) {
    result = FrequencyImpulse();
    if (hertz.size() < 2 || hertz.size() != response.size()) {
        error = "a frequency response needs at least two points";
        return false;
    }
    if (!(sampleInterval > 0.0) || !std::isfinite(sampleInterval)) {
        error = "the sample interval must be positive";
        return false;
    }
    result.dcPointOffTrend = DcPointOffTrend(hertz, response);
    const PolarTable table =
        result.dcPointOffTrend
            ? ToPolar(std::vector<double>(hertz.begin() + 1, hertz.end()),
                      std::vector<Complex>(response.begin() + 1, response.end()))
            : ToPolar(hertz, response);
    result.stepHertz = MedianStep(hertz);
    result.unaliasedSpanSeconds = kPositiveShare / result.stepHertz;
    size_t size =
        SmoothSize(std::max(kMinimumTransform, size_t(std::ceil(1.0 / (result.stepHertz * sampleInterval)))));
    if (size > kMaximumTransform) {
        size = kMaximumTransform;
        result.warnings.push_back("the frequency step is finer than a transform of " + std::to_string(size) +
                                  " samples resolves; the response is taken over its first " +
                                  std::to_string(size * 3 / 4) + " samples");
    }
    const Fft transform(size);
    result.periodSeconds = double(size) * sampleInterval;
    result.bandLimitHz = std::min(hertz.back(), 0.5 / sampleInterval);
    size_t point = 0;
    const std::vector<double> circular =
        CircularResponse(transform, size, sampleInterval, result.bandLimitHz,
                         [&table, &point](double f) { return Interpolate(table, f, point); });

    const size_t causalLength = size - size / kNegativeTimeDivisor;
    const Placement placement = PlaceResponse(circular, sampleInterval, result.bandLimitHz);
    result.delaySeconds = placement.delaySeconds;
    result.lengthSeconds = placement.lengthSeconds;
    if (placement.delaySeconds + placement.lengthSeconds > double(causalLength) * sampleInterval) {
        // Whatever the response holds beyond the positive time would be
        // taken as coming before time 0: the data cannot give this channel.
        error = StepTooCoarse(result, double(causalLength) * sampleInterval);
        return false;
    }
    // The band limit's window rings before any delay it is applied to; the
    // same ringing on an ideal delay is the window's, not the data's.
    const double delay = std::max(0.0, placement.delaySeconds);
    result.windowRingShare = EnergyShareFrom(
        CircularResponse(transform, size, sampleInterval, result.bandLimitHz,
                         [delay](double f) { return std::polar(1.0, -2.0 * kPi * f * delay); }),
        causalLength);
    result.precursorEnergyShare = std::max(0.0, EnergyShareFrom(circular, causalLength) - result.windowRingShare);
    result.impulse.assign(circular.begin(), circular.begin() + long(causalLength));
    result.impulse.resize(
        CutLength(result.impulse, result.impulse.size(), std::min<size_t>(causalLength, 64), kTailEnergyShare));
    return true;
}

std::vector<double> FilterImpulse(const std::vector<double>& impulse, double sampleInterval,
                                  const std::function<Complex(double hertz)>& gain, size_t extraSamples) {
    const size_t size = SmoothSize(impulse.size() + extraSamples);
    const Fft transform(size);
    FftBuffer<double> samples(size);
    FftBuffer<Complex> bins(size / 2 + 1);
    std::copy(impulse.begin(), impulse.end(), samples.data());
    transform.ForwardReal(samples, bins);
    const double binHertz = 1.0 / (double(size) * sampleInterval);
    for (size_t k = 0; k <= size / 2; ++k) {
        Complex value = bins[k] * gain(double(k) * binHertz);
        if (k == 0 || 2 * k == size) value = value.real();
        bins[k] = value / double(size);
    }
    transform.InverseReal(bins, samples);
    std::vector<double> filtered(samples.data(), samples.data() + size);
    filtered.resize(CutLength(filtered, filtered.size(), impulse.size(), kTailEnergyShare));
    return filtered;
}

double ResponseDelay(const std::vector<double>& impulse, double sampleInterval) {
    double total = 0.0;
    double largest = 0.0;
    size_t peak = 0;
    for (size_t i = 0; i < impulse.size(); ++i) {
        total += impulse[i];
        if (std::fabs(impulse[i]) > largest) {
            largest = std::fabs(impulse[i]);
            peak = i;
        }
    }
    if (std::fabs(total) * 1e3 < largest) return double(peak) * sampleInterval;
    double sum = 0.0;
    for (size_t i = 0; i < impulse.size(); ++i) {
        const double next = sum + impulse[i];
        if ((next - 0.5 * total) * (total > 0.0 ? 1.0 : -1.0) >= 0.0) {
            // Half-way between the step's values at this sample and the one before.
            const double share = impulse[i] != 0.0 ? (0.5 * total - sum) / impulse[i] : 0.0;
            return std::max(0.0, double(i) - 1.0 + share) * sampleInterval;
        }
        sum = next;
    }
    return double(peak) * sampleInterval;
}

}  // namespace linksim
