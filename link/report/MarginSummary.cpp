#include "MarginSummary.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace linksim {

namespace {
Json TailJson(const TailFit& fit, const char* unit) {
    return {{std::string("mean_") + unit, JsonNumber(fit.mean)},
            {std::string("sigma_") + unit, JsonNumber(fit.sigma)},
            {"weight", JsonNumber(fit.weight)},
            {"fitted", fit.fitted},
            {"points", fit.points}};
}
}  // namespace

Json StressJson(const StressSettings& stress) {
    return {{"rj_rms_s", stress.rjRms},
            {"dj_dual_dirac_s", stress.djPeakToPeak},
            {"sj_ui_pp", stress.sjPeakToPeakUi},
            {"sj_hz", stress.sjFrequency},
            {"rate_offset_ppm", stress.ppm},
            {"ssc_down_ppm", stress.sscPpm},
            {"ssc_hz", stress.sscFrequency},
            {"rx_noise_rms_v", stress.rxNoiseRms},
            {"seed", stress.seed}};
}

Json MarginsJson(const LinkResult& result, const RunOutputs& outputs) {
    const MarginReport& m = result.margins;
    if (!m.known) return {{"known", false}, {"why", m.why}};
    Json bathtub = {{"phase_ui", Json::array()}, {"compared", Json::array()}, {"errors", Json::array()},
                    {"fitted_ber", Json::array()}, {"ber", Json::array()}};
    for (const BathtubPoint& point : m.bathtub) {
        bathtub["phase_ui"].push_back(point.phaseUi);
        bathtub["compared"].push_back(point.compared);
        bathtub["errors"].push_back(point.errors);
        bathtub["fitted_ber"].push_back(JsonNumber(point.fittedBer));
        bathtub["ber"].push_back(JsonNumber(point.ber));
    }
    const EyeWalls& walls = m.walls;
    return {{"known", true},
            {"target_ber", m.targetBer},
            {"sampled_at", result.hostClock ? "the host's recovered clock" : "the receiver's clock times"},
            {"bits_compared", m.bitsCompared},
            {"extrapolated", m.Extrapolated()},
            {"basis", m.fitsUsed ? "fits bounded by the counts" : "counted data alone"},
            {"fits_rejected_because", m.fitsUsed ? Json(nullptr) : Json(m.fitsWhy)},
            {"at_instant",
             {{"compared", m.atInstant.compared},
              {"errors", m.atInstant.errors},
              {"above_target", m.instantFails}}},
            {"timing_margin_ui", JsonNumber(m.timingMarginUi)},
            {"eye_width_at_ber_ui", JsonNumber(m.eyeWidthAtBerUi)},
            {"open", m.open},
            {"voltage_margin_v", JsonNumber(m.voltageMarginV)},
            {"sampling_offset_ui", JsonNumber(m.samplingOffsetUi)},
            {"clock_wander_ui", result.clockTrack.windows.empty() ? Json(nullptr) : JsonNumber(result.clockTrack.wanderUi)},
            {"levels_overlap", m.levelsOverlap},
            {"left_wall_ui", JsonNumber(m.left)},
            {"right_wall_ui", JsonNumber(m.right)},
            {"edges",
             {{"dj_dual_dirac_ui", JsonNumber(walls.DeterministicUi())},
              {"rj_rms_ui", JsonNumber(walls.RandomRmsUi())},
              {"early_side", TailJson(walls.early, "ui")},
              {"late_side", TailJson(walls.late, "ui")}}},
            {"levels",
             {{"one_at_ber_v", JsonNumber(m.levels.oneAtBer)},
              {"zero_at_ber_v", JsonNumber(m.levels.zeroAtBer)},
              {"ones_lower_tail", TailJson(m.levels.one, "v")},
              {"zeros_upper_tail", TailJson(m.levels.zero, "v")}}},
            {"bathtub", bathtub},
            {"image", outputs.bathtubImage}};
}

