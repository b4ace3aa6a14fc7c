#include "SweepHeatmap.h"

#include "ColourRamp.h"
#include "PlotCanvas.h"
#include "SweepWords.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace linksweep {

namespace {

// Wide enough to read on a report's page: the cells share a fixed plot
// area, and the canvas is never narrower than kLeastWidth.
const double kLeastWidth = 1000.0;
const double kLeft = 200.0;
const double kRight = 170.0;
const double kTop = 120.0;
const double kBottom = 96.0;
const double kPlotWidth = 700.0;
const double kPlotHeight = 480.0;

const linksim::Colour kFailInk{0.85, 0.10, 0.10};
const linksim::Colour kUnreliableInk{0.90, 0.50, 0.0};

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
    return text;
}

// Where on the colour ramp values fall: the better end bright.
class ColourScale {
public:
    ColourScale(const HeatmapGrid& grid, const Metric& metric) : m_metric(metric) {
        for (const std::optional<double>& cell : grid.cells) {
            if (!cell || !Usable(*cell)) continue;
            const double v = Scaled(*cell);
            m_low = m_any ? std::min(m_low, v) : v;
            m_high = m_any ? std::max(m_high, v) : v;
            m_any = true;
        }
    }
    bool Any() const { return m_any; }
    double Low() const { return Unscaled(m_low); }
    double High() const { return Unscaled(m_high); }
    bool Usable(double value) const { return std::isfinite(value) && (!m_metric.logScale || value > 0.0); }
    double Level(double value) const {
        if (m_high <= m_low) return 1.0;
        const double level = (Scaled(value) - m_low) / (m_high - m_low);
        return m_metric.higherIsBetter ? level : 1.0 - level;
    }

private:
    double Scaled(double value) const { return m_metric.logScale ? std::log10(value) : value; }
    double Unscaled(double value) const { return m_metric.logScale ? std::pow(10.0, value) : value; }

    const Metric& m_metric;
    bool m_any = false;
    double m_low = 0.0;
    double m_high = 0.0;
};

void Text(cairo_t* cr, const std::string& text, double x, double y, double alignX) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - alignX * extents.width - extents.x_bearing, y);
    cairo_show_text(cr, text.c_str());
}

// Labels every step-th value so that they never overlap.
size_t LabelStep(double cellSize, double labelSize) {
    return std::max<size_t>(1, size_t(std::ceil(labelSize / std::max(cellSize, 1.0))));
}

// Long values (channel files) keep their end, which tells them apart.
std::string Label(const std::string& value, size_t longest) {
    if (value.size() <= longest) return value;
    return "..." + value.substr(value.size() - (longest - 3));
}

// "channel=loss:5" as "channel = loss:5", the name in words.
std::string HeldWords(const std::string& held) {
    const size_t equals = held.find('=');
    if (equals == std::string::npos) return held;
    return SettingWords(held.substr(0, equals)) + " = " + held.substr(equals + 1);
}

std::string Listed(const std::vector<std::string>& items, std::string (*words)(const std::string&)) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : "; ") + words(item);
    return text;
}

std::string AsIs(const std::string& text) { return text; }

struct Layout {
    double cellWidth;
    double cellHeight;
    double width;
    double height;
};

Layout LayOut(const HeatmapGrid& grid) {
    Layout layout;
    layout.cellWidth = std::max(1.0, std::floor(kPlotWidth / double(grid.xValues.size())));
    layout.cellHeight = std::min(80.0, std::max(1.0, std::floor(kPlotHeight / double(grid.yValues.size()))));
    layout.width = std::max(kLeastWidth, kLeft + layout.cellWidth * double(grid.xValues.size()) + kRight);
    layout.height = kTop + std::max(layout.cellHeight * double(grid.yValues.size()), 120.0) + kBottom;
    return layout;
}

// Where cell i is drawn: row 0 at the bottom, as on a graph's y axis.
void CellAt(const HeatmapGrid& grid, const Layout& layout, size_t i, double& x, double& y) {
    const size_t columns = grid.xValues.size();
    x = kLeft + double(i % columns) * layout.cellWidth;
    y = kTop + double(grid.yValues.size() - 1 - i / columns) * layout.cellHeight;
}

