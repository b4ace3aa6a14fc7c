#include "PlotCanvas.h"

#include "PngFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace linksim {

namespace {
const double kPi = 3.14159265358979323846;
const Colour kInk{0.1, 0.1, 0.1};

std::string TickLabel(double value, bool log) {
    char text[32];
    if (log) {
        std::snprintf(text, sizeof text, "1e%d", int(std::lround(std::log10(value))));
    } else {
        std::snprintf(text, sizeof text, "%g", value);
    }
    return text;
}

void SetDash(cairo_t* cr, bool dashed) {
    const double dashes[] = {6.0, 4.0};
    cairo_set_dash(cr, dashes, dashed ? 2 : 0, 0.0);
}
}  // namespace

double NiceStep(double span, int wanted) {
    const double raw = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw) return factor * power;
    }
    return 10.0 * power;
}

void DrawText(cairo_t* cr, double x, double y, const std::string& text, double alignX, double alignY) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - alignX * extents.width - extents.x_bearing, y - alignY * extents.height - extents.y_bearing);
    cairo_show_text(cr, text.c_str());
}

PlotPanel::PlotPanel(double x0_, double y0_, double width_, double height_, PlotAxis x, PlotAxis y)
    : x0(x0_), y0(y0_), width(width_), height(height_), xAxis(std::move(x)), yAxis(std::move(y)) {
    for (PlotAxis* axis : {&xAxis, &yAxis}) {
        if (!(axis->high > axis->low)) axis->high = axis->low + 1.0;  // a flat series still gets an axis
    }
}

double PlotPanel::X(double value) const {
    if (xAxis.log) return x0 + std::log10(value / xAxis.low) / std::log10(xAxis.high / xAxis.low) * width;
    return x0 + (value - xAxis.low) / (xAxis.high - xAxis.low) * width;
}

double PlotPanel::Y(double value) const {
    if (yAxis.log) return y0 + height - std::log10(value / yAxis.low) / std::log10(yAxis.high / yAxis.low) * height;
    return y0 + height - (value - yAxis.low) / (yAxis.high - yAxis.low) * height;
}

bool PlotPanel::Inside(double x, double y) const {
    return x >= xAxis.low && x <= xAxis.high && y >= yAxis.low && y <= yAxis.high;
}

void PlotPanel::Clip(cairo_t* cr) const {
    cairo_rectangle(cr, x0, y0, width, height);
    cairo_clip(cr);
}

void PlotPanel::DrawTicks(cairo_t* cr, const PlotAxis& axis, bool horizontal, bool labels) const {
    std::vector<double> ticks;
    if (axis.log) {
        const int first = int(std::ceil(std::log10(axis.low) - 1e-9));
        const int last = int(std::floor(std::log10(axis.high) + 1e-9));
        const int every = std::max(1, (last - first) / 8 + 1);
        for (int power = first; power <= last; power += every) ticks.push_back(std::pow(10.0, power));
    } else {
        const double step = NiceStep(axis.high - axis.low, horizontal ? 8 : 5);
        for (double v = std::ceil(axis.low / step - 1e-9) * step; v <= axis.high + step * 1e-9; v += step) {
            ticks.push_back(std::fabs(v) < step * 1e-6 ? 0.0 : v);
        }
    }
    cairo_set_font_size(cr, 12.0);
    for (double tick : ticks) {
        if (horizontal) {
            const double x = X(tick);
            cairo_move_to(cr, x, y0 + height);
            cairo_line_to(cr, x, y0 + height + 5.0);
            cairo_stroke(cr);
            if (labels) DrawText(cr, x, y0 + height + 8.0, TickLabel(tick, axis.log), 0.5, 0.0);
        } else {
            const double y = Y(tick);
            cairo_move_to(cr, x0 - 5.0, y);
            cairo_line_to(cr, x0, y);
            cairo_stroke(cr);
            if (labels) DrawText(cr, x0 - 8.0, y, TickLabel(tick, axis.log), 1.0, 0.5);
        }
    }
}

void PlotPanel::DrawFrame(cairo_t* cr, bool xTickLabels, bool xAxisLabel) const {
    cairo_save(cr);
    cairo_set_source_rgb(cr, kInk.r, kInk.g, kInk.b);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, x0, y0, width, height);
    cairo_stroke(cr);
    DrawTicks(cr, xAxis, true, xTickLabels);
    DrawTicks(cr, yAxis, false, true);
    cairo_set_font_size(cr, 14.0);
    if (xAxisLabel) DrawText(cr, x0 + width / 2.0, y0 + height + 28.0, xAxis.label, 0.5, 0.0);
    cairo_translate(cr, x0 - 62.0, y0 + height / 2.0);
    cairo_rotate(cr, -kPi / 2.0);
    DrawText(cr, 0.0, 0.0, yAxis.label, 0.5, 0.5);
    cairo_restore(cr);
}

