#include "LinkRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include <unistd.h>

#include "AmiFile.h"
#include "AmiLibrary.h"
#include "BlockPipeline.h"
#include "Channel.h"
#include "LinkChannels.h"
#include "HostClockRecovery.h"
#include "JitterBreakdown.h"
#include "KitModels.h"
#include "MarginNotes.h"
#include "FileDigest.h"
#include "ModelStress.h"
#include "ModelWatch.h"
#include "PulseEye.h"
#include "Prbs.h"
#include "RunJudge.h"
#include "StatisticalEye.h"
#include "TwoThreads.h"
#include "WorkingFolder.h"

namespace linksim {

namespace fs = std::filesystem;

namespace {

const char* const kAdaptLogName = "adapt.txt";
// Room after the channel's response in the impulse matrix, for what the
// transmitter and receiver add to it.
const size_t kImpulseMarginUi = 64;
// Measured bits a default run adds after the ignored ones.
const size_t kMinimumMeasuredBits = 50000;
// A model's latency can exceed the impulse response by its own pipeline.
const size_t kLatencySlackBits = 256;
// The cursors reported around the main one.
const size_t kPreCursors = 3;
const size_t kPostCursors = 10;
// The receiver's output kept for the margins (as float): a million
// measured bits at 32 samples per unit interval, 128 MB.
const size_t kMaxRecordedSamples = size_t(1) << 25;
// The noise's stream of the run's seed (the jitter takes the first ones).
const unsigned kNoiseStream = 3;

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ignored;
    const fs::path absolute = fs::absolute(path, ignored);
    return absolute.empty() ? path : absolute.lexically_normal().string();
}

std::string AmiBeside(const std::string& library) { return fs::path(library).replace_extension(".ami").string(); }

// What IBIS has the host give a model's reserved inputs, where the run
// knows it: the IBIS file's [Model] and [Component] names and the pin's
// signal, no DC offset, and no clock input of the host's.
struct ReservedInputValues {
    std::string modelName;
    std::string componentName;
    std::string signalName;
};

std::string ReservedInputValue(const AmiParameter& parameter, const ReservedInputValues& known) {
    const std::string& name = parameter.Name();
    if (name == "Model_Name") return known.modelName;
    if (name == "Component_Name") return known.componentName;
    if (name == "Signal_Name") return known.signalName;
    if (name == "DC_Offset") return "0.0";
    if (name == "Rx_Use_Clock_Input") return "None";
    return parameter.hasDefault ? parameter.defaultValue : std::string();
}

// The reserved inputs with their values, first in the parameter string as
// simulators write them; those the run has no value for are listed.
bool ChooseReservedInputs(ModelRun& run, const ReservedInputValues& known, std::string& error) {
    std::vector<ParameterChoice> reserved;
    for (const AmiParameter& parameter : run.description.reservedInputs) {
        const std::string value = ReservedInputValue(parameter, known);
        std::string written;
        if (value.empty()) {
            run.reservedNotPassed.push_back(parameter.Name());
        } else if (!CheckParameterValue(parameter, value, written, error)) {
            error = run.description.modelName + " reserved " + error;
            return false;
        } else {
            reserved.push_back({&parameter, written, false});
        }
    }
    run.parameters.insert(run.parameters.begin(), reserved.begin(), reserved.end());
    return true;
}

ReservedInputValues KnownReservedValues(const IbisChoice& ibs, bool transmitter, const ModelRun& run) {
    ReservedInputValues known;
    known.modelName = run.description.modelName;
    if (!ibs.chosen) return known;
    known.modelName = (transmitter ? ibs.tx : ibs.rx).name;
    const IbisFile& file = transmitter ? ibs.file : ibs.rxFile;
    known.componentName = file.component;
    const std::string& pin = transmitter ? ibs.txPin : ibs.rxPin;
    for (const IbisPin& entry : file.pins) {
        if (!pin.empty() && entry.pin == pin) known.signalName = entry.signal;
    }
    return known;
}

bool PrepareModel(const ModelSpec& spec, const char* role, const IbisChoice& ibs, ModelRun& run, std::string& error) {
    run.library = AbsolutePath(spec.library);
    run.ami = AbsolutePath(spec.ami.empty() ? AmiBeside(spec.library) : spec.ami);
    // A missing library is the cause, not the .ami file missing beside it.
    if (!AmiLibrary::Exists(run.library, error)) return false;
    if (!ReadAmiFile(run.ami, run.description, error)) {
        error = std::string(role) + " " + error;
        return false;
    }
    if (run.description.modulation != "NRZ") {
        error = std::string(role) + " " + run.description.modelName + " declares Modulation " +
                run.description.modulation + ": orvex-link runs NRZ links only";
        return false;
    }
    if (!ChooseParameters(run.description, spec.overrides, run.parameters, error) ||
        !ChooseReservedInputs(run, KnownReservedValues(ibs, std::string(role) == "Tx", run), error)) {
        error = std::string(role) + " " + error;
        return false;
    }
    run.parameterString = BuildParameterString(run.description.modelName, run.parameters);
    return true;
}

// Made, checked for writing and cleared of an earlier run's outputs before
// anything else: a folder that cannot take the results is known at once,
// and no file of an earlier run passes for this one's (the receiver appends
// to its log, which would mix in).
bool PrepareOutputFolder(const std::string& folder, std::string& error) {
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure || !fs::is_directory(folder)) {
        error = "cannot create the output folder " + folder + (failure ? ": " + failure.message() : "");
        return false;
    }
    const fs::path probe = fs::path(folder) / ".orvex-link-probe";
    if (!std::ofstream(probe) || !fs::remove(probe, failure)) {
        error = "cannot write in the output folder " + folder;
        return false;
    }
    for (const char* name : kRunOutputFiles) {
        fs::remove(fs::path(folder) / name, failure);
        if (failure) {
            error = "cannot remove " + (fs::path(folder) / name).string() + " of an earlier run: " + failure.message();
            return false;
        }
    }
    return true;
}

