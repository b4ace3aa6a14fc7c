#include "SweepResults.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "SweepWords.h"
#include "WholeFile.h"

namespace linksweep {

namespace {

using json = nlohmann::ordered_json;

const char* const kMarginPrefix = "margins.";

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

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
    return line + "\n";
}

// The metrics every corner with figures has; false for a margin's name.
bool StandardMetric(const std::string& name, Metric& metric) {
    if (name == "eye_height" || name == "eye_height_v") {
        metric = {"eye_height_v", "eye height (V)", true, false};
    } else if (name == "eye_width" || name == "eye_width_ui") {
        metric = {"eye_width_ui", "eye width (UI)", true, false};
    } else if (name == "bit_errors") {
        metric = {"bit_errors", "bit errors", false, false};
    } else if (name == "ber") {
        metric = {"ber", "BER, or its 95 % bound when no error was counted", false, true};
    } else {
        return false;
    }
    return true;
}

std::optional<double> Margin(const CornerResult& corner, const std::string& name) {
    for (const auto& margin : corner.margins) {
        if (margin.first == name) return margin.second;
    }
    return std::nullopt;
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
    return Margin(corner, metric.column.substr(std::string(kMarginPrefix).size()));
}

// The corner as sweep.json holds it; its sweep.csv row is made from this.
json CornerJson(const CornerResult& corner, const std::vector<std::string>& axisNames) {
    json values = json::object();
    for (size_t axis = 0; axis < axisNames.size() && axis < corner.values.size(); ++axis) {
        values[axisNames[axis]] = corner.values[axis];
    }
    json margins = json::object();
    for (const auto& margin : corner.margins) margins[margin.first] = margin.second;
    return {{"corner", corner.number},
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
            {"run_time_s", JsonOf(corner.runTimeS)}};
}

std::string CsvValue(const json& value) {
    if (value.is_null()) return "";
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    if (value.is_number_float()) return FormatNumber(value.get<double>());
    if (value.is_number()) return value.dump();
    if (value.is_string()) return value.get<std::string>();
    return "";
}

// The table's columns: they depend on every corner (the most DFE taps, the
// margins any corner reports), so rows are written once all are read.
struct Columns {
    std::vector<std::string> axes;
    size_t taps = 0;
    std::vector<std::string> margins;  // in the order first met

