#include "PlanCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "AmiFile.h"
#include "CommandLine.h"
#include "InputFile.h"
#include "LinkChannels.h"
#include "LinkRun.h"
#include "ParameterString.h"

namespace linksweep {

namespace {

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
    return CheckPlan(plan, programFolder, ignored, error);
}

bool CheckPlan(const SweepPlan& plan, const std::string& programFolder, CornerSize& largest, std::string& error) {
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
