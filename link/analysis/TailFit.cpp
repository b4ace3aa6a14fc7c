#include "TailFit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <limits>

namespace linksim {

namespace {

// The fit takes the outermost quarter of the values, at least this many.
const size_t kMinimumTailPoints = 12;
// Of a long tail it uses this many ranks, spread evenly on a log scale, so
// that the deep tail counts as much as the shoulder.
const size_t kFitRanks = 160;

struct Line {
    double intercept = 0.0;
    double slope = 0.0;
    double squaredError = std::numeric_limits<double>::infinity();
};

Line FitLine(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) sx += x[i], sy += y[i], sxx += x[i] * x[i], sxy += x[i] * y[i];
    Line line;
    const double denominator = n * sxx - sx * sx;
    line.slope = denominator > 0.0 ? (n * sxy - sx * sy) / denominator : 0.0;
    line.intercept = (sy - line.slope * sx) / n;
    line.squaredError = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double miss = y[i] - line.intercept - line.slope * x[i];
        line.squaredError += miss * miss;
    }
    return line;
}

// Puts the `tail` outermost values first, in order: the rest is only
// partitioned, which costs far less than sorting it.
template <typename Outer>
void OuterFirst(std::vector<double>& values, size_t tail, Outer outer) {
    std::nth_element(values.begin(), values.begin() + long(tail - 1), values.end(), outer);
    std::sort(values.begin(), values.begin() + long(tail), outer);
}

// Where each rank lies on the Q scale of a tail that carries `weight`.
std::vector<double> Reaches(const std::vector<size_t>& ranks, double trials, double weight) {
    std::vector<double> reach(ranks.size());
    for (size_t i = 0; i < ranks.size(); ++i) reach[i] = InverseGaussianTail((double(ranks[i]) - 0.5) / trials / weight);
    return reach;
}

}  // namespace

