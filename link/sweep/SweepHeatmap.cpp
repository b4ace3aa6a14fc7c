#include "SweepHeatmap.h"

#include "ColourRamp.h"
#include "PngFile.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace linksweep {

namespace {

const double kLeft = 150.0;
const double kRight = 140.0;
const double kTop = 84.0;
const double kBottom = 64.0;
const double kPlotWidth = 640.0;
const double kPlotHeight = 440.0;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
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
std::string Label(const std::string& value) {
    const size_t longest = 18;
    if (value.size() <= longest) return value;
    return "..." + value.substr(value.size() - (longest - 3));
}

struct Layout {
    double cellWidth;
    double cellHeight;
    double width;
    double height;
};

Layout LayOut(const HeatmapGrid& grid) {
    Layout layout;
    layout.cellWidth = std::min(72.0, std::max(1.0, std::floor(kPlotWidth / double(grid.xValues.size()))));
    layout.cellHeight = std::min(48.0, std::max(1.0, std::floor(kPlotHeight / double(grid.yValues.size()))));
    layout.width = kLeft + layout.cellWidth * double(grid.xValues.size()) + kRight;
    layout.height = kTop + layout.cellHeight * double(grid.yValues.size()) + kBottom;
    return layout;
}

void DrawCells(cairo_t* cr, const HeatmapGrid& grid, const Metric& metric, const Layout& layout) {
    const ColourScale scale(grid, metric);
    const size_t columns = grid.xValues.size();
    const bool numbers = layout.cellWidth >= 56.0 && layout.cellHeight >= 20.0;
    cairo_set_font_size(cr, 11.0);
    for (size_t i = 0; i < grid.cells.size(); ++i) {
        // Row 0 at the bottom, as on a graph's y axis.
        const double x = kLeft + double(i % columns) * layout.cellWidth;
        const double y = kTop + double(grid.yValues.size() - 1 - i / columns) * layout.cellHeight;
        const std::optional<double>& cell = grid.cells[i];
        cairo_rectangle(cr, x, y, layout.cellWidth, layout.cellHeight);
        if (cell && scale.Usable(*cell)) {
            const linksim::Rgb colour = linksim::RampColour(scale.Level(*cell));
            cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
            cairo_fill(cr);
            if (numbers) {
                const double light = 0.3 * colour.r + 0.6 * colour.g + 0.1 * colour.b;
                cairo_set_source_rgb(cr, light > 0.5 ? 0.0 : 1.0, light > 0.5 ? 0.0 : 1.0, light > 0.5 ? 0.0 : 1.0);
                Text(cr, Format("%.3g", *cell), x + layout.cellWidth / 2, y + layout.cellHeight / 2 + 4, 0.5);
            }
        } else {
            // No value: the corner failed, did not run, or reports none.
            cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
            cairo_set_line_width(cr, 1.0);
            cairo_move_to(cr, x + 2, y + 2);
            cairo_line_to(cr, x + layout.cellWidth - 2, y + layout.cellHeight - 2);
            cairo_move_to(cr, x + layout.cellWidth - 2, y + 2);
            cairo_line_to(cr, x + 2, y + layout.cellHeight - 2);
            cairo_stroke(cr);
        }
    }
    if (grid.bestCell != kNoCell) {
        const double x = kLeft + double(grid.bestCell % columns) * layout.cellWidth;
        const double y = kTop + double(grid.yValues.size() - 1 - grid.bestCell / columns) * layout.cellHeight;
        // Inside a cell large enough, around a small one so that it shows.
        const double inset = 1.5;
        const double grow = std::max(0.0, 12.0 - std::min(layout.cellWidth, layout.cellHeight)) / 2.0;
        cairo_set_line_width(cr, 3.0);
        cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
        cairo_rectangle(cr, x + inset - grow, y + inset - grow, layout.cellWidth - 2 * inset + 2 * grow,
                        layout.cellHeight - 2 * inset + 2 * grow);
        cairo_stroke(cr);
    }
}

void DrawAxes(cairo_t* cr, const HeatmapGrid& grid, const Layout& layout) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 11.0);
    const double bottom = kTop + layout.cellHeight * double(grid.yValues.size());
    const size_t xStep = LabelStep(layout.cellWidth, 64.0);
    for (size_t i = 0; i < grid.xValues.size(); i += xStep) {
        Text(cr, Label(grid.xValues[i]), kLeft + (double(i) + 0.5) * layout.cellWidth, bottom + 16, 0.5);
    }
    const size_t yStep = LabelStep(layout.cellHeight, 14.0);
    for (size_t i = 0; i < grid.yValues.size(); i += yStep) {
        const double y = kTop + (double(grid.yValues.size() - 1 - i) + 0.5) * layout.cellHeight + 4;
        Text(cr, Label(grid.yValues[i]), kLeft - 8, y, 1.0);
    }
    cairo_set_font_size(cr, 13.0);
    const double plotRight = kLeft + layout.cellWidth * double(grid.xValues.size());
    if (!grid.xAxis.empty()) Text(cr, grid.xAxis, (kLeft + plotRight) / 2, bottom + 40, 0.5);
    if (!grid.yAxis.empty()) {
        cairo_save(cr);
        cairo_translate(cr, 24, (kTop + bottom) / 2);
        cairo_rotate(cr, -M_PI / 2);
        Text(cr, grid.yAxis, 0, 0, 0.5);
        cairo_restore(cr);
    }
}

