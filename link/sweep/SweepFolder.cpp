#include "SweepFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CornerJob.h"
#include "CornerResult.h"
#include "WholeFile.h"

namespace linksweep {

namespace {

namespace fs = std::filesystem;

bool Failed(const std::error_code& failure, const std::string& what, std::string& error) {
    if (!failure) return false;
    error = what + ": " + failure.message();
    return true;
}

// A corner's folder made empty, so that nothing of an earlier run (the
// receiver appends to its adapt.txt) mixes with the new one.
bool EmptyFolder(const fs::path& folder, std::string& error) {
    std::error_code failure;
    fs::remove_all(folder, failure);
    if (Failed(failure, "cannot empty " + folder.string(), error)) return false;
    fs::create_directories(folder, failure);
    return !Failed(failure, "cannot make " + folder.string(), error);
}

}  // namespace

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    return linksim::WriteFileWhole(path, text, error);
}

bool ReadPlan(const std::string& folder, SweepPlan& plan, std::string& error) {
    const std::string path = folder + "/" + kPlanFile;
    std::ifstream file(path);
    if (!file) {
        error = "no sweep in " + folder + ": " + kPlanFile + " cannot be read";
        return false;
    }
    const nlohmann::ordered_json json = nlohmann::ordered_json::parse(file, nullptr, false);
    if (json.is_discarded() || !SweepPlan::FromJson(json, plan, error)) {
        error = path + " does not read as a sweep's plan" + (json.is_discarded() ? "" : ": " + error);
        return false;
    }
    return true;
}

bool PrepareSweepFolder(const SweepPlan& plan, const std::string& folderName, bool force, PreparedSweep& prepared,
                        std::string& error) {
    std::error_code failure;
    const fs::path folder = fs::absolute(folderName, failure);
    if (Failed(failure, "cannot find " + folderName, error)) return false;
    prepared = PreparedSweep{};
    prepared.folder = folder.lexically_normal().string();
    if (fs::exists(folder / kPlanFile, failure)) {
        SweepPlan earlier;
        std::string reason;
        if (!ReadPlan(prepared.folder, earlier, reason) || earlier != plan) {
            if (!force) {
                error = prepared.folder + " holds another sweep: give --force to replace it, or another --out";
                return false;
            }
            fs::remove_all(folder / "corners", failure);
            if (Failed(failure, "cannot empty " + (folder / "corners").string(), error)) return false;
        }
    }
    fs::create_directories(folder, failure);
    if (Failed(failure, "cannot make " + prepared.folder, error)) return false;
    const std::string planText = plan.ToJson().dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (!WriteTextFile((folder / kPlanFile).string(), planText, error)) return false;

    const size_t count = plan.CornerCount();
    for (size_t corner = 1; corner <= count; ++corner) {
        const fs::path cornerFolder = folder / CornerFolder(corner, count);
        // Only a whole summary of a finished run is kept; anything else runs again.
        if (!force && SummaryComplete(cornerFolder.string())) {
            ++prepared.kept;
            continue;
        }
        if (!EmptyFolder(cornerFolder, error)) return false;
        prepared.corners.push_back(corner);
    }
    return true;
}

std::vector<std::string> CornerLines(const SweepPlan& plan, const PreparedSweep& prepared,
                                     const std::string& linkProgram) {
    std::vector<std::string> lines;
    const size_t count = plan.CornerCount();
    for (size_t corner : prepared.corners) {
        lines.push_back(CornerCommandLine(linkProgram, prepared.folder + "/" + CornerFolder(corner, count),
                                          plan.CornerArguments(corner)));
    }
    return lines;
}

}  // namespace linksweep
