#include "Summary.h"

#include "MarginSummary.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <sstream>

#include "Json.h"

namespace linksim {

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string ChannelText(const LinkSettings& settings) {
    if (settings.channel.kind == ChannelKind::File) return "channel " + settings.channel.path;
    return Format("%g", settings.channel.lossDb) + " dB channel";
}

void WriteModel(JsonWriter& json, const ModelRun& run) {
    const AmiDescription& model = run.description;
    json.BeginObject();
    json.Key("model").String(model.modelName);
    json.Key("library").String(run.library);
    json.Key("ami").String(run.ami);
    json.Key("init_returns_impulse").Bool(model.initReturnsImpulse);
    json.Key("getwave_exists").Bool(model.getWaveExists);
    json.Key("getwave_used").Bool(run.getWaveUsed);
    json.Key("ignore_bits").Integer(model.ignoreBits);
    json.Key("parameters").BeginObject();
    for (const ParameterChoice& choice : run.parameters) {
        json.Key(choice.parameter->DottedPath()).BeginObject();
        json.Key("value").String(choice.written);
        json.Key("given").Bool(choice.fromUser);
        json.EndObject();
    }
    json.EndObject();
    json.Key("parameter_string").String(run.parameterString);
    json.Key("init_message").String(run.initMessage);
    json.Key("parameters_out").String(run.parametersOut);
    json.EndObject();
}

void WriteErrors(JsonWriter& json, const LinkResult& result) {
    const BitErrorCount& errors = result.errors;
    json.BeginObject();
    json.Key("sampled_at").String(result.retimedOutput ? "clock times" : "clock times + UI/2");
    json.Key("aligned").Bool(errors.aligned);
    json.Key("latency_bits").Integer(errors.latencyBits);
    json.Key("bits_compared").Integer((long long)errors.compared);
    json.Key("bit_errors").Integer((long long)errors.errors);
    if (errors.compared > 0 && errors.errors == 0) {
        json.Key("ber").Null();
        json.Key("ber_upper_bound_95").Number(errors.BerUpperBound95());
    } else {
        json.Key("ber").Number(errors.compared ? errors.Ber() : std::numeric_limits<double>::quiet_NaN());
        json.Key("ber_upper_bound_95").Null();
    }
    json.EndObject();
}

void WriteEye(JsonWriter& json, const LinkResult& result, const RunOutputs& outputs) {
    const EyeFigures eye = ReportedEye(result);
    json.BeginObject();
    if (eye.known) {
        json.Key("height_v").Number(eye.heightV);
        json.Key("width_ui").Number(eye.widthUi);
        json.Key("open").Bool(eye.open);
        json.Key("inner_height_v").Number(result.errors.innerHeight);
        json.Key("crossings").Integer((long long)result.widthMargins.crossings);
    } else {
        json.Key("height_v").Null();
        json.Key("width_ui").Null();
    }
    json.Key("image").String(outputs.eyeImage);
    json.Key("note").String(outputs.eyeNote);
    json.EndObject();
}

void WriteClock(JsonWriter& json, const LinkResult& result) {
    const ClockSettling& clock = result.clock;
    json.BeginObject();
    json.Key("recovered").Bool(result.rxReportsClock);
    json.Key("clock_times").Integer((long long)clock.clockCount);
    json.Key("settled").Bool(clock.settled);
    if (clock.settled) {
        json.Key("settled_at_s").Number(clock.settleTime);
        json.Key("settled_at_bit").Integer((long long)(clock.settleTime / result.unitInterval));
    } else {
        json.Key("settled_at_s").Null();
        json.Key("settled_at_bit").Null();
    }
    json.Key("mean_period_s").Number(clock.meanPeriod);
    json.Key("phase_ui").Number(clock.finalPhaseUi);
    json.EndObject();
}

void WriteAdaptation(JsonWriter& json, const LinkResult& result) {
    if (!result.adaptLogFound) {
        json.Null();
        return;
    }
    const AdaptOutcome& adaptation = result.adaptation;
    json.BeginObject();
    json.Key("log").String("adapt.txt");
    json.Key("log_error").String(result.adaptLogError);
    json.Key("measurements").Integer((long long)adaptation.measurements);
    json.Key("ctle_column").Integer(adaptation.ctle);
    json.Key("dfe_taps_v").BeginArray();
    for (double tap : adaptation.taps) json.Number(tap);
    json.EndArray();
    json.Key("last_step_undone").Bool(adaptation.lastStepUndone);
    json.Key("last_eye_width_ui").Number(adaptation.eyeWidth);
    json.Key("last_eye_height_v").Number(adaptation.eyeHeight);
    json.EndObject();
}

void WriteTiming(JsonWriter& json, const LinkResult& result, const RunOutputs& outputs) {
    const RunTiming& timing = result.timing;
    const HostTime host = TimeOutsideReceiver(result, outputs);
    json.BeginObject();
    json.Key("total_s").Number(outputs.totalSeconds);
    json.Key("rx_getwave_s").Number(timing.rxGetWave);
    json.Key("host_s").Number(host.seconds);
    json.Key("host_share").Number(host.share);
    json.Key("host_work_overlapped").Bool(timing.overlapped);
    // Each part's own time; channel and analysis ran beside the receiver when
    // overlapped, and then only the waiting for them adds to host_s.
    json.Key("host_parts_s").BeginObject();
    json.Key("setup").Number(timing.setup);
    json.Key("stimulus").Number(timing.stimulus);
    json.Key("tx_getwave").Number(timing.txGetWave);
    json.Key("channel").Number(timing.channel);
    json.Key("analysis").Number(timing.analysis);
    json.Key("waiting").Number(timing.waiting);
    json.Key("results").Number(timing.results);
    json.Key("eye_picture").Number(outputs.eyePictureSeconds);
    json.EndObject();
    json.EndObject();
}

void WriteStrings(JsonWriter& json, const std::vector<std::string>& texts) {
    json.BeginArray();
    for (const std::string& text : texts) json.String(text);
    json.EndArray();
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

std::string SummaryJson(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    JsonWriter json;
    json.BeginObject();
    json.Key("tx");
    WriteModel(json, result.tx);
    json.Key("rx");
    WriteModel(json, result.rx);
    json.Key("stimulus").BeginObject();
    json.Key("pattern").String("PRBS" + std::to_string(settings.prbsOrder));
    json.Key("bits").Integer((long long)result.bits);
    json.Key("bit_rate_hz").Number(settings.bitRate);
    json.Key("samples_per_ui").Integer(settings.samplesPerUi);
    json.Key("sample_interval_s").Number(result.sampleInterval);
    json.Key("levels_v").BeginArray().Number(-0.5).Number(0.5).EndArray();
    json.Key("bits_per_call").Integer((long long)settings.bitsPerCall);
    json.EndObject();
    json.Key("channel").BeginObject();
    if (settings.channel.kind == ChannelKind::File) {
        json.Key("kind").String("file");
        json.Key("path").String(settings.channel.path);
    } else {
        json.Key("kind").String("lossy line");
        json.Key("loss_db_at_nyquist").Number(settings.channel.lossDb);
    }
    json.Key("impulse_samples").Integer((long long)result.channelSamples);
    json.Key("impulse_matrix_rows").Integer((long long)result.impulseSamples);
    json.EndObject();
    json.Key("flow");
    WriteStrings(json, result.flow);
    json.Key("ignore_bits").Integer(result.ignoreBits);
    json.Key("rx_output").String(result.retimedOutput ? "retimed decisions" : "equalised waveform");
    json.Key("errors");
    WriteErrors(json, result);
    json.Key("eye");
    WriteEye(json, result, outputs);
    json.Key("clock");
    WriteClock(json, result);
    json.Key("adaptation");
    WriteAdaptation(json, result);
    json.Key("timing");
    WriteTiming(json, result, outputs);
    json.Key("notes");
    WriteStrings(json, result.notes);
    json.EndObject();
    return json.Text();
}

std::string SummaryText(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs) {
    std::ostringstream text;
    text << result.tx.description.modelName << " -> " << ChannelText(settings) << " -> "
         << result.rx.description.modelName << ", PRBS" << settings.prbsOrder << ", " << result.bits << " bits at "
         << Format("%g", settings.bitRate / 1e9) << " Gb/s\n";
    const BitErrorCount& errors = result.errors;
    if (result.bits <= size_t(result.ignoreBits)) {
        text << "  bit errors: none counted, all " << result.bits << " bits are within the " << result.ignoreBits
             << " to ignore\n";
    } else if (!errors.aligned) {
        text << "  bit errors: the output never lined up with the pattern\n";
    } else if (errors.errors == 0) {
        text << "  bit errors: 0 in " << errors.compared << " bits after " << result.ignoreBits
             << " ignored (BER < " << Format("%.2g", errors.BerUpperBound95()) << " at 95 % confidence)\n";
    } else {
        text << "  bit errors: " << errors.errors << " in " << errors.compared << " bits after " << result.ignoreBits
             << " ignored (BER " << Format("%.3g", errors.Ber()) << ")\n";
    }
    const EyeFigures eye = ReportedEye(result);
    if (eye.known) {
        text << "  eye: height " << Format("%.4g", eye.heightV) << " V, width " << Format("%.3g", eye.widthUi)
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
        for (double tap : adaptation.taps) text << " " << Format("%g", tap);
        text << " V (" << adaptation.measurements << " measurements)\n";
    }
    text << MarginLines(settings, result);
    const HostTime host = TimeOutsideReceiver(result, outputs);
    text << "  time: " << Format("%.3g", outputs.totalSeconds) << " s, " << Format("%.3g", result.timing.rxGetWave)
         << " s of it in " << result.rx.description.modelName << " AMI_GetWave, " << Format("%.0f", 100.0 * host.share)
         << " % outside it\n";
    if (!outputs.eyeImage.empty()) text << "  eye picture: " << outputs.folder << "/" << outputs.eyeImage << "\n";
    if (!outputs.bathtubImage.empty()) text << "  bathtub: " << outputs.folder << "/" << outputs.bathtubImage << "\n";
    if (!outputs.trajectoryImage.empty()) {
        text << "  trajectory: " << outputs.folder << "/" << outputs.trajectoryImage << "\n";
    }
    if (!outputs.adaptationCsv.empty()) text << "  adaptation: " << outputs.folder << "/" << outputs.adaptationCsv << "\n";
    text << "  summary: " << outputs.folder << "/summary.json\n";
    return text.str();
}

}  // namespace linksim
