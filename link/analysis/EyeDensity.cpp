#include "EyeDensity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "TwoThreads.h"

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

    size_t Columns() const { return columnShift.size(); }

    long RowOf(double value) const {
        const double position = (value - voltageLow) / span * double(rows);
        return long(std::min(std::max(position, 0.0), double(rows) - 1.0));
    }

    // The row of the trace in every column around one instant, -1 where the
    // trace does not reach.
    void TraceRows(double instant, std::vector<long>& rowOfColumn) const {
        const double last = double(samples.size() - 1);
        const size_t lastIndex = samples.size() - 2;
        for (size_t column = 0; column < Columns(); ++column) {
            const double position = (instant + columnShift[column] - traceStart) / sampleInterval;
            if (position < 0.0 || position > last) {
                rowOfColumn[column] = -1;
                continue;
            }
            // position is not negative here: the signed conversion is the
            // same, and the processor has it in one instruction.
            const size_t index = std::min(size_t(int64_t(position)), lastIndex);
            const double fraction = position - double(index);
            rowOfColumn[column] = RowOf(samples[index] + fraction * (samples[index + 1] - samples[index]));
        }
    }

    // Adds the instants to steps ((rows + 1) x columns): each cell the trace
    // passes in a column is counted as a step up where its run of cells
    // starts and one down after it ends, which the caller adds up along the
    // rows. Unsigned arithmetic wraps, so the sums come out exact.
    void Add(const double* instants, size_t count, std::vector<unsigned>& steps) const {
        const size_t columns = Columns();
        std::vector<long> rowOfColumn(columns);
        for (size_t i = 0; i < count; ++i) {
            TraceRows(instants[i], rowOfColumn);
            long previousRow = -1;
            for (size_t column = 0; column < columns; ++column) {
                const long row = rowOfColumn[column];
                if (row < 0) {
                    previousRow = -1;
                    continue;
                }
                // From next to the previous column's cell up to this one.
                long from = row;
                long to = row;
                if (previousRow >= 0) {
                    from = previousRow < row ? previousRow + 1 : row;
                    to = previousRow > row ? previousRow - 1 : row;
                }
                ++steps[size_t(from) * columns + column];
                --steps[size_t(to + 1) * columns + column];
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
    // thread of its own, into steps of its own.
    std::vector<unsigned> steps((rows + 1) * columns, 0);
    std::vector<unsigned> secondSteps(steps.size(), 0);
    const size_t half = instants.size() / 2;
    RunBeside(
        instants.size() >= kInstantsForTwoThreads,
        [&] { fold.Add(instants.data() + half, instants.size() - half, secondSteps); },
        [&] { fold.Add(instants.data(), half, steps); });
    for (size_t i = 0; i < steps.size(); ++i) steps[i] += secondSteps[i];
    std::vector<unsigned> running(columns, 0);
    for (size_t row = 0; row < rows; ++row) {
        for (size_t column = 0; column < columns; ++column) {
            running[column] += steps[row * columns + column];
            density.counts[row * columns + column] = running[column];
        }
    }
    for (unsigned count : density.counts) density.highest = std::max(density.highest, count);
    return density;
}

}  // namespace linksim
