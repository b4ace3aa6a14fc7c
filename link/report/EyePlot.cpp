#include "EyePlot.h"

#include "ColourRamp.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PlotCanvas.h"
#include "PngFile.h"

namespace linksim {

namespace {

const double kPi = 3.14159265358979323846;
const int kWidth = 960;
const int kHeight = 640;
const double kLeft = 90.0;
const double kRight = 130.0;  // room for the colour bar
const double kTop = 70.0;
const double kBottom = 70.0;

// A cell's colour: its count on a log scale, so that rare traces show.
Rgb CountColour(double count, double highest) {
    return RampColour(0.15 + 0.85 * std::log1p(count) / std::log1p(std::max(highest, 1.0)));
}

// Cells as pixels.
cairo_surface_t* DensityImage(const EyeDensity& density) {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(density.columns), int(density.rows));
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (size_t row = 0; row < density.rows; ++row) {
        // Image rows run downwards, voltage upwards.
        uint32_t* pixels = reinterpret_cast<uint32_t*>(data + size_t(stride) * (density.rows - 1 - row));
        for (size_t column = 0; column < density.columns; ++column) {
            const unsigned count = density.At(row, column);
            Rgb colour{1.0, 1.0, 1.0};
            if (count > 0) colour = CountColour(double(count), double(density.highest));
            pixels[column] = (uint32_t(colour.r * 255.0) << 16) | (uint32_t(colour.g * 255.0) << 8) |
                             uint32_t(colour.b * 255.0);
        }
    }
    cairo_surface_mark_dirty(image);
    return image;
}

struct PlotArea {
    double x0, y0, width, height;
    double vLow, vHigh;
    double X(double ui) const { return x0 + (ui + 1.0) / 2.0 * width; }
    double Y(double volts) const { return y0 + height - (volts - vLow) / (vHigh - vLow) * height; }
};

void DrawAxes(cairo_t* cr, const PlotArea& area) {
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, area.x0, area.y0, area.width, area.height);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 13.0);
    for (double ui = -1.0; ui <= 1.0001; ui += 0.25) {
        const double x = area.X(ui);
        cairo_move_to(cr, x, area.y0 + area.height);
        cairo_line_to(cr, x, area.y0 + area.height + 6.0);
        cairo_stroke(cr);
        char label[16];
        std::snprintf(label, sizeof label, "%g", ui);
        DrawText(cr, x, area.y0 + area.height + 10.0, label, 0.5, 0.0);
    }
    const double step = NiceStep(area.vHigh - area.vLow, 8);
    for (double v = std::ceil(area.vLow / step) * step; v <= area.vHigh; v += step) {
        const double y = area.Y(v);
        cairo_move_to(cr, area.x0 - 6.0, y);
        cairo_line_to(cr, area.x0, y);
        cairo_stroke(cr);
        char label[16];
        std::snprintf(label, sizeof label, "%g", std::fabs(v) < step * 1e-6 ? 0.0 : v);
        DrawText(cr, area.x0 - 10.0, y, label, 1.0, 0.5);
    }
    // The decision threshold.
    if (area.vLow < 0.0 && area.vHigh > 0.0) {
        const double dashes[] = {6.0, 4.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_set_source_rgba(cr, 0.8, 0.1, 0.1, 0.8);
        cairo_move_to(cr, area.x0, area.Y(0.0));
        cairo_line_to(cr, area.x0 + area.width, area.Y(0.0));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 15.0);
    DrawText(cr, area.x0 + area.width / 2.0, kHeight - 22.0, "Time from the sampling instant (UI)", 0.5, 0.5);
    cairo_save(cr);
    cairo_translate(cr, 22.0, area.y0 + area.height / 2.0);
    cairo_rotate(cr, -kPi / 2.0);
    DrawText(cr, 0.0, 0.0, "Voltage (V)", 0.5, 0.5);
    cairo_restore(cr);
}

