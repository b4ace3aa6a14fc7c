#include "StatisticalEye.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "LinkResponses.h"
#include "TailFit.h"

namespace linksim {

namespace {

const double kPi = 3.14159265358979323846;
// The sampling phases are at least this fine.
const int kLeastPhasesPerUi = 128;
// Voltage points of the distributions; odd, so that one sits at 0 V.
const size_t kLevels = 1025;
// Gaussians are cut where their tails fall below about 1e-17.
const double kGaussianReach = 8.5;
// The bathtub of the bit at the pulse's peak reaches this far either way,
// so that the picture's two unit intervals around any sampling phase in the
// bit's own eye are covered.
const double kBathtubReachUi = 1.5;
// Jitter offsets beyond this many unit intervals are not followed.
const double kLongestJitterUi = 2.0;
const size_t kPictureRows = 320;
// The picture's voltage range holds every cell at least this likely.
const double kPictureFloor = 1e-12;

// A value between samples, read linearly; 0 outside the wave.
double ValueAt(const std::vector<double>& wave, double position) {
    if (position < 0.0 || position > double(wave.size() - 1)) return 0.0;
    const size_t n = size_t(position);
    const double f = position - double(n);
    return f > 0.0 ? wave[n] * (1.0 - f) + wave[n + 1] * f : wave[n];
}

// Mass added at a fractional point, split between its neighbours so that
// the mean is kept; what falls beyond the ends stays at them.
void Deposit(std::vector<double>& to, double position, double mass) {
    position = std::min(std::max(position, 0.0), double(to.size() - 1));
    const size_t n = size_t(position);
    const double f = position - double(n);
    to[n] += mass * (1.0 - f);
    if (f > 0.0) to[n + 1] += mass * f;
}

// The distribution moved by +shift or -shift points, with equal chances.
void AddPlusOrMinus(std::vector<double>& masses, double shift, std::vector<double>& scratch) {
    scratch.assign(masses.size(), 0.0);
    for (size_t j = 0; j < masses.size(); ++j) {
        if (masses[j] == 0.0) continue;
        Deposit(scratch, double(j) + shift, 0.5 * masses[j]);
        Deposit(scratch, double(j) - shift, 0.5 * masses[j]);
    }
    masses.swap(scratch);
}

// A centred kernel: element k is the chance of an offset of k - reach points.
struct Kernel {
    std::vector<double> weights;
    long Reach() const { return long(weights.size() / 2); }
};

// A Gaussian of sigma points, each point taking the probability of the
// interval of one point around it.
Kernel GaussianKernel(double sigma) {
    Kernel kernel;
    if (!(sigma > 0.0)) return {{1.0}};
    const long reach = long(std::ceil(kGaussianReach * sigma));
    kernel.weights.assign(size_t(2 * reach + 1), 0.0);
    for (long k = 0; k <= reach; ++k) {
        const double w = k == 0 ? 1.0 - 2.0 * GaussianTail(0.5 / sigma)
                                : GaussianTail((double(k) - 0.5) / sigma) - GaussianTail((double(k) + 0.5) / sigma);
        kernel.weights[size_t(reach + k)] = w;
        kernel.weights[size_t(reach - k)] = w;
    }
    return kernel;
}

// A sinusoid's offsets at a random phase (the arcsine law), amplitude in points.
Kernel SinusoidKernel(double amplitude) {
    const long reach = long(std::ceil(amplitude)) + 1;
    Kernel kernel;
    kernel.weights.assign(size_t(2 * reach + 1), 0.0);
    auto below = [amplitude](double x) {
        if (x <= -amplitude) return 0.0;
        if (x >= amplitude) return 1.0;
        return 0.5 + std::asin(x / amplitude) / kPi;
    };
    for (long k = -reach; k <= reach; ++k) {
        kernel.weights[size_t(k + reach)] = below(double(k) + 0.5) - below(double(k) - 0.5);
    }
    return kernel;
}

// The convolution of a distribution with a kernel, the same length; with
// keepEnds, what falls beyond the ends stays at them.
std::vector<double> Convolve(const std::vector<double>& masses, const Kernel& kernel, bool keepEnds) {
    if (kernel.weights.size() == 1) return masses;
    const long size = long(masses.size());
    const long reach = kernel.Reach();
    std::vector<double> out(masses.size(), 0.0);
    for (long j = 0; j < size; ++j) {
        if (masses[size_t(j)] == 0.0) continue;
        const double mass = masses[size_t(j)];
        const long from = std::max(-reach, -j);
        const long to = std::min(reach, size - 1 - j);
        for (long k = from; k <= to; ++k) out[size_t(j + k)] += mass * kernel.weights[size_t(k + reach)];
        if (!keepEnds) continue;
        for (long k = -reach; k < from; ++k) out[0] += mass * kernel.weights[size_t(k + reach)];
        for (long k = to + 1; k <= reach; ++k) out[size_t(size - 1)] += mass * kernel.weights[size_t(k + reach)];
    }
    return out;
}

// The timing offsets of the transmitter's jitter, in phase steps of
// `step` seconds: Gaussian, dual-Dirac and sinusoidal, each independent.
Kernel JitterKernel(const StatisticalEyeInput& input, double step, long reach) {
    std::vector<double> offsets(size_t(2 * reach + 1), 0.0);
    offsets[size_t(reach)] = 1.0;
    std::vector<double> scratch;
    if (input.djPeakToPeak > 0.0) AddPlusOrMinus(offsets, 0.5 * input.djPeakToPeak / step, scratch);
    if (input.sjPeakToPeak > 0.0) offsets = Convolve(offsets, SinusoidKernel(0.5 * input.sjPeakToPeak / step), false);
    if (input.rjRms > 0.0) offsets = Convolve(offsets, GaussianKernel(input.rjRms / step), false);
    double total = 0.0;
    for (double w : offsets) total += w;
    for (double& w : offsets) w /= total;
    return {offsets};
}

// P(value < point) for point masses, the point's own mass split half and
// half, read linearly between points: summed from below, so that the small
// probabilities of the lower tail keep their precision.
std::vector<double> BelowEach(const std::vector<double>& masses) {
    std::vector<double> below(masses.size());
    double sum = 0.0;
    for (size_t j = 0; j < masses.size(); ++j) {
        below[j] = sum + 0.5 * masses[j];
        sum += masses[j];
    }
    return below;
}

// The point (fractional) where the lower tail reaches `probability`.
double PointOfProbability(const std::vector<double>& below, double probability) {
    const auto after = std::lower_bound(below.begin(), below.end(), probability);
    if (after == below.begin()) return 0.0;
    if (after == below.end()) return double(below.size() - 1);
    const size_t j = size_t(after - below.begin());
    const double span = below[j] - below[j - 1];
    return double(j - 1) + (span > 0.0 ? (probability - below[j - 1]) / span : 1.0);
}

// What the computation shares: the pulses, the grids, and each phase's
// distribution of the voltage when the bit at the peak is a one.
class Computation {
public:
    explicit Computation(const StatisticalEyeInput& input) : m_input(input) {}

