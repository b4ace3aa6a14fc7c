#include "MarginPlots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "PlotCanvas.h"

namespace linksim {

namespace {

const Colour kFitted{0.12, 0.35, 0.75};
const Colour kCounted{0.9, 0.45, 0.05};
const Colour kNoError{0.55, 0.55, 0.55};
const Colour kTarget{0.8, 0.1, 0.1};
const Colour kInstant{0.1, 0.1, 0.1};
const Colour kWall{0.45, 0.45, 0.45};
const Colour kLock{0.1, 0.6, 0.2};
const Colour kTaps[5] = {{0.12, 0.35, 0.75}, {0.9, 0.45, 0.05}, {0.1, 0.6, 0.2}, {0.75, 0.1, 0.5}, {0.4, 0.3, 0.2}};

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

}  // namespace

bool WriteBathtubPng(const std::string& path, const MarginReport& margins, const std::string& title,
                     std::string& error) {
    PlotCanvas canvas(960, 640);
    cairo_t* cr = canvas.Context();
    const EyeWalls& walls = margins.walls;
    canvas.Title(title, Format("timing margin %.3f UI, eye width %.3f UI at BER %.0e; sampling %+.3f UI from the "
                               "opening's centre",
                               margins.timingMarginUi, margins.eyeWidthAtBerUi, margins.targetBer,
                               margins.samplingOffsetUi));
    PlotAxis x{-0.5, 0.5, false, "Sampling phase from the receiver's sampling instants (UI)"};
    if (!margins.bathtub.empty()) x.low = margins.bathtub.front().phaseUi, x.high = margins.bathtub.back().phaseUi;
    const double floor = std::pow(10.0, std::floor(std::log10(margins.targetBer)) - 3.0);
    PlotPanel panel(100.0, 70.0, 820.0, 480.0, x, PlotAxis{floor, 1.0, true, "Bit error rate"});
    panel.DrawFrame(cr, true, true);

    // The bathtub as reported: the fit where it agrees with the counts,
    // never below their lower bound.
    std::vector<double> xs, reported;
    for (const BathtubPoint& point : margins.bathtub) {
        if (point.ber > 0.0) xs.push_back(point.phaseUi), reported.push_back(std::min(point.ber, 1.0));
    }
    panel.DrawLine(cr, xs, reported, kFitted, 2.0);
    std::vector<double> countedX, countedBer;
    for (const BathtubPoint& point : margins.bathtub) {
        if (point.Counted()) countedX.push_back(point.phaseUi), countedBer.push_back(point.CountedBer());
    }
    panel.DrawDots(cr, countedX, countedBer, kCounted, 3.5);
    // Where no error was counted the count says only that the rate is below
    // about 3/N (95 % confidence): those phases sit on that floor.
    std::vector<double> quietX, quietFloor;
    size_t mostCompared = 0;
    for (const BathtubPoint& point : margins.bathtub) {
        mostCompared = std::max(mostCompared, point.compared);
        if (point.errors == 0 && point.compared > 0) {
            quietX.push_back(point.phaseUi), quietFloor.push_back(3.0 / double(point.compared));
        }
    }
    panel.DrawDots(cr, quietX, quietFloor, kNoError, 2.5);
    if (mostCompared > 0) {
        panel.DrawHorizontal(cr, 3.0 / double(mostCompared), kNoError,
                             Format("counting floor 3/N, N = %.0f", double(mostCompared)));
    }
    panel.DrawHorizontal(cr, margins.targetBer, kTarget, Format("target %.0e", margins.targetBer));
    panel.DrawVertical(cr, margins.left, kWall, "left wall");
    panel.DrawVertical(cr, margins.right, kWall, "right wall");
    panel.DrawVertical(cr, 0.0, kInstant, "sampling instant", false);
    panel.DrawLegend(cr, {{"counted", kCounted},
                          {"no error counted (at 3/N)", kNoError},
                          {margins.fitsUsed ? "dual-Dirac fit, bounded by the counts" : "counted (lower 95 % bound)",
                           kFitted}},
                     true);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 12.0);
    DrawText(cr, 480.0, 620.0,
             Format("edges: DJ (dual-Dirac) %.4f UI, RJ %.4f UI rms; %.0f bits counted, the rest extrapolated",
                    walls.DeterministicUi(), walls.RandomRmsUi(), double(margins.bitsCompared)),
             0.5, 0.5);
    return canvas.Save(path, error);
}

