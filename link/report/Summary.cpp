#include "Summary.h"

#include "MarginSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>


namespace linksim {

std::string FormatValue(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

Json JsonNumber(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

namespace {

std::string ChannelText(const LinkSettings& settings) {
    if (settings.channel.kind == ChannelKind::File) return "channel " + settings.channel.path;
    return FormatValue("%g", settings.channel.lossDb) + " dB channel";
}

Json ModelJson(const ModelRun& run) {
    const AmiDescription& model = run.description;
    Json parameters = Json::object();
    for (const ParameterChoice& choice : run.parameters) {
        parameters[choice.parameter->DottedPath()] = {{"value", choice.written}, {"given", choice.fromUser}};
    }
    return {{"model", model.modelName},
            {"library", run.library},
            {"ami", run.ami},
            {"init_returns_impulse", model.initReturnsImpulse},
            {"getwave_exists", model.getWaveExists},
            {"getwave_used", run.getWaveUsed},
            {"ignore_bits", model.ignoreBits},
            {"parameters", parameters},
            {"parameter_string", run.parameterString},
            {"init_message", run.initMessage},
            {"parameters_out", run.parametersOut}};
}


Json ErrorsJson(const LinkResult& result) {
    const BitErrorCount& errors = result.errors;
    Json json = {{"sampled_at", result.retimedOutput ? "clock times" : "clock times + UI/2"},
                 {"aligned", errors.aligned},
                 {"latency_bits", errors.latencyBits},
                 {"bits_compared", errors.compared},
                 {"bit_errors", errors.errors}};
    if (errors.compared > 0 && errors.errors == 0) {
        json["ber"] = nullptr;
        json["ber_upper_bound_95"] = errors.BerUpperBound95();
    } else {
        json["ber"] = errors.compared ? JsonNumber(errors.Ber()) : Json(nullptr);
        json["ber_upper_bound_95"] = nullptr;
    }
    return json;
}

Json EyeJson(const LinkResult& result, const RunOutputs& outputs) {
    const EyeFigures eye = ReportedEye(result);
    Json json = Json::object();
    if (eye.known) {
        json["height_v"] = JsonNumber(eye.heightV);
        json["width_ui"] = JsonNumber(eye.widthUi);
        json["open"] = eye.open;
        json["inner_height_v"] = JsonNumber(result.errors.innerHeight);
        json["crossings"] = result.widthMargins.crossings;
    } else {
        json["height_v"] = nullptr;
        json["width_ui"] = nullptr;
    }
    json["image"] = outputs.eyeImage;
    json["note"] = outputs.eyeNote;
    return json;
}

Json ClockJson(const LinkResult& result, const RunOutputs& outputs) {
    const ClockSettling& clock = result.clock;
    Json json = {{"recovered", result.rxReportsClock}, {"clock_times", clock.clockCount}, {"settled", clock.settled}};
    if (clock.settled) {
        json["settled_at_s"] = JsonNumber(clock.settleTime);
        json["settled_at_bit"] = (long long)(clock.settleTime / result.unitInterval);
    } else {
        json["settled_at_s"] = nullptr;
        json["settled_at_bit"] = nullptr;
    }
    json["mean_period_s"] = JsonNumber(clock.meanPeriod);
    json["phase_ui"] = JsonNumber(clock.finalPhaseUi);
    json["track"] = ClockTrackJson(result, outputs);
    return json;
}

Json AdaptationJson(const LinkResult& result, const RunOutputs& outputs) {
    if (!result.adaptLogFound) return nullptr;
    const AdaptOutcome& adaptation = result.adaptation;
    Json taps = Json::array();
    for (double tap : adaptation.taps) taps.push_back(JsonNumber(tap));
    return {{"log", "adapt.txt"},
            {"log_error", result.adaptLogError},
            {"measurements", adaptation.measurements},
            {"ctle_column", adaptation.ctle},
            {"dfe_taps_v", taps},
            {"last_step_undone", adaptation.lastStepUndone},
            {"last_eye_width_ui", JsonNumber(adaptation.eyeWidth)},
            {"last_eye_height_v", JsonNumber(adaptation.eyeHeight)},
            {"last_logged_by_bit", result.adaptLineBits.empty() ? Json(nullptr) : Json(result.adaptLineBits.back())},
            {"csv", outputs.adaptationCsv}};
}

Json TimingJson(const LinkResult& result, const RunOutputs& outputs) {
    const RunTiming& timing = result.timing;
    const HostTime host = TimeOutsideReceiver(result, outputs);
    // Each part's own time; channel and analysis ran beside the receiver when
    // overlapped, and then only the waiting for them adds to host_s.
    const Json parts = {{"setup", timing.setup},         {"stimulus", timing.stimulus},
                        {"tx_getwave", timing.txGetWave}, {"channel", timing.channel},
                        {"analysis", timing.analysis},    {"waiting", timing.waiting},
                        {"results", timing.results},      {"eye_picture", outputs.eyePictureSeconds}};
    return {{"total_s", outputs.totalSeconds},
            {"rx_getwave_s", timing.rxGetWave},
            {"host_s", host.seconds},
            {"host_share", host.share},
            {"host_work_overlapped", timing.overlapped},
            {"host_parts_s", parts}};
}

Json ChannelJson(const LinkSettings& settings, const LinkResult& result) {
    Json json = Json::object();
    if (settings.channel.kind == ChannelKind::File) {
        json["kind"] = "file";
        json["path"] = settings.channel.path;
    } else {
        json["kind"] = "lossy line";
        json["loss_db_at_nyquist"] = JsonNumber(settings.channel.lossDb);
    }
    json["impulse_samples"] = result.channelSamples;
    json["impulse_matrix_rows"] = result.impulseSamples;
    return json;
}

}  // namespace

HostTime TimeOutsideReceiver(const LinkResult& result, const RunOutputs& outputs) {
    HostTime host;
    host.seconds = std::max(outputs.totalSeconds - result.timing.rxGetWave, 0.0);
    host.share = outputs.totalSeconds > 0.0 ? host.seconds / outputs.totalSeconds : 0.0;
    return host;
}

EyeFigures ReportedEye(const LinkResult& result) {
    EyeFigures eye;
    eye.known = !result.retimedOutput && result.errors.heightKnown && result.widthMargins.crossings > 0;
    if (!eye.known) return eye;
    eye.open = result.errors.innerHeight > 0.0;
    eye.heightV = eye.open ? result.errors.innerHeight : 0.0;
    eye.widthUi = eye.open ? result.widthMargins.Width() / result.unitInterval : 0.0;
    return eye;
}

Json SummaryDocument(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    const Json stimulus = {{"pattern", "PRBS" + std::to_string(settings.prbsOrder)},
                           {"bits", result.bits},
                           {"bit_rate_hz", settings.bitRate},
                           {"samples_per_ui", settings.samplesPerUi},
                           {"sample_interval_s", result.sampleInterval},
                           {"levels_v", {-0.5, 0.5}},
                           {"bits_per_call", settings.bitsPerCall}};
    return {{"tx", ModelJson(result.tx)},
            {"rx", ModelJson(result.rx)},
            {"stimulus", stimulus},
            {"channel", ChannelJson(settings, result)},
            {"stress", StressJson(settings.stress)},
            {"flow", result.flow},
            {"ignore_bits", result.ignoreBits},
            {"rx_output", result.retimedOutput ? "retimed decisions" : "equalised waveform"},
            {"errors", ErrorsJson(result)},
            {"eye", EyeJson(result, outputs)},
            {"margins", MarginsJson(result, outputs)},
            {"clock", ClockJson(result, outputs)},
            {"adaptation", AdaptationJson(result, outputs)},
            {"timing", TimingJson(result, outputs)},
            {"notes", result.notes}};
}

std::string SummaryJson(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    return SummaryDocument(settings, result, outputs).dump(2) + "\n";
}

std::string SummaryText(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    std::ostringstream text;
    text << result.tx.description.modelName << " -> " << ChannelText(settings) << " -> "
         << result.rx.description.modelName << ", PRBS" << settings.prbsOrder << ", " << result.bits << " bits at "
         << FormatValue("%g", settings.bitRate / 1e9) << " Gb/s\n";
    const BitErrorCount& errors = result.errors;
    if (result.bits <= size_t(result.ignoreBits)) {
        text << "  bit errors: none counted, all " << result.bits << " bits are within the " << result.ignoreBits
             << " to ignore\n";
    } else if (!errors.aligned) {
        text << "  bit errors: the output never lined up with the pattern\n";
    } else if (errors.errors == 0) {
        text << "  bit errors: 0 in " << errors.compared << " bits after " << result.ignoreBits
             << " ignored (BER < " << FormatValue("%.2g", errors.BerUpperBound95()) << " at 95 % confidence)\n";
    } else {
        text << "  bit errors: " << errors.errors << " in " << errors.compared << " bits after " << result.ignoreBits
             << " ignored (BER " << FormatValue("%.3g", errors.Ber()) << ")\n";
    }
    const EyeFigures eye = ReportedEye(result);
    if (eye.known) {
        text << "  eye: height " << FormatValue("%.4g", eye.heightV) << " V, width " << FormatValue("%.3g", eye.widthUi)
             << " UI" << (eye.open ? "" : " (closed)") << "\n";
    } else {
        text << "  eye: " << outputs.eyeNote << "\n";
    }
    if (result.rxReportsClock) {
        text << "  clock: "
             << (result.clock.settled
                     ? "settled at bit " + std::to_string((long long)(result.clock.settleTime / result.unitInterval))
                     : std::string("did not settle"))
             << "\n";
    }
    if (result.adaptLogFound) {
        const AdaptOutcome& adaptation = result.adaptation;
        text << "  adaptation: CTLE column " << adaptation.ctle << ", DFE taps";
        for (double tap : adaptation.taps) text << " " << FormatValue("%g", tap);
        text << " V (" << adaptation.measurements << " measurements)\n";
    }
    text << MarginLines(settings, result);
    const HostTime host = TimeOutsideReceiver(result, outputs);
    text << "  time: " << FormatValue("%.3g", outputs.totalSeconds) << " s, " << FormatValue("%.3g", result.timing.rxGetWave)
         << " s of it in " << result.rx.description.modelName << " AMI_GetWave, " << FormatValue("%.0f", 100.0 * host.share)
         << " % outside it\n";
    if (!outputs.eyeImage.empty()) text << "  eye picture: " << outputs.folder << "/" << outputs.eyeImage << "\n";
    if (!outputs.bathtubImage.empty()) text << "  bathtub: " << outputs.folder << "/" << outputs.bathtubImage << "\n";
    if (!outputs.trajectoryImage.empty()) {
        text << "  trajectory: " << outputs.folder << "/" << outputs.trajectoryImage << "\n";
    }
    if (!outputs.adaptationCsv.empty()) text << "  adaptation table: " << outputs.folder << "/" << outputs.adaptationCsv << "\n";
    text << "  summary: " << outputs.folder << "/summary.json\n";
    return text.str();
}

}  // namespace linksim