    void Include(const CornerResult& corner) {
        taps = std::max(taps, corner.dfeTapsV.size());
        for (const auto& margin : corner.margins) {
            if (std::find(margins.begin(), margins.end(), margin.first) == margins.end()) {
                margins.push_back(margin.first);
            }
        }
    }
    std::string Header() const {
        std::vector<std::string> header = {"corner", "folder"};
        header.insert(header.end(), axes.begin(), axes.end());
        for (const char* name : {"status", "reason", "bits_compared", "bit_errors", "ber", "ber_upper_bound_95",
                                 "eye_height_v", "eye_width_ui", "ctle_column"}) {
            header.push_back(name);
        }
        for (size_t tap = 1; tap <= taps; ++tap) header.push_back("dfe_tap" + std::to_string(tap) + "_v");
        for (const char* name : {"clock_recovered", "clock_locked", "lock_at_bit"}) header.push_back(name);
        for (const std::string& margin : margins) header.push_back(kMarginPrefix + margin);
        header.push_back("run_time_s");
        return Join(header);
    }
    std::string Row(const json& corner) const {
        const auto at = [](const json& object, const std::string& key) {
            const auto item = object.find(key);
            return item == object.end() ? json() : *item;
        };
        std::vector<std::string> row = {CsvValue(at(corner, "corner")), CsvValue(at(corner, "folder"))};
        const json values = at(corner, "values");
        for (const std::string& axis : axes) row.push_back(CsvValue(at(values, axis)));
        for (const char* name : {"status", "reason", "bits_compared", "bit_errors", "ber", "ber_upper_bound_95",
                                 "eye_height_v", "eye_width_ui", "ctle_column"}) {
            row.push_back(CsvValue(at(corner, name)));
        }
        const json dfe = at(corner, "dfe_taps_v");
        for (size_t tap = 0; tap < taps; ++tap) row.push_back(tap < dfe.size() ? CsvValue(dfe[tap]) : "");
        for (const char* name : {"clock_recovered", "clock_locked", "lock_at_bit"}) {
            row.push_back(CsvValue(at(corner, name)));
        }
        const json found = at(corner, "margins");
        for (const std::string& margin : margins) row.push_back(CsvValue(at(found, margin)));
        row.push_back(CsvValue(at(corner, "run_time_s")));
        return Join(row);
    }
};

// What a corner's run found, all of it but its time, as a digest (FNV-1a).
uint64_t Findings(const CornerResult& corner) {
    std::string text = Field(corner.bitErrors) + "|" + Field(corner.eyeHeightV) + "|" + Field(corner.eyeWidthUi) + "|" +
                       Field(corner.ctleColumn) + "|" + corner.reason;
    for (double tap : corner.dfeTapsV) text += "|" + FormatNumber(tap);
    for (const auto& margin : corner.margins) text += "|" + FormatNumber(margin.second);
    uint64_t digest = 14695981039346656037ull;
    for (unsigned char c : text) digest = (digest ^ c) * 1099511628211ull;
    return digest;
}

// The metric a name gives: a standard one, or else a margin's, whose name
// some corner must report (checked once every corner was read).
Metric NamedMetric(const std::string& name) {
    Metric metric;
    if (StandardMetric(name, metric)) return metric;
    const std::string margin = name.rfind(kMarginPrefix, 0) == 0 ? name.substr(std::string(kMarginPrefix).size()) : name;
    return {kMarginPrefix + margin, FigureWords(margin), true, false};
}

bool MetricReported(const std::string& name, const Metric& metric, const Columns& columns, std::string& error) {
    Metric standard;
    if (StandardMetric(name, standard) ||
        std::find(columns.margins.begin(), columns.margins.end(),
                  metric.column.substr(std::string(kMarginPrefix).size())) != columns.margins.end()) {
        return true;
    }
    error = "--metric " + name + ": give eye_height, eye_width, bit_errors, ber" +
            (columns.margins.empty() ? std::string(" (no corner reports margins)")
                                     : " or a margin such as " + columns.margins[0]);
    return false;
}

// Reads each corner once: its brief into results, its JSON object a line
// into `lines`, its columns into `columns`.
void ReadCorners(const SweepPlan& plan, const std::string& sweepFolder, SweepResults& results, Columns& columns,
                 std::ostream& lines) {
    const size_t count = plan.CornerCount();
    results.corners.reserve(count);
    std::array<Metric, kMappedFigures> mapped;
    for (size_t i = 0; i < kMappedFigures; ++i) mapped[i] = MappedFigure(i);
    for (size_t number = 1; number <= count; ++number) {
        CornerResult corner;
        corner.number = number;
        corner.folder = CornerFolder(number, count);
        corner.values = plan.CornerValues(number);
        ReadCorner(sweepFolder + "/" + corner.folder, corner);
        columns.Include(corner);
        CornerBrief brief{number, corner.status, MetricValue(corner, results.metric), Findings(corner), {}};
        for (size_t i = 0; i < kMappedFigures; ++i) brief.mapped[i] = MetricValue(corner, mapped[i]);
        results.corners.push_back(brief);
        lines << CornerJson(corner, results.axisNames).dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
    }
}

// sweep.csv and sweep.json from the corners' lines, the best first in the JSON's list.
bool WriteTables(const std::string& sweepFolder, const SweepResults& results, const Columns& columns,
                 std::istream& lines, std::string& error) {
    linksim::WholeFileWriter csv(sweepFolder + "/sweep.csv");
    linksim::WholeFileWriter table(sweepFolder + "/sweep.json");
    csv.Write(columns.Header());
    json best = json::array();
    for (size_t index : RankCorners(results)) best.push_back(results.corners[index].number);
    table.Write("{\n  \"axes\": " + json(results.axisNames).dump(-1, ' ', false, json::error_handler_t::replace) +
                ",\n  \"metric\": " + json(results.metric.column).dump() + ",\n  \"best\": " + best.dump() +
                ",\n  \"corners\": [");
    std::string line;
    for (size_t row = 0; std::getline(lines, line); ++row) {
        const json corner = json::parse(line, nullptr, false);
        if (corner.is_discarded()) {
            error = "the sweep's scratch file lost a corner";
            return false;
        }
        csv.Write(columns.Row(corner));
        table.Write(std::string(row ? "," : "") + "\n    " + line);
    }
    table.Write("\n  ]\n}\n");
    return csv.Commit(error) && table.Commit(error);
}

}  // namespace