double TrajectoryZoomBits(const Trajectory& trajectory) {
    const double whole = double(std::max<size_t>(trajectory.bits, 1));
    double settled = 0.0;
    for (size_t i = 0; i < trajectory.measurements.size() && i < trajectory.measurementBits.size(); ++i) {
        settled = std::max(settled, double(trajectory.measurementBits[i]));
    }
    if (trajectory.clock.locked && trajectory.unitInterval > 0.0) {
        settled = std::max(settled, trajectory.clock.lockTime / trajectory.unitInterval);
    }
    const double zoom = 1.2 * settled;
    return zoom > 0.0 && zoom < 0.7 * whole ? zoom : whole;
}

std::vector<int> LabelRows(const std::vector<std::pair<double, double>>& spans, double gap) {
    std::vector<std::vector<std::pair<double, double>>> taken;  // per row
    std::vector<int> rows;
    for (const auto& span : spans) {
        size_t row = 0;
        const auto clear = [&](const std::pair<double, double>& other) {
            return span.second + gap <= other.first || other.second + gap <= span.first;
        };
        while (row < taken.size() && !std::all_of(taken[row].begin(), taken[row].end(), clear)) ++row;
        if (row == taken.size()) taken.emplace_back();
        taken[row].push_back(span);
        rows.push_back(int(row));
    }
    return rows;
}

namespace {

struct Marker {
    double bit;
    Colour colour;
    std::string label;
};

double TextWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

// The markers as dashed lines across the panel; above it, in rows that
// keep every label clear of the others, their labels and the panel's
// legend (at the right).
void DrawMarkersAndLegend(cairo_t* cr, const PlotPanel& panel, std::vector<Marker> markers,
                          const std::vector<std::pair<std::string, Colour>>& legend = {}) {
    const double rowHeight = 13.0;
    cairo_set_font_size(cr, 11.0);
    std::vector<std::pair<double, double>> spans;
    if (!legend.empty()) {
        double width = 8.0;
        for (const auto& entry : legend) width += 30.0 + TextWidth(cr, entry.first);
        spans.push_back({panel.x0 + panel.width - width, panel.x0 + panel.width});
    }
    std::sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.bit < b.bit; });
    std::vector<const Marker*> shown;
    for (const Marker& marker : markers) {
        if (!(marker.bit >= panel.xAxis.low && marker.bit <= panel.xAxis.high)) continue;
        panel.DrawVertical(cr, marker.bit, marker.colour, "");
        const double x = panel.X(marker.bit) + 3.0;
        spans.push_back({x, x + TextWidth(cr, marker.label)});
        shown.push_back(&marker);
    }
    const std::vector<int> rows = LabelRows(spans, 8.0);
    size_t next = 0;
    if (!legend.empty()) {
        const PlotPanel strip(spans[0].first, panel.y0 - 22.0 - rowHeight * rows[0], spans[0].second - spans[0].first,
                              20.0, PlotAxis{}, PlotAxis{});
        strip.DrawLegend(cr, legend);
        next = 1;
    }
    for (size_t i = 0; i < shown.size(); ++i, ++next) {
        cairo_set_source_rgb(cr, shown[i]->colour.r, shown[i]->colour.g, shown[i]->colour.b);
        DrawText(cr, spans[next].first, panel.y0 - 3.0 - rowHeight * rows[next], shown[i]->label, 0.0, 1.0);
    }
}

}  // namespace