void PlotPanel::DrawLine(cairo_t* cr, const std::vector<double>& xs, const std::vector<double>& ys, Colour colour,
                         double lineWidth, bool dashed) const {
    cairo_save(cr);
    Clip(cr);
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, lineWidth);
    SetDash(cr, dashed);
    bool drawing = false;
    for (size_t i = 0; i < std::min(xs.size(), ys.size()); ++i) {
        const double x = X(xs[i]);
        const double y = Y(yAxis.log ? std::max(ys[i], yAxis.low * 1e-3) : ys[i]);
        if (!std::isfinite(x) || !std::isfinite(y)) {
            drawing = false;
            continue;
        }
        if (drawing) {
            cairo_line_to(cr, x, y);
        } else {
            cairo_move_to(cr, x, y);
        }
        drawing = true;
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void PlotPanel::DrawDots(cairo_t* cr, const std::vector<double>& xs, const std::vector<double>& ys, Colour colour,
                         double radius) const {
    cairo_save(cr);
    Clip(cr);
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    for (size_t i = 0; i < std::min(xs.size(), ys.size()); ++i) {
        const double x = X(xs[i]);
        const double y = Y(ys[i]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, radius, 0.0, 2.0 * kPi);
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

void PlotPanel::DrawRule(cairo_t* cr, bool vertical, double at, Colour colour, const std::string& label,
                         bool dashed) const {
    const PlotAxis& axis = vertical ? xAxis : yAxis;
    if (!(at >= axis.low && at <= axis.high)) return;
    cairo_save(cr);
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, 1.5);
    SetDash(cr, dashed);
    const double x = vertical ? X(at) : x0;
    const double y = vertical ? y0 : Y(at);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, vertical ? x : x0 + width, vertical ? y0 + height : y);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11.0);
    if (!label.empty()) {
        // Beside the line's top end, or above its right end.
        DrawText(cr, vertical ? x + 3.0 : x0 + width - 3.0, vertical ? y0 + 3.0 : y - 3.0, label, vertical ? 0.0 : 1.0,
                 vertical ? 0.0 : 1.0);
    }
    cairo_restore(cr);
}

void PlotPanel::DrawVertical(cairo_t* cr, double x, Colour colour, const std::string& label, bool dashed) const {
    DrawRule(cr, true, x, colour, label, dashed);
}

void PlotPanel::DrawHorizontal(cairo_t* cr, double y, Colour colour, const std::string& label, bool dashed) const {
    DrawRule(cr, false, y, colour, label, dashed);
}

void PlotPanel::DrawLegend(cairo_t* cr, const std::vector<std::pair<std::string, Colour>>& entries,
                           bool atBottom) const {
    cairo_save(cr);
    cairo_set_font_size(cr, 11.0);
    double x = x0 + 8.0;
    const double top = atBottom ? y0 + height - 18.0 : y0;
    for (const auto& entry : entries) {
        cairo_set_source_rgb(cr, entry.second.r, entry.second.g, entry.second.b);
        cairo_rectangle(cr, x, top + 7.0, 14.0, 4.0);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, kInk.r, kInk.g, kInk.b);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, entry.first.c_str(), &extents);
        DrawText(cr, x + 18.0, top + 9.0, entry.first, 0.0, 0.5);
        x += 30.0 + extents.x_advance;
    }
    cairo_restore(cr);
}

PlotCanvas::PlotCanvas(int width, int height)
    : m_surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      m_context(cairo_create(m_surface)),
      m_width(width) {
    cairo_set_source_rgb(m_context, 1.0, 1.0, 1.0);
    cairo_paint(m_context);
    cairo_select_font_face(m_context, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

PlotCanvas::~PlotCanvas() {
    cairo_destroy(m_context);
    cairo_surface_destroy(m_surface);
}

// Titles that name the whole run can be long.
void FitFont(cairo_t* cr, const std::string& text, double largest, double width) {
    cairo_set_font_size(cr, largest);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    const double room = width - 40.0;
    if (extents.x_advance > room) cairo_set_font_size(cr, std::max(8.0, largest * room / extents.x_advance));
}

void PlotCanvas::Title(const std::string& title, const std::string& subtitle) {
    Line(title, 12.0, 17.0);
    Line(subtitle, 36.0, 13.0);
}

void PlotCanvas::Line(const std::string& text, double y, double largest) {
    cairo_set_source_rgb(m_context, kInk.r, kInk.g, kInk.b);
    FitFont(m_context, text, largest, m_width);
    DrawText(m_context, m_width / 2.0, y, text, 0.5, 0.0);
}

bool PlotCanvas::Save(const std::string& path, std::string& error) {
    return WritePng(m_surface, path, "", error);
}

}  // namespace linksim
