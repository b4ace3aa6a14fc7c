#include "Summary.h"

#include "AmiFile.h"
#include "MarginSummary.h"
#include "Version.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

std::string ChannelText(const LinkSettings& settings, const LinkResult& result) {
    std::string text;
    if (settings.channel.kind == ChannelKind::Loss) {
        text = FormatValue("%g", settings.channel.lossDb) + " dB channel";
    } else {
        text = "channel " + settings.channel.path;
        if (!result.channel.ports.empty()) text += " (ports " + result.channel.ports + ")";
    }
    if (!result.aggressors.empty()) text += " + " + std::to_string(result.aggressors.size()) + " aggressor(s)";
    return text;
}

// A leaf's value as JSON: a number or a Boolean where it reads as one.
Json LeafJson(const std::string& value) {
    if (value == "True" || value == "False") return value == "True";
    char* end = nullptr;
    const long long whole = std::strtoll(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0') return whole;
    const double number = std::strtod(value.c_str(), &end);
    if (!value.empty() && *end == '\0' && std::isfinite(number)) return number;
    return value;
}

Json TreeJson(const AmiNode& node) {
    if (node.children.empty() && !node.values.empty()) {
        if (node.values.size() == 1) return LeafJson(node.values[0]);
        Json values = Json::array();
        for (const std::string& value : node.values) values.push_back(LeafJson(value));
        return values;
    }
    Json branch = Json::object();
    for (const AmiNode& child : node.children) branch[child.name] = TreeJson(child);
    return branch;
}

// A model's AMI_parameters_out read as a tree; malformed text is said to
// be so, and kept as it came.
Json ParametersOutJson(const std::string& text) {
    if (text.empty()) return nullptr;
    AmiNode root;
    std::string error;
    if (!ReadAmiTree(text, root, error)) return {{"error", error}, {"text", text}};
    return {{"tree", {{root.name, TreeJson(root)}}}};
}

// The cursors of the pulse the receiver's input sees, and the files.
Json ResponsesJson(const LinkResult& result, const RunOutputs& outputs) {
    Json paths = Json::array();
    for (const PathResponse& path : result.responses) paths.push_back(path.name);
    const PulseCursors& c = result.cursors;
    Json cursors = nullptr;
    if (c.known) {
        cursors = {{"path", result.cursorsOf}, {"main_peak_s", c.peakTime}, {"pre_v", c.pre}, {"main_v", c.main},
                   {"post_v", c.post}};
    }
    return {{"paths", paths}, {"cursors", cursors}, {"image", outputs.responsesImage}, {"csv", outputs.responsesCsv}};
}

// The stress the run applied, and what of it the models declared.
Json StressWithDeclaredJson(const LinkResult& result) {
    Json stress = StressJson(result.stress);
    Json declared = Json::array();
    for (const DeclaredStress& item : result.declaredStress) {
        declared.push_back({{"model", item.model}, {"parameter", item.parameter}, {"value", item.value},
                            {"applied_as", item.appliedAs}});
    }
    stress["declared_by_models"] = declared;
    return stress;
}

// One line of the printed report per model that returned values.
std::string ParametersOutLine(const ModelRun& run) {
    const std::string& text = run.lastGetWaveParametersOut.empty() ? run.parametersOut : run.lastGetWaveParametersOut;
    if (text.empty()) return "";
    AmiNode root;
    std::string error;
    const char* when = run.lastGetWaveParametersOut.empty() ? "AMI_Init" : "the last AMI_GetWave";
    return "  " + run.description.modelName + " parameters out (" + when + "): " +
           (ReadAmiTree(text, root, error) ? text : error + ": " + text) + "\n";
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
            {"parameters_out", run.parametersOut},
            {"parameters_out_read",
             {{"init", ParametersOutJson(run.parametersOut)},
              {"last_getwave", ParametersOutJson(run.lastGetWaveParametersOut)}}}};
}