void DrawColourBar(cairo_t* cr, const HeatmapGrid& grid, const Metric& metric, const Layout& layout) {
    const ColourScale scale(grid, metric);
    if (!scale.Any()) return;
    const double x = layout.width - kRight + 24;
    const double top = kTop;
    const double height = std::max(layout.cellHeight * double(grid.yValues.size()), 80.0);
    const int steps = 64;
    for (int i = 0; i < steps; ++i) {
        // Top of the bar the better end.
        const linksim::Rgb colour = linksim::RampColour(1.0 - (double(i) + 0.5) / steps);
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, x, top + height * i / steps, 18, height / steps + 0.5);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 11.0);
    const double best = metric.higherIsBetter ? scale.High() : scale.Low();
    const double worst = metric.higherIsBetter ? scale.Low() : scale.High();
    Text(cr, Format("%.3g", best), x + 24, top + 10, 0.0);
    Text(cr, Format("%.3g", worst), x + 24, top + height, 0.0);
    if (metric.logScale) Text(cr, "log scale", x + 24, top + height / 2, 0.0);
}

void DrawTitle(cairo_t* cr, const HeatmapGrid& grid, const Metric& metric) {
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_font_size(cr, 16.0);
    std::string title = metric.label;
    if (!grid.xAxis.empty()) title += " over " + grid.xAxis + (grid.yAxis.empty() ? "" : " and " + grid.yAxis);
    Text(cr, title, kLeft, 26, 0.0);
    cairo_set_font_size(cr, 12.0);
    std::string held;
    for (const std::string& value : grid.held) held += (held.empty() ? "" : ", ") + value;
    Text(cr, "best (red): " + (grid.bestText.empty() ? std::string("none") : grid.bestText), kLeft, 46, 0.0);
    if (!held.empty()) Text(cr, "other axes at the best corner: " + held, kLeft, 64, 0.0);
}

}  // namespace

HeatmapGrid MakeHeatmapGrid(const SweepPlan& plan, const SweepResults& results, const std::vector<size_t>& ranked) {
    HeatmapGrid grid;
    const std::vector<const SweepSetting*> axes = plan.Axes();
    grid.xValues.assign(1, "");
    grid.yValues.assign(1, "");
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
        grid.cells[cell] = results.corners[i].metric;
        grid.cellCorners[cell] = i;
        if (!ranked.empty() && i == anchor) {
            grid.bestCell = cell;
            grid.bestText =
                CornerFolder(results.corners[i].number, plan.CornerCount()) + ": " + Format("%.4g", *grid.cells[cell]);
        }
    }
    return grid;
}

bool WriteHeatmapPng(const std::string& path, const HeatmapGrid& grid, const Metric& metric, std::string& error) {
    const Layout layout = LayOut(grid);
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(std::ceil(layout.width)), int(std::ceil(layout.height)));
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    DrawTitle(cr, grid, metric);
    DrawCells(cr, grid, metric, layout);
    DrawAxes(cr, grid, layout);
    DrawColourBar(cr, grid, metric, layout);
    cairo_destroy(cr);
    const bool written = linksim::WritePng(surface, path, "", error);
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace linksweep
