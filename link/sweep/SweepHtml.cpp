#include "SweepHtml.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "RunReport.h"
#include "SweepWords.h"
#include "WholeFile.h"

namespace linksweep {

namespace {

using linksim::HtmlEscaped;

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em auto;max-width:1200px;color:#222;padding:0 1em}"
    "h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    "pre{background:#f4f4f4;padding:.8em;overflow-x:auto;font-size:.85em}"
    "table{border-collapse:collapse;font-size:.85em}td,th{border:1px solid #ccc;padding:.2em .5em}"
    "td{text-align:right;white-space:nowrap}td.text{text-align:left;white-space:normal;max-width:32em}td.reason{min-width:22em}"
    "th{background:#eee;position:sticky;top:0}#corners th{cursor:pointer;user-select:none}"
    "#corners th.up::after{content:' \\25B2'}#corners th.down::after{content:' \\25BC'}"
    ".scroll{max-height:80vh;overflow:auto;border:1px solid #ddd}"
    ".pass{background:#d8efd8}.fail{background:#f6d0d0}.unreliable{background:#f8e3bf}"
    ".error,.not-run{background:#e4e4e4}"
    "figure{margin:1em 0}img{max-width:100%;border:1px solid #ddd}figcaption{font-size:.85em;color:#555}";

// Sorts the corners' table by the column whose heading is clicked, again to
// reverse; numbers as numbers, empty cells always last.
const char kScript[] =
    "(function(){var t=document.getElementById('corners');if(!t)return;"
    "var hs=t.tHead.rows[0].cells;"
    "function key(r,c){return r.cells[c].getAttribute('data-v');}"
    "function sortBy(c){var h=hs[c],up=!h.classList.contains('up');"
    "for(var i=0;i<hs.length;i++)hs[i].classList.remove('up','down');h.classList.add(up?'up':'down');"
    "var b=t.tBodies[0],rows=Array.prototype.slice.call(b.rows);"
    "rows.sort(function(p,q){var x=key(p,c),y=key(q,c);if(x===y)return 0;if(x==='')return 1;if(y==='')return -1;"
    "var a=Number(x),d=Number(y),s;if(!isNaN(a)&&!isNaN(d))s=a-d;else s=x<y?-1:1;return up?s:-s;});"
    "for(var i=0;i<rows.length;i++)b.appendChild(rows[i]);}"
    "for(var i=0;i<hs.length;i++)(function(c){hs[c].addEventListener('click',function(){sortBy(c);});})(i);"
    "})();";

// One record of a CSV file as sweep.csv writes it: fields with a comma, a
// quote or a line break quoted, quotes doubled. False at the end.
bool NextRecord(std::istream& in, std::vector<std::string>& fields) {
    fields.clear();
    std::string line;
    if (!std::getline(in, line)) return false;
    std::string field;
    bool quoted = false;
    for (size_t i = 0;; ++i) {
        if (i == line.size()) {
            // A line break inside quotes belongs to the field.
            std::string more;
            if (quoted && std::getline(in, more)) {
                field += '\n';
                line = more;
                i = size_t(-1);
                continue;
            }
            fields.push_back(field);
            return true;
        }
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
}

std::string Heading(const std::string& column, const SweepResults& results) {
    if (std::find(results.axisNames.begin(), results.axisNames.end(), column) != results.axisNames.end()) {
        return SettingWords(column);
    }
    for (const char* plain : {"corner", "folder", "status", "reason"}) {
        if (column == plain) return column;
    }
    return FigureWords(column);
}

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// A figure shown to four digits; sorting uses the value as written.
std::string Shown(const std::string& value) {
    if (!IsNumber(value) || value.find_first_of(".eE") == std::string::npos) return value;
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", std::strtod(value.c_str(), nullptr));
    return text;
}

void WriteRow(linksim::WholeFileWriter& page, const std::vector<std::string>& header,
              const std::vector<std::string>& fields, const std::string& folder) {
    std::string row = "<tr>";
    std::error_code missing;  // a folder that cannot be looked into has no report to link
    for (size_t c = 0; c < header.size(); ++c) {
        const std::string value = c < fields.size() ? fields[c] : "";
        const std::string escaped = HtmlEscaped(value);
        std::string cell = HtmlEscaped(Shown(value));
        std::string classes = IsNumber(value) || value.empty() ? "" : "text";
        if (header[c] == "reason") classes += " reason";
        if (header[c] == "status") {
            std::string status = value;
            std::replace(status.begin(), status.end(), ' ', '-');
            classes += " " + status;
        } else if (header[c] == "folder" && std::filesystem::exists(folder + "/" + value + "/report.html", missing)) {
            cell = "<a href=\"" + escaped + "/report.html\">" + escaped + "</a>";
        }
        row += "<td" + (classes.empty() ? std::string() : " class=\"" + classes + "\"") + " data-v=\"" + escaped +
               "\">" + cell + "</td>";
    }
    page.Write(row + "</tr>\n");
}

std::string TableNote(const SweepResults& results, const std::vector<bool>& shown, size_t rankedCount) {
    const size_t count = size_t(std::count(shown.begin(), shown.end(), true));
    std::string note = "Click a column's heading to sort by it, again to reverse it.";
    if (count == results.corners.size()) return note;
    note += " The table shows " + std::to_string(count) + " of the " + std::to_string(results.corners.size()) +
            " corners: ";
    if (rankedCount > count) {
        const size_t best = count / 2;
        note += "the " + std::to_string(best) + " best and the " + std::to_string(count - best) + " worst by " +
                results.metric.label;
    } else {
        note += "the " + std::to_string(rankedCount) + " with a value of " + results.metric.label + " and " +
                std::to_string(count - rankedCount) + " of those without one";
    }
    return note + "; sweep.csv holds every corner.";
}

void WriteHead(linksim::WholeFileWriter& page, const SweepPlan& plan, const SweepResults& results,
               const SweepPageText& text) {
    const std::string title = "Sweep of " + std::to_string(results.corners.size()) + " corners by " +
                              results.metric.label;
    page.Write("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + HtmlEscaped(title) +
               "</title><style>" + kStyle + "</style></head><body><h1>" + HtmlEscaped(title) + "</h1><p>" +
               HtmlEscaped(text.counts) + "</p>");
    std::string axes, fixed;
    for (const SweepSetting& setting : plan.Settings()) {
        std::string values;
        for (const std::string& value : setting.values) values += (values.empty() ? "" : ", ") + value;
        const std::string row = "<tr><th>" + HtmlEscaped(SettingWords(setting.name)) + "</th><td class=\"text\">" +
                                HtmlEscaped(setting.option + " " + setting.prefix) + "</td><td class=\"text\">" +
                                HtmlEscaped(values) + "</td></tr>";
        (setting.Swept() ? axes : fixed) += row;
    }
    if (!axes.empty()) page.Write("<h2>Axes</h2><table>" + axes + "</table>");
    if (!fixed.empty()) page.Write("<h2>Settings every corner shares</h2><table>" + fixed + "</table>");
    page.Write("<h2>Best corners</h2><pre>" + HtmlEscaped(text.best) + "</pre>");
    if (!text.notes.empty()) {
        page.Write("<h2>Notes</h2><ul>");
        for (const std::string& note : text.notes) page.Write("<li>" + HtmlEscaped(note) + "</li>");
        page.Write("</ul>");
    }
    if (!text.pictures.empty()) page.Write("<h2>Heat maps</h2>");
    for (const auto& [file, shows] : text.pictures) {
        page.Write("<figure><img src=\"" + HtmlEscaped(file) + "\" alt=\"heat map of " + HtmlEscaped(shows) +
                   "\"><figcaption>" + HtmlEscaped(file) + ": " + HtmlEscaped(shows) + "</figcaption></figure>");
    }
}

}  // namespace

std::vector<bool> TableCorners(const SweepResults& results, const std::vector<size_t>& ranked, size_t most) {
    const size_t count = results.corners.size();
    std::vector<bool> shown(count, count <= most);
    if (count <= most) return shown;
    const size_t half = most / 2;
    size_t room = most;
    if (ranked.size() <= most) {
        for (size_t index : ranked) shown[index] = true;
        room -= ranked.size();
    } else {
        for (size_t i = 0; i < half; ++i) shown[ranked[i]] = true;
        for (size_t i = 0; i < most - half; ++i) shown[ranked[ranked.size() - 1 - i]] = true;
        room = 0;
    }
    for (size_t i = 0; i < count && room > 0; ++i) {
        if (!results.corners[i].metric) {
            shown[i] = true;
            --room;
        }
    }
    return shown;
}

bool WriteSweepHtml(const SweepPlan& plan, const std::string& folder, const SweepResults& results,
                    const std::vector<size_t>& ranked, const SweepPageText& text, std::string& error) {
    std::ifstream csv(folder + "/sweep.csv", std::ios::binary);
    std::vector<std::string> header, fields;
    if (!NextRecord(csv, header)) {
        error = "cannot read " + folder + "/sweep.csv";
        return false;
    }
    const std::vector<bool> shown = TableCorners(results, ranked, kMostTableRows);
    linksim::WholeFileWriter page(folder + "/sweep.html");
    WriteHead(page, plan, results, text);
    page.Write("<h2>Corners</h2><p>" + HtmlEscaped(TableNote(results, shown, ranked.size())) +
               "</p><div class=\"scroll\"><table id=\"corners\"><thead><tr>");
    for (const std::string& column : header) {
        page.Write("<th title=\"" + HtmlEscaped(column) + "\">" + HtmlEscaped(Heading(column, results)) + "</th>");
    }
    page.Write("</tr></thead><tbody>\n");
    // Row r of sweep.csv is corner r + 1, at index r of the results.
    for (size_t row = 0; NextRecord(csv, fields); ++row) {
        if (row < shown.size() && shown[row]) WriteRow(page, header, fields, folder);
    }
    page.Write(std::string("</tbody></table></div><script>") + kScript + "</script></body></html>\n");
    return page.Commit(error);
}

}  // namespace linksweep