// The through channel and every aggressor's path, as columns of one
// length (with room for what the models add), one after the other: the
// impulse matrix AMI_Init takes.
bool BuildChannels(const LinkSettings& settings, const std::string& txModelName, LinkResult& result,
                   std::vector<double>& matrix, std::string& error) {
    if (!ResolveBuffers(settings, result.ibs, result.tx.library, result.rx.library, txModelName, result.buffers, error)) {
        return false;
    }
    std::vector<std::vector<double>> columns(1 + settings.aggressors.size());
    if (!BuildPath(settings.channel, settings.ports, true, result.buffers, settings.bitRate, settings.samplesPerUi,
                   columns[0], result.channel, error)) {
        return false;
    }
    for (size_t i = 0; i < settings.aggressors.size(); ++i) {
        AggressorOutcome aggressor;
        if (!BuildPath(settings.aggressors[i], settings.AggressorPorts(i), false, result.buffers, settings.bitRate,
                       settings.samplesPerUi, columns[i + 1], aggressor.path, error)) {
            error = "aggressor " + std::to_string(i + 1) + ": " + error;
            return false;
        }
        aggressor.seed = AggressorSeed(settings.prbsOrder, i + 1);
        result.aggressors.push_back(aggressor);
    }
    result.channelSamples = columns[0].size();
    size_t longest = 0;
    for (const std::vector<double>& column : columns) longest = std::max(longest, column.size());
    const size_t spui = size_t(settings.samplesPerUi);
    const size_t rows = ((longest + kImpulseMarginUi * spui + spui - 1) / spui) * spui;
    result.impulseSamples = rows;
    matrix.clear();
    for (std::vector<double>& column : columns) {
        column.resize(rows, 0.0);
        matrix.insert(matrix.end(), column.begin(), column.end());
    }
    return true;
}

std::vector<double> Column(const std::vector<double>& matrix, size_t rows, size_t index) {
    return std::vector<double>(matrix.begin() + long(index * rows), matrix.begin() + long((index + 1) * rows));
}

// The largest magnitude of a path's response to one unit interval of +-0.5 V.
double PulsePeak(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval) {
    double sum = 0.0;
    double peak = 0.0;
    for (size_t n = 0; n < impulse.size(); ++n) {
        sum += impulse[n];
        if (n >= size_t(samplesPerUi)) sum -= impulse[n - size_t(samplesPerUi)];
        peak = std::max(peak, std::fabs(0.5 * sum * sampleInterval));
    }
    return peak;
}

bool UsesRetimedOutput(const LinkSettings& settings, const ModelRun& rx) {
    if (settings.rxOutput != RxOutputMode::Auto) {
        return settings.rxOutput == RxOutputMode::Retimed;
    }
    const KitModel* known = FindKitModel(rx.description.modelName);
    if (known && known->retimedParameter) {
        for (const ParameterChoice& choice : rx.parameters) {
            if (choice.parameter->DottedPath() == known->retimedParameter &&
                std::strtod(choice.written.c_str(), nullptr) == known->retimedValue) {
                return true;
            }
        }
    }
    return false;
}

// The aggressor columns a model's AMI_Init is handed: all of them, unless
// its .ami file declares it takes fewer (those beyond pass it unshaped).
long ColumnsTaken(const AmiDescription& model, long aggressors, std::vector<std::string>& notes) {
    if (aggressors == 0 || model.maxInitAggressors < 0 || model.maxInitAggressors >= aggressors) return aggressors;
    notes.push_back(model.modelName + " declares Max_Init_Aggressors " + std::to_string(model.maxInitAggressors) +
                    ": the other " + std::to_string(aggressors - model.maxInitAggressors) +
                    " aggressor column(s) pass its AMI_Init unshaped");
    return model.maxInitAggressors;
}

// AMI_Init on the impulse response; a model that declares it returns none
// leaves the response as it came.
bool InitializeColumns(AmiModelInstance& instance, ModelRun& run, std::vector<double>& impulse, long aggressors,
                       double sampleInterval, double bitTime, std::string& error) {
    std::vector<double> processed(impulse);
    const bool ok = instance.Initialize(processed, sampleInterval, bitTime, run.parameterString, aggressors);
    run.initMessage = OneLine(instance.Message());
    run.parametersOut = OneLine(instance.ParametersOut());
    if (!ok) {
        error = run.description.modelName + " AMI_Init failed" +
                (run.initMessage.empty() ? std::string(" without a message") : ": " + run.initMessage);
        return false;
    }
    if (run.description.initReturnsImpulse) {
        if (!AllFinite(processed.data(), processed.size())) {
            error = run.description.modelName + " AMI_Init returned an impulse response that is not finite";
            return false;
        }
        impulse.swap(processed);
    }
    return true;
}

// AMI_Init on the through column and the first `aggressors` aggressor
// columns of the matrix (rows samples each).
bool InitializeModel(AmiModelInstance& instance, ModelRun& run, std::vector<double>& matrix, size_t rows,
                     long aggressors, double sampleInterval, double bitTime, std::string& error) {
    std::vector<double> impulse(matrix.begin(), matrix.begin() + long(rows * size_t(aggressors + 1)));
    if (!InitializeColumns(instance, run, impulse, aggressors, sampleInterval, bitTime, error)) return false;
    std::copy(impulse.begin(), impulse.end(), matrix.begin());
    return true;
}

