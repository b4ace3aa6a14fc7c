#include "Margins.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "CountedRate.h"
#include "TwoThreads.h"

namespace linksim {

namespace {

// Phases per unit interval where errors are counted and the outline drawn.
const int kPhasesPerUi = 64;
// The outline is drawn at every this many of those phases.
const int kOutlineStride = 2;

double Wrap01(double value) { return value - std::floor(value); }

// The output at a position counted in samples, linearly between them; the
// position must lie on the output.
double Interpolated(const MarginInput& input, double position) {
    const size_t index = size_t(position);
    const double fraction = position - double(index);
    return double(input.wave[index]) + fraction * double(input.wave[index + 1] - input.wave[index]);
}

double PositionOf(const MarginInput& input, double time) { return (time - input.waveStart) / input.sampleInterval; }

bool OnTheOutput(const MarginInput& input, double position) {
    return position >= 0.0 && position + 1.0 < double(input.wave.size());
}

// The output at a time, linearly between its samples; false outside it.
bool ValueAt(const MarginInput& input, double time, double& value) {
    const double position = PositionOf(input, time);
    if (!OnTheOutput(input, position)) return false;
    value = Interpolated(input, position);
    return true;
}

// Threshold crossings as phases within the unit interval after the instant
// before them (0 .. 1).
std::vector<double> CrossingPhases(const MarginInput& input) {
    std::vector<double> phases;
    size_t instant = 0;
    for (size_t k = 1; k < input.wave.size(); ++k) {
        const double before = double(input.wave[k - 1]) - input.threshold;
        const double after = double(input.wave[k]) - input.threshold;
        if ((before > 0.0) == (after > 0.0)) continue;
        const double time = input.waveStart + input.sampleInterval * (double(k - 1) + before / (before - after));
        while (instant + 1 < input.instants.size() && input.instants[instant + 1] <= time) ++instant;
        if (instant + 1 >= input.instants.size() || time < input.instants[instant]) continue;
        const double period = input.instants[instant + 1] - input.instants[instant];
        phases.push_back((time - input.instants[instant]) / period);
    }
    return phases;
}

struct PhaseSamples {
    std::vector<double> ones;
    std::vector<double> zeros;
};

// The output at each of `phases`, split by the bit, in instant order; one
// pass over the instants serves all of them (see CountAtPhases).
std::vector<PhaseSamples> SampleAtPhases(const MarginInput& input, const std::vector<double>& phases) {
    std::vector<PhaseSamples> samples(phases.size());
    for (PhaseSamples& atPhase : samples) {
        atPhase.ones.reserve(input.instants.size() / 2 + 1);
        atPhase.zeros.reserve(input.instants.size() / 2 + 1);
    }
    for (size_t i = 0; i < input.instants.size(); ++i) {
        const int bit = input.instantBits[i];
        if (bit < 0) continue;
        for (size_t p = 0; p < phases.size(); ++p) {
            double value = 0.0;
            if (!ValueAt(input, input.instants[i] + phases[p] * input.unitInterval, value)) continue;
            (bit ? samples[p].ones : samples[p].zeros).push_back(value);
        }
    }
    return samples;
}

// The bits compared at each of `phases` (increasing), and the errors among
// them, in one pass over the instants: the output around an instant is
// read once for every phase, where a pass per phase would stream the whole
// output from memory once per phase. Each half of the instants is counted
// on a thread of its own; counts add up the same either way.
std::vector<BathtubPoint> CountAtPhases(const MarginInput& input, const std::vector<double>& phases) {
    struct Counts {
        std::vector<size_t> compared, errors;
    } halves[2];
    std::vector<double> offsets(phases.size());  // after an instant, in seconds
    for (size_t p = 0; p < phases.size(); ++p) offsets[p] = phases[p] * input.unitInterval;
    const size_t instants = input.instants.size();
    ForEachOnTwoThreads(input.twoThreads, 2, [&](size_t half) {
        Counts& counts = halves[half];
        counts.compared.assign(phases.size(), 0);
        counts.errors.assign(phases.size(), 0);
        const double threshold = input.threshold;
        size_t whole = 0;  // instants with every phase on the output
        for (size_t i = instants * half / 2; i < instants * (half + 1) / 2 && !offsets.empty(); ++i) {
            const int bit = input.instantBits[i];
            if (bit < 0) continue;
            const double instant = input.instants[i];
            // Positions grow with the phase, rounding included: when the
            // first and the last lie on the output, all do.
            if (OnTheOutput(input, PositionOf(input, instant + offsets.front())) &&
                OnTheOutput(input, PositionOf(input, instant + offsets.back()))) {
                ++whole;
                for (size_t p = 0; p < offsets.size(); ++p) {
                    const double value = Interpolated(input, PositionOf(input, instant + offsets[p]));
                    counts.errors[p] += (bit ? !(value > threshold) : value > threshold) ? 1 : 0;
                }
                continue;
            }
            for (size_t p = 0; p < offsets.size(); ++p) {
                double value = 0.0;
                if (!ValueAt(input, instant + offsets[p], value)) continue;
                ++counts.compared[p];
                counts.errors[p] += (bit ? !(value > threshold) : value > threshold) ? 1 : 0;
            }
        }
        for (size_t& compared : counts.compared) compared += whole;
    });
    std::vector<BathtubPoint> counted(phases.size());
    for (size_t p = 0; p < phases.size(); ++p) {
        counted[p].phaseUi = phases[p];
        counted[p].compared = halves[0].compared[p] + halves[1].compared[p];
        counted[p].errors = halves[0].errors[p] + halves[1].errors[p];
    }
    return counted;
}

}  // namespace

EyeWalls FitEyeWalls(const std::vector<double>& crossingPhases, double trials, double targetBer) {
    EyeWalls walls;
    walls.early = FitGaussianTail(crossingPhases, trials, TailSide::Lower);
    std::vector<double> shifted(crossingPhases);
    for (double& phase : shifted) phase -= 1.0;
    walls.late = FitGaussianTail(shifted, trials, TailSide::Upper);
    walls.left = walls.late.Where(targetBer);
    walls.right = walls.early.Where(targetBer);
    return walls;
}

double LevelMargins::Margin(double threshold) const { return std::min(oneAtBer - threshold, threshold - zeroAtBer); }

LevelMargins FitLevels(const std::vector<double>& ones, const std::vector<double>& zeros, double targetBer) {
    TailFitter fitter;
    return FitLevels(ones, zeros, targetBer, fitter);
}

LevelMargins FitLevels(const std::vector<double>& ones, const std::vector<double>& zeros, double targetBer,
                       TailFitter& fitter) {
    LevelMargins levels;
    const double trials = double(ones.size() + zeros.size());
    levels.one = fitter.Fit(ones, trials, TailSide::Lower);
    levels.zero = fitter.Fit(zeros, trials, TailSide::Upper);
    levels.oneAtBer = levels.one.Where(targetBer);
    levels.zeroAtBer = levels.zero.Where(targetBer);
    return levels;
}

bool BathtubPoint::Fails(double targetBer) const { return CountedAbove(errors, compared, targetBer); }

namespace {

// Whether the fitted bathtub agrees with the counts: its left wall left of
// its right wall, and within kFitAgreementFactor of the counted rate
// wherever kFitCheckErrors errors or more were counted. Empty when it does.
std::string FitDisagreement(const EyeWalls& walls, const std::vector<BathtubPoint>& bathtub) {
    if (!walls.early.fitted || !walls.late.fitted) return "too few crossing times to fit the edges' tails";
    if (!(walls.late.mean < walls.early.mean)) return "the fitted left wall lies right of the fitted right wall";
    for (const BathtubPoint& point : bathtub) {
        if (point.errors < kFitCheckErrors) continue;
        const double counted = point.CountedBer();
        if (!(point.fittedBer * kFitAgreementFactor >= counted && point.fittedBer <= counted * kFitAgreementFactor)) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "the fitted bathtub gives %.2g at %+.3f UI where %.2g was counted (%zu errors)",
                          point.fittedBer, point.phaseUi, counted, point.errors);
            return text;
        }
    }
    return "";
}