// How the run was made: the program, its version, the command line, the
// files it read with their digests, and the parameter strings the models
// were handed.
Json RunJson(const LinkSettings& settings, const LinkResult& result) {
    Json files = Json::array();
    for (const FileRecord& file : result.files) {
        files.push_back({{"role", file.role},
                         {"path", file.path},
                         {"sha256", file.sha256.empty() ? Json(nullptr) : Json(file.sha256)},
                         {"error", file.error.empty() ? Json(nullptr) : Json(file.error)}});
    }
    return {{"program", "orvex-link"},
            {"version", ProgramVersion()},
            {"command_line", settings.commandLine},
            {"tag", settings.runTag.empty() ? Json(nullptr) : Json(settings.runTag)},
            {"files", files},
            {"parameter_strings", {{"tx", result.tx.parameterString}, {"rx", result.rx.parameterString}}}};
}

// The --ibs file and what its pins chose; null without one.
Json IbsJson(const LinkResult& result) {
    if (result.ibsFile.empty()) return nullptr;
    const IbisChoice& ibs = result.ibs;
    auto end = [](const IbisModel& model, const std::string& pin, const IbisExecutable* executable) {
        return Json{{"pin", pin.empty() ? Json(nullptr) : Json(pin)},
                    {"model", model.name},
                    {"model_type", model.type},
                    {"executable", executable ? Json(executable->library) : Json(nullptr)},
                    {"ami", executable ? Json(executable->ami) : Json(nullptr)}};
    };
    return {{"file", result.ibsFile},
            {"rx_file", ibs.rxFile.path},
            {"tx", end(ibs.tx, ibs.txPin, ibs.TxExecutable())},
            {"rx", end(ibs.rx, ibs.rxPin, ibs.RxExecutable())}};
}

Json ErrorsJson(const LinkResult& result) {
    const BitErrorCount& errors = result.errors;
    Json json = {{"sampled_at", result.retimedOutput ? "clock times" : "clock times + UI/2"},
                 {"aligned", errors.aligned},
                 {"latency_bits", errors.latencyBits},
                 {"bits_compared", errors.compared},
                 {"bit_errors", errors.errors},
                 {"inverted", errors.inverted}};
    if (errors.compared > 0 && errors.errors == 0) {
        json["ber"] = nullptr;
        json["ber_upper_bound_95"] = errors.BerUpperBound95();
    } else {
        json["ber"] = errors.compared ? JsonNumber(errors.Ber()) : Json(nullptr);
        json["ber_upper_bound_95"] = nullptr;
    }
    return json;
}

// Openings at several rates: per contour, its phases and the two levels.
Json ContoursJson(const std::vector<Contour>& contours) {
    Json json = Json::array();
    for (const Contour& contour : contours) {
        Json phase = Json::array(), upper = Json::array(), lower = Json::array();
        for (const OutlinePoint& point : contour.points) {
            phase.push_back(point.phaseUi);
            upper.push_back(JsonNumber(point.upperV));
            lower.push_back(JsonNumber(point.lowerV));
        }
        json.push_back({{"ber", contour.ber}, {"phase_ui", phase}, {"upper_v", upper}, {"lower_v", lower}});
    }
    return json;
}

// With --statistical: the eye of the final AMI_Init impulse response.
Json StatisticalJson(const LinkResult& result, const RunOutputs& outputs) {
    const StatisticalEye& eye = result.statistical;
    Json json = {{"known", eye.known}};
    if (!eye.known) {
        json["why"] = eye.why;
        return json;
    }
    json["basis"] = result.statisticalBasis;
    json["without"] = result.statisticalWithout.empty() ? Json(nullptr) : Json(result.statisticalWithout);
    json["target_ber"] = eye.targetBer;
    json["sampling_phase_ui"] = JsonNumber(eye.peakUi + eye.samplingUi);
    json["sampling_from_peak_ui"] = JsonNumber(eye.samplingUi);
    json["ber_at_sampling"] = JsonNumber(eye.berAtSampling);
    json["height_v"] = JsonNumber(eye.heightV);
    json["width_ui"] = JsonNumber(eye.widthUi);
    json["open"] = eye.open;
    json["contours"] = ContoursJson(eye.contours);
    json["image"] = outputs.statisticalImage;
    return json;
}

