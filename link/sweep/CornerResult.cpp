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
    result.lockAtBit = Read<long long>(clock, "lock_at_bit");
    result.clockLocked = result.lockAtBit.has_value();
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
        case CornerStatus::Pass: return "pass";
        case CornerStatus::Fail: return "fail";
        case CornerStatus::Unreliable: return "unreliable";
        case CornerStatus::Error: return "error";
        case CornerStatus::NotRun: break;
    }
    return "not run";
}

namespace {

// The verdict of a summary as a status, with its first reason; false when
// the summary has none (cut short, or from a program that gives none).
bool ReadVerdict(const json& summary, CornerStatus& status, std::string& reason) {
    const auto verdict = summary.find("verdict");
    if (verdict == summary.end() || !verdict->is_string()) return false;
    const std::string name = verdict->get<std::string>();
    if (name == "pass") {
        status = CornerStatus::Pass;
    } else if (name == "fail") {
        status = CornerStatus::Fail;
    } else if (name == "unreliable") {
        status = CornerStatus::Unreliable;
    } else {
        return false;
    }
    const auto reasons = summary.find("verdict_reasons");
    if (status != CornerStatus::Pass && reasons != summary.end() && reasons->is_array() && !reasons->empty() &&
        reasons->front().is_string()) {
        reason = reasons->front().get<std::string>();
    }
    return true;
}

json ReadSummaryFile(const fs::path& path) {
    std::ifstream file(path);
    if (!file) return json();
    return json::parse(file, nullptr, false);
}

}  // namespace

bool SummaryComplete(const std::string& folder) {
    const json summary = ReadSummaryFile(fs::path(folder) / kSummaryFile);
    CornerStatus status = CornerStatus::NotRun;
    std::string reason;
    return !summary.is_discarded() && summary.is_object() && ReadVerdict(summary, status, reason);
}

void ReadCorner(const std::string& folderName, CornerResult& result) {
    const fs::path folder(folderName);
    std::error_code failure;
    if (fs::exists(folder / kSummaryFile, failure)) {
        const json summary = ReadSummaryFile(folder / kSummaryFile);
        if (summary.is_discarded() || !summary.is_object()) {
            result.status = CornerStatus::Error;
            result.reason = "summary.json does not read as JSON";
            return;
        }
        if (!ReadVerdict(summary, result.status, result.reason)) {
            result.status = CornerStatus::Error;
            result.reason = "summary.json has no verdict: cut short, or written by another program";
            return;
        }
        ReadFigures(summary, result);
        return;
    }
    std::ifstream statusFile(folder / kExitStatusFile);
    int exitStatus = 0;
    if (statusFile >> exitStatus) {
        result.status = CornerStatus::Error;
        result.reason = FailureReason(folder, exitStatus);
        return;
    }
    result.status = CornerStatus::NotRun;
    if (fs::exists(folder / kLogFile, failure)) result.reason = "started but did not finish";
}

}  // namespace linksweep
