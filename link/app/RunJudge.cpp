#include "RunJudge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CountedRate.h"
#include "KitModels.h"

namespace linksim {

namespace {

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[400];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

std::string Count(const BathtubPoint& point) {
    return Format("%.0f errors in %.0f bits", double(point.errors), double(point.compared));
}

// Why the receiver's output fails at its sampling instants, where it does;
// empty when it does not.
std::string InstantFailure(const LinkResult& result) {
    const MarginReport& m = result.margins;
    if (m.everyPhaseFails) {
        return "errors were counted above BER " + Format("%.0e", m.targetBer) +
               " at every phase of the unit interval (" + Count(m.atInstant) +
               " at the sampling instant): the output is wrong whatever the clock";
    }
    if (!m.instantFails) return "";
    const BathtubPoint& away = m.quietestAway;
    if (away.compared > 0 && away.CountedBer() * 10.0 <= m.atInstant.CountedBer()) {
        std::string reason = "the clock stayed on the data crossings: " + Count(m.atInstant) +
                             " at the sampling instant, " + Count(away) + Format(" at %+.3f UI from it", away.phaseUi);
        const KitModel* kit = FindKitModel(result.rx.description.modelName);
        if (kit && kit->clockOnCrossingsAdvice) {
            reason += std::string("; this is the kit receiver's bang-bang clock recovery: ") +
                      kit->clockOnCrossingsAdvice;
        } else {
            reason += "; the receiver's clock recovery sampled where the data cross";
        }
        return reason;
    }
    return "the counted error rate at the sampling instant (" + Count(m.atInstant) + ") is above BER " +
           Format("%.0e", m.targetBer) + " beyond statistical doubt";
}

void JudgeMargins(const LinkResult& result, std::vector<std::string>& failures,
                  std::vector<std::string>& doubts) {
    const MarginReport& m = result.margins;
    const std::string atInstant = InstantFailure(result);
    if (!atInstant.empty()) failures.push_back(atInstant);
    if (!m.open) {
        failures.push_back(Format("the margins at BER %.0e are not both positive: timing %.3f UI, voltage %.4f V",
                                  m.targetBer, m.timingMarginUi, m.voltageMarginV) +
                           (m.levelsOverlap ? "; the ones' and zeros' levels overlap at the sampling instants" : ""));
    }
    if (!m.fitsUsed) {
        doubts.push_back("the margins come from the counted data alone (" + m.fitsWhy +
                         "), which cannot show BER " + Format("%.0e", m.targetBer));
    } else if (m.walls.early.points < kFewestFittedCrossings || m.walls.late.points < kFewestFittedCrossings) {
        doubts.push_back(Format("the edges' tail fits rest on %.0f and %.0f crossing times, fewer than %.0f",
                                double(m.walls.late.points), double(m.walls.early.points),
                                double(kFewestFittedCrossings)));
    }
}

// A retimed output shows no eye of why its decisions are wrong: where to
// look instead.
std::string RetimedAdvice(const LinkResult& result) {
    const KitModel* kit = FindKitModel(result.rx.description.modelName);
    if (kit && kit->defaultParameter) {
        return std::string("; the output is the receiver's retimed decision, which shows no eye of why: run with --rx ") +
               kit->defaultParameter + "=" + kit->defaultValue + " to see its equalised output, eye and margins";
    }
    return "; the output is the receiver's retimed decision, which shows no eye of why: if the receiver can put out "
           "its equalised waveform, run that (--rx-output equalised) to see its eye and margins";
}

// A run without margins (a retimed output) is judged by its counts alone.
void JudgeCountsAlone(const LinkSettings& settings, const LinkResult& result, std::vector<std::string>& failures,
                      std::vector<std::string>& doubts) {
    const BitErrorCount& errors = result.errors;
    if (errors.compared == 0) {
        doubts.push_back("no bits were compared");
    } else if (CountedAbove(errors.errors, errors.compared, settings.targetBer)) {
        failures.push_back(Format("%.0f errors were counted in %.0f bits, above BER %.0e beyond statistical doubt",
                                  double(errors.errors), double(errors.compared), settings.targetBer) +
                           (result.retimedOutput ? RetimedAdvice(result) : std::string()));
    } else if (!result.retimedOutput) {
        doubts.push_back("no margins were measured: " + result.margins.why);
    }
}

void JudgeHistory(const LinkResult& result, std::vector<std::string>& doubts) {
    const size_t ignored = size_t(std::max(result.ignoreBits, 0L));
    if (!result.adaptLineBits.empty() && result.adaptLineBits.back() > ignored) {
        doubts.push_back(Format("the adaptation was still measuring after the %.0f ignored bits (its last "
                                "measurement by bit %.0f)",
                                double(ignored), double(result.adaptLineBits.back())));
    }
    const ClockTrack& clock = result.clockTrack;
    if (clock.windows.empty()) return;
    const double lockBit = clock.lockTime / result.unitInterval;
    if (!clock.locked) {
        doubts.push_back(Format("the clock never locked: its phase moved %.3f UI peak to peak to the end of the run, "
                                "beyond the %.3f UI band",
                                clock.wanderUi, clock.bandUi));
    } else if (lockBit > double(ignored)) {
        doubts.push_back(Format("the clock locked only from bit %.0f, after the %.0f ignored bits", lockBit,
                                double(ignored)));
    }
}

RequirementCheck Check(const char* name, const char* unit, bool atLeast, double required, double measured) {
    RequirementCheck check{name, unit, atLeast, required, measured, false};
    check.met = std::isfinite(measured) && (atLeast ? measured >= required : measured <= required);
    return check;
}

std::vector<RequirementCheck> CheckRequirements(const LinkSettings& settings, const LinkResult& result) {
    const Requirements& wanted = settings.requirements;
    const MarginReport& m = result.margins;
    const double nan = std::nan("");
    std::vector<RequirementCheck> checks;
    if (!std::isnan(wanted.timingUi)) {
        checks.push_back(Check("timing margin", "UI", true, wanted.timingUi, m.known ? m.timingMarginUi : nan));
    }
    if (!std::isnan(wanted.voltageV)) {
        checks.push_back(Check("voltage margin", "V", true, wanted.voltageV, m.known ? m.voltageMarginV : nan));
    }
    if (!std::isnan(wanted.ber)) {
        checks.push_back(Check("BER at the sampling instant", "", false, wanted.ber, RateAtInstant(result)));
    }
    return checks;
}

}  // namespace

double RateAtInstant(const LinkResult& result) {
    const MarginReport& m = result.margins;
    if (m.known) {
        for (const BathtubPoint& point : m.bathtub) {
            if (point.phaseUi == 0.0) return point.ber;
        }
    }
    const BitErrorCount& errors = result.errors;
    if (errors.compared == 0) return std::nan("");
    return errors.errors ? errors.Ber() : errors.BerUpperBound95();
}

Verdict JudgeRun(const LinkSettings& settings, const LinkResult& result) {
    std::vector<std::string> failures;
    std::vector<std::string> doubts;
    if (!result.silentPath.empty()) failures.push_back(result.silentPath);
    if (result.errors.inverted) {
        failures.push_back(Format("the output is inverted: the opposite decisions match the pattern (BER %.2g at a "
                                  "latency of %.0f bits); P and N are swapped somewhere, most likely in --ports or in "
                                  "the channel file",
                                  result.errors.invertedBer, double(result.errors.invertedLatencyBits)));
    }
    const double sent = double(result.bits) - double(std::max(result.ignoreBits, 0L));
    if (result.errors.aligned && double(result.errors.compared) < kLeastComparedShare * sent) {
        failures.push_back(Format("only %.0f of the %.0f bits sent after the ignored ones were compared: the "
                                  "receiver's clock gave too few sampling instants to judge the link",
                                  double(result.errors.compared), sent));
    }
    if (!result.errors.aligned) {
        failures.push_back("the receiver's output never lined up with the transmitted bits");
    } else if (result.margins.known) {
        JudgeMargins(result, failures, doubts);
    } else {
        JudgeCountsAlone(settings, result, failures, doubts);
    }
    JudgeHistory(result, doubts);

    Verdict verdict;
    verdict.requirements = CheckRequirements(settings, result);
    if (!failures.empty()) {
        verdict.kind = VerdictKind::Fail;
        verdict.reasons = failures;
    } else if (!doubts.empty()) {
        verdict.kind = VerdictKind::Unreliable;
        verdict.reasons = doubts;
    } else {
        verdict.kind = VerdictKind::Pass;
        const MarginReport& m = result.margins;
        verdict.reasons.push_back(Format("%.0f errors in %.0f bits compared", double(result.errors.errors),
                                         double(result.errors.compared)));
        if (m.known) {
            verdict.reasons.push_back(Format("margins at BER %.0e: timing %.3f UI, voltage %.4f V", m.targetBer,
                                             m.timingMarginUi, m.voltageMarginV));
        } else {
            verdict.reasons.push_back("the receiver's output is its retimed decision: judged by its counted errors "
                                      "alone, with no margins to extrapolate them to the target rate");
        }
    }
    return verdict;
}

}  // namespace linksim