// The colour bar: counts from 1 to the highest, on the density's log scale,
// labelled at the powers of ten.
void DrawColourBar(cairo_t* cr, const PlotArea& area, unsigned highest, const EyePlotText& text) {
    const double x = area.x0 + area.width + 24.0;
    const double barWidth = 18.0;
    const double top = area.y0;
    const double height = area.height;
    const double most = std::max(double(highest), 2.0);
    // Row y shows the count whose log scale position it is.
    for (int step = 0; step < int(height); ++step) {
        const double fraction = 1.0 - (step + 0.5) / height;
        const double count = std::expm1(fraction * std::log1p(most - 1.0)) + 1.0;
        const Rgb colour = CountColour(count, most);
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, x, top + step, barWidth, 1.0);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, x, top, barWidth, height);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11.0);
    for (double count = 1.0; count <= most; count *= 10.0) {
        const double fraction = std::log1p(count - 1.0) / std::log1p(most - 1.0);
        const double y = top + (1.0 - fraction) * height;
        char label[24];
        std::snprintf(label, sizeof label, "%g", count * text.countScale);
        DrawText(cr, x + barWidth + 4.0, y, label, 0.0, 0.5);
    }
    cairo_save(cr);
    cairo_translate(cr, x + barWidth + 62.0, top + height / 2.0);
    cairo_rotate(cr, -kPi / 2.0);
    cairo_set_font_size(cr, 13.0);
    DrawText(cr, 0.0, 0.0, text.countLabel, 0.5, 0.5);
    cairo_restore(cr);
}

// Round an opening: along the upper edge, back along the lower one.
void StrokeOutline(cairo_t* cr, const PlotArea& area, const std::vector<double>& phaseUi,
                   const std::vector<double>& upperV, const std::vector<double>& lowerV) {
    const size_t points = std::min(phaseUi.size(), std::min(upperV.size(), lowerV.size()));
    if (points < 2) return;
    cairo_move_to(cr, area.X(phaseUi[0]), area.Y(upperV[0]));
    for (size_t i = 1; i < points; ++i) cairo_line_to(cr, area.X(phaseUi[i]), area.Y(upperV[i]));
    for (size_t i = points; i-- > 0;) cairo_line_to(cr, area.X(phaseUi[i]), area.Y(lowerV[i]));
    cairo_close_path(cr);
    cairo_stroke(cr);
}

void DrawOverlay(cairo_t* cr, const PlotArea& area, const EyeOverlay& overlay) {
    cairo_save(cr);
    cairo_rectangle(cr, area.x0, area.y0, area.width, area.height);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1.0);
    for (size_t k = 0; k < overlay.contours.size(); ++k) {
        const double grey = 0.75 - 0.5 * double(k) / double(std::max<size_t>(overlay.contours.size(), 2) - 1);
        cairo_set_source_rgb(cr, grey, grey, grey);
        const EyeOutline& contour = overlay.contours[k];
        StrokeOutline(cr, area, contour.phaseUi, contour.upperV, contour.lowerV);
    }
    cairo_set_line_width(cr, 2.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    StrokeOutline(cr, area, overlay.phaseUi, overlay.upperV, overlay.lowerV);
    if (overlay.samplingPoint) {
        const double x = area.X(overlay.samplingUi);
        const double y = area.Y(overlay.samplingV);
        cairo_set_source_rgb(cr, 0.85, 0.1, 0.1);
        cairo_move_to(cr, x - 8.0, y);
        cairo_line_to(cr, x + 8.0, y);
        cairo_move_to(cr, x, y - 8.0);
        cairo_line_to(cr, x, y + 8.0);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    if (!overlay.outlineLabel.empty()) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_set_font_size(cr, 12.0);
        DrawText(cr, area.x0 + 6.0, area.y0 + 6.0, overlay.outlineLabel, 0.0, 0.0);
    }
}

