#include "EyeDensity.h"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

// The voltage span drawn: the samples' range with a margin around it.
void ChooseRange(const std::vector<double>& samples, EyeDensity& density) {
    double low = samples.empty() ? -0.5 : samples[0];
    double high = low;
    for (double value : samples) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    double margin = 0.1 * (high - low);
    if (margin <= 0.0) margin = std::max(0.05, 0.1 * std::fabs(high));
    density.voltageLow = low - margin;
    density.voltageHigh = high + margin;
}

}  // namespace

EyeDensity FoldEye(const std::vector<double>& samples, double traceStart, double sampleInterval,
                   const std::vector<double>& instants, double unitInterval, size_t columns, size_t rows) {
    EyeDensity density;
    density.columns = columns;
    density.rows = rows;
    density.counts.assign(columns * rows, 0);
    ChooseRange(samples, density);
    if (samples.size() < 2 || columns == 0 || rows == 0) {
        return density;
    }
    const double span = density.voltageHigh - density.voltageLow;
    const double last = double(samples.size() - 1);
    auto rowOf = [&](double value) {
        const double position = (value - density.voltageLow) / span * double(rows);
        return long(std::min(std::max(position, 0.0), double(rows) - 1.0));
    };
    for (double instant : instants) {
        long previousRow = -1;
        for (size_t column = 0; column < columns; ++column) {
            const double offset = -1.0 + 2.0 * (double(column) + 0.5) / double(columns);
            const double position = (instant + offset * unitInterval - traceStart) / sampleInterval;
            if (position < 0.0 || position > last) {
                previousRow = -1;
                continue;
            }
            const size_t index = std::min(size_t(position), samples.size() - 2);
            const double fraction = position - double(index);
            const double value = samples[index] + fraction * (samples[index + 1] - samples[index]);
            const long row = rowOf(value);
            // Fill from next to the previous column's cell up to this one.
            long from = row;
            long to = row;
            if (previousRow >= 0 && previousRow != row) {
                from = previousRow < row ? previousRow + 1 : row;
                to = previousRow < row ? row : previousRow - 1;
            }
            for (long r = from; r <= to; ++r) {
                unsigned& cell = density.counts[size_t(r) * columns + column];
                density.highest = std::max(density.highest, ++cell);
            }
            previousRow = row;
        }
    }
    return density;
}

}  // namespace linksim