Metric MappedFigure(size_t index) {
    static const char* const kNames[kMappedFigures] = {"eye_height_v", "eye_width_ui", "ber"};
    Metric metric;
    StandardMetric(kNames[index], metric);
    return metric;
}

bool CollectResults(const SweepPlan& plan, const std::string& sweepFolder, const std::string& metricName,
                    SweepResults& results, std::string& error) {
    results = SweepResults{};
    for (const SweepSetting* axis : plan.Axes()) results.axisNames.push_back(axis->name);
    results.metric = NamedMetric(metricName);
    Columns columns;
    columns.axes = results.axisNames;
    // Each corner's JSON object, a line each, until the table's columns are
    // known: a file, so that memory holds one corner at a time.
    const std::string scratch = sweepFolder + "/.collecting-" + std::to_string(long(getpid()));
    bool written = false;
    {
        std::ofstream lines(scratch, std::ios::binary | std::ios::trunc);
        ReadCorners(plan, sweepFolder, results, columns, lines);
        lines.close();
        if (!lines) error = "cannot write the sweep's scratch file " + scratch;
        written = bool(lines);
    }
    if (written && MetricReported(metricName, results.metric, columns, error)) {
        std::ifstream lines(scratch, std::ios::binary);
        written = WriteTables(sweepFolder, results, columns, lines, error);
    } else {
        written = false;
    }
    std::remove(scratch.c_str());
    return written;
}

std::vector<size_t> RankCorners(const SweepResults& results) {
    std::vector<std::pair<double, size_t>> scored;
    for (size_t i = 0; i < results.corners.size(); ++i) {
        if (const std::optional<double> value = results.corners[i].metric) {
            scored.emplace_back(results.metric.higherIsBetter ? -*value : *value, i);
        }
    }
    std::sort(scored.begin(), scored.end());
    std::vector<size_t> ranked;
    for (const auto& item : scored) ranked.push_back(item.second);
    return ranked;
}

std::string CountsText(const SweepResults& results) {
    size_t counts[kCornerStatusCount] = {};
    for (const CornerBrief& corner : results.corners) ++counts[size_t(corner.status)];
    std::string text = std::to_string(results.corners.size()) + " corners:";
    const char* separator = " ";
    for (size_t i = 0; i < kCornerStatusCount; ++i) {
        text += separator + std::to_string(counts[i]) + " " + StatusName(CornerStatus(i));
        separator = ", ";
    }
    return text;
}

std::vector<std::string> DeadAxes(const SweepPlan& plan, const SweepResults& results) {
    std::vector<std::string> dead;
    for (size_t axis = 0; axis < results.axisNames.size(); ++axis) {
        // Corners alike but for this axis: what they found, and how many.
        std::map<std::vector<size_t>, std::pair<std::set<uint64_t>, size_t>> found;
        for (const CornerBrief& corner : results.corners) {
            std::vector<size_t> others = plan.AxisIndices(corner.number);
            if (!HasFigures(corner.status) || others.size() != results.axisNames.size()) continue;
            others.erase(others.begin() + long(axis));
            found[others].first.insert(corner.findings);
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
    for (const CornerBrief& corner : results.corners) {
        errored = errored || corner.status == CornerStatus::Error || corner.status == CornerStatus::NotRun;
        shortOfPass = shortOfPass || corner.status == CornerStatus::Fail || corner.status == CornerStatus::Unreliable;
    }
    return errored ? 4 : shortOfPass ? 3 : 0;
}

std::string BestText(const SweepPlan& plan, const SweepResults& results, const std::vector<size_t>& ranked,
                     size_t count) {
    const std::string& column = results.metric.column;
    if (ranked.empty()) return "no corner has a value of " + column + "\n";
    std::string text = "best by " + column + ":\n";
    for (size_t i = 0; i < ranked.size() && i < count; ++i) {
        const CornerBrief& corner = results.corners[ranked[i]];
        const std::vector<std::string> values = plan.CornerValues(corner.number);
        std::string named;
        for (size_t axis = 0; axis < results.axisNames.size() && axis < values.size(); ++axis) {
            named += (axis ? " " : "") + results.axisNames[axis] + "=" + values[axis];
        }
        text += "  " + CornerFolder(corner.number, plan.CornerCount()) + "  " + column + " " +
                FormatNumber(*corner.metric) + "  " + (named.empty() ? "(no axis)" : named) + "\n";
    }
    return text;
}

}  // namespace linksweep
