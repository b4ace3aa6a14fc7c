#include "PlanCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "AmiFile.h"
#include "CommandLine.h"
#include "InputFile.h"
#include "LinkChannels.h"
#include "LinkRun.h"
#include "ParameterString.h"

namespace linksweep {

namespace {

// Parameters of the kit's models that another parameter's value makes the
// model ignore: sweeping one of them while the other holds that value gives
// the same corner over and over.
struct IgnoredParameter {
    const char* model;
    const char* parameter;   // the one swept
    const char* overrider;   // the one whose value makes it ignored
    const char* overriding;  // that value
    const char* why;
};
const IgnoredParameter kIgnoredParameters[] = {
    {"Orvex_RX_AMI_05272013", "EQ_Level", "CTLEAdapt", "1", "the receiver's adaptation chooses its CTLE"},
    {"Orvex_RX_AMI_05272013", "DFEtap1", "DFEAdapt", "1", "the receiver's adaptation sets its DFE taps"},
    {"Orvex_RX_AMI_05272013", "DFEtap2", "DFEAdapt", "1", "the receiver's adaptation sets its DFE taps"},
    {"Orvex_RX_AMI_05272013", "DFEtap3", "DFEAdapt", "1", "the receiver's adaptation sets its DFE taps"},
    {"Orvex_RX_AMI_05272013", "DFEtap4", "DFEAdapt", "1", "the receiver's adaptation sets its DFE taps"},
    {"Orvex_RX_AMI_05272013", "DFEtap5", "DFEAdapt", "1", "the receiver's adaptation sets its DFE taps"},
};

// The value a model parameter takes in a run of these settings: given, or
// the .ami file's default; empty when it has none.
std::string ValueInRun(const linksim::AmiDescription& model, const std::vector<linksim::ParameterOverride>& overrides,
                       const std::string& name) {
    std::vector<linksim::ParameterChoice> choices;
    std::string ignored;
    if (!linksim::ChooseParameters(model, overrides, choices, ignored)) return "";
    for (const linksim::ParameterChoice& choice : choices) {
        if (choice.parameter->DottedPath() == name) return choice.written;
    }
    return "";
}

// The axes of the table's parameters whose overrider holds its overriding
// value in every corner (it is no axis, and the first corner has it).
std::vector<std::string> IgnoredAxes(const SweepPlan& plan, const linksim::LinkSettings& first,
                                     const linksim::AmiDescription& tx, const linksim::AmiDescription& rx) {
    std::vector<std::string> dead;
    for (const IgnoredParameter& rule : kIgnoredParameters) {
        for (const auto& [side, model, overrides] :
             {std::make_tuple("tx", &tx, &first.tx.overrides), std::make_tuple("rx", &rx, &first.rx.overrides)}) {
            if (model->modelName != rule.model) continue;
            const std::string prefix = std::string(side) + ".";
            bool swept = false, overriderSwept = false;
            for (const SweepSetting* axis : plan.Axes()) {
                swept = swept || axis->name == prefix + rule.parameter;
                overriderSwept = overriderSwept || axis->name == prefix + rule.overrider;
            }
            if (!swept || overriderSwept || ValueInRun(*model, *overrides, rule.overrider) != rule.overriding) continue;
            dead.push_back("the axis " + prefix + rule.parameter + " cannot change any corner: with " +
                           rule.overrider + " " + rule.overriding + " " + rule.why + " (give --" + side + " " +
                           rule.overrider + "=0 to sweep it)");
        }
    }
    return dead;
}

struct Models {
    linksim::AmiDescription tx;
    linksim::AmiDescription rx;
};

std::string AmiPath(const linksim::ModelSpec& model) {
    return model.ami.empty() ? std::filesystem::path(model.library).replace_extension(".ami").string() : model.ami;
}

bool Parse(const std::vector<std::string>& arguments, const std::string& programFolder,
           linksim::CommandLine& line, std::string& error) {
    return linksim::ParseCommandLine(arguments, programFolder, line, error) == linksim::CommandLineAction::Run;
}

bool CheckModels(const linksim::LinkSettings& settings, const Models& models, std::string& error) {
    std::vector<linksim::ParameterChoice> choices;
    if (!linksim::ChooseParameters(models.tx, settings.tx.overrides, choices, error)) {
        error = "--tx: " + error;
        return false;
    }
    if (!linksim::ChooseParameters(models.rx, settings.rx.overrides, choices, error)) {
        error = "--rx: " + error;
        return false;
    }
    return true;
}

// Every channel and aggressor file a corner reads is there and readable
// now, not found missing when its corner runs.
bool CheckInputFiles(const linksim::LinkSettings& settings, std::string& error) {
    std::vector<const linksim::ChannelSpec*> paths = {&settings.channel};
    for (const linksim::ChannelSpec& aggressor : settings.aggressors) paths.push_back(&aggressor);
    for (const linksim::ChannelSpec* path : paths) {
        if (path->kind == linksim::ChannelKind::Loss) continue;
        const char* what = path->kind == linksim::ChannelKind::File ? "the channel file" : "the Touchstone file";
        std::ifstream file;
        if (!linksim::OpenInputFile(path->path, what, linksim::kMaxChannelFileBytes, file, error)) return false;
    }
    return true;
}

// A corner's size grows largest by it, as the run would set its bits.
void Include(const linksim::LinkSettings& settings, const Models& models, CornerSize& largest) {
    const size_t bits =
        settings.bits ? settings.bits : linksim::DefaultBitCount(std::max(models.tx.ignoreBits, models.rx.ignoreBits));
    largest.bits = std::max(largest.bits, bits);
    largest.samplesPerUi = std::max(largest.samplesPerUi, size_t(std::max(settings.samplesPerUi, 0)));
}

}  // namespace

bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, std::string& error) {
    CornerSize ignored;
    std::vector<std::string> deadAxes;
    return CheckPlan(plan, programFolder, ignored, deadAxes, error);
}

bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, CornerSize& largest,
               std::vector<std::string>& deadAxes, std::string& error) {
    linksim::CommandLine first;
    if (!Parse(plan.CornerArguments(1), programFolder, first, error) || !CheckInputFiles(first.settings, error)) {
        return false;
    }
    // The models as the run finds them: named by the options, or by an IBIS file.
    linksim::ModelSpec tx = first.settings.tx;
    linksim::ModelSpec rx = first.settings.rx;
    if (!first.settings.ibsPath.empty() && !linksim::ModelsFromIbis(first.settings, tx, rx, error)) return false;
    Models models;
    if (!linksim::ReadAmiFile(AmiPath(tx), models.tx, error) || !linksim::ReadAmiFile(AmiPath(rx), models.rx, error) ||
        !CheckModels(first.settings, models, error)) {
        return false;
    }
    largest = CornerSize();
    Include(first.settings, models, largest);
    deadAxes = IgnoredAxes(plan, first.settings, models.tx, models.rx);
    // Each value of each axis, with the other settings at the first corner's.
    const std::vector<SweepSetting>& settings = plan.Settings();
    for (size_t i = 0; i < settings.size(); ++i) {
        if (!settings[i].Swept()) continue;
        for (const std::string& value : settings[i].values) {
            linksim::CommandLine line;
            if (!Parse(plan.ArgumentsWith(1, i, value), programFolder, line, error) ||
                !CheckModels(line.settings, models, error) || !CheckInputFiles(line.settings, error)) {
                return false;
            }
            Include(line.settings, models, largest);
        }
    }
    return true;
}

}  // namespace linksweep
