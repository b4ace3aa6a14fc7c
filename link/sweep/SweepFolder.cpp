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

bool PrepareSweepFolder(const SweepPlan& plan, const std::string& folderName, bool force,
                        const std::string& linkProgram, KeepMode keep, PreparedSweep& prepared, std::string& error) {
    std::error_code failure;
    const fs::path folder = fs::absolute(folderName, failure);
    if (Failed(failure, "cannot find " + folderName, error)) return false;
    prepared = PreparedSweep{};
    prepared.folder = folder.lexically_normal().string();
    const bool hasCorners = fs::exists(folder / "corners", failure);
    if (hasCorners && !fs::exists(folder / kPlanFile, failure)) {
        if (!force) {
            error = prepared.folder + " holds corners but no " + kPlanFile +
                    ": they may be of another sweep; give --force to replace them, or another --out";
            return false;
        }
        fs::remove_all(folder / "corners", failure);
        if (Failed(failure, "cannot empty " + (folder / "corners").string(), error)) return false;
    }
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

    // Only a whole summary of this very corner of this plan is kept;
    // anything else runs again. Folders are made as their corners start.
    const size_t count = plan.CornerCount();
    const bool resuming = !force && fs::exists(folder / "corners", failure);
    const std::string identity = PlanIdentity(plan);
    for (size_t corner = 1; corner <= count; ++corner) {
        if (resuming && CornerKept(SpecOfCorner(plan, prepared.folder, corner, linkProgram, keep), identity)) {
            ++prepared.kept;
            continue;
        }
        prepared.corners.push_back(corner);
    }
    return true;
}

}  // namespace linksweep