// The subtitle on one line, or, where one line would need a font under 11
// points, on two split at the "; " nearest its middle: it names the run.
void DrawSubtitle(cairo_t* cr, const std::string& subtitle) {
    cairo_set_font_size(cr, 13.0);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, subtitle.c_str(), &extents);
    size_t split = std::string::npos;
    for (size_t at = subtitle.find("; "); at != std::string::npos; at = subtitle.find("; ", at + 1)) {
        const auto offCentre = [&subtitle](size_t i) { return std::fabs(double(i) - double(subtitle.size()) / 2.0); };
        if (split == std::string::npos || offCentre(at) < offCentre(split)) split = at;
    }
    if (extents.x_advance * 11.0 / 13.0 <= kWidth - 40.0 || split == std::string::npos) {
        FitFont(cr, subtitle, 13.0, kWidth);
        DrawText(cr, kWidth / 2.0, 48.0, subtitle, 0.5, 0.5);
        return;
    }
    const std::string first = subtitle.substr(0, split + 1), second = subtitle.substr(split + 2);
    FitFont(cr, first.size() > second.size() ? first : second, 12.0, kWidth);
    DrawText(cr, kWidth / 2.0, 43.0, first, 0.5, 0.5);
    DrawText(cr, kWidth / 2.0, 58.0, second, 0.5, 0.5);
}

}  // namespace


bool WriteEyePng(const std::string& path, const EyeDensity& density, const EyePlotText& text, std::string& error,
                 const EyeOverlay& overlay) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    const PlotArea area{kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom, density.voltageLow,
                        density.voltageHigh};
    if (density.columns > 0 && density.rows > 0) {
        cairo_surface_t* image = DensityImage(density);
        cairo_save(cr);
        cairo_rectangle(cr, area.x0, area.y0, area.width, area.height);
        cairo_clip(cr);
        cairo_translate(cr, area.x0, area.y0);
        cairo_scale(cr, area.width / double(density.columns), area.height / double(density.rows));
        cairo_set_source_surface(cr, image, 0.0, 0.0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
    }
    DrawAxes(cr, area);
    DrawColourBar(cr, area, density.highest, text);
    DrawOverlay(cr, area, overlay);
    FitFont(cr, text.title, 17.0, kWidth);
    DrawText(cr, kWidth / 2.0, 24.0, text.title, 0.5, 0.5);
    DrawSubtitle(cr, text.subtitle);

    cairo_destroy(cr);
    const bool saved = WritePng(surface, path, "the eye picture", error);
    cairo_surface_destroy(surface);
    return saved;
}

namespace {
// Probabilities per cell are drawn as counts of this much each.
const double kStatisticalCountScale = 1e-9;
}  // namespace

bool WriteStatisticalEyePng(const std::string& path, const StatisticalEye& eye, EyePlotText text, std::string& error) {
    EyeDensity density;
    density.columns = eye.columns;
    density.rows = eye.rows;
    density.voltageLow = eye.voltageLow;
    density.voltageHigh = eye.voltageHigh;
    density.counts.resize(eye.density.size());
    for (size_t i = 0; i < eye.density.size(); ++i) {
        density.counts[i] = unsigned(std::lround(eye.density[i] / kStatisticalCountScale));
        density.highest = std::max(density.highest, density.counts[i]);
    }
    text.countLabel = "probability per cell (log scale)";
    text.countScale = kStatisticalCountScale;
    EyeOverlay overlay;
    std::string rates;
    for (const Contour& contour : eye.contours) {
        EyeOutline outline;
        for (const OutlinePoint& point : contour.points) {
            outline.phaseUi.push_back(point.phaseUi);
            outline.upperV.push_back(point.upperV);
            outline.lowerV.push_back(point.lowerV);
        }
        if (contour.ber == eye.targetBer) {
            overlay.phaseUi = outline.phaseUi;
            overlay.upperV = outline.upperV;
            overlay.lowerV = outline.lowerV;
            continue;
        }
        overlay.contours.push_back(outline);
        char rate[16];
        std::snprintf(rate, sizeof rate, "%s%.0e", rates.empty() ? "" : ", ", contour.ber);
        rates += rate;
    }
    overlay.samplingPoint = true;
    char label[200];
    std::snprintf(label, sizeof label, "black: the opening at BER %.0e%s; grey: at %s; red cross: the sampling point",
                  eye.targetBer, eye.open ? "" : " (shut)", rates.c_str());
    overlay.outlineLabel = label;
    return WriteEyePng(path, density, text, error, overlay);
}

void ReleasePlotCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace linksim