// A corner that did not pass: its cell hatched in the status's ink (a
// failure rising, an unreliable verdict falling, told apart without the
// colours), or, too small to hatch, its lower right half filled with it.
void MarkNotPassed(cairo_t* cr, double x, double y, double width, double height, linksim::Colour ink,
                   bool rising) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, ink.r, ink.g, ink.b);
    if (std::min(width, height) < 8.0) {
        cairo_move_to(cr, x + width, y);
        cairo_line_to(cr, x + width, y + height);
        cairo_line_to(cr, x, y + height);
        cairo_close_path(cr);
        cairo_fill(cr);
    } else {
        cairo_rectangle(cr, x, y, width, height);
        cairo_clip(cr);
        for (double d = 4.0; d < width + height; d += 10.0) {
            cairo_move_to(cr, rising ? x + d : x + width - d, y);
            cairo_line_to(cr, rising ? x + d - height : x + width - d + height, y + height);
        }
        // Each line edged in white, so that it shows on any colour of the ramp.
        cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
        cairo_set_line_width(cr, 3.0);
        cairo_stroke_preserve(cr);
        cairo_set_source_rgb(cr, ink.r, ink.g, ink.b);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void MarkNoValue(cairo_t* cr, double x, double y, double width, double height) {
    cairo_rectangle(cr, x, y, width, height);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x + 2, y + 2);
    cairo_line_to(cr, x + width - 2, y + height - 2);
    cairo_move_to(cr, x + width - 2, y + 2);
    cairo_line_to(cr, x + 2, y + height - 2);
    cairo_stroke(cr);
}

void DrawBestFrame(cairo_t* cr, double x, double y, double width, double height) {
    // Inside a cell large enough, around a small one so that it shows.
    const double inset = 1.5;
    const double grow = std::max(0.0, 12.0 - std::min(width, height)) / 2.0;
    cairo_set_line_width(cr, 3.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_rectangle(cr, x + inset - grow, y + inset - grow, width - 2 * inset + 2 * grow,
                    height - 2 * inset + 2 * grow);
    cairo_stroke(cr);
}

void DrawCells(cairo_t* cr, const HeatmapGrid& grid, const Metric& metric, const Layout& layout) {
    const ColourScale scale(grid, metric);
    const bool numbers = layout.cellWidth >= 56.0 && layout.cellHeight >= 20.0;
    cairo_set_font_size(cr, 12.0);
    for (size_t i = 0; i < grid.cells.size(); ++i) {
        double x = 0.0, y = 0.0;
        CellAt(grid, layout, i, x, y);
        const std::optional<double>& cell = grid.cells[i];
        const CornerStatus status = i < grid.cellStatus.size() ? grid.cellStatus[i] : CornerStatus::NotRun;
        if (!cell || !scale.Usable(*cell)) {
            // No value: the corner failed to run, did not run, or reports none.
            MarkNoValue(cr, x, y, layout.cellWidth, layout.cellHeight);
            if (numbers) {
                cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
                Text(cr, StatusName(status), x + layout.cellWidth / 2, y + layout.cellHeight / 2 + 4, 0.5);
            }
            continue;
        }
        const linksim::Rgb colour = linksim::RampColour(scale.Level(*cell));
        cairo_rectangle(cr, x, y, layout.cellWidth, layout.cellHeight);
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_fill(cr);
        if (status == CornerStatus::Fail) MarkNotPassed(cr, x, y, layout.cellWidth, layout.cellHeight, kFailInk, true);
        if (status == CornerStatus::Unreliable) {
            MarkNotPassed(cr, x, y, layout.cellWidth, layout.cellHeight, kUnreliableInk, false);
        }
        if (numbers) {
            // On a box of the cell's colour, so that a hatching never hides it.
            const double light = 0.3 * colour.r + 0.6 * colour.g + 0.1 * colour.b;
            const std::string value = Format("%.3g", *cell);
            cairo_text_extents_t extents;
            cairo_text_extents(cr, value.c_str(), &extents);
            cairo_rectangle(cr, x + (layout.cellWidth - extents.width) / 2 - 3, y + layout.cellHeight / 2 - 9,
                            extents.width + 6, 17);
            cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
            cairo_fill(cr);
            const double ink = light > 0.5 ? 0.0 : 1.0;
            cairo_set_source_rgb(cr, ink, ink, ink);
            Text(cr, value, x + layout.cellWidth / 2, y + layout.cellHeight / 2 + 4, 0.5);
        }
    }
    if (grid.bestCell != kNoCell) {
        double x = 0.0, y = 0.0;
        CellAt(grid, layout, grid.bestCell, x, y);
        DrawBestFrame(cr, x, y, layout.cellWidth, layout.cellHeight);
    }
}

void DrawAxes(cairo_t* cr, const HeatmapGrid& grid, const Layout& layout) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 12.0);
    const double bottom = kTop + layout.cellHeight * double(grid.yValues.size());
    const size_t xStep = LabelStep(layout.cellWidth, 70.0);
    const size_t xLongest = size_t(std::max(8.0, std::min(30.0, layout.cellWidth * double(xStep) / 7.5)));
    for (size_t i = 0; i < grid.xValues.size(); i += xStep) {
        Text(cr, Label(grid.xValues[i], xLongest), kLeft + (double(i) + 0.5) * layout.cellWidth, bottom + 18, 0.5);
    }
    const size_t yStep = LabelStep(layout.cellHeight, 15.0);
    for (size_t i = 0; i < grid.yValues.size(); i += yStep) {
        const double y = kTop + (double(grid.yValues.size() - 1 - i) + 0.5) * layout.cellHeight + 4;
        Text(cr, Label(grid.yValues[i], 22), kLeft - 8, y, 1.0);
    }
    cairo_set_font_size(cr, 14.0);
    const double plotRight = kLeft + layout.cellWidth * double(grid.xValues.size());
    if (!grid.xAxis.empty()) Text(cr, SettingWords(grid.xAxis), (kLeft + plotRight) / 2, bottom + 44, 0.5);
    if (!grid.yAxis.empty()) {
        cairo_save(cr);
        cairo_translate(cr, 22, (kTop + bottom) / 2);
        cairo_rotate(cr, -M_PI / 2);
        Text(cr, SettingWords(grid.yAxis), 0, 0, 0.5);
        cairo_restore(cr);
    }
}

