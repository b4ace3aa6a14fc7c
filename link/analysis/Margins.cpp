#include "Margins.h"

#include <algorithm>
#include <cmath>

namespace linksim {

namespace {

// Phases per unit interval where errors are counted and the outline drawn.
const int kPhasesPerUi = 64;
// The outline is drawn at every this many of those phases.
const int kOutlineStride = 2;

double Wrap01(double value) { return value - std::floor(value); }

// The output at a time, linearly between its samples; false outside it.
bool ValueAt(const MarginInput& input, double time, double& value) {
    const double position = (time - input.waveStart) / input.sampleInterval;
    if (!(position >= 0.0) || position + 1.0 >= double(input.wave.size())) return false;
    const size_t index = size_t(position);
    const double fraction = position - double(index);
    value = double(input.wave[index]) + fraction * double(input.wave[index + 1] - input.wave[index]);
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

// Calls visit(bit, value) with the output at a phase (in unit intervals)
// after every instant whose bit is known.
template <typename Visit>
void VisitAtPhase(const MarginInput& input, double phaseUi, Visit visit) {
    for (size_t i = 0; i < input.instants.size(); ++i) {
        if (input.instantBits[i] < 0) continue;
        double value = 0.0;
        if (!ValueAt(input, input.instants[i] + phaseUi * input.unitInterval, value)) continue;
        visit(input.instantBits[i], value);
    }
}

struct PhaseSamples {
    std::vector<double> ones;
    std::vector<double> zeros;
};

// The output at a phase, split by the bit.
PhaseSamples SampleAtPhase(const MarginInput& input, double phaseUi) {
    PhaseSamples samples;
    samples.ones.reserve(input.instants.size());
    samples.zeros.reserve(input.instants.size());
    VisitAtPhase(input, phaseUi, [&samples](int bit, double value) { (bit ? samples.ones : samples.zeros).push_back(value); });
    return samples;
}

// The bits compared at a phase, and the errors among them.
BathtubPoint CountAtPhase(const MarginInput& input, double phaseUi) {
    BathtubPoint point;
    point.phaseUi = phaseUi;
    const double threshold = input.threshold;
    VisitAtPhase(input, phaseUi, [&point, threshold](int bit, double value) {
        ++point.compared;
        point.errors += (bit ? !(value > threshold) : value > threshold) ? 1 : 0;
    });
    return point;
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
    std::vector<BathtubPoint> counted;
    size_t fewest = 0;
    for (int k = -3 * kPhasesPerUi / 2; k < 3 * kPhasesPerUi / 2; ++k) {
        const BathtubPoint point = CountAtPhase(input, double(k) / kPhasesPerUi);
        if (counted.empty() || double(point.errors) / double(std::max<size_t>(point.compared, 1)) <
                                   double(counted[fewest].errors) / double(std::max<size_t>(counted[fewest].compared, 1))) {
            fewest = counted.size();
        }
        counted.push_back(point);
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
    const EyeWalls& reported = report.walls;
    report.open = reported.right > reported.left;
    report.eyeWidthAtBerUi = std::max(0.0, reported.Width());
    report.timingMarginUi = std::min(-reported.left, reported.right);
    report.samplingOffsetUi = -reported.Centre();

    // The levels at the instants and across the outline are fits of as many
    // values each: one fitter serves them all.
    TailFitter levelFitter;
    const PhaseSamples atInstants = SampleAtPhase(input, 0.0);
    report.levels = FitLevels(atInstants.ones, atInstants.zeros, input.targetBer, levelFitter);
    report.voltageMarginV = report.levels.Margin(input.threshold);

    // A unit interval around the opening's centre, which holds the
    // instants; counted against the bits of that eye, one unit interval
    // away from where they were counted when the eye is the next one.
    const double countedShift = -std::round(centre);
    for (const BathtubPoint& point : counted) {
        const double phase = point.phaseUi + countedShift;
        if (phase < reported.Centre() - 0.5 || phase > reported.Centre() + 0.5) continue;
        BathtubPoint kept = point;
        kept.phaseUi = phase;
        kept.fittedBer = reported.Ber(phase);
        report.bathtub.push_back(kept);
        const bool outlined = std::lround(point.phaseUi * kPhasesPerUi) % kOutlineStride == 0;
        if (report.open && outlined && phase >= reported.left && phase <= reported.right) {
            const PhaseSamples samples = SampleAtPhase(input, point.phaseUi);
            const LevelMargins levels = FitLevels(samples.ones, samples.zeros, input.targetBer, levelFitter);
            if (levels.Opening() > 0.0) report.outline.push_back({phase, levels.oneAtBer, levels.zeroAtBer});
        }
    }
    report.known = true;
    return report;
}

}  // namespace linksim