// One reference's breakdown, in seconds; null where it has none.
Json JitterComponentsJson(const JitterComponents& c) {
    if (!c.known) return nullptr;
    Json lines = Json::array();
    for (const JitterLine& line : c.lines) lines.push_back({{"hz", line.hertz}, {"pp_s", JsonNumber(line.peakToPeak)}});
    const auto patterned = [&c](double value) { return c.patternsKnown ? JsonNumber(value) : Json(nullptr); };
    return {{"tie_rms_s", JsonNumber(c.rms)}, {"tj_s", JsonNumber(c.total)}, {"ddj_s", patterned(c.ddj)},
            {"isi_s", patterned(c.isi)},      {"dcd_s", patterned(c.dcd)},  {"pj_s", JsonNumber(c.pj)},
            {"pj_lines", lines},              {"buj_s", JsonNumber(c.buj)}, {"rj_rms_s", JsonNumber(c.rj)}};
}

Json JitterJson(const LinkResult& result, const RunOutputs& outputs) {
    const JitterBreakdown& jitter = result.jitter;
    Json json = {{"known", jitter.known}};
    if (!jitter.known) {
        json["why"] = jitter.why;
        return json;
    }
    json["edges"] = jitter.edges;
    json["target_ber"] = jitter.targetBer;
    json["pattern_bits"] = jitter.patternBits;
    json["against_clock"] = JitterComponentsJson(jitter.againstClock);
    json["against_grid"] = JitterComponentsJson(jitter.againstGrid);
    json["image"] = outputs.jitterImage;
    json["seconds"] = jitter.seconds;
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
    json["contours"] = ContoursJson(result.margins.contours);
    json["image"] = outputs.eyeImage;
    json["note"] = outputs.eyeNote;
    return json;
}

