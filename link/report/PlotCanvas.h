// What the link's pictures share: a white canvas written as PNG, panels
// with linear or log axes, text, lines, markers and legends, all drawn with
// cairo.
#ifndef LINK_REPORT_PLOT_CANVAS_H
#define LINK_REPORT_PLOT_CANVAS_H

#include <cairo.h>

#include <string>
#include <vector>

namespace linksim {

struct Colour {
    double r, g, b;
};

// Tick spacing of 1, 2 or 5 times a power of ten giving about `wanted` ticks.
double NiceStep(double span, int wanted);

// Text placed by its box: align 0 puts the box's left (top) edge at x (y),
// 0.5 its middle, 1 its right (bottom) edge.
void DrawText(cairo_t* cr, double x, double y, const std::string& text, double alignX, double alignY);

// Sets the font to `largest` points, or smaller where the text would not
// fit a picture `width` wide with a margin either side.
void FitFont(cairo_t* cr, const std::string& text, double largest, double width);

struct PlotAxis {
    double low = 0.0;
    double high = 1.0;
    bool log = false;  // a decade scale; low and high > 0
    std::string label;
};

class PlotPanel {
public:
    PlotPanel(double x0, double y0, double width, double height, PlotAxis x, PlotAxis y);

    double X(double value) const;
    double Y(double value) const;
    bool Inside(double x, double y) const;

    // Frame, ticks and labels; the x labels only where asked (panels that
    // share the x axis below each other label it once).
    void DrawFrame(cairo_t* cr, bool xTickLabels, bool xAxisLabel) const;
    // A line through the points, clipped to the panel; non-finite points
    // break it.
    void DrawLine(cairo_t* cr, const std::vector<double>& xs, const std::vector<double>& ys, Colour colour,
                  double width, bool dashed = false) const;
    void DrawDots(cairo_t* cr, const std::vector<double>& xs, const std::vector<double>& ys, Colour colour,
                  double radius) const;
    // A vertical (or horizontal) line across the panel, with an optional label.
    void DrawVertical(cairo_t* cr, double x, Colour colour, const std::string& label, bool dashed = true) const;
    void DrawHorizontal(cairo_t* cr, double y, Colour colour, const std::string& label, bool dashed = true) const;
    // Coloured entries in a row along the panel's top (or bottom) edge.
    void DrawLegend(cairo_t* cr, const std::vector<std::pair<std::string, Colour>>& entries,
                    bool atBottom = false) const;

    double x0, y0, width, height;
    PlotAxis xAxis, yAxis;

private:
    void DrawTicks(cairo_t* cr, const PlotAxis& axis, bool horizontal, bool labels) const;
    void DrawRule(cairo_t* cr, bool vertical, double at, Colour colour, const std::string& label, bool dashed) const;
    void Clip(cairo_t* cr) const;
};

// A white canvas; false with one line in error when the file cannot be written.
class PlotCanvas {
public:
    PlotCanvas(int width, int height);
    ~PlotCanvas();
    PlotCanvas(const PlotCanvas&) = delete;
    PlotCanvas& operator=(const PlotCanvas&) = delete;

    cairo_t* Context() { return m_context; }
    void Title(const std::string& title, const std::string& subtitle);
    // One more centred line of text with its top at y, at most `largest`
    // points, smaller where it would not fit the width.
    void Line(const std::string& text, double y, double largest);
    bool Save(const std::string& path, std::string& error);

private:
    cairo_surface_t* m_surface;
    cairo_t* m_context;
    int m_width;
};

}  // namespace linksim

#endif