void DrawColourBar(cairo_t* cr, const HeatmapGrid& grid, const Metric& metric, const Layout& layout) {
    const ColourScale scale(grid, metric);
    if (!scale.Any()) return;
    const double x = kLeft + layout.cellWidth * double(grid.xValues.size()) + 28;
    const double top = kTop;
    const double height = std::max(layout.cellHeight * double(grid.yValues.size()), 120.0);
    const int steps = 64;
    for (int i = 0; i < steps; ++i) {
        // Top of the bar the better end.
        const linksim::Rgb colour = linksim::RampColour(1.0 - (double(i) + 0.5) / steps);
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, x, top + height * i / steps, 18, height / steps + 0.5);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 12.0);
    const double best = metric.higherIsBetter ? scale.High() : scale.Low();
    const double worst = metric.higherIsBetter ? scale.Low() : scale.High();
    Text(cr, Format("%.3g", best) + " (best)", x + 24, top + 10, 0.0);
    Text(cr, Format("%.3g", worst), x + 24, top + height, 0.0);
    if (metric.logScale) Text(cr, "log scale", x + 24, top + height / 2, 0.0);
}

// What the marks mean, in a row under the x axis's title.
void DrawKey(cairo_t* cr, const Layout& layout) {
    const double y = layout.height - 26.0;
    double x = kLeft;
    cairo_set_font_size(cr, 12.0);
    const auto entry = [&](const std::string& text) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Text(cr, text, x + 26.0, y + 12.0, 0.0);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        x += 26.0 + extents.x_advance + 22.0;
    };
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_rectangle(cr, x, y, 18, 16);
    cairo_fill(cr);
    MarkNotPassed(cr, x, y, 18, 16, kFailInk, true);
    entry("fail");
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_rectangle(cr, x, y, 18, 16);
    cairo_fill(cr);
    MarkNotPassed(cr, x, y, 18, 16, kUnreliableInk, false);
    entry("unreliable");
    MarkNoValue(cr, x, y, 18, 16);
    entry("no value (error, not run, none reported)");
    DrawBestFrame(cr, x, y, 18, 16);
    entry("best corner");
}