bool AllZero(const std::vector<double>& response) {
    return std::all_of(response.begin(), response.end(), [](double value) { return value == 0.0; });
}

// A model whose returned impulse response the link is built from, and which
// returned nothing but zeros: every decision is then a guess.
std::string SilentPath(const LinkResult& result, const std::vector<double>& afterTx,
                       const std::vector<double>& afterRx) {
    const struct {
        const ModelRun& model;
        bool taken;
        const std::vector<double>& returned;
    } steps[] = {
        {result.tx, result.tx.description.initReturnsImpulse && !result.tx.getWaveUsed, afterTx},
        {result.rx, result.rx.description.initReturnsImpulse && !result.rx.getWaveUsed, afterRx},
    };
    for (const auto& step : steps) {
        if (step.taken && AllZero(step.returned)) {
            return step.model.description.modelName + " AMI_Init returned an impulse response of zeros: nothing of "
                                                       "the transmitted bits reaches the receiver's output";
        }
    }
    return "";
}

std::vector<double> Taps(const std::vector<double>& impulse, double sampleInterval) {
    std::vector<double> taps(impulse);
    for (double& tap : taps) tap *= sampleInterval;
    return taps;
}

bool CheckSettings(const LinkSettings& settings, std::string& error) {
    if (FindPrbsPolynomial(settings.prbsOrder) == nullptr) {
        error = "PRBS" + std::to_string(settings.prbsOrder) + " is not one of PRBS7, 15, 23, 31";
    } else if (!(settings.bitRate > 0.0) || !std::isfinite(settings.bitRate)) {
        error = "the bit rate must be a positive number of bits per second";
    } else if (settings.samplesPerUi < 2) {
        error = "a unit interval needs at least 2 samples";
    } else if (settings.bitRate * settings.samplesPerUi > kMaxSampleRate) {
        char text[160];
        std::snprintf(text, sizeof text, "a bit rate of %g with %d samples per unit interval is beyond %g samples/s",
                      settings.bitRate, settings.samplesPerUi, kMaxSampleRate);
        error = text;
    } else if (settings.bits > MaxBits()) {
        error = std::to_string(settings.bits) + " bits are more than this machine's memory holds (at most " +
                std::to_string(MaxBits()) + ")";
    } else if (settings.bitsPerCall == 0) {
        error = "AMI_GetWave needs at least one bit per call";
    } else if (settings.channel.kind == ChannelKind::Loss &&
               (!(settings.channel.lossDb >= 0.0) || !std::isfinite(settings.channel.lossDb))) {
        error = "the channel loss must be 0 dB or more";
    } else if (!(settings.targetBer > 0.0 && settings.targetBer < 0.5)) {
        error = "the target bit error rate must lie between 0 and 0.5, as in 1e-12";
    } else {
        return CheckStress(settings.stress, 1.0 / settings.bitRate, error);
    }
    return false;
}

// Fewer bits than the models ignore leave nothing to count: refused before
// any model runs, unless the user says how many to ignore.
bool CheckCountedBits(const LinkSettings& settings, const LinkResult& result, std::string& error) {
    if (result.bits > size_t(std::max(result.ignoreBits, 0L))) return true;
    error = std::to_string(result.bits) + " bits are all within the " + std::to_string(result.ignoreBits) +
            " bits to ignore" + (settings.ignoreBits < 0 ? " (the models' Ignore_Bits)" : "") +
            ": nothing would be counted; give more --bits, or --ignore-bits";
    return false;
}

void Describe(const LinkSettings& settings, LinkResult& result) {
    const std::string& tx = result.tx.description.modelName;
    const std::string& rx = result.rx.description.modelName;
    result.flow.push_back(tx + " AMI_Init on the channel's impulse response");
    result.flow.push_back(rx + " AMI_Init on the impulse response " + tx + " returned");
    const std::string bits = "PRBS" + std::to_string(settings.prbsOrder);
    if (result.tx.getWaveUsed) {
        result.flow.push_back(bits + " through " + tx + " AMI_GetWave, then the channel");
    } else {
        result.flow.push_back(bits + " convolved with the impulse response " + tx + " AMI_Init returned");
    }
    for (size_t i = 0; i < settings.aggressors.size(); ++i) {
        result.flow.push_back("aggressor " + std::to_string(i + 1) + ": its own PRBS" +
                              std::to_string(settings.prbsOrder) + " through column " + std::to_string(i + 1) +
                              " of the impulse matrix " + tx + " AMI_Init shaped, added at the receiver's input");
    }
    if (result.rx.getWaveUsed) {
        result.flow.push_back(rx + " AMI_GetWave in blocks of " + std::to_string(result.bitsPerCall) + " bits");
    } else {
        result.flow.push_back("the receiver applied by convolution with the impulse response " + rx +
                              " AMI_Init returned; sampled on the host's clock recovery");
    }
}

