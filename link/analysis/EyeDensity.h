// The eye diagram as a density: the output waveform folded over two unit
// intervals around each sampling instant and counted in a grid of
// time-by-voltage cells.
#ifndef LINK_EYE_DENSITY_H
#define LINK_EYE_DENSITY_H

#include <cstddef>
#include <vector>

namespace linksim {

struct EyeDensity {
    size_t columns = 0;  // across -1 .. +1 unit interval around the instant
    size_t rows = 0;     // from voltageLow (row 0) to voltageHigh
    double voltageLow = 0.0;
    double voltageHigh = 0.0;
    std::vector<unsigned> counts;  // row-major, rows x columns
    unsigned highest = 0;

    unsigned At(size_t row, size_t column) const { return counts[row * columns + column]; }
};

// samples start at traceStart and follow each other by sampleInterval. The
// trace between two columns is filled in, so fast edges stay continuous.
EyeDensity FoldEye(const std::vector<double>& samples, double traceStart, double sampleInterval,
                   const std::vector<double>& instants, double unitInterval, size_t columns, size_t rows);

}  // namespace linksim

#endif