Json ClockJson(const LinkResult& result, const RunOutputs& outputs) {
    const ClockSettling& clock = result.clock;
    const ClockTrack& track = result.clockTrack;
    Json json = {{"recovered", result.rxReportsClock},
                 {"source", result.hostClock ? "host clock recovery" : "receiver clock times"},
                 {"clock_times", clock.clockCount},
                 {"lock_at_bit", LockAtBit(result) < 0 ? Json(nullptr) : Json(LockAtBit(result))},
                 {"lost_times", track.lostTimes}};
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

// A Touchstone path's figures in fixed notation with their units.
std::string TouchstoneFigures(const ChannelOutcome& channel) {
    std::string text = std::isfinite(channel.lossDbAtNyquist)
                           ? FormatValue("%.1f", channel.lossDbAtNyquist) + " dB at Nyquist (from the data)"
                           : std::string("loss at Nyquist unknown (no data there)");
    text += ", delay " + FormatValue("%.3f", channel.delaySeconds * 1e9) + " ns";
    if (std::isfinite(channel.sdd11DbAtNyquist)) {
        text += ", SDD11 " + FormatValue("%.1f", channel.sdd11DbAtNyquist) + " dB";
        if (std::isfinite(channel.scd21DbAtNyquist)) {
            text += " and SCD21 " + FormatValue("%.1f", channel.scd21DbAtNyquist) + " dB";
        }
        text += " at Nyquist";
    }
    if (std::isfinite(channel.differentialReferenceOhms)) {
        text += ", read against " + FormatValue("%.1f", channel.differentialReferenceOhms) + " ohm differential";
    }
    return text;
}

// One path: the through channel or an aggressor's.
Json PathJson(const ChannelSpec& spec, const ChannelOutcome& outcome) {
    Json json = Json::object();
    switch (spec.kind) {
        case ChannelKind::Loss: json["kind"] = "lossy line"; break;
        case ChannelKind::File: json["kind"] = "file"; break;
        case ChannelKind::Touchstone: json["kind"] = "touchstone"; break;
    }
    if (spec.kind != ChannelKind::Loss) json["file"] = spec.path;
    if (spec.kind == ChannelKind::Touchstone) json["ports"] = outcome.ports;
    json["loss_db_at_nyquist"] = JsonNumber(outcome.lossDbAtNyquist);
    json["delay_s"] = JsonNumber(outcome.delaySeconds);
    if (spec.kind == ChannelKind::Touchstone) {
        json["differential_reference_ohms"] = JsonNumber(outcome.differentialReferenceOhms);
        json["sdd11_db_at_nyquist"] = JsonNumber(outcome.sdd11DbAtNyquist);
        json["scd21_db_at_nyquist"] = JsonNumber(outcome.scd21DbAtNyquist);
        json["precursor_energy_share"] = JsonNumber(outcome.precursorEnergyShare);
        json["unaliased_span_s"] = JsonNumber(outcome.unaliasedSpanSeconds);
        json["passivity_excess_db"] = JsonNumber(outcome.passivityExcessDb);
        json["passivity_worst_hz"] = JsonNumber(outcome.passivityWorstHz);
        json["pair_passivity_excess_db"] = JsonNumber(outcome.pairPassivityExcessDb);
        json["pair_passivity_worst_hz"] = JsonNumber(outcome.pairPassivityWorstHz);
    }
    json["warnings"] = outcome.warnings;
    return json;
}

Json BuffersJson(const BuffersOutcome& buffers) {
    if (!buffers.applied) return {{"applied", false}};
    const BufferLoads& loads = buffers.loads;
    return {{"applied", true},
            {"per_leg", {{"tx_ohms", JsonNumber(loads.txOhms)},
                         {"tx_farads", loads.txFarads},
                         {"rx_ohms", std::isinf(loads.rxOhms) ? Json("open") : JsonNumber(loads.rxOhms)},
                         {"rx_farads", loads.rxFarads},
                         {"package_ohms", loads.txPackage.ohms},
                         {"package_henries", loads.txPackage.henries},
                         {"package_farads", loads.txPackage.farads},
                         {"rx_package_ohms", loads.rxPackage.ohms},
                         {"rx_package_henries", loads.rxPackage.henries},
                         {"rx_package_farads", loads.rxPackage.farads}}},
            {"source", buffers.source}};
}

Json ChannelJson(const LinkSettings& settings, const LinkResult& result) {
    Json json = PathJson(settings.channel, result.channel);
    json["buffers"] = BuffersJson(result.buffers);
    json["impulse_samples"] = result.channelSamples;
    json["impulse_matrix_rows"] = result.impulseSamples;
    return json;
}

Json AggressorsJson(const LinkSettings& settings, const LinkResult& result) {
    Json list = Json::array();
    for (size_t i = 0; i < result.aggressors.size() && i < settings.aggressors.size(); ++i) {
        const AggressorOutcome& aggressor = result.aggressors[i];
        Json json = PathJson(settings.aggressors[i], aggressor.path);
        json["impulse_matrix_column"] = i + 1;
        json["prbs_seed"] = aggressor.seed;
        json["pulse_peak_v"] = JsonNumber(aggressor.pulsePeakV);
        json["largest_at_rx_input_v"] = JsonNumber(aggressor.largestV);
        list.push_back(json);
    }
    return list;
}

}  // namespace

HostTime TimeOutsideReceiver(const LinkResult& result, const RunOutputs& outputs) {
    HostTime host;
    host.seconds = std::max(outputs.totalSeconds - result.timing.rxGetWave, 0.0);
    host.share = outputs.totalSeconds > 0.0 ? host.seconds / outputs.totalSeconds : 0.0;
    return host;
}

