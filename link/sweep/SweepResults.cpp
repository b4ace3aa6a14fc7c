#include "SweepResults.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace linksweep {

namespace {

using json = nlohmann::ordered_json;

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

template <typename T>
std::string Field(const std::optional<T>& value) {
    if (!value) return "";
    if constexpr (std::is_same_v<T, bool>) return *value ? "true" : "false";
    else if constexpr (std::is_same_v<T, double>) return FormatNumber(*value);
    else return std::to_string(*value);
}

template <typename T>
json JsonOf(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

size_t MostTaps(const SweepResults& results) {
    size_t most = 0;
    for (const CornerResult& corner : results.corners) most = std::max(most, corner.dfeTapsV.size());
    return most;
}

// Every margin name any corner reports, in the order first met.
std::vector<std::string> MarginNames(const SweepResults& results) {
    std::vector<std::string> names;
    for (const CornerResult& corner : results.corners) {
        for (const auto& margin : corner.margins) {
            if (std::find(names.begin(), names.end(), margin.first) == names.end()) names.push_back(margin.first);
        }
    }
    return names;
}

std::optional<double> Margin(const CornerResult& corner, const std::string& name) {
    for (const auto& margin : corner.margins) {
        if (margin.first == name) return margin.second;
    }
    return std::nullopt;
}

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
    return line + "\n";
}

std::string ValuesText(const SweepResults& results, const CornerResult& corner) {
    std::string text;
    for (size_t axis = 0; axis < results.axisNames.size() && axis < corner.values.size(); ++axis) {
        text += (axis ? " " : "") + results.axisNames[axis] + "=" + corner.values[axis];
    }
    return text.empty() ? "(no axis)" : text;
}

}  // namespace

SweepResults CollectResults(const SweepPlan& plan, const std::string& sweepFolder) {
    SweepResults results;
    for (const SweepSetting* axis : plan.Axes()) results.axisNames.push_back(axis->name);
    const size_t count = plan.CornerCount();
    results.corners.resize(count);
    for (size_t number = 1; number <= count; ++number) {
        CornerResult& corner = results.corners[number - 1];
        corner.number = number;
        corner.folder = CornerFolder(number, count);
        corner.values = plan.CornerValues(number);
        ReadCorner(sweepFolder + "/" + corner.folder, corner);
    }
    return results;
}

bool FindMetric(const std::string& name, const SweepResults& results, Metric& metric, std::string& error) {
    metric = Metric{};
    if (name == "eye_height" || name == "eye_height_v") {
        metric = {"eye_height_v", "eye height (V)", true, false};
    } else if (name == "eye_width" || name == "eye_width_ui") {
        metric = {"eye_width_ui", "eye width (UI)", true, false};
    } else if (name == "bit_errors") {
        metric = {"bit_errors", "bit errors", false, false};
    } else if (name == "ber") {
        metric = {"ber", "BER, or its 95 % bound when no error was counted", false, true};
    } else {
        const std::vector<std::string> margins = MarginNames(results);
        for (const std::string& margin : margins) {
            if (name == "margins." + margin || name == margin) {
                metric = {"margins." + margin, margin, true, false};
                return true;
            }
        }
        error = "--metric " + name + ": give eye_height, eye_width, bit_errors, ber" +
                (margins.empty() ? std::string(" (no corner reports margins)") : " or a margin such as " + margins[0]);
        return false;
    }
    return true;
}

std::optional<double> MetricValue(const CornerResult& corner, const Metric& metric) {
    if (!HasFigures(corner.status)) return std::nullopt;
    if (metric.column == "eye_height_v") return corner.eyeHeightV;
    if (metric.column == "eye_width_ui") return corner.eyeWidthUi;
    if (metric.column == "bit_errors") {
        return corner.bitErrors && corner.bitsCompared.value_or(0) > 0 ? std::optional<double>(double(*corner.bitErrors))
                                                                       : std::nullopt;
    }
    if (metric.column == "ber") return corner.bitErrors.value_or(0) > 0 ? corner.ber : corner.berUpperBound;
    return Margin(corner, metric.column.substr(std::string("margins.").size()));
}

std::vector<size_t> RankCorners(const SweepResults& results, const Metric& metric) {
    std::vector<std::pair<double, size_t>> scored;
    for (size_t i = 0; i < results.corners.size(); ++i) {
        if (const std::optional<double> value = MetricValue(results.corners[i], metric)) {
            scored.emplace_back(metric.higherIsBetter ? -*value : *value, i);
        }
    }
    std::sort(scored.begin(), scored.end());
    std::vector<size_t> ranked;
    for (const auto& item : scored) ranked.push_back(item.second);
    return ranked;
}

std::string ResultsCsv(const SweepResults& results) {
    const size_t taps = MostTaps(results);
    const std::vector<std::string> margins = MarginNames(results);
    std::vector<std::string> header = {"corner", "folder"};
    header.insert(header.end(), results.axisNames.begin(), results.axisNames.end());
    for (const char* name : {"status", "reason", "bits_compared", "bit_errors", "ber", "ber_upper_bound_95",
                             "eye_height_v", "eye_width_ui", "ctle_column"}) {
        header.push_back(name);
    }
    for (size_t tap = 1; tap <= taps; ++tap) header.push_back("dfe_tap" + std::to_string(tap) + "_v");
    for (const char* name : {"clock_recovered", "clock_locked", "lock_at_bit"}) header.push_back(name);
    for (const std::string& margin : margins) header.push_back("margins." + margin);
    header.push_back("run_time_s");
    std::string csv = Join(header);
    for (const CornerResult& corner : results.corners) {
        std::vector<std::string> row = {std::to_string(corner.number), corner.folder};
        row.insert(row.end(), corner.values.begin(), corner.values.end());
        row.insert(row.end(), {StatusName(corner.status), corner.reason, Field(corner.bitsCompared),
                               Field(corner.bitErrors), Field(corner.ber), Field(corner.berUpperBound),
                               Field(corner.eyeHeightV), Field(corner.eyeWidthUi), Field(corner.ctleColumn)});
        for (size_t tap = 0; tap < taps; ++tap) {
            row.push_back(tap < corner.dfeTapsV.size() ? FormatNumber(corner.dfeTapsV[tap]) : "");
        }
        row.insert(row.end(), {Field(corner.clockRecovered), Field(corner.clockLocked), Field(corner.lockAtBit)});
        for (const std::string& margin : margins) row.push_back(Field(Margin(corner, margin)));
        row.push_back(Field(corner.runTimeS));
        csv += Join(row);
    }
    return csv;
}

