// Read access to the generated response tables for the tests: a table as
// columns of samples with their time step, and the few measurements the
// tests make on a column (extremes, area, magnitude response).
#ifndef TESTS_TABLES_TABLE_VIEW_H
#define TESTS_TABLES_TABLE_VIEW_H

#include <cmath>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

struct TableView {
    std::string name;
    const double* data;
    std::size_t rows;
    std::size_t columns;
    double step;  // seconds between rows

    // Column c, 0-based.
    std::vector<double> Column(std::size_t c) const {
        return std::vector<double>(data + rows * c, data + rows * (c + 1));
    }
};

TableView C4Table();
TableView C1Table();
TableView SelectorDefaultTable();
TableView TransmitterTable();
// The CTLE banks, C4 then C1.
std::vector<TableView> EqualiserBanks();

inline std::size_t ArgMax(const std::vector<double>& v) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] > v[best]) best = i;
    }
    return best;
}

inline std::size_t ArgMin(const std::vector<double>& v) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] < v[best]) best = i;
    }
    return best;
}

inline double PeakMagnitude(const std::vector<double>& v) {
    double m = 0.0;
    for (double x : v) m = std::fmax(m, std::fabs(x));
    return m;
}

// Sum of the samples times the step: the response's low-frequency gain.
inline double Area(const std::vector<double>& v, double step) {
    double sum = 0.0;
    for (double x : v) sum += x;
    return sum * step;
}

// |H(f)| of the sampled impulse response (its discrete-time Fourier transform
// times the step), f in hertz.
inline double Magnitude(const std::vector<double>& v, double step, double f) {
    std::complex<double> sum = 0.0;
    const double pi = 3.14159265358979323846;
    const double w = -2.0 * pi * f * step;
    for (std::size_t k = 0; k < v.size(); ++k) {
        sum += v[k] * std::polar(1.0, w * static_cast<double>(k));
    }
    return std::abs(sum) * step;
}

#endif
