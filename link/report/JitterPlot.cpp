#include "JitterPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "PlotCanvas.h"

namespace linksim {

namespace {

const Colour kClock{0.12, 0.35, 0.75};
const Colour kGrid{0.9, 0.45, 0.05};
const double kPicoseconds = 1e12;

struct Reference {
    const JitterComponents& components;
    const char* name;
    Colour colour;
};

std::string Figures(const char* name, const JitterComponents& c, double targetBer) {
    char text[240];
    char patterned[80] = "DDJ not known (edges not tied to the bits)";
    if (c.patternsKnown) {
        std::snprintf(patterned, sizeof patterned, "DDJ %.2f (ISI %.2f, DCD %.2f)", c.ddj * kPicoseconds,
                      c.isi * kPicoseconds, c.dcd * kPicoseconds);
    }
    std::snprintf(text, sizeof text, "against the %s: TJ %.2f ps at %.0e, %s, PJ %.2f, BUJ %.2f ps, RJ %.2f ps rms",
                  name, c.total * kPicoseconds, targetBer, patterned, c.pj * kPicoseconds, c.buj * kPicoseconds,
                  c.rj * kPicoseconds);
    return text;
}

void DrawHistograms(cairo_t* cr, const std::vector<Reference>& references) {
    double low = 0.0, high = 0.0, most = 1.0;
    for (const Reference& r : references) {
        const JitterComponents& c = r.components;
        low = std::min(low, c.histogramSeconds.front() * kPicoseconds);
        high = std::max(high, c.histogramSeconds.back() * kPicoseconds);
        most = std::max(most, *std::max_element(c.histogramCounts.begin(), c.histogramCounts.end()));
    }
    const double reach = std::max(std::fabs(low), std::fabs(high)) * 1.05 + 1e-3;
    PlotPanel panel(80.0, 110.0, 380.0, 440.0, PlotAxis{-reach, reach, false, "Time-interval error (ps)"},
                    PlotAxis{0.5, most * 2.0, true, "Edges per bin"});
    panel.DrawFrame(cr, true, true);
    std::vector<std::pair<std::string, Colour>> legend;
    for (const Reference& r : references) {
        std::vector<double> xs, ys;
        for (size_t b = 0; b < r.components.histogramSeconds.size(); ++b) {
            xs.push_back(r.components.histogramSeconds[b] * kPicoseconds);
            ys.push_back(r.components.histogramCounts[b] > 0.0 ? r.components.histogramCounts[b] : std::nan(""));
        }
        panel.DrawLine(cr, xs, ys, r.colour, 1.8);
        legend.emplace_back(std::string("against the ") + r.name, r.colour);
    }
    panel.DrawLegend(cr, legend);
}

void DrawSpectra(cairo_t* cr, const std::vector<Reference>& references) {
    double lowHz = 1e300, highHz = 0.0, lowest = 1e300, highest = 0.0;
    for (const Reference& r : references) {
        const JitterComponents& c = r.components;
        for (size_t k = 0; k < c.spectrumHertz.size(); ++k) {
            if (!(c.spectrumHertz[k] > 0.0) || !(c.spectrumSeconds[k] > 0.0)) continue;
            lowHz = std::min(lowHz, c.spectrumHertz[k]), highHz = std::max(highHz, c.spectrumHertz[k]);
            lowest = std::min(lowest, c.spectrumSeconds[k]), highest = std::max(highest, c.spectrumSeconds[k]);
        }
    }
    if (!(highHz > lowHz) || !(highest > 0.0)) return;
    const double floor = std::max(lowest, highest * 1e-6) * kPicoseconds;
    PlotPanel panel(540.0, 110.0, 380.0, 440.0, PlotAxis{lowHz / 1e6, highHz / 1e6, true, "Frequency (MHz)"},
                    PlotAxis{floor * 0.5, highest * kPicoseconds * 2.0, true, "Amplitude, peak (ps)"});
    panel.DrawFrame(cr, true, true);
    for (const Reference& r : references) {
        const JitterComponents& c = r.components;
        std::vector<double> xs, ys, lineX, lineY;
        for (size_t k = 0; k < c.spectrumHertz.size(); ++k) {
            const double amplitude = c.spectrumSeconds[k] * kPicoseconds;
            xs.push_back(c.spectrumHertz[k] / 1e6);
            ys.push_back(c.spectrumHertz[k] > 0.0 && amplitude >= floor ? amplitude : std::nan(""));
        }
        panel.DrawLine(cr, xs, ys, r.colour, 1.2);
        for (const JitterLine& line : c.lines) {
            lineX.push_back(line.hertz / 1e6), lineY.push_back(0.5 * line.peakToPeak * kPicoseconds);
        }
        panel.DrawDots(cr, lineX, lineY, r.colour, 4.0);
    }
    panel.DrawLegend(cr, {{"dots: periodic jitter's lines (half their peak to peak)", Colour{0.2, 0.2, 0.2}}});
}

}  // namespace

bool WriteJitterPng(const std::string& path, const JitterBreakdown& jitter, const std::string& title,
                    std::string& error) {
    PlotCanvas canvas(960, 620);
    cairo_t* cr = canvas.Context();
    std::vector<Reference> references;
    if (jitter.againstClock.known) references.push_back({jitter.againstClock, "recovered clock", kClock});
    if (jitter.againstGrid.known) references.push_back({jitter.againstGrid, "data's grid", kGrid});
    std::string subtitle = std::to_string(jitter.edges) + " edges; histogram of the time-interval error, and the "
                           "spectrum of what the bit patterns leave of it";
    canvas.Title(title, subtitle);
    cairo_set_font_size(cr, 12.0);
    for (size_t i = 0; i < references.size(); ++i) {
        cairo_set_source_rgb(cr, references[i].colour.r, references[i].colour.g, references[i].colour.b);
        DrawText(cr, 480.0, 66.0 + 16.0 * double(i), Figures(references[i].name, references[i].components, jitter.targetBer),
                 0.5, 0.5);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    if (!references.empty()) {
        DrawHistograms(cr, references);
        DrawSpectra(cr, references);
    }
    return canvas.Save(path, error);
}

}  // namespace linksim