Json ClockTrackJson(const LinkResult& result, const RunOutputs& outputs) {
    const ClockTrack& clock = result.clockTrack;
    if (clock.windows.empty()) return nullptr;
    return {{"window_periods", kClockWindowPeriods},
            {"lock_band_ui", JsonNumber(clock.bandUi)},
            {"wander_ui_pp", JsonNumber(clock.wanderUi)},
            {"moved_ui_pp", JsonNumber(clock.movedUi)},
            {"image", outputs.trajectoryImage}};
}

std::string StressText(const StressSettings& stress) {
    std::ostringstream text;
    const char* separator = "";
    auto part = [&](const std::string& words) {
        text << separator << words;
        separator = ", ";
    };
    if (stress.rjRms > 0.0) part("RJ " + FormatValue("%g", stress.rjRms * 1e12) + " ps rms");
    if (stress.djPeakToPeak > 0.0) part("DJ " + FormatValue("%g", stress.djPeakToPeak * 1e12) + " ps dual-Dirac");
    if (stress.sjPeakToPeakUi > 0.0 && stress.sjFrequency > 0.0) {
        part("SJ " + FormatValue("%g", stress.sjPeakToPeakUi) + " UI p-p at " + FormatValue("%g", stress.sjFrequency) + " Hz");
    }
    if (stress.ppm != 0.0) part("rate " + FormatValue("%+g", stress.ppm) + " ppm");
    if (stress.sscPpm > 0.0 && stress.sscFrequency > 0.0) {
        part("SSC " + FormatValue("%g", stress.sscPpm) + " ppm down at " + FormatValue("%g", stress.sscFrequency) + " Hz");
    }
    if (stress.rxNoiseRms > 0.0) part("noise " + FormatValue("%g", stress.rxNoiseRms * 1e3) + " mV rms");
    return text.str();
}

std::string MarginLines(const LinkResult& result) {
    std::ostringstream text;
    const std::string stress = StressText(result.stress);
    if (!stress.empty()) {
        text << "  stress: " << stress << " (seed " << result.stress.seed << ")"
             << (result.declaredStress.empty() ? "" : ", with what the models declare") << "\n";
    }
    for (const DeclaredStress& declared : result.declaredStress) {
        text << "  declared by " << declared.model << ": " << declared.parameter << " " << FormatValue("%g", declared.value)
             << " (" << declared.appliedAs << ")\n";
    }
    const MarginReport& m = result.margins;
    if (m.known) {
        text << "  margins at BER " << FormatValue("%.0e", m.targetBer)
             << (m.fitsUsed ? (m.Extrapolated() ? " (extrapolated)" : "") : " (from counted data alone)")
             << (m.open ? ", open" : ", shut") << ": timing " << FormatValue("%.3f", m.timingMarginUi)
             << " UI, eye width " << FormatValue("%.3f", m.eyeWidthAtBerUi) << " UI, voltage "
             << FormatValue("%.4f", m.voltageMarginV) << " V; sampling " << FormatValue("%+.3f", m.samplingOffsetUi)
             << " UI from the opening's centre\n";
        text << "  edges: DJ " << FormatValue("%.4f", m.walls.DeterministicUi()) << " UI dual-Dirac, RJ "
             << FormatValue("%.4f", m.walls.RandomRmsUi()) << " UI rms\n";
    } else if (!m.why.empty()) {
        text << "  margins: " << m.why << "\n";
    }
    const ClockTrack& clock = result.clockTrack;
    if (!clock.windows.empty()) {
        text << "  clock: "
             << (clock.locked ? "locked from bit " + std::to_string(LockAtBit(result)) : std::string("never locked"))
             << ", wander " << FormatValue("%.3f", clock.wanderUi) << " UI p-p" << (clock.locked ? " after lock" : "")
             << (clock.lostTimes ? ", " + std::to_string(clock.lostTimes) + " clock times lost" : std::string())
             << "\n";
    }
    for (const std::string& note : result.notes) text << "  note: " << note << "\n";
    return text.str();
}

}  // namespace linksim