// The margins at the instants the errors were counted at, each with the
// transmitted bit it decides (found as the errors were, on the data's grid).
void MeasureRunMargins(const LinkSettings& settings, const std::vector<InstantSample>& samples,
                       const std::vector<InstantSample>& onDataGrid, RunRecorder& recorder,
                       const std::vector<int>& bits, LinkResult& result) {
    if (result.retimedOutput) {
        result.margins.why = "the receiver's output is its retimed decision: there is no eye to take margins of";
        return;
    }
    if (!result.errors.aligned) {
        result.margins.why = "the decisions could not be lined up with the transmitted bits";
        return;
    }
    const std::vector<long> indices = InstantBitIndices(onDataGrid, result.unitInterval);
    MarginInput input;
    input.unitInterval = result.unitInterval;
    input.targetBer = settings.targetBer;
    input.waveStart = recorder.WaveStart();
    input.sampleInterval = result.sampleInterval;
    input.twoThreads = settings.overlapHostWork;
    input.wave = recorder.TakeWave();
    for (size_t i = 0; i < samples.size(); ++i) {
        const long transmitted = indices[i] - result.errors.latencyBits;
        input.instants.push_back(samples[i].time);
        input.instantBits.push_back(transmitted >= 0 && transmitted < long(bits.size()) ? bits[size_t(transmitted)]
                                                                                         : -1);
    }
    result.margins = MeasureMargins(input);
}

// Every file the run read, with its digest, so that a result can be tied to
// the exact models and channels that made it.
void RecordInputFiles(const LinkSettings& settings, LinkResult& result) {
    std::vector<FileRecord>& files = result.files;
    files.push_back({"tx library", result.tx.library, "", ""});
    files.push_back({"tx .ami", result.tx.ami, "", ""});
    files.push_back({"rx library", result.rx.library, "", ""});
    files.push_back({"rx .ami", result.rx.ami, "", ""});
    if (!result.ibsFile.empty()) files.push_back({"ibs", result.ibsFile, "", ""});
    if (!result.ibsFile.empty() && result.ibs.rxFile.path != result.ibs.file.path) {
        files.push_back({"rx ibs", result.ibs.rxFile.path, "", ""});
    }
    if (settings.channel.kind != ChannelKind::Loss) files.push_back({"channel", AbsolutePath(settings.channel.path), "", ""});
    for (size_t i = 0; i < settings.aggressors.size(); ++i) {
        files.push_back({"aggressor " + std::to_string(i + 1), AbsolutePath(settings.aggressors[i].path), "", ""});
    }
    for (FileRecord& file : files) Sha256OfFile(file.path, file.sha256, file.error);
}

}  // namespace

const char* const kRunOutputFiles[11] = {kAdaptLogName,   "eye.png",        "summary.json", "bathtub.png",
                                         "trajectory.png", "adaptation.csv", "report.html",  "responses.csv",
                                         "responses.png",  "stateye.png",    "jitter.png"};

size_t MaxBits() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const double memory = pages > 0 && pageSize > 0 ? double(pages) * double(pageSize) : 4e9;
    return size_t(memory / 2.0 / double(kBytesPerBit));
}

size_t DefaultBitCount(long ignoreBits) {
    const size_t ignored = size_t(std::max(ignoreBits, 0L));
    return ignored + std::max(kMinimumMeasuredBits, ignored / 5);
}

namespace {

// What the stages of a run share, declared so that it is torn down in the
// right order: the model instances (closed) before the working folder is
// restored, and both before their libraries are unloaded.
struct RunState {
    RunState(const LinkSettings& given, LinkResult& outcome) : settings(given), result(outcome), effective(given) {}