    bool Prepare(std::string& why);
    void Distributions();
    void MixAndAddNoise();
    void Read(StatisticalEye& eye) const;

private:
    double PhasePosition(long phase) const { return m_peak + double(phase) * m_phaseStep; }
    // The cursors of the through path at a phase, main first, and every aggressor's.
    void Cursors(long phase, double& main, std::vector<double>& others) const;
    void ReadDensity(StatisticalEye& eye) const;
    void ReadContours(StatisticalEye& eye) const;

    const StatisticalEyeInput& m_input;
    std::vector<double> m_pulse;
    std::vector<std::vector<double>> m_aggressorPulses;
    double m_peak = 0.0;       // samples
    double m_phaseStep = 0.0;  // samples
    long m_phasesPerUi = 0;
    long m_bathtubReach = 0;  // phases either way of the peak
    long m_jitterReach = 0;
    double m_levelStep = 0.0;  // volts
    size_t m_centre = kLevels / 2;
    // Per phase from -(bathtub + jitter) reach on: the ones' distribution
    // and the variance of the cursors too small for the level grid.
    std::vector<std::vector<double>> m_ones;
    std::vector<double> m_smallVariance;
    // Per phase from -bathtub reach on, after the jitter and the noise.
    std::vector<std::vector<double>> m_mixed;
    std::vector<std::vector<double>> m_below;
};

bool Computation::Prepare(std::string& why) {
    const StatisticalEyeInput& in = m_input;
    if (in.samplesPerUi < 2 || !(in.sampleInterval > 0.0) || in.impulse.empty()) {
        why = "no impulse response to build it from";
        return false;
    }
    m_pulse = BitPulse(in.impulse, in.sampleInterval, in.samplesPerUi);
    for (const std::vector<double>& aggressor : in.aggressors) {
        m_aggressorPulses.push_back(BitPulse(aggressor, in.sampleInterval, in.samplesPerUi));
    }
    const auto peak = std::max_element(m_pulse.begin(), m_pulse.end());
    if (!(*peak > 0.0)) {
        why = "the pulse response never rises above 0 V: no bit reaches the sampling point";
        return false;
    }
    m_peak = double(peak - m_pulse.begin());
    const long oversampling = (kLeastPhasesPerUi + in.samplesPerUi - 1) / in.samplesPerUi;
    m_phasesPerUi = long(in.samplesPerUi) * oversampling;
    m_phaseStep = 1.0 / double(oversampling);
    m_bathtubReach = long(kBathtubReachUi * double(m_phasesPerUi));
    const double unitInterval = in.sampleInterval * in.samplesPerUi;
    const double jitterUi = std::min(kLongestJitterUi, (0.5 * in.djPeakToPeak + 0.5 * in.sjPeakToPeak +
                                                        kGaussianReach * in.rjRms) / unitInterval);
    m_jitterReach = long(std::ceil(jitterUi * double(m_phasesPerUi))) + 1;
    // The levels reach as far as every cursor together and the noise's tail.
    double reach = 0.0;
    std::vector<double> others;
    for (long phase = -m_bathtubReach - m_jitterReach; phase <= m_bathtubReach + m_jitterReach; ++phase) {
        double main = 0.0;
        Cursors(phase, main, others);
        double sum = std::fabs(main);
        for (double c : others) sum += std::fabs(c);
        reach = std::max(reach, sum);
    }
    reach += kGaussianReach * in.noiseRms;
    m_levelStep = 1.02 * reach / double(m_centre);
    return true;
}

void Computation::Cursors(long phase, double& main, std::vector<double>& others) const {
    const double position = PhasePosition(phase);
    const double ui = double(m_input.samplesPerUi);
    main = ValueAt(m_pulse, position);
    others.clear();
    const double first = position - std::floor(position / ui) * ui;
    for (double at = first; at < double(m_pulse.size()); at += ui) {
        if (std::fabs(at - position) > 0.5) others.push_back(ValueAt(m_pulse, at));
    }
    for (const std::vector<double>& aggressor : m_aggressorPulses) {
        for (double at = first; at < double(aggressor.size()); at += ui) others.push_back(ValueAt(aggressor, at));
    }
}

void Computation::Distributions() {
    const long reach = m_bathtubReach + m_jitterReach;
    m_ones.assign(size_t(2 * reach + 1), {});
    m_smallVariance.assign(m_ones.size(), 0.0);
    std::vector<double> others, scratch;
    for (long phase = -reach; phase <= reach; ++phase) {
        double main = 0.0;
        Cursors(phase, main, others);
        std::vector<double> masses(kLevels, 0.0);
        masses[m_centre] = 1.0;
        double& small = m_smallVariance[size_t(phase + reach)];
        // Cursors below one level's step would only blur the grid: their
        // sum is taken as the Gaussian it nearly is.
        for (double cursor : others) {
            if (std::fabs(cursor) < m_levelStep) {
                small += cursor * cursor;
            } else {
                AddPlusOrMinus(masses, cursor / m_levelStep, scratch);
            }
        }
        scratch.assign(kLevels, 0.0);
        for (size_t j = 0; j < kLevels; ++j) {
            if (masses[j] != 0.0) Deposit(scratch, double(j) + main / m_levelStep, masses[j]);
        }
        m_ones[size_t(phase + reach)].swap(scratch);
    }
}

void Computation::MixAndAddNoise() {
    const double phaseSeconds = m_phaseStep * m_input.sampleInterval;
    const Kernel jitter = JitterKernel(m_input, phaseSeconds, m_jitterReach);
    const long taps = jitter.Reach();
    const double noise = m_input.noiseRms * m_input.noiseRms;
    for (long phase = -m_bathtubReach; phase <= m_bathtubReach; ++phase) {
        std::vector<double> mixed(kLevels, 0.0);
        double small = 0.0;
        // Edges late by t are the waveform sampled t early.
        for (long t = -taps; t <= taps; ++t) {
            const double weight = jitter.weights[size_t(t + taps)];
            if (weight == 0.0) continue;
            const size_t source = size_t(phase - t + m_bathtubReach + m_jitterReach);
            const std::vector<double>& ones = m_ones[source];
            for (size_t j = 0; j < kLevels; ++j) mixed[j] += weight * ones[j];
            small += weight * m_smallVariance[source];
        }
        mixed = Convolve(mixed, GaussianKernel(std::sqrt(noise + small) / m_levelStep), true);
        m_below.push_back(BelowEach(mixed));
        m_mixed.push_back(std::move(mixed));
    }
}

void Computation::Read(StatisticalEye& eye) const {
    const StatisticalEyeInput& in = m_input;
    eye.unitInterval = in.sampleInterval * in.samplesPerUi;
    eye.peakUi = m_peak / double(in.samplesPerUi);
    eye.targetBer = in.targetBer;
    const double perUi = double(m_phasesPerUi);
    for (long phase = -m_bathtubReach; phase <= m_bathtubReach; ++phase) {
        eye.phaseUi.push_back(double(phase) / perUi);
        eye.ber.push_back(m_below[size_t(phase + m_bathtubReach)][m_centre]);
    }
    // The sampling phase: within the bit's own unit interval, where the ones'
    // level at the target rate is highest (or the rate lowest, when shut).
    const long half = m_phasesPerUi / 2;
    long highest = 0, quietest = 0;
    double highestLevel = -1e300, quietestBer = 2.0;
    for (long phase = -half; phase < half; ++phase) {
        const std::vector<double>& below = m_below[size_t(phase + m_bathtubReach)];
        const double level = PointOfProbability(below, 2.0 * in.targetBer) - double(m_centre);
        if (level > highestLevel) highest = phase, highestLevel = level;
        if (below[m_centre] < quietestBer) quietest = phase, quietestBer = below[m_centre];
    }
    eye.open = highestLevel > 0.0;
    const long best = eye.open ? highest : quietest;
    eye.samplingUi = double(best) / perUi;
    eye.berAtSampling = eye.ber[size_t(best + m_bathtubReach)];
    eye.heightV = eye.open ? 2.0 * highestLevel * m_levelStep : 0.0;
    if (eye.open) {
        // The walls: where the bathtub crosses the target, read linearly.
        const size_t at = size_t(best + m_bathtubReach);
        size_t left = at, right = at;
        while (left > 0 && eye.ber[left - 1] <= in.targetBer) --left;
        while (right + 1 < eye.ber.size() && eye.ber[right + 1] <= in.targetBer) ++right;
        auto wall = [&](size_t inside, size_t outside) {
            if (outside == inside) return eye.phaseUi[inside];
            const double a = std::log(std::max(eye.ber[inside], 1e-300)), b = std::log(eye.ber[outside]);
            const double f = b > a ? (std::log(in.targetBer) - a) / (b - a) : 0.0;
            return eye.phaseUi[inside] + f * (eye.phaseUi[outside] - eye.phaseUi[inside]);
        };
        eye.widthUi = wall(right, std::min(right + 1, eye.ber.size() - 1)) - wall(left, left > 0 ? left - 1 : 0);
    }
    ReadContours(eye);
    ReadDensity(eye);
}

void Computation::ReadContours(StatisticalEye& eye) const {
    std::vector<double> rates(std::begin(kContourRates), std::end(kContourRates));
    if (std::find(rates.begin(), rates.end(), eye.targetBer) == rates.end()) rates.push_back(eye.targetBer);
    std::sort(rates.rbegin(), rates.rend());
    const long sampling = std::lround(eye.samplingUi * double(m_phasesPerUi));
    for (double rate : rates) {
        Contour contour{rate, {}};
        for (long phase = sampling - m_phasesPerUi; phase <= sampling + m_phasesPerUi; ++phase) {
            const size_t i = size_t(phase + m_bathtubReach);
            if (eye.ber[i] > rate) continue;
            // The ones' level at the rate, the zeros' its mirror: the bits
            // are equally likely and the interference symmetric.
            const double upper = (PointOfProbability(m_below[i], 2.0 * rate) - double(m_centre)) * m_levelStep;
            if (upper > 0.0) contour.points.push_back({double(phase - sampling) / double(m_phasesPerUi), upper, -upper});
        }
        eye.contours.push_back(contour);
    }
}

void Computation::ReadDensity(StatisticalEye& eye) const {
    const long sampling = std::lround(eye.samplingUi * double(m_phasesPerUi));
    eye.columns = size_t(2 * m_phasesPerUi);
    eye.rows = kPictureRows;
    // Any phase's voltage is distributed as at the same phase in the bit's
    // own unit interval: the picture repeats it.
    const long half = m_phasesPerUi / 2;
    std::vector<const std::vector<double>*> columns;
    for (long c = 0; c < long(eye.columns); ++c) {
        long phase = sampling - m_phasesPerUi + c;
        phase -= m_phasesPerUi * long(std::floor(double(phase + half) / double(m_phasesPerUi)));
        columns.push_back(&m_mixed[size_t(phase + m_bathtubReach)]);
    }
    // Both bits: the ones' distribution and its mirror.
    size_t highest = m_centre;
    for (const std::vector<double>* ones : columns) {
        for (size_t j = kLevels; j-- > highest + 1;) {
            if ((*ones)[j] + (*ones)[kLevels - 1 - j] >= 2.0 * kPictureFloor) {
                highest = j;
                break;
            }
        }
    }
    eye.voltageHigh = 1.05 * (double(highest) - double(m_centre) + 0.5) * m_levelStep;
    eye.voltageLow = -eye.voltageHigh;
    eye.density.assign(eye.rows * eye.columns, 0.0);
    const double rowHeight = (eye.voltageHigh - eye.voltageLow) / double(eye.rows);
    for (size_t c = 0; c < eye.columns; ++c) {
        const std::vector<double>& ones = *columns[c];
        for (size_t j = 0; j < kLevels; ++j) {
            const double mass = 0.5 * (ones[j] + ones[kLevels - 1 - j]);
            const double volts = (double(j) - double(m_centre)) * m_levelStep;
            const long row = long(std::floor((volts - eye.voltageLow) / rowHeight));
            if (mass > 0.0 && row >= 0 && row < long(eye.rows)) eye.density[size_t(row) * eye.columns + c] += mass;
        }
    }
}

}  // namespace

double StatisticalEye::BerAtGridPhase(double gridUi) const {
    if (!known || phaseUi.size() < 2 || !std::isfinite(gridUi)) return std::nan("");
    double x = gridUi - peakUi;
    x -= std::floor(x + 0.5);  // the bit's own unit interval
    const double step = phaseUi[1] - phaseUi[0];
    const double position = (x - phaseUi.front()) / step;
    const size_t n = std::min(size_t(std::max(position, 0.0)), phaseUi.size() - 2);
    const double f = std::min(std::max(position - double(n), 0.0), 1.0);
    // Read on a log scale, which the bathtub's walls nearly follow.
    const double a = std::log(std::max(ber[n], 1e-300)), b = std::log(std::max(ber[n + 1], 1e-300));
    return std::exp(a + f * (b - a));
}

StatisticalEye ComputeStatisticalEye(const StatisticalEyeInput& input) {
    StatisticalEye eye;
    Computation computation(input);
    if (!computation.Prepare(eye.why)) return eye;
    computation.Distributions();
    computation.MixAndAddNoise();
    computation.Read(eye);
    eye.known = true;
    return eye;
}

}  // namespace linksim
