#include "EyeDensity.h"

#include <algorithm>
#include <cmath>
#include <thread>

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

namespace {

// What folding one instant needs: the trace, and for each column its time
// from the instant.
struct Fold {
    const std::vector<double>& samples;
    double traceStart;
    double sampleInterval;
    std::vector<double> columnShift;  // offset * unitInterval
    size_t rows;
    double voltageLow;
    double span;

    long RowOf(double value) const {
        const double position = (value - voltageLow) / span * double(rows);
        return long(std::min(std::max(position, 0.0), double(rows) - 1.0));
    }

    // Adds the instants to counts (rows x columns).
    void Add(const double* instants, size_t count, std::vector<unsigned>& counts) const {
        const size_t columns = columnShift.size();
        const double last = double(samples.size() - 1);
        for (size_t i = 0; i < count; ++i) {
            long previousRow = -1;
            for (size_t column = 0; column < columns; ++column) {
                const double position = (instants[i] + columnShift[column] - traceStart) / sampleInterval;
                if (position < 0.0 || position > last) {
                    previousRow = -1;
                    continue;
                }
                const size_t index = std::min(size_t(position), samples.size() - 2);
                const double fraction = position - double(index);
                const double value = samples[index] + fraction * (samples[index + 1] - samples[index]);
                const long row = RowOf(value);
                // Fill from next to the previous column's cell up to this one.
                long from = row;
                long to = row;
                if (previousRow >= 0 && previousRow != row) {
                    from = previousRow < row ? previousRow + 1 : row;
                    to = previousRow < row ? row : previousRow - 1;
                }
                for (long r = from; r <= to; ++r) {
                    ++counts[size_t(r) * columns + column];
                }
                previousRow = row;
            }
        }
    }
};

// Below this many instants a second thread costs more than it saves.
const size_t kInstantsForTwoThreads = 2048;

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
    Fold fold{samples, traceStart, sampleInterval, std::vector<double>(columns), rows, density.voltageLow,
              density.voltageHigh - density.voltageLow};
    for (size_t column = 0; column < columns; ++column) {
        const double offset = -1.0 + 2.0 * (double(column) + 0.5) / double(columns);
        fold.columnShift[column] = offset * unitInterval;
    }
    // Counts add up in any order: the second half of the instants goes to a
    // thread of its own, into a grid of its own.
    if (instants.size() >= kInstantsForTwoThreads) {
        const size_t half = instants.size() / 2;
        std::vector<unsigned> secondCounts(density.counts.size(), 0);
        std::thread second([&] { fold.Add(instants.data() + half, instants.size() - half, secondCounts); });
        fold.Add(instants.data(), half, density.counts);
        second.join();
        for (size_t i = 0; i < density.counts.size(); ++i) density.counts[i] += secondCounts[i];
    } else {
        fold.Add(instants.data(), instants.size(), density.counts);
    }
    for (unsigned count : density.counts) density.highest = std::max(density.highest, count);
    return density;
}

}  // namespace linksim
