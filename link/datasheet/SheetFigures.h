// The figures the data sheet gives of a tabulated impulse response: its
// frequency response at chosen frequencies (the sum over the samples, which
// is exact for the table as tabulated, at any resolution), the DC gain, and
// the boost at 5 GHz, the Nyquist frequency of the kit's 10 Gb/s: how far
// |H| there stands above |H| at DC.
#ifndef LINK_DATASHEET_SHEET_FIGURES_H
#define LINK_DATASHEET_SHEET_FIGURES_H

#include <vector>

#include "KitTables.h"

namespace kitsheet {

constexpr double kBoostHertz = 5e9;
constexpr double kUnitInterval = 100e-12;  // the bit time the tables are designed for

// 0 to `highest` hertz in steps of `step`, both ends included.
std::vector<double> FrequencyGrid(double highest, double step);

// 20 log10 |H(f)| at each frequency.
std::vector<double> MagnitudeDb(const TabulatedResponse& response, const std::vector<double>& hertz);

struct GainFigures {
    double dcGainDb = 0.0;
    double boostDb = 0.0;  // |H(5 GHz)| over |H(0)|, in dB
};

GainFigures GainFiguresOf(const TabulatedResponse& response);

}  // namespace kitsheet

#endif