// The stretch of bathtub points meeting the target that holds `phase`, or
// the widest one when `phase` fails; false when every point fails.
bool PassingStretch(const std::vector<BathtubPoint>& bathtub, double targetBer, double phase, size_t& first,
                    size_t& last) {
    size_t bestFirst = 0, bestLast = 0, bestLength = 0;
    for (size_t i = 0; i < bathtub.size();) {
        if (bathtub[i].Fails(targetBer)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < bathtub.size() && !bathtub[j + 1].Fails(targetBer)) ++j;
        const bool holds = bathtub[i].phaseUi <= phase && phase <= bathtub[j].phaseUi;
        if (holds || j - i + 1 > bestLength) {
            bestFirst = i, bestLast = j, bestLength = j - i + 1;
            if (holds) break;
        }
        i = j + 1;
    }
    first = bestFirst, last = bestLast;
    return bestLength > 0;
}

// The opening at the target rate within what the counts allow: from the
// fits when they agree with the counts, clipped to the phases around it
// that meet the target; from those phases alone otherwise.
void BoundWallsByCounts(MarginReport& report, double fittedCentre) {
    const std::vector<BathtubPoint>& bathtub = report.bathtub;
    report.fitsWhy = FitDisagreement(report.walls, bathtub);
    report.fitsUsed = report.fitsWhy.empty();
    report.left = report.fitsUsed ? report.walls.left : 0.0;
    report.right = report.fitsUsed ? report.walls.right : 0.0;
    size_t first = 0, last = 0;
    if (!PassingStretch(bathtub, report.targetBer, report.fitsUsed ? fittedCentre : 0.0, first, last)) {
        // No phase meets the target: the instant is at least half a unit
        // interval from any that would.
        report.left = 0.5;
        report.right = -0.5;
        return;
    }
    if (report.fitsUsed) {
        if (first > 0) report.left = std::max(report.left, bathtub[first - 1].phaseUi);
        if (last + 1 < bathtub.size()) report.right = std::min(report.right, bathtub[last + 1].phaseUi);
    } else {
        report.left = bathtub[first].phaseUi;
        report.right = bathtub[last].phaseUi;
    }
}