long long LockAtBit(const LinkResult& result) {
    const ClockTrack& track = result.clockTrack;
    if (track.windows.empty() || !track.locked) return -1;
    return (long long)(track.lockTime / result.unitInterval);
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
                           {"bits_per_call", result.bitsPerCall}};
    Json requirements = Json::array();
    for (const RequirementCheck& check : result.verdict.requirements) {
        requirements.push_back({{"name", check.name},
                                {"unit", check.unit},
                                {"at_least", check.atLeast},
                                {"required", check.required},
                                {"measured", JsonNumber(check.measured)},
                                {"met", check.met}});
    }
    Json document = {{"verdict", VerdictName(result.verdict.kind)},
                     {"verdict_reasons", result.verdict.reasons},
                     {"requirements", requirements},
                     {"run", RunJson(settings, result)},
                     {"tx", ModelJson(result.tx)},
                     {"rx", ModelJson(result.rx)},
                     {"stimulus", stimulus},
                     {"ibs", IbsJson(result)},
                     {"channel", ChannelJson(settings, result)},
                     {"aggressors", AggressorsJson(settings, result)},
                     {"stress", StressWithDeclaredJson(result)},
                     {"responses", ResponsesJson(result, outputs)},
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
    document["jitter"] = JitterJson(result, outputs);
    if (settings.statistical) document["statistical"] = StatisticalJson(result, outputs);
    return document;
}