double GaussianTail(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

double InverseGaussianTail(double probability) {
    if (!(probability > 0.0)) return std::numeric_limits<double>::infinity();
    if (!(probability < 1.0)) return -std::numeric_limits<double>::infinity();
    // A rational first guess of the normal quantile, then Newton steps on
    // erfc, which is accurate far into the tail.
    const double p = std::min(probability, 1.0 - probability);
    const double t = std::sqrt(-2.0 * std::log(p));
    double x = t - (2.515517 + 0.802853 * t + 0.010328 * t * t) / (1.0 + 1.432788 * t + 0.189269 * t * t + 0.001308 * t * t * t);
    if (probability > 0.5) x = -x;
    for (int step = 0; step < 3; ++step) {
        const double density = std::exp(-0.5 * x * x) / std::sqrt(2.0 * 3.141592653589793);
        if (!(density > 0.0)) break;
        x += (GaussianTail(x) - probability) / density;
    }
    return x;
}

double TailFit::Beyond(double x) const {
    const double distance = side == TailSide::Upper ? x - mean : mean - x;
    if (!(sigma > 0.0)) return distance < 0.0 ? weight : 0.0;
    return weight * GaussianTail(distance / sigma);
}

double TailFit::Where(double probability) const {
    const double reach = sigma > 0.0 ? sigma * InverseGaussianTail(std::min(probability / weight, 1.0 - 1e-16)) : 0.0;
    return side == TailSide::Upper ? mean + reach : mean - reach;
}

TailFit FitGaussianTail(std::vector<double> values, double trials, TailSide side) {
    TailFitter fitter;
    return fitter.Fit(std::move(values), trials, side);
}

const std::vector<std::vector<double>>& TailFitter::GridReaches(size_t count, double trials, const std::vector<size_t>& ranks,
                                                               const std::vector<double>& weights) {
    for (const Grid& grid : m_grids) {
        if (grid.count == count && grid.trials == trials) return grid.reaches;
    }
    Grid grid{count, trials, {}};
    for (double weight : weights) grid.reaches.push_back(Reaches(ranks, trials, weight));
    m_grids.push_back(std::move(grid));
    return m_grids.back().reaches;
}

TailFit TailFitter::Fit(std::vector<double> values, double trials, TailSide side) {
    TailFit fit;
    fit.side = side;
    const size_t count = values.size();
    if (count == 0 || !(trials >= double(count))) return fit;
    // The outer quarter, outermost first.
    const size_t tail = std::min(count, std::max(kMinimumTailPoints, count / 4));
    if (side == TailSide::Upper) {
        OuterFirst(values, tail, std::greater<double>());
    } else {
        OuterFirst(values, tail, std::less<double>());
    }
    fit.weight = double(count) / trials;
    fit.mean = values[0];
    if (count < kMinimumTailPoints) return fit;

    // Ranks 1 .. tail, log-spaced; the probability beyond the k-th value is
    // taken as (k - 1/2) / trials.
    std::vector<size_t> ranks;
    for (size_t i = 0; i < kFitRanks; ++i) {
        const double position = std::pow(double(tail), double(i) / double(kFitRanks - 1));
        const size_t rank = size_t(std::lround(position));
        if (ranks.empty() || rank > ranks.back()) ranks.push_back(rank);
    }
    std::vector<double> found(ranks.size());
    for (size_t i = 0; i < ranks.size(); ++i) found[i] = values[ranks[i] - 1];
    const double sign = side == TailSide::Upper ? 1.0 : -1.0;
    const double shoulder = (double(tail) - 0.5) / trials;
    const double heaviest = double(count) / trials;

    // The squared miss of each weight tried, so that a weight the search
    // comes back to is not worked out again.
    std::vector<std::pair<double, double>> tried;
    auto missWithWeight = [&](double weight) {
        for (const auto& seen : tried) {
            if (seen.first == weight) return seen.second;
        }
        const double miss = FitLine(Reaches(ranks, trials, weight), found).squaredError;
        tried.emplace_back(weight, miss);
        return miss;
    };
    // The weight lies between just above the shoulder's probability and the
    // whole distribution; the squared miss of the line chooses it, on a
    // log grid first and then by golden section around the best.
    const double low = std::log(std::min(shoulder * 1.02, heaviest));
    const double high = std::log(heaviest);
    const int gridSteps = 60;
    std::vector<double> gridWeights;
    for (int step = 0; step <= gridSteps; ++step) gridWeights.push_back(std::exp(low + (high - low) * step / gridSteps));
    const std::vector<std::vector<double>>& gridReaches = GridReaches(count, trials, ranks, gridWeights);
    double bestLog = high;
    double bestError = std::numeric_limits<double>::infinity();
    for (int step = 0; step <= gridSteps; ++step) {
        const double error = FitLine(gridReaches[size_t(step)], found).squaredError;
        if (error < bestError) bestError = error, bestLog = low + (high - low) * step / gridSteps;
    }
    const double span = (high - low) / gridSteps;
    double a = std::max(low, bestLog - span), b = std::min(high, bestLog + span);
    const double golden = 0.6180339887498949;
    for (int step = 0; step < 24; ++step) {
        const double c = b - golden * (b - a), d = a + golden * (b - a);
        if (missWithWeight(std::exp(c)) < missWithWeight(std::exp(d))) b = d; else a = c;
    }
    const double chosen = 0.5 * (a + b);
    const double weight = missWithWeight(std::exp(chosen)) <= bestError ? std::exp(chosen) : std::exp(bestLog);
    const Line line = FitLine(Reaches(ranks, trials, weight), found);
    fit.fitted = true;
    fit.weight = weight;
    fit.mean = line.intercept;
    fit.sigma = std::max(0.0, sign * line.slope);
    fit.points = ranks.size();
    if (fit.sigma == 0.0) fit.mean = values[0];
    return fit;
}

}  // namespace linksim
