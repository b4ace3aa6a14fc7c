// Margins at a target bit error rate, at the receiver's own sampling
// instants: a bathtub of the error rate against the sampling phase
// (counted where errors were seen, extrapolated below that by a dual-Dirac
// fit of each side of the edges' distribution), the timing margin and eye
// width it gives, the voltage margin from Gaussian fits of the two levels'
// tails, where the instants sit against the middle of the opening, and the
// opening's outline for the eye picture.
#ifndef LINK_ANALYSIS_MARGINS_H
#define LINK_ANALYSIS_MARGINS_H

#include <cstddef>
#include <string>
#include <vector>

#include "TailFit.h"

namespace linksim {

// The walls of one eye at a target rate, in unit intervals, from the
// threshold crossings of the edges around it. Phases are given against a
// reference inside the eye, both walls' crossings as one population: each
// crossing at phase p (0 .. 1) bounds the eye on the right at p and on the
// left at p - 1.
struct EyeWalls {
    TailFit early;  // the edges' early side: the right wall
    TailFit late;   // their late side, one unit interval back: the left wall
    double left = 0.0;
    double right = 0.0;
    // Dual-Dirac peak to peak. Where the two sides' means cross, the edges
    // are one Gaussian rather than two peaks: no deterministic jitter.
    double DualDiracSpanUi() const { return late.mean + 1.0 - early.mean; }
    bool Gaussian() const { return DualDiracSpanUi() < 0.0; }
    double DeterministicUi() const { return Gaussian() ? 0.0 : DualDiracSpanUi(); }
    double RandomRmsUi() const { return 0.5 * (early.sigma + late.sigma); }
    double Width() const { return right - left; }
    double Centre() const { return 0.5 * (left + right); }
    // Error rate of sampling at a phase, both walls together.
    double Ber(double phase) const { return late.Beyond(phase) + early.Beyond(phase); }
};
EyeWalls FitEyeWalls(const std::vector<double>& crossingPhases, double trials, double targetBer);

// The two levels at one phase, at a target rate.
struct LevelMargins {
    TailFit one;   // lower tail of the ones
    TailFit zero;  // upper tail of the zeros
    double oneAtBer = 0.0;
    double zeroAtBer = 0.0;
    double Opening() const { return oneAtBer - zeroAtBer; }
    double Margin(double threshold) const;
};
LevelMargins FitLevels(const std::vector<double>& ones, const std::vector<double>& zeros, double targetBer);
// The same, with a fitter shared by the fits of many phases.
LevelMargins FitLevels(const std::vector<double>& ones, const std::vector<double>& zeros, double targetBer,
                       TailFitter& fitter);

struct MarginInput {
    double unitInterval = 0.0;
    double threshold = 0.0;
    double targetBer = 1e-12;
    // The measured sampling instants, increasing, and the transmitted bit
    // each one decides (-1: not known).
    std::vector<double> instants;
    std::vector<int> instantBits;
    // The receiver's output from waveStart on, one value per sampleInterval.
    double waveStart = 0.0;
    double sampleInterval = 0.0;
    std::vector<float> wave;
    // Whether the phases may be counted and fitted on a second thread.
    bool twoThreads = true;
};

struct BathtubPoint {
    double phaseUi = 0.0;  // against the sampling instants
    size_t compared = 0;
    size_t errors = 0;
    double fittedBer = 0.0;
    // The bathtub as reported: never below what was counted there (its
    // lower 95 % bound), the fit only below that.
    double ber = 0.0;
    // Enough errors to stand as a measurement; below that the fit speaks.
    bool Counted() const { return errors >= 3; }
    double CountedBer() const { return compared ? double(errors) / double(compared) : 0.0; }
    // The count shows a rate above the target beyond statistical doubt.
    bool Fails(double targetBer) const;
};

// The fits of the edges are used only when they agree with the counts:
// within this factor wherever at least this many errors were counted.
const double kFitAgreementFactor = 10.0;
const size_t kFitCheckErrors = 10;

struct OutlinePoint {
    double phaseUi = 0.0;
    double upperV = 0.0;  // the ones' level at the target rate
    double lowerV = 0.0;  // the zeros'
};

// The opening of the eye at one error rate, across the phases where the
// bathtub is at or below it.
struct Contour {
    double ber = 0.0;
    std::vector<OutlinePoint> points;
};
// The rates a run draws contours at, beside its target.
const double kContourRates[] = {1e-6, 1e-9, 1e-12, 1e-15};

struct MarginReport {
    bool known = false;
    std::string why;  // when not known
    double targetBer = 0.0;
    size_t bitsCompared = 0;
    // Bits that would show the target rate directly (three errors' worth).
    double bitsForDirect = 0.0;
    bool Extrapolated() const { return double(bitsCompared) < bitsForDirect; }

    EyeWalls walls;         // the fits, phases against the sampling instants
    // The fits agree with the counts, and give the walls; otherwise the
    // walls are the counted phases that meet the target (fitsWhy says why).
    bool fitsUsed = false;
    std::string fitsWhy;
    double left = 0.0;   // the opening at the target rate, as reported
    double right = 0.0;
    double timingMarginUi = 0.0;
    double eyeWidthAtBerUi = 0.0;  // 0 when shut
    // Timing and voltage margins both positive.
    bool open = false;
    double samplingOffsetUi = 0.0;  // the instant minus the opening's centre
    LevelMargins levels;            // at the sampling instants, within the values seen
    double voltageMarginV = 0.0;
    // At the target rate the ones' and zeros' levels at the instants overlap.
    bool levelsOverlap = false;

    // The errors at the instants themselves, and the counts that diagnose a
    // misplaced clock: the quietest phase at least kAwayFromInstantUi from
    // the instants, and whether every phase of the unit interval fails.
    BathtubPoint atInstant;
    bool instantFails = false;
    BathtubPoint quietestAway;
    bool everyPhaseFails = false;

    std::vector<BathtubPoint> bathtub;  // a unit interval around the opening's centre, and the instants
    std::vector<OutlinePoint> outline;  // across the opening
    std::vector<Contour> contours;      // at kContourRates and the target, rising rate first
};

const double kAwayFromInstantUi = 0.25;

MarginReport MeasureMargins(const MarginInput& input);

}  // namespace linksim

#endif