std::string SummaryJson(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    // Paths, model messages and .ami strings may hold bytes that are not
    // UTF-8: they are written as U+FFFD rather than fail the whole summary.
    return SummaryDocument(settings, result, outputs).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string RunContextText(const LinkSettings& settings, const LinkResult& result) {
    std::string text = ChannelText(settings, result) + ", PRBS" + std::to_string(settings.prbsOrder) + " at " +
                       FormatValue("%g", settings.bitRate / 1e9) + " Gb/s";
    const std::string stress = StressText(result.stress);
    if (!stress.empty()) text += ", " + stress;
    for (const ModelRun* model : {&result.tx, &result.rx}) {
        for (const ParameterChoice& choice : model->parameters) {
            if (choice.fromUser) text += ", " + choice.parameter->DottedPath() + " " + choice.written;
        }
    }
    return text;
}

std::string SummaryText(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    std::ostringstream text;
    text << "verdict: " << VerdictName(result.verdict.kind);
    const char* separator = " (";
    for (const std::string& reason : result.verdict.reasons) text << separator << reason, separator = "; ";
    text << (result.verdict.reasons.empty() ? "" : ")") << "\n";
    for (const RequirementCheck& check : result.verdict.requirements) {
        text << "  required: " << check.name << (check.atLeast ? " at least " : " at most ")
             << FormatValue("%g", check.required) << (check.unit.empty() ? "" : " ") << check.unit << ", measured "
             << (std::isfinite(check.measured) ? FormatValue("%.4g", check.measured) : std::string("nothing"))
             << (check.met ? " (met)" : " (not met)") << "\n";
    }
    text << result.tx.description.modelName << " -> " << ChannelText(settings, result) << " -> "
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
    if (settings.channel.kind == ChannelKind::Touchstone) text << "  channel: " << TouchstoneFigures(result.channel) << "\n";
    for (const std::string& warning : result.channel.warnings) text << "  channel warning: " << warning << "\n";
    for (size_t i = 0; i < result.aggressors.size(); ++i) {
        text << "  aggressor " << i + 1 << ": pulse peak " << FormatValue("%.3f", result.aggressors[i].pulsePeakV * 1e3)
             << " mV, up to " << FormatValue("%.3f", result.aggressors[i].largestV * 1e3) << " mV at the receiver's input\n";
        for (const std::string& warning : result.aggressors[i].path.warnings) {
            text << "  aggressor " << i + 1 << " warning: " << warning << "\n";
        }
    }
    text << ParametersOutLine(result.tx) << ParametersOutLine(result.rx);
    if (result.hostClock) {
        text << "  clock: the host's clock recovery (the receiver reports no clock times)\n";
    }
    if (result.adaptLogFound) {
        const AdaptOutcome& adaptation = result.adaptation;
        text << "  adaptation: CTLE column " << adaptation.ctle << ", DFE taps";
        for (double tap : adaptation.taps) text << " " << FormatValue("%g", tap);
        text << " V (" << adaptation.measurements << " measurements)\n";
    }
    text << MarginLines(result);
    const JitterBreakdown& jitter = result.jitter;
    const struct {
        const char* name;
        const JitterComponents& c;
    } references[] = {{"clock", jitter.againstClock}, {"data's grid", jitter.againstGrid}};
    for (const auto& reference : references) {
        if (!reference.c.known) continue;
        const auto ps = [](double seconds) { return FormatValue("%.2f", seconds * 1e12); };
        text << "  jitter against the " << reference.name << ": TJ " << ps(reference.c.total) << " ps at BER "
             << FormatValue("%.0e", jitter.targetBer) << ", DDJ "
             << (reference.c.patternsKnown ? ps(reference.c.ddj) : std::string("not known")) << ", PJ "
             << ps(reference.c.pj) << ", BUJ " << ps(reference.c.buj) << ", RJ " << ps(reference.c.rj)
             << " ps rms\n";
    }
    const StatisticalEye& statistical = result.statistical;
    if (statistical.known) {
        text << "  statistical eye" << (result.statisticalWithout.empty() ? "" : " (" + result.statisticalWithout + ")")
             << ": height " << FormatValue("%.4g", statistical.heightV) << " V, width "
             << FormatValue("%.3g", statistical.widthUi) << " UI at BER " << FormatValue("%.0e", statistical.targetBer)
             << "\n";
    } else if (settings.statistical) {
        text << "  statistical eye: " << statistical.why << "\n";
    }
    const HostTime host = TimeOutsideReceiver(result, outputs);
    text << "  time: " << FormatValue("%.3g", outputs.totalSeconds) << " s, " << FormatValue("%.3g", result.timing.rxGetWave)
         << " s of it in " << result.rx.description.modelName << " AMI_GetWave, " << FormatValue("%.0f", 100.0 * host.share)
         << " % outside it\n";
    if (!outputs.eyeImage.empty()) text << "  eye picture: " << outputs.folder << "/" << outputs.eyeImage << "\n";
    if (!outputs.bathtubImage.empty()) text << "  bathtub: " << outputs.folder << "/" << outputs.bathtubImage << "\n";
    if (!outputs.trajectoryImage.empty()) {
        text << "  trajectory: " << outputs.folder << "/" << outputs.trajectoryImage << "\n";
    }
    if (!outputs.jitterImage.empty()) text << "  jitter: " << outputs.folder << "/" << outputs.jitterImage << "\n";
    if (!outputs.statisticalImage.empty()) {
        text << "  statistical eye picture: " << outputs.folder << "/" << outputs.statisticalImage << "\n";
    }
    if (!outputs.report.empty()) text << "  report: " << outputs.folder << "/" << outputs.report << "\n";
    if (!outputs.responsesImage.empty()) {
        text << "  responses: " << outputs.folder << "/" << outputs.responsesImage << ", " << outputs.folder << "/"
             << outputs.responsesCsv << "\n";
    }
    if (!outputs.adaptationCsv.empty()) {
        text << "  adaptation table: " << outputs.folder << "/" << outputs.adaptationCsv << "\n";
    }
    text << "  summary: " << outputs.folder << "/summary.json\n";
    return text.str();
}

}  // namespace linksim