    const LinkSettings& settings;
    LinkResult& result;
    std::string outDir;
    ModelSpec txSpec;
    ModelSpec rxSpec;
    AmiLibrary txLibrary;
    AmiLibrary rxLibrary;
    // The impulse matrix as built, after the transmitter's AMI_Init and after
    // the receiver's (rows samples per column: the channel, then each aggressor).
    std::vector<double> matrix;
    std::vector<double> afterTxMatrix;
    std::vector<double> afterRxMatrix;
    size_t rows = 0;
    // The settings with the bits per call capped at the run's bits.
    LinkSettings effective;
    WorkingFolder workHere;
    std::unique_ptr<AmiModelInstance> tx;
    std::unique_ptr<AmiModelInstance> rx;
    // The peak-distortion eye of what a receiver without AMI_GetWave returned.
    PulseEye pulseEye;
    // The command line's stress with the models' own.
    ModelStress modelStress;
    // The stream and what watched it, for the analysis after it.
    std::vector<int> bits;
    std::unique_ptr<EyeAnalyzer> analyzer;
    std::unique_ptr<StressedStimulus> stimulus;
    std::unique_ptr<RunRecorder> recorder;
    std::unique_ptr<AdaptLogWatcher> watcher;
    size_t maxLatency = 0;
};

// The settings checked, the output folder ready, the models' files read and
// their parameter strings built: everything known before a model is loaded.
bool PrepareInputs(RunState& run, std::string& error) {
    const LinkSettings& settings = run.settings;
    LinkResult& result = run.result;
    run.outDir = AbsolutePath(settings.outDir);
    run.txSpec = settings.tx;
    run.rxSpec = settings.rx;
    if (!CheckSettings(settings, error) || !PrepareOutputFolder(run.outDir, error)) return false;
    if (!settings.ibsPath.empty()) {
        result.ibsFile = AbsolutePath(settings.ibsPath);
        if (!ChooseIbis(settings, result.ibs, error)) return false;
        ModelsFromIbis(result.ibs, run.txSpec, run.rxSpec);
    }
    if (!PrepareModel(run.txSpec, "Tx", result.ibs, result.tx, error) ||
        !PrepareModel(run.rxSpec, "Rx", result.ibs, result.rx, error)) {
        return false;
    }
    run.modelStress = CombineModelStress(settings.stress, 1.0 / settings.bitRate, result.tx.description,
                                         result.rx.description);
    result.stress = run.modelStress.stress;
    result.declaredStress = run.modelStress.applied;
    for (const std::string& note : run.modelStress.notApplied) result.notes.push_back(note);
    if (!run.modelStress.applied.empty() && !CheckStress(result.stress, 1.0 / settings.bitRate, error)) {
        error = "with the jitter and noise the models declare: " + error;
        return false;
    }
    for (const ModelRun* model : {&result.tx, &result.rx}) {
        std::string names;
        for (const std::string& name : model->reservedNotPassed) names += (names.empty() ? "" : ", ") + name;
        if (!names.empty()) {
            result.notes.push_back(model->description.modelName + " takes the reserved input(s) " + names +
                                   ", which only an IBIS file gives (--ibs): not passed");
        }
    }
    SetModelTimeout(settings.modelTimeout);
    return run.txLibrary.Load(result.tx.library, result.tx.description.getWaveExists, error) &&
           run.rxLibrary.Load(result.rx.library, result.rx.description.getWaveExists, error);
}

// The impulse matrix of the channel and the aggressors, and the run's size:
// its bits, the bits ignored, the bits per call, the receiver's output kind.
bool BuildImpulseMatrix(RunState& run, std::string& error) {
    const LinkSettings& settings = run.settings;
    LinkResult& result = run.result;
    result.unitInterval = 1.0 / settings.bitRate;
    result.sampleInterval = result.unitInterval / settings.samplesPerUi;
    if (!BuildChannels(settings, result.tx.description.modelName, result, run.matrix, error)) return false;
    run.rows = result.impulseSamples;
    for (const std::string& warning : result.buffers.warnings) result.notes.push_back("buffers: " + warning);
    for (const std::string& warning : result.channel.warnings) result.notes.push_back("channel: " + warning);
    for (const std::string& note : result.channel.notes) result.notes.push_back("channel: " + note);
    for (size_t i = 0; i < result.aggressors.size(); ++i) {
        for (const std::string& warning : result.aggressors[i].path.warnings) {
            result.notes.push_back("aggressor " + std::to_string(i + 1) + ": " + warning);
        }
    }
    const long modelsIgnore = std::max(result.tx.description.ignoreBits, result.rx.description.ignoreBits);
    result.ignoreBits = settings.ignoreBits >= 0 ? settings.ignoreBits : modelsIgnore;
    result.bits = settings.bits ? settings.bits : DefaultBitCount(modelsIgnore);
    if (!CheckCountedBits(settings, result, error)) return false;
    // The pipeline and the latency search go no further than the run.
    run.effective.bitsPerCall = std::min(settings.bitsPerCall, result.bits);
    result.bitsPerCall = run.effective.bitsPerCall;
    if (run.effective.bitsPerCall < settings.bitsPerCall) {
        result.notes.push_back("--bits-per-call " + std::to_string(settings.bitsPerCall) + " is capped at the " +
                               std::to_string(result.bits) + " bits of the run");
    }
    result.retimedOutput = UsesRetimedOutput(settings, result.rx);
    result.rxReportsClock = result.rx.description.getWaveExists;
    return true;
}

// The responses of every path the run built, and the cursors of the
// channel as the transmitter's AMI_Init shaped it (the channel itself when
// the transmitter returns no impulse response).
void DescribePaths(RunState& run) {
    LinkResult& result = run.result;
    const int spui = run.settings.samplesPerUi;
    const double dt = result.sampleInterval;
    const std::string& tx = result.tx.description.modelName;
    result.responses.push_back(DescribePath("channel", Column(run.matrix, run.rows, 0), dt, spui));
    if (result.tx.description.initReturnsImpulse) {
        result.responses.push_back(
            DescribePath("channel shaped by " + tx + " AMI_Init", Column(run.afterTxMatrix, run.rows, 0), dt, spui));
    }
    const PathResponse& shaped = result.responses.back();
    result.cursors = CursorsOf(shaped, spui, kPreCursors, kPostCursors);
    result.cursorsOf = shaped.name;
    for (size_t i = 0; i < result.aggressors.size(); ++i) {
        result.responses.push_back(
            DescribePath("aggressor " + std::to_string(i + 1), Column(run.matrix, run.rows, i + 1), dt, spui));
    }
    if (result.rx.description.initReturnsImpulse) {
        result.responses.push_back(DescribePath("after " + result.rx.description.modelName + " AMI_Init",
                                                Column(run.afterRxMatrix, run.rows, 0), dt, spui));
    }
}

// Both AMI_Init calls, inside the output folder, and which model applies
// its effect where.
bool InitializeModels(RunState& run, std::string& error) {
    LinkResult& result = run.result;
    const AmiDescription& txModel = result.tx.description;
    const AmiDescription& rxModel = result.rx.description;
    const long aggressors = long(run.settings.aggressors.size());
    if (!run.workHere.Enter(run.outDir, error)) return false;
    run.tx = std::make_unique<AmiModelInstance>(run.txLibrary, txModel.modelName);
    run.rx = std::make_unique<AmiModelInstance>(run.rxLibrary, rxModel.modelName);
    run.afterTxMatrix = run.matrix;
    if (!InitializeModel(*run.tx, result.tx, run.afterTxMatrix, run.rows, ColumnsTaken(txModel, aggressors, result.notes),
                         result.sampleInterval, result.unitInterval, error)) {
        return false;
    }
    run.afterRxMatrix = run.afterTxMatrix;
    if (!InitializeModel(*run.rx, result.rx, run.afterRxMatrix, run.rows, ColumnsTaken(rxModel, aggressors, result.notes),
                         result.sampleInterval, result.unitInterval, error)) {
        return false;
    }
    // A transmitter applies its effect once: in AMI_GetWave when it has one,
    // unless a receiver without AMI_GetWave must take the whole link from
    // the impulse responses and the transmitter's effect is already in them.
    result.rx.getWaveUsed = rxModel.getWaveExists;
    result.tx.getWaveUsed = txModel.getWaveExists && (result.rx.getWaveUsed || !txModel.initReturnsImpulse);
    if (txModel.getWaveExists && !result.tx.getWaveUsed) {
        result.notes.push_back(txModel.modelName + " returns its impulse response and has AMI_GetWave; with a receiver "
                               "without AMI_GetWave its effect is taken from its AMI_Init alone");
    }
    result.silentPath = SilentPath(result, Column(run.afterTxMatrix, run.rows, 0), Column(run.afterRxMatrix, run.rows, 0));
    DescribePaths(run);
    Describe(run.effective, result);
    return true;
}

// The bits through the transmitter, the channel and the aggressors into the
// receiver in blocks, watched as they go.
bool StreamBits(RunState& run, std::chrono::steady_clock::time_point runStart, std::string& error) {
    const LinkSettings& settings = run.settings;
    LinkResult& result = run.result;
    const AmiDescription& rxModel = result.rx.description;
    const double dt = result.sampleInterval;
    const std::vector<double> channel = Column(run.matrix, run.rows, 0);
    const std::vector<double> afterTx = Column(run.afterTxMatrix, run.rows, 0);
    const std::vector<double> afterRx = Column(run.afterRxMatrix, run.rows, 0);

    EyeAnalyzerSettings analysis;
    analysis.sampleInterval = dt;
    analysis.unitInterval = result.unitInterval;
    analysis.samplingOffset = result.retimedOutput ? 0.0 : 0.5 * result.unitInterval;
    analysis.measureFrom = double(result.ignoreBits) * result.unitInterval;
    run.analyzer = std::make_unique<EyeAnalyzer>(analysis);
    const StressSettings& stress = result.stress;
    run.bits = Prbs(settings.prbsOrder, StressedStimulus::BitsNeeded(result.bits, stress));
    run.stimulus = std::make_unique<StressedStimulus>(run.bits, result.unitInterval, settings.samplesPerUi, stress);
    NoiseSource noise(StreamSeed(stress.seed, kNoiseStream), stress.rxNoiseRms);
    run.recorder = std::make_unique<RunRecorder>(dt, analysis.measureFrom - 2.0 * result.unitInterval, kMaxRecordedSamples);
    run.watcher = std::make_unique<AdaptLogWatcher>(kAdaptLogName);
    BlockPipeline pipeline(run.effective, run.bits, result, *run.tx, *run.rx, *run.analyzer);
    pipeline.Attach(*run.stimulus, noise, *run.recorder, *run.watcher);
    if (result.rx.getWaveUsed) {
        pipeline.SetPath(result.tx.getWaveUsed, true, Taps(result.tx.getWaveUsed ? channel : afterTx, dt));
    } else {
        pipeline.SetPath(result.tx.getWaveUsed, false, Taps(afterRx, dt));
    }
    // Aggressors reach the receiver's input shaped by the transmitter's
    // AMI_Init (and, for a receiver without AMI_GetWave, by the receiver's).
    const std::vector<double>& aggressorMatrix = result.rx.getWaveUsed ? run.afterTxMatrix : run.afterRxMatrix;
    for (size_t i = 0; i < result.aggressors.size(); ++i) {
        const std::vector<double> column = Column(aggressorMatrix, run.rows, i + 1);
        result.aggressors[i].pulsePeakV = PulsePeak(column, settings.samplesPerUi, dt);
        pipeline.AddAggressor(Taps(column, dt), Prbs(settings.prbsOrder, result.bits, result.aggressors[i].seed));
    }
    // Where the receiver reports no clock, the host recovers one, starting at
    // the centre of the eye of the response the receiver's output follows.
    const std::vector<double>& outputResponse =
        (result.rx.getWaveUsed && !rxModel.initReturnsImpulse) ? (result.tx.getWaveUsed ? channel : afterTx) : afterRx;
    // A receiver that equalises in AMI_Init alone is sampled where the eye
    // of its returned response is open by peak distortion, and the clock
    // recovery reads its edges where that eye puts them; any other receiver
    // without clock times at the centre of its output's crossings.
    if (!result.rx.getWaveUsed) {
        run.pulseEye = PeakDistortionEye(afterRx, settings.samplesPerUi, dt);
        pipeline.PrepareHostClock(double(run.pulseEye.bestPhase) * dt, run.pulseEye.edgeLeadUi, true);
    } else {
        pipeline.PrepareHostClock(double(CentreSamplingPhase(outputResponse, settings.samplesPerUi, dt)) * dt, 0.5,
                                  false);
    }
    if (settings.pathsKnown) settings.pathsKnown(result);
    result.timing.setup = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    // The core the receiver leaves idle meanwhile plans the jitter's spectrum.
    const size_t measuredBits = result.bits - std::min(result.bits, size_t(std::max(result.ignoreBits, 0L)));
    bool ran = false;
    RunBeside(
        settings.overlapHostWork, [measuredBits] { PrepareJitterSpectrum(measuredBits); },
        [&] { ran = pipeline.Run(error); });
    if (!ran) return false;
    if (result.hostClock && result.rx.getWaveUsed) {
        result.flow.push_back(rxModel.modelName + " AMI_GetWave reported no clock times: its output sampled on the "
                              "host's clock recovery");
    }
    run.maxLatency = run.rows / size_t(settings.samplesPerUi) + run.effective.bitsPerCall + kLatencySlackBits;
    for (size_t i = 0; i < result.aggressors.size(); ++i) result.aggressors[i].largestV = pipeline.AggressorLargest(i);
    return true;
}

// AMI_Close on both models, and the working folder back to where it was.
void CloseModels(RunState& run) {
    LinkResult& result = run.result;
    result.tx.lastGetWaveParametersOut = run.tx->LastGetWaveParametersOut();
    result.rx.lastGetWaveParametersOut = run.rx->LastGetWaveParametersOut();
    if (!run.tx->Close()) result.notes.push_back(result.tx.description.modelName + " AMI_Close reported a failure");
    if (!run.rx->Close()) result.notes.push_back(result.rx.description.modelName + " AMI_Close reported a failure");
    run.workHere.Restore();
}

// The receiver's adaptation log, as it left it in the output folder.
void ReadAdaptationLog(RunState& run) {
    LinkResult& result = run.result;
    std::ifstream log(fs::path(run.outDir) / kAdaptLogName);
    if (log) {
        std::ostringstream text;
        text << log.rdbuf();
        std::vector<AdaptMeasurement> measurements;
        result.adaptLogFound = true;
        if (ParseAdaptLog(text.str(), measurements, result.adaptLogError)) {
            result.adaptation = FinalAdaptation(measurements);
            result.adaptMeasurements = measurements;
        }
    }
    result.adaptLineBits = run.watcher->LineBits();
}

// The errors counted against the pattern, the eye, the margins and the
// clock's track, and the notes they give.
// A receiver's declared sensitivity is voltage its decisions need beyond
// the threshold: the margin is that much smaller.
void TakeOffSensitivity(double sensitivityV, MarginReport& margins) {
    if (!margins.known || sensitivityV <= 0.0) return;
    margins.voltageMarginV -= sensitivityV;
    margins.open = margins.timingMarginUi > 0.0 && margins.voltageMarginV > 0.0;
}

// For a receiver sampled where its AMI_Init response's eye is open: whether
// the host's clock recovery ended up where that eye is shut.
std::string ShutWhereSettled(const RunState& run) {
    const LinkResult& result = run.result;
    const PulseEye& eye = run.pulseEye;
    if (eye.openingV.empty() || result.clockTrack.windows.empty() || !eye.OpenAt(eye.bestPhase)) return "";
    const int samplesPerUi = int(eye.openingV.size());
    // Clock times come half a unit interval before the instants they mark.
    const double instant = result.clockTrack.windows.back().phaseUi + (result.retimedOutput ? 0.0 : 0.5);
    const int phase = int(std::lround((instant - std::floor(instant)) * samplesPerUi)) % samplesPerUi;
    if (eye.OpenAt(phase)) return "";
    char text[320];
    std::snprintf(text, sizeof text,
                  "the host's clock recovery settled %.3f UI into the unit interval, where the eye of %s's AMI_Init "
                  "response is shut by peak distortion (%.4f V); that eye is open best at %.3f UI (%.4f V)",
                  double(phase) / samplesPerUi, result.rx.description.modelName.c_str(), eye.openingV[size_t(phase)],
                  double(eye.bestPhase) / samplesPerUi, eye.openingV[size_t(eye.bestPhase)]);
    return text;
}

// What the jitter's breakdown of the output's edges after the ignored bits needs.
JitterInput OutputJitterInput(RunState& run) {
    const LinkResult& result = run.result;
    const StressedStimulus& stimulus = *run.stimulus;
    JitterInput input;
    input.unitInterval = result.unitInterval;
    input.sampleInterval = result.sampleInterval;
    input.waveStart = run.recorder->WaveStart();
    input.wave = &run.recorder->Wave();
    input.measureFrom = double(std::max(result.ignoreBits, 0L)) * result.unitInterval;
    if (!run.recorder->ClockTimes().empty()) input.clockTimes = &run.recorder->ClockTimes();
    input.dataUiAt = [&stimulus](double t) { return stimulus.DataUiAt(t); };
    input.bits = &run.bits;
    input.maxLatencyBits = run.maxLatency;
    input.latencyHintBits = result.errors.aligned ? result.errors.latencyBits : -1;
    input.targetBer = run.settings.targetBer;
    return input;
}

void AnalyseOutput(RunState& run) {
    const LinkSettings& settings = run.settings;
    LinkResult& result = run.result;
    const EyeAnalyzer& analyzer = *run.analyzer;
    const StressedStimulus& stimulus = *run.stimulus;
    // The instants placed on the data's own grid, so that a data rate off
    // the nominal one (or spread) does not carry them away from their bits.
    std::vector<InstantSample> onDataGrid = analyzer.MeasuredSamples();
    for (InstantSample& sample : onDataGrid) sample.time = stimulus.DataUiAt(sample.time) * result.unitInterval;
    result.errors = CountBitErrors(onDataGrid, run.bits, result.unitInterval, 0.0, run.maxLatency);
    result.widthMargins = analyzer.WidthMargins();
    result.clock = analyzer.Settling();
    result.traceStart = analyzer.TraceStartTime();
    result.traceSamples = analyzer.TraceSamples();
    result.traceInstants = analyzer.TraceInstants();
    ReadAdaptationLog(run);
    // The edges are found before the margins take the output over; their
    // breakdown runs beside the margins.
    const JitterInput jitter = OutputJitterInput(run);
    const auto edgesStart = std::chrono::steady_clock::now();
    const std::vector<OutputEdge> edges = FindOutputEdges(jitter);
    const double edgesSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - edgesStart).count();
    const size_t keptUi = run.recorder->Wave().size() / size_t(settings.samplesPerUi);
    // The receiver's clock, or the host's where it reports none. The grid holds
    // no jitter: a clock that follows the sinusoidal jitter moves by up to its
    // peak to peak, and one that does not sits that far from the edges;
    // either way that much movement is no loss of lock.
    const double sjSwing = result.stress.sjFrequency > 0.0 ? result.stress.sjPeakToPeakUi : 0.0;
    const double hunting = result.hostClock ? HostClockSettings().HuntingUi() : 0.0;
    // The clock's track and the input files' digests beside the margins:
    // each reads and writes parts of the run of its own.
    RunBeside(
        settings.overlapHostWork,
        [&] {
            result.clockTrack = TrackClock(run.recorder->ClockTimes(),
                                           [&stimulus](double t) { return stimulus.DataUiAt(t); }, sjSwing + hunting);
            RecordInputFiles(settings, result);
            result.jitter = BreakDownJitter(jitter, edges);
            result.jitter.seconds += edgesSeconds;
        },
        [&] {
            MeasureRunMargins(settings, analyzer.MeasuredSamples(), onDataGrid, *run.recorder, run.bits, result);
            TakeOffSensitivity(run.modelStress.rxSensitivityV, result.margins);
        });
    const std::string shut = ShutWhereSettled(run);
    if (!shut.empty()) result.notes.push_back(shut);
    MarginFacts facts;
    facts.margins = result.margins.known ? &result.margins : nullptr;
    facts.clock = result.clockTrack.windows.empty() ? nullptr : &result.clockTrack;
    facts.expectedWanderUi = sjSwing;
    facts.unstressed = !result.stress.Any() && settings.aggressors.empty();
    facts.adaptationLineBits = result.adaptLineBits;
    facts.ignoreBits = size_t(std::max(result.ignoreBits, 0L));
    for (const std::string& note : MarginNotes(facts)) result.notes.push_back(note);
    if (run.recorder->Truncated()) {
        result.notes.push_back("the margins were measured on the first " + std::to_string(keptUi) +
                               " unit intervals kept of the output");
    }
    if (result.clockTrack.lostTimes > 0) {
        result.notes.push_back(std::to_string(result.clockTrack.lostTimes) +
                               " clock times are missing against the data's grid: the receiver gave fewer than one "
                               "per bit there");
    }
}

