// What the transmitter library must do for a simulator, written once over
// the two entry points, so that the same checks run on the Linux library
// (through dlopen, under GoogleTest) and on the Windows DLL (through
// LoadLibrary, under wine, in a plain program).
//
// The expected taps are computed here from the response table itself, with
// a four-point Lagrange cubic on the simulation's grid: independent of the
// spline code the library resamples with.
#ifndef TESTS_SUPPORT_TX_SHAPING_CHECKS_H
#define TESTS_SUPPORT_TX_SHAPING_CHECKS_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "AmiFunctions.h"
#include "Orvex_TX_AMI_01142014_Tables.h"

namespace TxShaping {

struct Library {
    AmiInitFunction init;
    AmiCloseFunction close;
};

// Collects the failures of one check.
class Log {
public:
    virtual ~Log() {}
    virtual void Fail(const std::string& text) = 0;
};

#define TX_SHAPING_EXPECT(log, condition, what)                               \
    do {                                                                      \
        if (!(condition)) {                                                   \
            std::ostringstream tx_shaping_text;                               \
            tx_shaping_text << __FILE__ << ":" << __LINE__ << ": " << #condition \
                            << " failed: " << what;                           \
            (log).Fail(tx_shaping_text.str());                                \
        }                                                                     \
    } while (false)

const int kRows = 751;
const double kUnitInterval = 1e-10;
const char kModelPrefix[] = "The IBIS-AMI model, Orvex_TX_AMI_01142014, ";

inline const double* Column(size_t column) { return Orvex_TX_AMI_01142014_Response_Matrix + kRows * column; }

// Taps of a table column resampled at sampleRate: the table's value where a
// tap falls on a time stamp, else the cubic through the time stamp before
// the tap and the three after it (the first or last four at the ends).
inline std::vector<double> ReferenceTaps(size_t column, double sampleRate) {
    const double* time = Orvex_TX_AMI_01142014_Time_Stamps;
    const double* value = Column(column);
    const int count = static_cast<int>(sampleRate * (time[kRows - 1] - time[0])) + 1;
    std::vector<double> taps(static_cast<size_t>(count));
    int j = 0;
    for (int k = 0; k < count; ++k) {
        const double t = k / sampleRate;
        while (j < kRows - 1 && time[j] < t) ++j;
        double tap;
        if (time[j] == t) {
            tap = value[j];
        } else {
            const int first = std::min(std::max(j - 1, 0), kRows - 4);
            tap = 0.0;
            for (int a = first; a < first + 4; ++a) {
                double weight = 1.0;
                for (int b = first; b < first + 4; ++b) {
                    if (b != a) weight *= (t - time[b]) / (time[a] - time[b]);
                }
                tap += weight * value[a];
            }
        }
        taps[static_cast<size_t>(k)] = tap / sampleRate;
    }
    return taps;
}

// What one AMI_Init call did; the instance is closed again.
struct Outcome {
    long result = -1;
    std::string message;
    bool handleStored = false;
    bool msgLeftAlone = false;
    long closeResult = -1;
};

inline Outcome Init(const Library& library, double* matrix, long rowSize, long aggressors, double sampleInterval,
                    double bitTime, const std::string& parameters) {
    Outcome outcome;
    std::vector<char> text(parameters.begin(), parameters.end());
    text.push_back('\0');
    char callers[] = "caller";
    char* msg = callers;
    void* handle = nullptr;
    outcome.result =
        library.init(matrix, rowSize, aggressors, sampleInterval, bitTime, text.data(), nullptr, &handle, &msg);
    outcome.handleStored = handle != nullptr;
    outcome.msgLeftAlone = msg == callers;
    if (!outcome.msgLeftAlone && msg != nullptr) outcome.message = msg;
    outcome.closeResult = library.close(handle);
    return outcome;
}

inline std::string Settings(double de, double vod, double gain, double range) {
    std::ostringstream text;
    text.precision(17);
    text << "(Orvex_TX_AMI_01142014 (DE " << de << ") (VOD " << vod << ") (gain " << gain << ") (DE_range " << range
         << "))";
    return text.str();
}

inline std::vector<double> UnitSample(size_t length) {
    std::vector<double> column(length, 0.0);
    column[0] = 1.0;
    return column;
}

// The first row_size samples against gain x taps and zeros after the last
// tap, errors measured relative to the largest tap.
inline void ExpectTaps(Log& log, const std::vector<double>& output, const std::vector<double>& taps, double gain,
                       const std::string& what) {
    double peak = 0.0;
    for (double tap : taps) peak = std::fmax(peak, std::fabs(gain * tap));
    double worst = 0.0;
    size_t worstAt = 0;
    for (size_t k = 0; k < output.size(); ++k) {
        const double expected = k < taps.size() ? gain * taps[k] : 0.0;
        const double error = std::fabs(output[k] - expected);
        if (!(error <= worst)) {
            worst = error;
            worstAt = k;
        }
    }
    TX_SHAPING_EXPECT(log, worst <= 1e-12 * peak,
                      what << ": sample " << worstAt << " is off by " << worst / peak << " of the peak tap");
}

inline void CheckDefaultsSelectTheLastColumnOnTheTablesGrid(const Library& library, Log& log) {
    // 2 ps samples, 50 per unit interval: the taps fall on the time stamps
    // and are the table's values divided by the sample rate.
    const double rate = 50 / kUnitInterval;
    std::vector<double> taps(Column(127), Column(127) + kRows);
    for (double& tap : taps) tap /= rate;
    for (const char* parameters : {"", "(Orvex_TX_AMI_01142014 (gain 2.5))"}) {
        const double gain = parameters[0] == '\0' ? 1.0 : 2.5;
        std::vector<double> matrix = UnitSample(kRows + 30);
        const Outcome outcome = Init(library, matrix.data(), static_cast<long>(matrix.size()), 0,
                                     kUnitInterval / 50, kUnitInterval, parameters);
        TX_SHAPING_EXPECT(log, outcome.result == 1, outcome.message);
        ExpectTaps(log, matrix, taps, gain, std::string("defaults with \"") + parameters + "\"");
    }
}

inline void CheckDefaultGridMatchesAnIndependentCubic(const Library& library, Log& log) {
    // 32 samples per unit interval: 481 taps between the time stamps.
    const std::vector<double> taps = ReferenceTaps(127, 32 / kUnitInterval);
    TX_SHAPING_EXPECT(log, taps.size() == 481u, taps.size());
    std::vector<double> matrix = UnitSample(500);
    const Outcome outcome =
        Init(library, matrix.data(), 500, 0, kUnitInterval / 32, kUnitInterval, Settings(7, 7, 1, 1));
    TX_SHAPING_EXPECT(log, outcome.result == 1 && outcome.msgLeftAlone, outcome.message);
    ExpectTaps(log, matrix, taps, 1.0, "32 samples per bit");
}

inline void CheckSettingsChooseTheirColumn(const Library& library, Log& log) {
    const struct {
        double de, vod, range;
        size_t column;
    } cases[] = {
        {0, 0, 0, 0},     {3, 5, 0, 29},  {7, 7, 0, 63}, {2, 6, 1, 86},
        {0, 0, 0.5, 32},  {0, 0, 2, 0},   {9, 0, 1, 0},  {2.9, 1, 0, 17},  // DE truncated to 2
        {0, -4, 0, 0},
    };
    const double rate = 50 / kUnitInterval;
    for (const auto& c : cases) {
        std::vector<double> matrix = UnitSample(kRows + 5);
        const Outcome outcome = Init(library, matrix.data(), static_cast<long>(matrix.size()), 0,
                                     kUnitInterval / 50, kUnitInterval, Settings(c.de, c.vod, 0.75, c.range));
        TX_SHAPING_EXPECT(log, outcome.result == 1 && outcome.msgLeftAlone, outcome.message);
        std::ostringstream what;
        what << "DE " << c.de << " VOD " << c.vod << " DE_range " << c.range << " -> column " << c.column;
        ExpectTaps(log, matrix, ReferenceTaps(c.column, rate), 0.75, what.str());
    }
}

// Three columns: an impulse, the same impulse 5 samples later, and twice
// it. Each is shaped from an empty history, so the results are the first
// column's, delayed or doubled, to the bit.
inline void CheckAggressorsAreShapedAlike(const Library& library, Log& log) {
    const long rows = 600;
    std::vector<double> matrix(3 * rows, 0.0);
    matrix[0] = 1.0;
    matrix[rows + 5] = 1.0;
    matrix[2 * rows] = 2.0;
    const Outcome outcome =
        Init(library, matrix.data(), rows, 2, kUnitInterval / 32, kUnitInterval, Settings(4, 2, 1, 0));
    TX_SHAPING_EXPECT(log, outcome.result == 1, outcome.message);
    bool delayed = true, doubled = true;
    for (long i = 0; i < rows; ++i) {
        delayed = delayed && matrix[rows + i] == (i < 5 ? 0.0 : matrix[i - 5]);
        doubled = doubled && matrix[2 * rows + i] == 2.0 * matrix[i];
    }
    TX_SHAPING_EXPECT(log, delayed, "the delayed aggressor");
    TX_SHAPING_EXPECT(log, doubled, "the doubled aggressor");
    TX_SHAPING_EXPECT(log, matrix[0] != 0.0 && matrix[100] != 0.0, "the through column was shaped");
}

inline std::string UnreadText(const char* name) {
    return std::string(kModelPrefix) + "is unable to initialize the parameter " + name +
           " from the AMI_Init arguments.  The model will use the default setting. ";
}

inline void CheckMissingSettingsAreReportedInOrder(const Library& library, Log& log) {
    std::vector<double> matrix(32, 0.0);
    const Outcome empty = Init(library, matrix.data(), 32, 0, kUnitInterval / 32, kUnitInterval, "");
    TX_SHAPING_EXPECT(log, empty.result == 1, empty.result);
    TX_SHAPING_EXPECT(log, empty.message == UnreadText("DE") + UnreadText("VOD") + UnreadText("gain") +
                                                UnreadText("DE_range"),
                      empty.message);
    const Outcome partial = Init(library, matrix.data(), 32, 0, kUnitInterval / 32, kUnitInterval,
                                 "(Orvex_TX_AMI_01142014 (VOD 3) (DE strong) (gain 1.0))");
    TX_SHAPING_EXPECT(log, partial.result == 1, partial.result);
    TX_SHAPING_EXPECT(log, partial.message == UnreadText("DE") + UnreadText("DE_range"), partial.message);
}

inline void CheckNoColumnsOrEmptyColumnsLeaveTheMatrix(const Library& library, Log& log) {
    const std::vector<double> original = {1, 2, 3, 4, 5, 6};
    for (const long aggressors : {-1L, -5L}) {
        std::vector<double> matrix = original;
        const Outcome outcome =
            Init(library, matrix.data(), 3, aggressors, kUnitInterval / 32, kUnitInterval, Settings(1, 1, 1, 1));
        TX_SHAPING_EXPECT(log, outcome.result == 1 && matrix == original, "aggressors " << aggressors);
    }
    std::vector<double> matrix = original;
    const Outcome outcome =
        Init(library, matrix.data(), 0, 2, kUnitInterval / 32, kUnitInterval, Settings(1, 1, 1, 1));
    TX_SHAPING_EXPECT(log, outcome.result == 1 && matrix == original, "row_size 0");
}

// The sample rate is samples per bit over the bit time, samples per bit the
// rounded ratio of the bit time to the sample interval.
inline void CheckBitTimeRatios(const Library& library, Log& log) {
    const double interval = kUnitInterval / 32;
    const struct {
        double ratio;
        int samplesPerBit;
    } cases[] = {{31.6, 32}, {31.4, 31}};
    for (const auto& c : cases) {
        const double bitTime = c.ratio * interval;
        std::vector<double> matrix = UnitSample(520);
        const Outcome outcome = Init(library, matrix.data(), 520, 0, interval, bitTime, Settings(7, 7, 1, 1));
        TX_SHAPING_EXPECT(log, outcome.result == 1, outcome.message);
        std::ostringstream what;
        what << "bit time of " << c.ratio << " sample intervals";
        ExpectTaps(log, matrix, ReferenceTaps(127, c.samplesPerBit / bitTime), 1.0, what.str());
    }
    const std::vector<double> original = {1, 2, 3, 4};
    std::vector<double> matrix = original;
    const Outcome none = Init(library, matrix.data(), 2, 1, interval, 0.4 * interval, Settings(7, 7, 1, 1));
    TX_SHAPING_EXPECT(log, none.result == 0, none.result);
    TX_SHAPING_EXPECT(log, none.message == "Error occurred in Orvex_TX_AMI_01142014::Setup(). ", none.message);
    TX_SHAPING_EXPECT(log, matrix == original, "0 samples per bit leaves the matrix");
}

// Arguments that cannot describe a matrix or a sample grid are refused
// before anything is touched; the instance is stored all the same.
inline void CheckUnusableArgumentsAreRefused(const Library& library, Log& log) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double interval = kUnitInterval / 32;
    const struct {
        const char* what;
        bool noMatrix;
        long rowSize, aggressors;
        double sampleInterval, bitTime;
    } cases[] = {
        {"a negative row_size", false, -3, 0, interval, kUnitInterval},
        {"no matrix", true, 4, 0, interval, kUnitInterval},
        {"a sample interval that is not a number", false, 2, 0, nan, kUnitInterval},
        {"an infinite bit time", false, 2, 0, interval, inf},
        {"a zero sample interval", false, 2, 0, 0.0, kUnitInterval},
        {"a negative bit time", false, 2, 0, interval, -kUnitInterval},
        {"more columns than can be addressed", false, 2, LONG_MAX, interval, kUnitInterval},
    };
    // Where long is narrower than a pointer (64-bit Windows), every matrix a
    // row_size and aggressors describe can be addressed: the last case then
    // describes a matrix of 32 GiB that the library must take on trust.
    const bool columnsCanOverflow =
        static_cast<uintmax_t>(LONG_MAX) + 1 > static_cast<uintmax_t>(PTRDIFF_MAX) / sizeof(double) / 2;
    for (const auto& c : cases) {
        if (c.aggressors == LONG_MAX && !columnsCanOverflow) continue;
        const std::vector<double> original = {1, 2, 3, 4};
        std::vector<double> matrix = original;
        const Outcome outcome = Init(library, c.noMatrix ? nullptr : matrix.data(), c.rowSize, c.aggressors,
                                     c.sampleInterval, c.bitTime, Settings(7, 7, 1, 1));
        TX_SHAPING_EXPECT(log, outcome.result == 0, c.what);
        TX_SHAPING_EXPECT(log, outcome.message.compare(0, sizeof kModelPrefix - 1, kModelPrefix) == 0,
                          c.what << ": " << outcome.message);
        TX_SHAPING_EXPECT(log, outcome.handleStored && outcome.closeResult == 1, c.what);
        TX_SHAPING_EXPECT(log, matrix == original, c.what);
    }
}