void DrawTitle(linksim::PlotCanvas& canvas, const HeatmapGrid& grid, const Metric& metric) {
    std::string title = Capitalised(metric.label);
    if (!grid.xAxis.empty()) {
        title += std::string(title.find(',') == std::string::npos ? "" : ",") + " by " + SettingWords(grid.xAxis) + (grid.yAxis.empty() ? "" : " and " + SettingWords(grid.yAxis));
    }
    std::string subtitle = "best corner: " + (grid.bestText.empty() ? std::string("none") : grid.bestText);
    if (!grid.held.empty()) subtitle += "; other axes held at the best corner's: " + Listed(grid.held, HeldWords);
    canvas.Title(title, subtitle);
    if (!grid.fixed.empty()) canvas.Line("every corner: " + Listed(grid.fixed, AsIs), 60.0, 12.0);
}

// The settings every corner shares, long values (model and channel files)
// cut to their end.
std::vector<std::string> FixedSettings(const SweepPlan& plan) {
    std::vector<std::string> fixed;
    for (const SweepSetting& setting : plan.Settings()) {
        if (setting.Swept()) continue;
        if (setting.values.empty()) {
            fixed.push_back(setting.option);
        } else {
            fixed.push_back(SettingWords(setting.name) + (setting.prefix.empty() ? " " : " = ") +
                            Label(setting.values[0], 40));
        }
    }
    return fixed;
}

}  // namespace

HeatmapGrid MakeHeatmapGrid(const SweepPlan& plan, const SweepResults& results, const std::vector<size_t>& ranked,
                            size_t mapped) {
    HeatmapGrid grid;
    const std::vector<const SweepSetting*> axes = plan.Axes();
    grid.xValues.assign(1, "");
    grid.yValues.assign(1, "");
    grid.fixed = FixedSettings(plan);
    if (!axes.empty()) {
        grid.xAxis = axes[0]->name;
        grid.xValues = axes[0]->values;
    }
    if (axes.size() > 1) {
        grid.yAxis = axes[1]->name;
        grid.yValues = axes[1]->values;
    }
    grid.cells.assign(grid.xValues.size() * grid.yValues.size(), std::nullopt);
    grid.cellCorners.assign(grid.cells.size(), kNoCell);
    grid.cellStatus.assign(grid.cells.size(), CornerStatus::NotRun);
    if (results.corners.empty()) return grid;

    const size_t anchor = ranked.empty() ? 0 : ranked.front();
    const std::vector<size_t> held = plan.AxisIndices(results.corners[anchor].number);
    for (size_t axis = 2; axis < axes.size(); ++axis) {
        grid.held.push_back(axes[axis]->name + "=" + axes[axis]->values[held[axis]]);
    }
    const size_t shown = std::min<size_t>(2, held.size());
    for (size_t i = 0; i < results.corners.size(); ++i) {
        const std::vector<size_t> at = plan.AxisIndices(results.corners[i].number);
        if (!std::equal(at.begin() + shown, at.end(), held.begin() + shown)) continue;
        const size_t cell = (at.size() > 1 ? at[1] * grid.xValues.size() : 0) + (at.empty() ? 0 : at[0]);
        const CornerBrief& corner = results.corners[i];
        grid.cells[cell] = mapped < kMappedFigures ? corner.mapped[mapped] : corner.metric;
        grid.cellCorners[cell] = i;
        grid.cellStatus[cell] = results.corners[i].status;
        if (!ranked.empty() && i == anchor) {
            grid.bestCell = cell;
            grid.bestText = CornerFolder(corner.number, plan.CornerCount()) + ", " +
                            (grid.cells[cell] ? Format("%.4g", *grid.cells[cell]) : std::string("no value"));
        }
    }
    return grid;
}

bool WriteHeatmapPng(const std::string& path, const HeatmapGrid& grid, const Metric& metric, std::string& error) {
    const Layout layout = LayOut(grid);
    linksim::PlotCanvas canvas(int(std::ceil(layout.width)), int(std::ceil(layout.height)));
    cairo_t* cr = canvas.Context();
    DrawTitle(canvas, grid, metric);
    DrawCells(cr, grid, metric, layout);
    DrawAxes(cr, grid, layout);
    DrawColourBar(cr, grid, metric, layout);
    DrawKey(cr, layout);
    return canvas.Save(path, error);
}

}  // namespace linksweep