json ResultsJson(const SweepResults& results, const Metric& metric, const std::vector<size_t>& ranked) {
    json corners = json::array();
    for (const CornerResult& corner : results.corners) {
        json values = json::object();
        for (size_t axis = 0; axis < results.axisNames.size(); ++axis) {
            values[results.axisNames[axis]] = corner.values[axis];
        }
        json margins = json::object();
        for (const auto& margin : corner.margins) margins[margin.first] = margin.second;
        corners.push_back({{"corner", corner.number},
                           {"folder", corner.folder},
                           {"values", values},
                           {"status", StatusName(corner.status)},
                           {"reason", corner.reason},
                           {"bits_compared", JsonOf(corner.bitsCompared)},
                           {"bit_errors", JsonOf(corner.bitErrors)},
                           {"ber", JsonOf(corner.ber)},
                           {"ber_upper_bound_95", JsonOf(corner.berUpperBound)},
                           {"eye_height_v", JsonOf(corner.eyeHeightV)},
                           {"eye_width_ui", JsonOf(corner.eyeWidthUi)},
                           {"ctle_column", JsonOf(corner.ctleColumn)},
                           {"dfe_taps_v", corner.dfeTapsV},
                           {"clock_recovered", JsonOf(corner.clockRecovered)},
                           {"clock_locked", JsonOf(corner.clockLocked)},
                           {"lock_at_bit", JsonOf(corner.lockAtBit)},
                           {"margins", margins},
                           {"run_time_s", JsonOf(corner.runTimeS)}});
    }
    json best = json::array();
    for (size_t index : ranked) best.push_back(results.corners[index].number);
    return {{"axes", results.axisNames}, {"metric", metric.column}, {"best", best}, {"corners", corners}};
}

std::string CountsText(const SweepResults& results) {
    size_t counts[kCornerStatusCount] = {};
    for (const CornerResult& corner : results.corners) ++counts[size_t(corner.status)];
    std::string text = std::to_string(results.corners.size()) + " corners:";
    const char* separator = " ";
    for (size_t i = 0; i < kCornerStatusCount; ++i) {
        text += separator + std::to_string(counts[i]) + " " + StatusName(CornerStatus(i));
        separator = ", ";
    }
    return text;
}

namespace {

// What a corner's run found, all of it but its time.
std::string ResultSignature(const CornerResult& corner) {
    std::string text = Field(corner.bitErrors) + "|" + Field(corner.eyeHeightV) + "|" + Field(corner.eyeWidthUi) + "|" +
                       Field(corner.ctleColumn) + "|" + corner.reason;
    for (double tap : corner.dfeTapsV) text += "|" + FormatNumber(tap);
    for (const auto& margin : corner.margins) text += "|" + FormatNumber(margin.second);
    return text;
}

}  // namespace

std::vector<std::string> DeadAxes(const SweepResults& results) {
    std::vector<std::string> dead;
    for (size_t axis = 0; axis < results.axisNames.size(); ++axis) {
        // Corners alike but for this axis: what they found, and how many.
        std::map<std::vector<std::string>, std::pair<std::set<std::string>, size_t>> found;
        for (const CornerResult& corner : results.corners) {
            if (!HasFigures(corner.status) || corner.values.size() != results.axisNames.size()) continue;
            std::vector<std::string> others = corner.values;
            others.erase(others.begin() + long(axis));
            found[others].first.insert(ResultSignature(corner));
            ++found[others].second;
        }
        bool compared = false, differs = false;
        for (const auto& group : found) {
            compared = compared || group.second.second > 1;
            differs = differs || group.second.first.size() > 1;
        }
        if (compared && !differs) {
            dead.push_back("the axis " + results.axisNames[axis] +
                           " changed no corner's results: another setting may override it (an adaptation that "
                           "chooses the same parameter, for one)");
        }
    }
    return dead;
}

int SweepExitStatus(const SweepResults& results) {
    bool errored = false, shortOfPass = false;
    for (const CornerResult& corner : results.corners) {
        errored = errored || corner.status == CornerStatus::Error || corner.status == CornerStatus::NotRun;
        shortOfPass = shortOfPass || corner.status == CornerStatus::Fail || corner.status == CornerStatus::Unreliable;
    }
    return errored ? 4 : shortOfPass ? 3 : 0;
}

std::string BestText(const SweepResults& results, const Metric& metric, const std::vector<size_t>& ranked,
                     size_t count) {
    if (ranked.empty()) return "no corner has a value of " + metric.column + "\n";
    std::string text = "best by " + metric.column + ":\n";
    for (size_t i = 0; i < ranked.size() && i < count; ++i) {
        const CornerResult& corner = results.corners[ranked[i]];
        text += "  " + corner.folder + "  " + metric.column + " " + FormatNumber(*MetricValue(corner, metric)) + "  " +
                ValuesText(results, corner) + "\n";
    }
    return text;
}

}  // namespace linksweep
