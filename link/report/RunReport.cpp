#include "RunReport.h"

#include <cstdio>
#include <sstream>

namespace linksim {

namespace {

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em auto;max-width:1100px;color:#222}"
    "h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    ".verdict{display:inline-block;padding:.2em .7em;border-radius:.3em;color:#fff;font-weight:bold}"
    ".pass{background:#2a7d2a}.fail{background:#b22}.unreliable{background:#b77a00}"
    "pre{background:#f4f4f4;padding:.8em;overflow-x:auto;font-size:.85em}"
    "table{border-collapse:collapse;font-size:.9em}td,th{border:1px solid #ccc;padding:.2em .6em;text-align:right}"
    "th{background:#eee}figure{margin:1em 0}img{max-width:100%;border:1px solid #ddd}"
    "figcaption{font-size:.85em;color:#555}";

void VerdictSection(const LinkResult& result, std::ostringstream& html) {
    const char* name = VerdictName(result.verdict.kind);
    html << "<p><span class=\"verdict " << name << "\">" << name << "</span></p><ul>";
    for (const std::string& reason : result.verdict.reasons) html << "<li>" << HtmlEscaped(reason) << "</li>";
    for (const RequirementCheck& check : result.verdict.requirements) {
        html << "<li>required " << HtmlEscaped(check.name) << (check.atLeast ? " at least " : " at most ")
             << FormatValue("%g", check.required) << " " << HtmlEscaped(check.unit) << ": "
             << (check.met ? "met" : "not met") << "</li>";
    }
    html << "</ul>";
}

void SettingsSection(const LinkSettings& settings, const LinkResult& result, std::ostringstream& html) {
    std::string command = "orvex-link";
    for (const std::string& argument : settings.commandLine) command += " " + argument;
    html << "<h2>Settings</h2><pre>" << HtmlEscaped(command) << "</pre><table>"
         << "<tr><th>transmitter</th><td style=\"text-align:left\">" << HtmlEscaped(result.tx.parameterString)
         << "</td></tr><tr><th>receiver</th><td style=\"text-align:left\">" << HtmlEscaped(result.rx.parameterString)
         << "</td></tr><tr><th>channel</th><td style=\"text-align:left\">" << HtmlEscaped(result.channel.description)
         << "</td></tr></table>";
}

void PicturesSection(const RunOutputs& outputs, std::ostringstream& html) {
    const struct {
        const std::string& file;
        const char* caption;
    } pictures[] = {
        {outputs.eyeImage, "The receiver's output folded on its sampling instants, with the contours at each rate."},
        {outputs.bathtubImage, "Error rate against the sampling phase: counted and fitted."},
        {outputs.trajectoryImage, "The receiver's adaptation and clock over the run."},
        {outputs.responsesImage, "The responses of the link's paths (values in responses.csv)."},
        {outputs.jitterImage, "The time-interval error of the output's edges against the recovered clock and the "
                              "data's grid: histogram, and spectrum with the periodic jitter's lines."},
        {outputs.statisticalImage, "The statistical eye of the final AMI_Init impulse response, with the contours "
                                   "at each rate."},
    };
    html << "<h2>Pictures</h2>";
    for (const auto& picture : pictures) {
        if (picture.file.empty()) continue;
        html << "<figure><img src=\"" << HtmlEscaped(picture.file) << "\" alt=\"" << HtmlEscaped(picture.file)
             << "\"><figcaption>" << picture.caption << "</figcaption></figure>";
    }
    if (!outputs.eyeNote.empty() && outputs.eyeImage.empty()) html << "<p>" << HtmlEscaped(outputs.eyeNote) << "</p>";
}

void CursorSection(const LinkResult& result, std::ostringstream& html) {
    const PulseCursors& c = result.cursors;
    if (!c.known) return;
    html << "<h2>Cursors</h2><p>" << HtmlEscaped(result.cursorsOf)
         << ": one bit of the &plusmn;0.5 V source at unit-interval spacing from the main cursor's peak, in volts.</p>"
         << "<table><tr>";
    for (size_t k = c.pre.size(); k > 0; --k) html << "<th>pre " << k << "</th>";
    html << "<th>main</th>";
    for (size_t k = 1; k <= c.post.size(); ++k) html << "<th>post " << k << "</th>";
    html << "</tr><tr>";
    for (size_t k = c.pre.size(); k > 0; --k) html << "<td>" << FormatValue("%.4f", c.pre[k - 1]) << "</td>";
    html << "<td>" << FormatValue("%.4f", c.main) << "</td>";
    for (double value : c.post) html << "<td>" << FormatValue("%.4f", value) << "</td>";
    html << "</tr></table>";
}

void StatisticalSection(const LinkResult& result, std::ostringstream& html) {
    const StatisticalEye& eye = result.statistical;
    if (!eye.known) return;
    html << "<h2>Statistical eye</h2><p>From " << HtmlEscaped(result.statisticalBasis)
         << (result.statisticalWithout.empty() ? "" : ", " + HtmlEscaped(result.statisticalWithout))
         << ": every cursor and aggressor, the jitter and the noise; the time-domain verdict stands.</p><table>"
         << "<tr><th>height at BER " << FormatValue("%.0e", eye.targetBer) << "</th><td>"
         << FormatValue("%.4g", eye.heightV) << " V</td></tr><tr><th>width at BER "
         << FormatValue("%.0e", eye.targetBer) << "</th><td>" << FormatValue("%.3g", eye.widthUi)
         << " UI</td></tr><tr><th>sampling phase</th><td>" << FormatValue("%.3f", eye.peakUi + eye.samplingUi)
         << " UI after the bit leaves</td></tr><tr><th>BER there</th><td>" << FormatValue("%.3g", eye.berAtSampling)
         << "</td></tr></table>";
}

void JitterSection(const LinkResult& result, std::ostringstream& html) {
    const JitterBreakdown& jitter = result.jitter;
    if (!jitter.known) return;
    html << "<h2>Jitter</h2><p>The output's " << jitter.edges << " edges after the ignored bits, in picoseconds; "
         << "data-dependent jitter from the edges' means after each pattern of " << jitter.patternBits
         << " bits.</p><table><tr><th>against</th><th>TJ at " << FormatValue("%.0e", jitter.targetBer)
         << "</th><th>DDJ</th><th>ISI</th><th>DCD</th><th>PJ</th><th>BUJ</th><th>RJ rms</th></tr>";
    const struct {
        const char* name;
        const JitterComponents& c;
    } rows[] = {{"the recovered clock", jitter.againstClock}, {"the data's grid", jitter.againstGrid}};
    for (const auto& row : rows) {
        if (!row.c.known) continue;
        const auto ps = [](double seconds) { return FormatValue("%.2f", seconds * 1e12); };
        const auto patterned = [&](double seconds) { return row.c.patternsKnown ? ps(seconds) : std::string("-"); };
        html << "<tr><th>" << row.name << "</th><td>" << ps(row.c.total) << "</td><td>" << patterned(row.c.ddj)
             << "</td><td>" << patterned(row.c.isi) << "</td><td>" << patterned(row.c.dcd) << "</td><td>"
             << ps(row.c.pj) << "</td><td>" << ps(row.c.buj) << "</td><td>" << ps(row.c.rj) << "</td></tr>";
    }
    html << "</table>";
}

void AdaptationSection(const LinkResult& result, std::ostringstream& html) {
    if (result.adaptMeasurements.empty()) return;
    html << "<h2>Adaptation</h2><table><tr><th>#</th><th>by bit</th><th>CTLE</th>";
    for (int tap = 1; tap <= 5; ++tap) html << "<th>DFE " << tap << " (V)</th>";
    html << "<th>eye width</th><th>eye height</th></tr>";
    for (size_t i = 0; i < result.adaptMeasurements.size(); ++i) {
        const AdaptMeasurement& m = result.adaptMeasurements[i];
        html << "<tr><td>" << i + 1 << "</td><td>"
             << (i < result.adaptLineBits.size() ? std::to_string(result.adaptLineBits[i]) : std::string()) << "</td><td>"
             << m.ctle << "</td>";
        for (double tap : m.taps) html << "<td>" << FormatValue("%.4f", tap) << "</td>";
        html << "<td>" << FormatValue("%g", m.eyeWidth) << "</td><td>" << FormatValue("%g", m.eyeHeight) << "</td></tr>";
    }
    html << "</table>";
}

}  // namespace

std::string HtmlEscaped(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string RunReportHtml(const LinkSettings& settings, const LinkResult& result, const RunOutputs& outputs,
                          const std::string& figures) {
    std::ostringstream html;
    const std::string title = result.tx.description.modelName + " to " + result.rx.description.modelName + " over " +
                              result.channel.description;
    html << "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" << HtmlEscaped(title)
         << "</title><style>" << kStyle << "</style></head><body><h1>" << HtmlEscaped(title) << "</h1>";
    VerdictSection(result, html);
    SettingsSection(settings, result, html);
    html << "<h2>Figures</h2><pre>" << HtmlEscaped(figures) << "</pre>";
    if (!result.notes.empty()) {
        html << "<h2>Notes</h2><ul>";
        for (const std::string& note : result.notes) html << "<li>" << HtmlEscaped(note) << "</li>";
        html << "</ul>";
    }
    CursorSection(result, html);
    JitterSection(result, html);
    StatisticalSection(result, html);
    PicturesSection(outputs, html);
    AdaptationSection(result, html);
    html << "</body></html>\n";
    return html.str();
}

}  // namespace linksim