bool WriteTrajectoryPng(const std::string& path, const Trajectory& trajectory, const std::string& title,
                        std::string& error) {
    PlotCanvas canvas(1000, 1300);
    cairo_t* cr = canvas.Context();
    canvas.Title(title, Format("%.0f adaptation measurements; %.0f bits, of them %.0f ignored",
                               double(trajectory.measurements.size()), double(trajectory.bits),
                               double(trajectory.ignoreBits)));
    // Measurements placed at the bit they were logged by.
    std::vector<double> at, ctle, width, height;
    std::vector<std::vector<double>> taps(5);
    for (size_t i = 0; i < trajectory.measurements.size() && i < trajectory.measurementBits.size(); ++i) {
        const AdaptMeasurement& m = trajectory.measurements[i];
        at.push_back(double(trajectory.measurementBits[i]));
        ctle.push_back(m.ctle);
        width.push_back(m.eyeWidth);
        height.push_back(m.eyeHeight);
        for (size_t k = 0; k < 5; ++k) taps[k].push_back(m.taps[k]);
    }
    auto range = [](const std::vector<std::vector<double>>& series, double margin) {
        double low = 0.0, high = 0.0;
        for (const auto& values : series) {
            for (double v : values) low = std::min(low, v), high = std::max(high, v);
        }
        const double pad = std::max((high - low) * margin, 1e-3);
        return std::make_pair(low - pad, high + pad);
    };
    const double whole = double(std::max<size_t>(trajectory.bits, 1));
    const double zoom = TrajectoryZoomBits(trajectory);
    const bool zoomed = zoom < whole;
    const PlotAxis bitsAxis{0.0, zoom, false,
                            zoomed ? "Bits given to the receiver: the adaptation and the lock (the whole run below)"
                                   : "Bits given to the receiver"};
    const double left = 100.0, panelWidth = 860.0, panelHeight = 190.0, step = 245.0;
    double top = 100.0;
    std::vector<PlotPanel> panels;
    double maxCtle = 1.0;
    for (double c : ctle) maxCtle = std::max(maxCtle, c);
    panels.emplace_back(left, top, panelWidth, panelHeight, bitsAxis, PlotAxis{0.5, maxCtle + 0.5, false, "CTLE response"});
    const auto eyeRange = range({width, height}, 0.1);
    panels.emplace_back(left, top += step, panelWidth, panelHeight, bitsAxis,
                        PlotAxis{eyeRange.first, eyeRange.second, false, "Eye (UI, V)"});
    const auto tapRange = range(taps, 0.1);
    panels.emplace_back(left, top += step, panelWidth, panelHeight, bitsAxis,
                        PlotAxis{tapRange.first, tapRange.second, false, "DFE taps (V)"});
    std::vector<double> clockBits, clockPhase;
    for (const ClockPhaseWindow& window : trajectory.clock.windows) {
        clockBits.push_back(window.time / trajectory.unitInterval);
        clockPhase.push_back(window.phaseUi);
    }
    const auto phaseRange = range({clockPhase}, 0.1);
    const PlotAxis phaseAxis{clockPhase.empty() ? 0.0 : phaseRange.first, clockPhase.empty() ? 1.0 : phaseRange.second,
                             false, "Clock phase (UI)"};
    panels.emplace_back(left, top += step, panelWidth, panelHeight, bitsAxis, phaseAxis);

    std::vector<Marker> markers = {{double(trajectory.ignoreBits), kTarget, "end of Ignore_Bits"}};
    if (trajectory.clock.locked) markers.push_back({trajectory.clock.lockTime / trajectory.unitInterval, kLock, "lock"});
    std::vector<std::pair<std::string, Colour>> tapLegend;
    for (size_t k = 0; k < 5; ++k) tapLegend.push_back({"tap " + std::to_string(k + 1), kTaps[k]});
    const std::vector<std::pair<std::string, Colour>> legends[] = {
        {}, {{"eye width (UI)", kTaps[0]}, {"eye height (V)", kTaps[1]}}, tapLegend, {}};
    for (size_t p = 0; p < panels.size(); ++p) {
        const bool last = p + 1 == panels.size();
        panels[p].DrawFrame(cr, last, last);
        DrawMarkersAndLegend(cr, panels[p], markers, legends[p]);
    }
    // Steps: each measurement's settings hold until the next one.
    std::vector<double> stepX, stepCtle;
    for (size_t i = 0; i < at.size(); ++i) {
        if (i > 0) stepX.push_back(at[i]), stepCtle.push_back(ctle[i - 1]);
        stepX.push_back(at[i]), stepCtle.push_back(ctle[i]);
    }
    panels[0].DrawLine(cr, stepX, stepCtle, kFitted, 2.0);
    panels[0].DrawDots(cr, at, ctle, kFitted, 2.5);
    panels[1].DrawLine(cr, at, width, kTaps[0], 1.5);
    panels[1].DrawLine(cr, at, height, kTaps[1], 1.5);
    for (size_t k = 0; k < 5; ++k) panels[2].DrawLine(cr, at, taps[k], kTaps[k], 1.5);
    panels[3].DrawLine(cr, clockBits, clockPhase, kInstant, 1.2);

    if (zoomed) {
        // The whole run, the stretch above shaded.
        const PlotPanel overview(left, top + step + 25.0, panelWidth, 110.0,
                                 PlotAxis{0.0, whole, false, "Bits given to the receiver: the whole run (shaded: the "
                                                             "stretch above)"},
                                 PlotAxis{phaseAxis.low, phaseAxis.high, false, "Phase (UI)"});
        cairo_set_source_rgb(cr, 0.88, 0.90, 0.96);
        cairo_rectangle(cr, overview.X(0.0), overview.y0, overview.X(zoom) - overview.X(0.0), overview.height);
        cairo_fill(cr);
        overview.DrawFrame(cr, true, true);
        DrawMarkersAndLegend(cr, overview, markers);
        overview.DrawLine(cr, clockBits, clockPhase, kInstant, 1.0);
    }
    return canvas.Save(path, error);
}

}  // namespace linksim
