#include "MarginSummary.h"

#include <cstdio>
#include <sstream>

namespace linksim {

namespace {
std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
}  // namespace

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
