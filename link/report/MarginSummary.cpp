#include "MarginSummary.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace linksim {

namespace {
std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
Json Number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

Json TailJson(const TailFit& fit, const char* unit) {
    return {{std::string("mean_") + unit, Number(fit.mean)},
            {std::string("sigma_") + unit, Number(fit.sigma)},
            {"weight", Number(fit.weight)},
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
                    {"fitted_ber", Json::array()}};
    for (const BathtubPoint& point : m.bathtub) {
        bathtub["phase_ui"].push_back(point.phaseUi);
        bathtub["compared"].push_back(point.compared);
        bathtub["errors"].push_back(point.errors);
        bathtub["fitted_ber"].push_back(Number(point.fittedBer));
    }
    const EyeWalls& walls = m.walls;
    return {{"known", true},
            {"target_ber", m.targetBer},
            {"sampled_at", result.rxReportsClock ? "the receiver's clock times + UI/2"
                                                 : "an ideal clock at the centre of the eye"},
            {"bits_compared", m.bitsCompared},
            {"extrapolated", m.Extrapolated()},
            {"timing_margin_ui", Number(m.timingMarginUi)},
            {"eye_width_at_ber_ui", Number(m.eyeWidthAtBerUi)},
            {"open", m.open},
            {"voltage_margin_v", Number(m.voltageMarginV)},
            {"sampling_offset_ui", Number(m.samplingOffsetUi)},
            {"clock_wander_ui", result.clockTrack.windows.empty() ? Json(nullptr) : Number(result.clockTrack.wanderUi)},
            {"left_wall_ui", Number(walls.left)},
            {"right_wall_ui", Number(walls.right)},
            {"edges",
             {{"dj_dual_dirac_ui", Number(walls.DeterministicUi())},
              {"rj_rms_ui", Number(walls.RandomRmsUi())},
              {"early_side", TailJson(walls.early, "ui")},
              {"late_side", TailJson(walls.late, "ui")}}},
            {"levels",
             {{"one_at_ber_v", Number(m.levels.oneAtBer)},
              {"zero_at_ber_v", Number(m.levels.zeroAtBer)},
              {"ones_lower_tail", TailJson(m.levels.one, "v")},
              {"zeros_upper_tail", TailJson(m.levels.zero, "v")}}},
            {"bathtub", bathtub},
            {"image", outputs.bathtubImage}};
}

Json ClockTrackJson(const LinkResult& result, const RunOutputs& outputs) {
    const ClockTrack& clock = result.clockTrack;
    if (clock.windows.empty()) return nullptr;
    return {{"window_periods", kClockWindowPeriods},
            {"locked", clock.locked},
            {"lock_at_bit", clock.locked ? Json((long long)(clock.lockTime / result.unitInterval)) : Json(nullptr)},
            {"wander_ui_pp", Number(clock.wanderUi)},
            {"moved_ui_pp", Number(clock.movedUi)},
            {"image", outputs.trajectoryImage}};
}

std::string StressText(const StressSettings& stress) {
    std::ostringstream text;
    const char* separator = "";
    auto part = [&](const std::string& words) {
        text << separator << words;
        separator = ", ";
    };
    if (stress.rjRms > 0.0) part("RJ " + Format("%g", stress.rjRms * 1e12) + " ps rms");
    if (stress.djPeakToPeak > 0.0) part("DJ " + Format("%g", stress.djPeakToPeak * 1e12) + " ps dual-Dirac");
    if (stress.sjPeakToPeakUi > 0.0 && stress.sjFrequency > 0.0) {
        part("SJ " + Format("%g", stress.sjPeakToPeakUi) + " UI p-p at " + Format("%g", stress.sjFrequency) + " Hz");
    }
    if (stress.ppm != 0.0) part("rate " + Format("%+g", stress.ppm) + " ppm");
    if (stress.sscPpm > 0.0 && stress.sscFrequency > 0.0) {
        part("SSC " + Format("%g", stress.sscPpm) + " ppm down at " + Format("%g", stress.sscFrequency) + " Hz");
    }
    if (stress.rxNoiseRms > 0.0) part("noise " + Format("%g", stress.rxNoiseRms * 1e3) + " mV rms");
    return text.str();
}

std::string MarginLines(const LinkSettings& settings, const LinkResult& result) {
    std::ostringstream text;
    const std::string stress = StressText(settings.stress);
    if (!stress.empty()) text << "  stress: " << stress << " (seed " << settings.stress.seed << ")\n";
    const MarginReport& m = result.margins;
    if (m.known) {
        text << "  margins at BER " << Format("%.0e", m.targetBer)
             << (m.Extrapolated() ? " (extrapolated)" : "") << ": timing " << Format("%.3f", m.timingMarginUi)
             << " UI, eye width " << Format("%.3f", m.eyeWidthAtBerUi) << " UI, voltage "
             << Format("%.4f", m.voltageMarginV) << " V; sampling " << Format("%+.3f", m.samplingOffsetUi)
             << " UI from the opening's centre\n";
        text << "  edges: DJ " << Format("%.4f", m.walls.DeterministicUi()) << " UI dual-Dirac, RJ "
             << Format("%.4f", m.walls.RandomRmsUi()) << " UI rms\n";
    } else if (!m.why.empty()) {
        text << "  margins: " << m.why << "\n";
    }
    const ClockTrack& clock = result.clockTrack;
    if (!clock.windows.empty()) {
        text << "  clock track: "
             << (clock.locked ? "locked by bit " + Format("%.0f", clock.lockTime / result.unitInterval)
                              : std::string("never locked"))
             << ", wander " << Format("%.3f", clock.wanderUi) << " UI p-p" << (clock.locked ? " after lock" : "")
             << "\n";
    }
    for (const std::string& note : result.notes) text << "  note: " << note << "\n";
    return text.str();
}

}  // namespace linksim