// The levels at the instants within the values seen there; the voltage
// margin no lower than minus the output's level when they overlap.
void BoundLevels(MarginReport& report, const PhaseSamples& atInstants, double threshold) {
    if (atInstants.ones.empty() || atInstants.zeros.empty()) return;
    double lowest = atInstants.ones[0], highest = atInstants.ones[0], oneSum = 0.0, zeroSum = 0.0;
    for (double v : atInstants.ones) lowest = std::min(lowest, v), highest = std::max(highest, v), oneSum += v;
    for (double v : atInstants.zeros) lowest = std::min(lowest, v), highest = std::max(highest, v), zeroSum += v;
    LevelMargins& levels = report.levels;
    levels.oneAtBer = std::min(std::max(levels.oneAtBer, lowest), highest);
    levels.zeroAtBer = std::min(std::max(levels.zeroAtBer, lowest), highest);
    report.voltageMarginV = levels.Margin(threshold);
    report.levelsOverlap = levels.oneAtBer <= levels.zeroAtBer;
    const double level = 0.5 * (oneSum / double(atInstants.ones.size()) - zeroSum / double(atInstants.zeros.size()));
    if (report.levelsOverlap) report.voltageMarginV = std::max(report.voltageMarginV, -std::fabs(level));
}

// The levels fitted at each of the `drawn` phases (of `phases`). The fits
// are of as many values each: one fitter per thread serves them all.
std::vector<LevelMargins> FitLevelsAt(const MarginInput& input, const std::vector<double>& phases,
                                      const std::vector<size_t>& drawn) {
    std::vector<LevelMargins> levels(drawn.size());
    // Each thread samples its half of the phases in one pass, then fits them.
    const size_t half = drawn.size() / 2;
    TailFitter fitters[2];
    ForEachOnTwoThreads(input.twoThreads, 2, [&](size_t thread) {
        const size_t first = thread == 0 ? 0 : half, end = thread == 0 ? half : drawn.size();
        std::vector<double> threadPhases;
        for (size_t d = first; d < end; ++d) threadPhases.push_back(phases[drawn[d]]);
        const std::vector<PhaseSamples> samples = SampleAtPhases(input, threadPhases);
        for (size_t d = first; d < end; ++d) {
            levels[d] = FitLevels(samples[d - first].ones, samples[d - first].zeros, input.targetBer, fitters[thread]);
        }
    });
    return levels;
}

}  // namespace