// A sample that is not a number spoils the outputs its taps reach, and
// only those.
inline void CheckNotANumberSamplesPassThrough(const Library& library, Log& log) {
    std::vector<double> matrix(1000, 0.5);
    matrix[5] = std::numeric_limits<double>::quiet_NaN();
    const Outcome outcome =
        Init(library, matrix.data(), 1000, 0, kUnitInterval / 32, kUnitInterval, Settings(7, 7, 1, 1));
    TX_SHAPING_EXPECT(log, outcome.result == 1, outcome.message);
    size_t spoiled = 0;
    bool inPlace = true;
    for (size_t i = 0; i < matrix.size(); ++i) {
        const bool reached = i >= 5 && i < 5 + 481;
        spoiled += std::isnan(matrix[i]) ? 1 : 0;
        inPlace = inPlace && std::isnan(matrix[i]) == reached;
    }
    TX_SHAPING_EXPECT(log, inPlace, spoiled << " outputs are not a number");
}

// A fixed workload whose every output bit both builds of the library must
// agree on: channel-like columns shaped at two grids and two settings, the
// results and the return codes one after the other.
inline std::vector<double> SharedWorkload(const Library& library) {
    std::vector<double> results;
    const struct {
        double bitTime;
        const char* settings;
    } runs[] = {
        {kUnitInterval, "(Orvex_TX_AMI_01142014 (DE 7) (VOD 7) (gain 1.0) (DE_range 1))"},
        {31.4 * kUnitInterval / 32, "(Orvex_TX_AMI_01142014 (DE 2) (VOD 5) (gain 0.8) (DE_range 0))"},
    };
    for (const auto& run : runs) {
        const long rows = 1500;
        std::vector<double> matrix(3 * rows);
        // Arithmetic only: the two C runtimes' exp and cos need not agree
        // to the last bit.
        for (size_t i = 0; i < matrix.size(); ++i) {
            const double t = static_cast<double>(i % rows) / 32.0;
            const double width = 2.0 + static_cast<double>(i / rows);
            matrix[i] = t * (3.0 - t) / (1.0 + t * t * t / (width * width));
        }
        const Outcome outcome =
            Init(library, matrix.data(), rows, 2, kUnitInterval / 32, run.bitTime, run.settings);
        results.insert(results.end(), matrix.begin(), matrix.end());
        results.push_back(static_cast<double>(outcome.result));
    }
    return results;
}

struct Check {
    const char* name;
    void (*run)(const Library&, Log&);
};

const Check kChecks[] = {
    {"DefaultsSelectTheLastColumnOnTheTablesGrid", CheckDefaultsSelectTheLastColumnOnTheTablesGrid},
    {"DefaultGridMatchesAnIndependentCubic", CheckDefaultGridMatchesAnIndependentCubic},
    {"SettingsChooseTheirColumn", CheckSettingsChooseTheirColumn},
    {"AggressorsAreShapedAlike", CheckAggressorsAreShapedAlike},
    {"MissingSettingsAreReportedInOrder", CheckMissingSettingsAreReportedInOrder},
    {"NoColumnsOrEmptyColumnsLeaveTheMatrix", CheckNoColumnsOrEmptyColumnsLeaveTheMatrix},
    {"BitTimeRatios", CheckBitTimeRatios},
    {"UnusableArgumentsAreRefused", CheckUnusableArgumentsAreRefused},
    {"NotANumberSamplesPassThrough", CheckNotANumberSamplesPassThrough},
};

}  // namespace TxShaping

#endif
