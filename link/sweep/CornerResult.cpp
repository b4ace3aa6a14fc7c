#include "CornerResult.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CornerJob.h"

namespace linksweep {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

const std::string kLinkPrefix = "orvex-link: ";

template <typename T>
std::optional<T> Read(const json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto item = object.find(key);
    if (item == object.end() || item->is_null()) return std::nullopt;
    if constexpr (std::is_same_v<T, bool>) {
        if (!item->is_boolean()) return std::nullopt;
    } else {
        if (!item->is_number()) return std::nullopt;
    }
    return item->get<T>();
}

const json& Section(const json& summary, const char* key) {
    static const json kNone;
    const auto item = summary.find(key);
    return item == summary.end() ? kNone : *item;
}

void FlattenNumbers(const json& node, const std::string& path, std::vector<std::pair<std::string, double>>& out) {
    if (node.is_number()) {
        out.emplace_back(path, node.get<double>());
    } else if (node.is_object()) {
        for (const auto& item : node.items()) {
            FlattenNumbers(item.value(), path.empty() ? item.key() : path + "." + item.key(), out);
        }
    }
}

void ReadFigures(const json& summary, CornerResult& result) {
    const json& errors = Section(summary, "errors");
    result.bitsCompared = Read<long long>(errors, "bits_compared");
    result.bitErrors = Read<long long>(errors, "bit_errors");
    result.ber = Read<double>(errors, "ber");
    result.berUpperBound = Read<double>(errors, "ber_upper_bound_95");
    const json& eye = Section(summary, "eye");
    result.eyeHeightV = Read<double>(eye, "height_v");
    result.eyeWidthUi = Read<double>(eye, "width_ui");
    const json& adaptation = Section(summary, "adaptation");
    result.ctleColumn = Read<long long>(adaptation, "ctle_column");
    if (adaptation.is_object() && adaptation.contains("dfe_taps_v") && adaptation["dfe_taps_v"].is_array()) {
        for (const json& tap : adaptation["dfe_taps_v"]) {
            if (tap.is_number()) result.dfeTapsV.push_back(tap.get<double>());
        }
    }
    const json& clock = Section(summary, "clock");
    result.clockRecovered = Read<bool>(clock, "recovered");
    result.settledAtBit = Read<long long>(clock, "lock_at_bit");
    result.clockSettled = result.settledAtBit.has_value();
    FlattenNumbers(Section(summary, "margins"), "", result.margins);
    result.runTimeS = Read<double>(Section(summary, "timing"), "total_s");
}

std::string LastLine(const std::string& path, const std::string& prefix) {
    std::ifstream file(path);
    std::string line;
    std::string last;
    while (std::getline(file, line)) {
        if (!line.empty() && line.rfind(prefix, 0) == 0) last = line.substr(prefix.size());
    }
    return last;
}

// Why a run that wrote no summary ended: the link simulator's own message,
// or else what its exit status tells.
std::string FailureReason(const fs::path& folder, int exitStatus) {
    const std::string message = LastLine((folder / kLogFile).string(), kLinkPrefix);
    if (!message.empty()) return message;
    // The shell reports a process killed by signal N as status 128 + N.
    if (exitStatus > 128) return "the link simulator was killed by signal " + std::to_string(exitStatus - 128);
    if (exitStatus == 127) return "the link simulator was not found: " + LastLine((folder / kLogFile).string(), "");
    if (exitStatus == 0) return "the link simulator ended without writing summary.json";
    return "the link simulator exited with status " + std::to_string(exitStatus);
}

}  // namespace

const char* StatusName(CornerStatus status) {
    switch (status) {
        case CornerStatus::Ok: return "ok";
        case CornerStatus::Failed: return "failed";
        case CornerStatus::NotRun: break;
    }
    return "not run";
}

void ReadCorner(const std::string& folderName, CornerResult& result) {
    const fs::path folder(folderName);
    std::ifstream summaryFile(folder / kSummaryFile);
    if (summaryFile) {
        const json summary = json::parse(summaryFile, nullptr, false);
        if (summary.is_discarded() || !summary.is_object()) {
            result.status = CornerStatus::Failed;
            result.reason = "summary.json does not read as JSON";
            return;
        }
        result.status = CornerStatus::Ok;
        ReadFigures(summary, result);
        return;
    }
    std::ifstream statusFile(folder / kExitStatusFile);
    int exitStatus = 0;
    if (statusFile >> exitStatus) {
        result.status = CornerStatus::Failed;
        result.reason = FailureReason(folder, exitStatus);
        return;
    }
    result.status = CornerStatus::NotRun;
    std::error_code failure;
    if (fs::exists(folder / kLogFile, failure)) result.reason = "started but did not finish";
}

}  // namespace linksweep