MarginReport MeasureMargins(const MarginInput& input) {
    MarginReport report;
    report.targetBer = input.targetBer;
    report.bitsForDirect = 3.0 / input.targetBer;
    for (int bit : input.instantBits) report.bitsCompared += bit >= 0 ? 1 : 0;
    if (report.bitsCompared < 64 || input.wave.size() < 2 || !(input.sampleInterval > 0.0)) {
        report.why = "too few sampling instants with a known bit to measure margins";
        return report;
    }
    // Errors counted three unit intervals wide around the instants: the eye
    // of the bits the instants are compared with is where they are fewest,
    // wherever the instants sit.
    std::vector<double> countedPhases(size_t(3 * kPhasesPerUi));
    for (size_t i = 0; i < countedPhases.size(); ++i) {
        countedPhases[i] = double(long(i) - 3 * kPhasesPerUi / 2) / kPhasesPerUi;
    }
    const std::vector<BathtubPoint> counted = CountAtPhases(input, countedPhases);
    size_t fewest = 0;
    for (size_t i = 1; i < counted.size(); ++i) {
        if (counted[i].CountedBer() < counted[fewest].CountedBer()) fewest = i;
    }
    const std::vector<double> crossings = CrossingPhases(input);
    // The crossings against a point inside the eye: opposite the middle of
    // the crossings, on the side where the errors are fewest.
    double sine = 0.0, cosine = 0.0;
    for (double phase : crossings) sine += std::sin(6.283185307179586 * phase), cosine += std::cos(6.283185307179586 * phase);
    const double crossingCentre = crossings.empty() ? 0.5 : Wrap01(std::atan2(sine, cosine) / 6.283185307179586);
    double reference = Wrap01(crossingCentre + 0.5);
    if (std::fabs(reference - 1.0 - counted[fewest].phaseUi) < std::fabs(reference - counted[fewest].phaseUi)) {
        reference -= 1.0;
    }
    std::vector<double> relative(crossings);
    for (double& phase : relative) phase = Wrap01(phase - reference);
    const double trials = double(report.bitsCompared);
    const EyeWalls walls = FitEyeWalls(relative, trials, input.targetBer);
    // Reported against the opening nearest the instants: the eye of their
    // own bits, or of the bits next to them when the instants sit nearer
    // that one (the eyes repeat every unit interval).
    const double centre = walls.Centre() + reference;
    const double shift = reference - std::round(centre);
    report.walls = walls;
    for (TailFit* fit : {&report.walls.early, &report.walls.late}) fit->mean += shift;
    report.walls.left += shift;
    report.walls.right += shift;
    const double fittedCentre = report.walls.Centre();

    // A unit interval around the opening's centre, which holds the
    // instants; counted against the bits of that eye, one unit interval
    // away from where they were counted when the eye is the next one.
    const double countedShift = -std::round(centre);
    std::vector<double> countedAt;  // each bathtub point's phase against its own instants
    for (const BathtubPoint& point : counted) {
        const double phase = point.phaseUi + countedShift;
        if (phase == 0.0) report.atInstant = point;
        if (std::fabs(phase) >= kAwayFromInstantUi &&
            (report.quietestAway.compared == 0 || point.CountedBer() < report.quietestAway.CountedBer())) {
            report.quietestAway = point;
            report.quietestAway.phaseUi = phase;
        }
        if (phase < fittedCentre - 0.5 || phase > fittedCentre + 0.5) continue;
        BathtubPoint kept = point;
        kept.phaseUi = phase;
        kept.fittedBer = report.walls.Ber(phase);
        report.bathtub.push_back(kept);
        countedAt.push_back(point.phaseUi);
    }
    report.atInstant.phaseUi = 0.0;
    report.instantFails = report.atInstant.Fails(input.targetBer);
    BoundWallsByCounts(report, fittedCentre);
    report.everyPhaseFails = true;
    for (BathtubPoint& point : report.bathtub) {
        const double countedFloor = CountedLowerBound95(point.errors, point.compared);
        point.ber = report.fitsUsed ? std::max(point.fittedBer, countedFloor) : countedFloor;
        report.everyPhaseFails = report.everyPhaseFails && point.Fails(input.targetBer);
    }
    report.eyeWidthAtBerUi = report.instantFails ? 0.0 : std::max(0.0, report.right - report.left);
    report.timingMarginUi = std::min(-report.left, report.right);
    if (report.instantFails) report.timingMarginUi = std::min(report.timingMarginUi, 0.0);
    report.samplingOffsetUi = -0.5 * (report.left + report.right);

    // At the instants, against the bits of the eye reported.
    const PhaseSamples atInstants = std::move(SampleAtPhases(input, {-countedShift}).front());
    report.levels = FitLevels(atInstants.ones, atInstants.zeros, input.targetBer);
    report.voltageMarginV = report.levels.Margin(input.threshold);
    BoundLevels(report, atInstants, input.threshold);
    if (report.instantFails) report.voltageMarginV = std::min(report.voltageMarginV, 0.0);
    report.open = report.timingMarginUi > 0.0 && report.voltageMarginV > 0.0;

    // The outline at the target and the contours at the other rates, from
    // one fit of the levels per phase drawn: each where the bathtub is at or
    // below its rate and the levels there do not cross.
    std::vector<double> rates(std::begin(kContourRates), std::end(kContourRates));
    if (std::find(rates.begin(), rates.end(), input.targetBer) == rates.end()) rates.push_back(input.targetBer);
    std::sort(rates.rbegin(), rates.rend());
    for (double rate : rates) report.contours.push_back({rate, {}});
    std::vector<size_t> drawn;  // the bathtub's points the outline and contours are fitted at
    for (size_t i = 0; i < report.bathtub.size(); ++i) {
        const bool outlined = std::lround(countedAt[i] * kPhasesPerUi) % kOutlineStride == 0;
        if (outlined && report.bathtub[i].ber <= rates.front()) drawn.push_back(i);
    }
    const std::vector<LevelMargins> drawnLevels = FitLevelsAt(input, countedAt, drawn);
    for (size_t d = 0; d < drawn.size(); ++d) {
        const size_t i = drawn[d];
        const double phase = report.bathtub[i].phaseUi;
        const LevelMargins& levels = drawnLevels[d];
        for (Contour& contour : report.contours) {
            const double upper = levels.one.Where(contour.ber);
            const double lower = levels.zero.Where(contour.ber);
            if (report.bathtub[i].ber <= contour.ber && upper > lower) contour.points.push_back({phase, upper, lower});
        }
        if (report.open && phase >= report.left && phase <= report.right && levels.Opening() > 0.0) {
            report.outline.push_back({phase, levels.oneAtBer, levels.zeroAtBer});
        }
    }
    report.known = true;
    return report;
}

}  // namespace linksim
