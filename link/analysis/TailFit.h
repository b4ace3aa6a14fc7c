// Gaussian fits to the tail of a measured distribution, on the Q scale: a
// tail that holds the fraction `weight` of all trials and falls off like a
// Gaussian of `mean` and `sigma` has, beyond x, the probability
// weight * Q((x - mean) / sigma). Fitting the weight as well lets one fit
// serve a pure Gaussian (weight: all of it) and each side of a dual-Dirac
// distribution (weight: the outer peak's share), and extrapolate either far
// below the probabilities that were counted.
#ifndef LINK_ANALYSIS_TAIL_FIT_H
#define LINK_ANALYSIS_TAIL_FIT_H

#include <cstddef>
#include <deque>
#include <vector>

namespace linksim {

// Q(x): the probability that a standard normal value exceeds x.
double GaussianTail(double x);
// Its inverse, for probabilities in (0, 1); +-infinity at the ends.
double InverseGaussianTail(double probability);

enum class TailSide { Lower, Upper };

struct TailFit {
    bool fitted = false;  // false: too few values; the fields then hold the extreme value
    TailSide side = TailSide::Upper;
    double weight = 0.0;  // probability per trial carried by the tail's Gaussian
    double mean = 0.0;
    double sigma = 0.0;
    size_t points = 0;    // values the fit used

    // The probability per trial of a value beyond x (above it for an upper
    // tail, below for a lower one).
    double Beyond(double x) const;
    // Where that probability falls to `probability`.
    double Where(double probability) const;
};

// Fits the outer quarter of the values' `side` tail; probabilities are
// counted per trial (a value is one trial's outcome, and trials >= the
// values' count).
TailFit FitGaussianTail(std::vector<double> values, double trials, TailSide side);

// The same fits, for many of them: fits of equally many values out of
// equally many trials (the levels at every phase of an eye's outline) try
// the same grid of weights, whose Q-scale positions a fitter works out once.
class TailFitter {
public:
    TailFit Fit(std::vector<double> values, double trials, TailSide side);

private:
    struct Grid {
        size_t count;
        double trials;
        std::vector<std::vector<double>> reaches;  // per weight of the grid, per rank
    };
    const std::vector<std::vector<double>>& GridReaches(size_t count, double trials, const std::vector<size_t>& ranks,
                                                        const std::vector<double>& weights);
    std::deque<Grid> m_grids;  // a deque: what GridReaches returned stays where it is
};

}  // namespace linksim

#endif
