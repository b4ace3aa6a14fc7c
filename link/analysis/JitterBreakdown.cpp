#include "JitterBreakdown.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "Fft.h"
#include "TailFit.h"

namespace linksim {

namespace {

const double kTwoPi = 6.283185307179586;
// The patterns the edges are averaged by: the edge's new bit and the five before it.
const size_t kPatternBits = 6;
// A pattern's mean needs this many edges to count.
const size_t kLeastEdgesPerPattern = 4;
const size_t kLeastEdges = 200;
// An edge is a crossing of the threshold after which the output goes on
// beyond this share of its mean distance from the threshold: noise that
// recrosses it nearby makes one edge, not several.
const double kHysteresisShare = 0.25;
// The edges the bits' latency is found on, and the share that must agree.
const size_t kLatencyProbeEdges = 200;
const double kLatencyAgreement = 0.9;
// The edges' latency lies this near the decisions' (an edge comes half a
// unit interval before the instant that decides its new bit); without
// those, it is sought up to this far.
const long kLatencyNearHint = 3;
const long kLongestLatencySearch = 8192;
// A spectral line stands this far above the spectrum's median, at least
// this many bins from a stronger one (the window's main lobe), and no
// nearer to 0 Hz than that.
const double kLineOverMedian = 12.0;
const long kLineSeparationBins = 4;
const size_t kMostLines = 8;
const size_t kHistogramBins = 100;
const size_t kSpectrumPoints = 1000;

// The output's spread around the threshold is read on every this many samples.
const size_t kSpreadStride = 16;

struct Edge {
    double time = 0.0;
    bool rising = false;
    double gridUi = 0.0;  // on the data's grid, bits
    long gridIndex = 0;   // the grid's edge it is nearest, phase taken out
    int pattern = -1;     // the bits before it and its new one (last bit lowest); -1: not known
};

// The circular mean of the fractional parts, in [0, 1).
double CircularMean(const std::vector<double>& positions) {
    double x = 0.0, y = 0.0;
    for (double p : positions) x += std::cos(kTwoPi * p), y += std::sin(kTwoPi * p);
    const double mean = std::atan2(y, x) / kTwoPi;
    return mean - std::floor(mean);
}

// Each edge's offset from its place on the data's grid, in seconds.
std::vector<double> TieAgainstGrid(const JitterInput& in, std::vector<Edge>& edges) {
    std::vector<double> positions;
    for (Edge& edge : edges) positions.push_back(edge.gridUi = in.dataUiAt(edge.time));
    const double phase = CircularMean(positions);
    std::vector<double> tie;
    for (Edge& edge : edges) {
        edge.gridIndex = std::lround(edge.gridUi - phase);
        tie.push_back((edge.gridUi - phase - double(edge.gridIndex)) * in.unitInterval);
    }
    return tie;
}

// The edges between two clock times, each with its offset from its place
// between them, in seconds; none when the clock's times go back.
std::vector<Edge> EdgesOnClock(const JitterInput& in, const std::vector<Edge>& edges, std::vector<double>& tie) {
    const std::vector<double>& clock = *in.clockTimes;
    std::vector<Edge> covered;
    tie.clear();
    if (!std::is_sorted(clock.begin(), clock.end())) return covered;
    std::vector<double> phases, periods;
    for (const Edge& edge : edges) {
        const auto after = std::upper_bound(clock.begin(), clock.end(), edge.time);
        if (after == clock.begin() || after == clock.end() || !(*after > *(after - 1))) continue;
        const double period = *after - *(after - 1);
        phases.push_back((edge.time - *(after - 1)) / period);
        periods.push_back(period);
        covered.push_back(edge);
    }
    const double mean = CircularMean(phases);
    for (size_t i = 0; i < phases.size(); ++i) {
        const double offset = phases[i] - mean;
        tie.push_back((offset - std::floor(offset + 0.5)) * periods[i]);
    }
    return covered;
}

// Ties each edge to the transmitted bits before it: the latency (and
// polarity) at which the edges' directions match the bits' transitions.
// Where no latency matches, the edges keep no pattern.
void FindPatterns(const JitterInput& in, std::vector<Edge>& edges) {
    const std::vector<int>& bits = *in.bits;
    const size_t probe = std::min(edges.size(), kLatencyProbeEdges);
    long bestLatency = 0;
    size_t bestMatches = 0;
    bool bestInverted = false;
    const bool hinted = in.latencyHintBits >= 0;
    const long first = hinted ? in.latencyHintBits - kLatencyNearHint : -kLatencyNearHint;
    const long last = hinted ? in.latencyHintBits + kLatencyNearHint
                             : std::min(long(in.maxLatencyBits), kLongestLatencySearch);
    for (long latency = first; latency <= last; ++latency) {
        size_t matches[2] = {0, 0};
        for (size_t e = 0; e < probe; ++e) {
            const long bit = edges[e].gridIndex - latency;
            if (bit < 1 || bit >= long(bits.size()) || bits[size_t(bit)] == bits[size_t(bit - 1)]) continue;
            ++matches[(bits[size_t(bit)] != 0) == edges[e].rising ? 0 : 1];
        }
        for (int inverted = 0; inverted < 2; ++inverted) {
            if (matches[inverted] > bestMatches) bestMatches = matches[inverted], bestLatency = latency, bestInverted = inverted;
        }
    }
    if (double(bestMatches) < kLatencyAgreement * double(probe)) return;
    for (Edge& edge : edges) {
        const long bit = edge.gridIndex - bestLatency;
        if (bit < long(kPatternBits) - 1 || bit >= long(bits.size())) continue;
        if (((bits[size_t(bit)] != 0) != edge.rising) != bestInverted) continue;
        int pattern = 0;
        for (long b = bit - long(kPatternBits) + 1; b <= bit; ++b) pattern = pattern * 2 + (bits[size_t(b)] ? 1 : 0);
        edge.pattern = pattern;
    }
}

// Removes the mean of the edges after each pattern; fills the DDJ, ISI and DCD.
std::vector<double> TakeOutPatterns(const std::vector<double>& tie, const std::vector<Edge>& edges,
                                    JitterComponents& out) {
    const size_t patterns = size_t(1) << kPatternBits;
    std::vector<double> sum(patterns, 0.0);
    std::vector<size_t> count(patterns, 0);
    double polaritySum[2] = {0.0, 0.0};
    size_t polarityCount[2] = {0, 0};
    for (size_t i = 0; i < tie.size(); ++i) {
        if (edges[i].pattern < 0) continue;
        sum[size_t(edges[i].pattern)] += tie[i];
        ++count[size_t(edges[i].pattern)];
        polaritySum[edges[i].pattern & 1] += tie[i];
        ++polarityCount[edges[i].pattern & 1];
    }
    double low[2] = {1e300, 1e300}, high[2] = {-1e300, -1e300};
    std::vector<double> mean(patterns, std::nan(""));
    for (size_t p = 0; p < patterns; ++p) {
        if (count[p] < kLeastEdgesPerPattern) continue;
        mean[p] = sum[p] / double(count[p]);
        low[p & 1] = std::min(low[p & 1], mean[p]);
        high[p & 1] = std::max(high[p & 1], mean[p]);
    }
    const double risingMean = polarityCount[1] ? polaritySum[1] / double(polarityCount[1]) : 0.0;
    const double fallingMean = polarityCount[0] ? polaritySum[0] / double(polarityCount[0]) : 0.0;
    out.patternsKnown = high[0] >= low[0] && high[1] >= low[1];
    if (out.patternsKnown) {
        out.isi = std::max(high[0] - low[0], high[1] - low[1]);
        out.dcd = std::fabs(risingMean - fallingMean);
        out.ddj = std::max(high[0], high[1]) - std::min(low[0], low[1]);
    }
    std::vector<double> rest(tie);
    for (size_t i = 0; i < rest.size(); ++i) {
        const int p = edges[i].pattern;
        if (p >= 0) rest[i] -= std::isnan(mean[size_t(p)]) ? (p & 1 ? risingMean : fallingMean) : mean[size_t(p)];
    }
    return rest;
}

// The values on every unit interval of the grid the edges span, those
// without an edge read linearly between their neighbours, mean taken out.
std::vector<double> OnEveryUnitInterval(const std::vector<double>& values, const std::vector<Edge>& edges) {
    const long first = edges.front().gridIndex;
    std::vector<double> series(size_t(edges.back().gridIndex - first + 1), std::nan(""));
    for (size_t i = 0; i < edges.size(); ++i) series[size_t(edges[i].gridIndex - first)] = values[i];
    size_t previous = 0;
    for (size_t k = 1; k < series.size(); ++k) {
        if (std::isnan(series[k])) continue;
        for (size_t gap = previous + 1; gap < k; ++gap) {
            const double f = double(gap - previous) / double(k - previous);
            series[gap] = series[previous] + f * (series[k] - series[previous]);
        }
        previous = k;
    }
    double mean = 0.0;
    for (double v : series) mean += v;
    mean /= double(series.size());
    for (double& v : series) v -= mean;
    return series;
}

// The peak amplitude spectrum of a series one unit interval apart, through
// a Hann window; hertz per bin in binHertz.
std::vector<double> AmplitudeSpectrum(const std::vector<double>& series, double unitInterval, double& binHertz) {
    const size_t size = NextPowerOfTwo(series.size());
    FftBuffer<double> signal(size);
    FftBuffer<Complex> spectrum(size / 2 + 1);
    double windowSum = 0.0;
    for (size_t n = 0; n < size; ++n) {
        const double w = n < series.size() ? 0.5 - 0.5 * std::cos(kTwoPi * (double(n) + 0.5) / double(series.size())) : 0.0;
        signal[n] = n < series.size() ? w * series[n] : 0.0;
        windowSum += w;
    }
    Fft(size).ForwardReal(signal, spectrum);
    std::vector<double> amplitude(size / 2 + 1);
    for (size_t k = 0; k < amplitude.size(); ++k) amplitude[k] = 2.0 * std::abs(spectrum[k]) / windowSum;
    binHertz = 1.0 / (double(size) * unitInterval);
    return amplitude;
}

// The spectral lines: peaks far above the median, strongest first, each
// frequency refined between bins by a parabola through the log amplitudes.
std::vector<double> LineFrequencies(const std::vector<double>& amplitude, double binHertz) {
    std::vector<double> sorted(amplitude.begin() + 1, amplitude.end());
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double floor = kLineOverMedian * sorted[sorted.size() / 2];
    std::vector<long> peaks;
    for (long k = kLineSeparationBins; k + 1 < long(amplitude.size()); ++k) {
        if (amplitude[size_t(k)] > floor && amplitude[size_t(k)] >= amplitude[size_t(k - 1)] &&
            amplitude[size_t(k)] > amplitude[size_t(k + 1)]) {
            peaks.push_back(k);
        }
    }
    std::sort(peaks.begin(), peaks.end(), [&](long a, long b) { return amplitude[size_t(a)] > amplitude[size_t(b)]; });
    std::vector<long> taken;
    std::vector<double> hertz;
    for (long k : peaks) {
        if (taken.size() == kMostLines) break;
        if (std::any_of(taken.begin(), taken.end(), [k](long t) { return std::labs(t - k) < kLineSeparationBins; })) continue;
        taken.push_back(k);
        const double a = std::log(amplitude[size_t(k - 1)]), b = std::log(amplitude[size_t(k)]),
                     c = std::log(amplitude[size_t(k + 1)]);
        const double curve = a - 2.0 * b + c;
        const double shift = curve < 0.0 ? 0.5 * (a - c) / curve : 0.0;
        hertz.push_back((double(k) + std::max(-0.5, std::min(0.5, shift))) * binHertz);
    }
    return hertz;
}

// Sinusoids at the lines' frequencies fitted to the values at their times
// (least squares, one line after the other) and taken out of them; returns
// the fitted sum at each time.
std::vector<double> TakeOutLines(std::vector<double>& values, const std::vector<double>& times,
                                 const std::vector<double>& hertz, std::vector<JitterLine>& lines) {
    std::vector<double> periodic(values.size(), 0.0);
    std::vector<double> cosines(values.size()), sines(values.size());
    for (double f : hertz) {
        double cc = 0.0, ss = 0.0, cs = 0.0, vc = 0.0, vs = 0.0;
        for (size_t i = 0; i < values.size(); ++i) {
            const double c = cosines[i] = std::cos(kTwoPi * f * times[i]), s = sines[i] = std::sin(kTwoPi * f * times[i]);
            cc += c * c, ss += s * s, cs += c * s, vc += values[i] * c, vs += values[i] * s;
        }
        const double determinant = cc * ss - cs * cs;
        if (!(determinant > 0.0)) continue;
        const double a = (vc * ss - vs * cs) / determinant, b = (vs * cc - vc * cs) / determinant;
        for (size_t i = 0; i < values.size(); ++i) {
            const double fitted = a * cosines[i] + b * sines[i];
            values[i] -= fitted;
            periodic[i] += fitted;
        }
        lines.push_back({f, 2.0 * std::hypot(a, b)});
    }
    return periodic;
}

double Spread(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    const auto extremes = std::minmax_element(values.begin(), values.end());
    return *extremes.second - *extremes.first;
}

void Histogram(const std::vector<double>& values, JitterComponents& out) {
    const auto extremes = std::minmax_element(values.begin(), values.end());
    const double low = *extremes.first, width = std::max(*extremes.second - low, 1e-18) / double(kHistogramBins);
    out.histogramCounts.assign(kHistogramBins, 0.0);
    for (size_t b = 0; b < kHistogramBins; ++b) out.histogramSeconds.push_back(low + (double(b) + 0.5) * width);
    for (double v : values) out.histogramCounts[std::min(kHistogramBins - 1, size_t((v - low) / width))] += 1.0;
}

// The spectrum thinned for the picture, each point the largest of its group
// so that no line is lost.
void ThinSpectrum(const std::vector<double>& amplitude, double binHertz, JitterComponents& out) {
    const size_t group = std::max<size_t>(1, (amplitude.size() + kSpectrumPoints - 1) / kSpectrumPoints);
    for (size_t start = 1; start < amplitude.size(); start += group) {
        const size_t end = std::min(amplitude.size(), start + group);
        const size_t k = size_t(std::max_element(amplitude.begin() + long(start), amplitude.begin() + long(end)) -
                                amplitude.begin());
        out.spectrumHertz.push_back(double(k) * binHertz);
        out.spectrumSeconds.push_back(amplitude[k]);
    }
}

// fitter: shared by every fit of the breakdown, whose fits are of equally
// many values out of equally many trials.
JitterComponents Components(std::vector<double> tie, const std::vector<Edge>& edges, double unitInterval,
                            double targetBer, TailFitter& fitter) {
    JitterComponents out;
    double mean = 0.0;
    for (double v : tie) mean += v;
    mean /= double(tie.size());
    double square = 0.0;
    for (double& v : tie) v -= mean, square += v * v;
    out.rms = std::sqrt(square / double(tie.size()));
    // The total at the target rate per bit: the unit intervals the edges span are the trials.
    const double bits = double(edges.back().gridIndex - edges.front().gridIndex + 1);
    const TailFit early = fitter.Fit(tie, bits, TailSide::Lower);
    const TailFit late = fitter.Fit(tie, bits, TailSide::Upper);
    out.total = early.fitted && late.fitted ? late.Where(targetBer) - early.Where(targetBer) : Spread(tie);
    Histogram(tie, out);

    std::vector<double> rest = TakeOutPatterns(tie, edges, out);
    double binHertz = 0.0;
    const std::vector<double> amplitude = AmplitudeSpectrum(OnEveryUnitInterval(rest, edges), unitInterval, binHertz);
    ThinSpectrum(amplitude, binHertz, out);
    std::vector<double> times;
    for (const Edge& edge : edges) times.push_back(edge.gridUi * unitInterval);
    out.pj = Spread(TakeOutLines(rest, times, LineFrequencies(amplitude, binHertz), out.lines));

    // What remains, as two Diracs with Gaussian tails: each tail's share of the edges fitted.
    const TailFit lower = fitter.Fit(rest, double(rest.size()), TailSide::Lower);
    const TailFit upper = fitter.Fit(rest, double(rest.size()), TailSide::Upper);
    if (lower.fitted && upper.fitted) {
        out.buj = std::max(0.0, upper.mean - lower.mean);
        out.rj = 0.5 * (lower.sigma + upper.sigma);
    }
    out.known = true;
    return out;
}

}  // namespace

std::vector<OutputEdge> FindOutputEdges(const JitterInput& in) {
    std::vector<OutputEdge> edges;
    if (!in.wave || in.wave->size() < 2) return edges;
    const std::vector<float>& wave = *in.wave;
    const double threshold = in.threshold;
    double spread = 0.0;
    for (size_t i = 0; i < wave.size(); i += kSpreadStride) spread += std::fabs(double(wave[i]) - threshold);
    const double clear = kHysteresisShare * spread / double((wave.size() + kSpreadStride - 1) / kSpreadStride);
    const size_t n = wave.size();
    // Where the output first stands clear of the threshold, and on which side.
    size_t i = 0;
    while (i < n && std::fabs(double(wave[i]) - threshold) <= clear) ++i;
    if (i == n) return edges;
    bool high = double(wave[i]) > threshold;
    while (true) {
        // On to the first sample clear on the other side: a tight scan, as
        // the output spends most of its time away from the threshold.
        if (high) {
            while (i < n && double(wave[i]) >= threshold - clear) ++i;
        } else {
            while (i < n && double(wave[i]) <= threshold + clear) ++i;
        }
        if (i == n) return edges;
        // Back to the last crossing of the threshold before it.
        size_t j = i;
        while (j > 0 && (double(wave[j - 1]) >= threshold) != high) --j;
        if (j > 0) {
            const double a = double(wave[j - 1]) - threshold, b = double(wave[j]) - threshold;
            const double crossing = in.waveStart + (double(j - 1) + a / (a - b)) * in.sampleInterval;
            if (crossing >= in.measureFrom) edges.push_back({crossing, !high});
        }
        high = !high;
    }
}

JitterBreakdown BreakDownJitter(const JitterInput& input, const std::vector<OutputEdge>& found) {
    const auto start = std::chrono::steady_clock::now();
    JitterBreakdown breakdown;
    breakdown.patternBits = kPatternBits;
    breakdown.targetBer = input.targetBer;
    std::vector<Edge> edges;
    for (const OutputEdge& edge : found) edges.push_back({edge.time, edge.rising, 0.0, 0, -1});
    breakdown.edges = edges.size();
    if (edges.size() < kLeastEdges) {
        breakdown.why = std::to_string(edges.size()) + " edges were measured at the receiver's output, fewer than the " +
                        std::to_string(kLeastEdges) + " a breakdown needs";
    } else {
        const std::vector<double> onGrid = TieAgainstGrid(input, edges);
        if (input.bits) FindPatterns(input, edges);
        TailFitter fitter;
        breakdown.againstGrid = Components(onGrid, edges, input.unitInterval, input.targetBer, fitter);
        std::vector<double> onClock;
        const std::vector<Edge> clocked = input.clockTimes ? EdgesOnClock(input, edges, onClock) : std::vector<Edge>();
        if (clocked.size() >= kLeastEdges) {
            breakdown.againstClock = Components(onClock, clocked, input.unitInterval, input.targetBer, fitter);
        }
        breakdown.known = true;
    }
    breakdown.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return breakdown;
}

void PrepareJitterSpectrum(size_t unitIntervals) {
    if (unitIntervals > 1) Fft(NextPowerOfTwo(unitIntervals)).PrepareForwardReal();
}

}  // namespace linksim