// What the statistical eye leaves out: the equalisation a model applies in
// its AMI_GetWave alone, which no AMI_Init impulse response holds.
std::string EqualisationLeftOut(const LinkResult& result) {
    const bool rx = result.rx.getWaveUsed && !result.rx.description.initReturnsImpulse;
    const bool tx = result.tx.getWaveUsed && !result.tx.description.initReturnsImpulse;
    if (rx && tx) return "without the receiver's equalisation, nor the transmitter's";
    if (rx) return "without the receiver's equalisation";
    if (tx) return "without the transmitter's equalisation";
    return "";
}

// The statistical eye of the final AMI_Init impulse response (the
// receiver's, or the transmitter's when the receiver returns none), with
// the aggressors' columns as the receiver's AMI_Init left them and the run's
// jitter and noise.
void BuildStatisticalEye(RunState& run) {
    LinkResult& result = run.result;
    const StressSettings& stress = result.stress;
    StatisticalEyeInput input;
    input.impulse = Column(run.afterRxMatrix, run.rows, 0);
    for (size_t i = 0; i < result.aggressors.size(); ++i) input.aggressors.push_back(Column(run.afterRxMatrix, run.rows, i + 1));
    input.sampleInterval = result.sampleInterval;
    input.samplesPerUi = run.settings.samplesPerUi;
    input.rjRms = stress.rjRms;
    input.djPeakToPeak = stress.djPeakToPeak;
    input.sjPeakToPeak = stress.sjFrequency > 0.0 ? stress.sjPeakToPeakUi * result.unitInterval : 0.0;
    input.noiseRms = stress.rxNoiseRms;
    input.targetBer = run.settings.targetBer;
    result.statistical = ComputeStatisticalEye(input);
    const AmiDescription& rx = result.rx.description;
    const AmiDescription& tx = result.tx.description;
    result.statisticalBasis = rx.initReturnsImpulse   ? "the impulse response " + rx.modelName + " AMI_Init returned"
                              : tx.initReturnsImpulse ? "the impulse response " + tx.modelName + " AMI_Init returned"
                                                      : "the channel's impulse response";
    result.statisticalWithout = EqualisationLeftOut(result);
}

}  // namespace

bool RunLink(const LinkSettings& settings, LinkResult& result, std::string& error) {
    const auto runStart = std::chrono::steady_clock::now();
    // Whichever way the run ends, its time is known.
    struct RunClock {
        std::chrono::steady_clock::time_point start;
        double& seconds;
        ~RunClock() { seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
    } runClock{runStart, result.timing.run};
    RunState run(settings, result);
    if (!PrepareInputs(run, error) || !BuildImpulseMatrix(run, error) || !InitializeModels(run, error) ||
        !StreamBits(run, runStart, error)) {
        return false;
    }
    const auto resultsStart = std::chrono::steady_clock::now();
    CloseModels(run);
    AnalyseOutput(run);
    if (settings.statistical) BuildStatisticalEye(run);
    result.verdict = JudgeRun(settings, result);
    result.timing.results = std::chrono::duration<double>(std::chrono::steady_clock::now() - resultsStart).count();
    return true;
}

}  // namespace linksim
