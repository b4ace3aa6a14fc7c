#include "LinkChannels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Channel.h"
#include "IbisFile.h"
#include "IbisPlausibility.h"
#include "KitModels.h"
#include "Prbs.h"
#include "FrequencyImpulse.h"
#include "TouchstoneChannel.h"

namespace linksim {

namespace fs = std::filesystem;

namespace {

// A channel given in time is taken as matched to this differential impedance.
const double kTimeChannelOhms = 100.0;
// Room the buffers' filtering may lengthen a response by.
const size_t kBufferRoomUi = 64;

// A transmitter whose tabulated responses already hold the pole of its own
// pad: adding the .ibs file's C_comp would count it twice.
bool IncludesPad(const std::string& txModelName) {
    const KitModel* kit = FindKitModel(txModelName);
    return kit && kit->padInResponses;
}

std::string Describe(const ChannelSpec& spec) {
    char text[64];
    switch (spec.kind) {
        case ChannelKind::Loss:
            std::snprintf(text, sizeof text, "%g dB lossy line", spec.lossDb);
            return text;
        case ChannelKind::File:
        case ChannelKind::Touchstone:
            break;
    }
    return spec.path;
}

// The buffer model of the library's own IBIS file: the model whose
// executable for this platform is that library.
const IbisModel* ModelOfLibrary(const IbisFile& file, const std::string& library) {
    for (const IbisModel& model : file.models) {
        const IbisExecutable* executable = ExecutableForThisPlatform(model);
        if (executable && fs::path(executable->library).filename() == fs::path(library).filename()) return &model;
    }
    return nullptr;
}

void TakeTx(const IbisModel& model, BufferLoads& loads) {
    loads.txOhms = BufferImpedance(model);
    loads.txFarads = model.cCompFarads;
}

void TakeRx(const IbisModel& model, BufferLoads& loads) {
    loads.rxOhms = BufferImpedance(model);
    loads.rxFarads = model.cCompFarads;
}

// From the IBIS file beside each library that names it, where there is one.
bool BuffersBesideModels(const std::string& txLibrary, const std::string& rxLibrary, BuffersOutcome& buffers,
                         std::string& error) {
    const struct {
        const std::string& library;
        void (*take)(const IbisModel&, BufferLoads&);
        const char* role;
    } ends[] = {{txLibrary, TakeTx, "transmitter"}, {rxLibrary, TakeRx, "receiver"}};
    for (const auto& end : ends) {
        const fs::path library(end.library);
        const std::string path = FindIbisNaming(library.parent_path().string(), library.filename().string());
        IbisFile file;
        std::string ignored;
        const IbisModel* model = nullptr;
        if (!path.empty() && ReadIbisFile(path, file, ignored) && (model = ModelOfLibrary(file, end.library))) {
            if (!CheckBufferValues(file, *model, buffers.warnings, error)) return false;
            end.take(*model, buffers.loads);
            buffers.source += std::string(buffers.source.empty() ? "" : "; ") + end.role + " from " + path;
        }
    }
    return true;
}

// The models and package an --ibs file chose, their values checked.
bool BuffersOfIbis(const LinkSettings& settings, const IbisChoice& ibs, BuffersOutcome& buffers, std::string& error) {
    IbisChoice choice = ibs;
    if (!choice.chosen && !ChooseIbis(settings, choice, error)) return false;
    const bool twoFiles = choice.rxFile.path != choice.file.path;
    if (!CheckBufferValues(choice.file, choice.tx, buffers.warnings, error) ||
        !CheckBufferValues(choice.rxFile, choice.rx, buffers.warnings, error) ||
        !CheckPackageValues(choice.file, buffers.warnings, error) ||
        (twoFiles && !CheckPackageValues(choice.rxFile, buffers.warnings, error))) {
        return false;
    }
    BufferLoads& loads = buffers.loads;
    TakeTx(choice.tx, loads);
    TakeRx(choice.rx, loads);
    loads.txPackage = {choice.file.packageOhms, choice.file.packageHenries, choice.file.packageFarads};
    loads.rxPackage = {choice.rxFile.packageOhms, choice.rxFile.packageHenries, choice.rxFile.packageFarads};
    buffers.source = "models " + choice.tx.name + " and " + choice.rx.name + " and the package" +
                     (twoFiles ? "s of " + choice.file.path + " and " + choice.rxFile.path : " of " + choice.file.path);
    return true;
}

}  // namespace

bool ChooseIbis(const LinkSettings& settings, IbisChoice& choice, std::string& error) {
    if (settings.ibs.chosen) {
        choice = settings.ibs;
        return true;
    }
    IbisFile txFile;
    IbisFile rxFile;
    return ReadIbisFile(settings.ibsPath, txFile, error) && ReadIbisFile(settings.RxIbsPath(), rxFile, error) &&
           ChooseLinkModels(txFile, rxFile, settings.TxEnd(), settings.RxEnd(), settings.allowOutsideExecutables,
                            choice, error);
}

void ModelsFromIbis(const IbisChoice& choice, ModelSpec& tx, ModelSpec& rx) {
    if (tx.library.empty()) {
        tx.library = choice.TxExecutable()->library;
        if (tx.ami.empty()) tx.ami = choice.TxExecutable()->ami;
    }
    if (rx.library.empty()) {
        rx.library = choice.RxExecutable()->library;
        if (rx.ami.empty()) rx.ami = choice.RxExecutable()->ami;
    }
}

bool ModelsFromIbis(const LinkSettings& settings, ModelSpec& tx, ModelSpec& rx, std::string& error) {
    IbisChoice choice;
    if (!ChooseIbis(settings, choice, error)) return false;
    ModelsFromIbis(choice, tx, rx);
    return true;
}

bool ResolveBuffers(const LinkSettings& settings, const IbisChoice& ibs, const std::string& txLibrary,
                    const std::string& rxLibrary, const std::string& txModelName, BuffersOutcome& buffers,
                    std::string& error) {
    buffers = BuffersOutcome();
    buffers.applied =
        settings.channel.kind == ChannelKind::Touchstone || !settings.ibsPath.empty() || settings.buffers.Any();
    BufferLoads& loads = buffers.loads;
    if (!settings.ibsPath.empty()) {
        if (!BuffersOfIbis(settings, ibs, buffers, error)) return false;
    } else if (buffers.applied) {
        // Only read when the buffers apply: the .ibs files beside the models
        // are otherwise none of the run's business.
        if (!BuffersBesideModels(txLibrary, rxLibrary, buffers, error)) return false;
        if (buffers.source.empty()) buffers.source = "defaults (50 ohm, no capacitance)";
    }
    if (IncludesPad(txModelName) && std::isnan(settings.buffers.txFarads)) {
        loads.txFarads = 0.0;
        buffers.source += "; " + txModelName + "'s responses hold its pad, so no transmitter C_comp is added";
    }
    const BufferOverrides& given = settings.buffers;
    if (!std::isnan(given.txOhms)) loads.txOhms = given.txOhms;
    if (!std::isnan(given.txFarads)) loads.txFarads = given.txFarads;
    if (!std::isnan(given.rxOhms)) loads.rxOhms = given.rxOhms;
    if (!std::isnan(given.rxFarads)) loads.rxFarads = given.rxFarads;
    if (given.Any()) buffers.source += "; the values given on the command line";
    return CheckBufferLoads(loads, error);
}

bool BuildPath(const ChannelSpec& given, const PortMap& ports, bool through, const BuffersOutcome& buffers,
               double bitRate, int samplesPerUi, std::vector<double>& impulse, ChannelOutcome& outcome,
               std::string& error) {
    const double sampleInterval = 1.0 / (bitRate * samplesPerUi);
    outcome = ChannelOutcome();
    outcome.description = Describe(given);
    // The models run inside the output folder: a file is named from where
    // the user stands.
    ChannelSpec spec = given;
    if (spec.kind != ChannelKind::Loss) {
        std::error_code ignored;
        spec.path = fs::absolute(spec.path, ignored).lexically_normal().string();
    }
    if (spec.kind == ChannelKind::Touchstone) {
        TouchstoneChannelReport report;
        if (!TouchstoneImpulse(spec.path, ports, spec.s2pReferenceOhms, through, buffers.loads, bitRate,
                               sampleInterval, impulse, report, error)) {
            return false;
        }
        outcome.ports = report.ports;
        outcome.differentialReferenceOhms = report.differentialReferenceOhms;
        outcome.lossDbAtNyquist = report.lossDbAtNyquist;
        outcome.delaySeconds = report.delaySeconds;
        outcome.sdd11DbAtNyquist = report.sdd11DbAtNyquist;
        outcome.scd21DbAtNyquist = report.scd21DbAtNyquist;
        outcome.precursorEnergyShare = report.precursorEnergyShare;
        outcome.unaliasedSpanSeconds = report.unaliasedSpanSeconds;
        outcome.passivityExcessDb = report.passivityExcessDb;
        outcome.passivityWorstHz = report.passivityWorstHz;
        outcome.pairPassivityExcessDb = report.pairPassivityExcessDb;
        outcome.pairPassivityWorstHz = report.pairPassivityWorstHz;
        outcome.warnings = report.warnings;
        outcome.notes = report.notes;
        return true;
    }
    if (!BuildChannelImpulse(spec, bitRate, samplesPerUi, impulse, error)) return false;
    if (spec.kind == ChannelKind::Loss) outcome.lossDbAtNyquist = spec.lossDb;
    if (buffers.applied) {
        // No wave comes back through a channel given in time: it is taken as
        // matched, its reflections long lost in it.
        const BufferLoads loads = buffers.loads;
        impulse = FilterImpulse(
            impulse, sampleInterval,
            [&loads](double hertz) { return TerminatedGain(loads, hertz, 0.0, 0.0, 1.0, 0.0, kTimeChannelOhms); },
            kBufferRoomUi * size_t(samplesPerUi));
    }
    outcome.delaySeconds = ResponseDelay(impulse, sampleInterval);
    return true;
}

unsigned long long AggressorSeed(int prbsOrder, size_t index) {
    // Far apart in the sequence for any order: a fixed odd multiplier, the
    // register's width, never all zeros nor the victim's all ones.
    const unsigned long long mask = (1ULL << prbsOrder) - 1;
    unsigned long long seed = (0x9E3779B97F4A7C15ULL * (index + 1)) >> 17;
    seed &= mask;
    if (seed == 0 || seed == mask) seed = 0x5 & mask;
    return seed;
}

}  // namespace linksim
