#include "SheetFigures.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace kitsheet {

namespace {

const double kPi = 3.14159265358979323846;

double MagnitudeDbAt(const TabulatedResponse& response, double hertz) {
    // The phasor advances by one sample's rotation at a time; over the
    // tables' few hundred samples its rounding stays far below what a
    // picture or a printed figure shows.
    const double angle = -2.0 * kPi * hertz * response.sampleInterval;
    const std::complex<double> rotation(std::cos(angle), std::sin(angle));
    std::complex<double> phasor(1.0, 0.0);
    std::complex<double> sum(0.0, 0.0);
    for (double value : response.impulse) {
        sum += value * phasor;
        phasor *= rotation;
    }
    return 20.0 * std::log10(std::max(std::abs(sum) * response.sampleInterval, 1e-30));
}

}  // namespace

std::vector<double> FrequencyGrid(double highest, double step) {
    std::vector<double> hertz;
    const size_t count = size_t(std::lround(highest / step)) + 1;
    for (size_t k = 0; k < count; ++k) hertz.push_back(double(k) * step);
    return hertz;
}

std::vector<double> MagnitudeDb(const TabulatedResponse& response, const std::vector<double>& hertz) {
    std::vector<double> db;
    db.reserve(hertz.size());
    for (double f : hertz) db.push_back(MagnitudeDbAt(response, f));
    return db;
}

GainFigures GainFiguresOf(const TabulatedResponse& response) {
    GainFigures figures;
    figures.dcGainDb = MagnitudeDbAt(response, 0.0);
    figures.boostDb = MagnitudeDbAt(response, kBoostHertz) - figures.dcGainDb;
    return figures;
}

}  // namespace kitsheet
