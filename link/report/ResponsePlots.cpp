#include "ResponsePlots.h"

#include <algorithm>
#include <cmath>

#include "PlotCanvas.h"

namespace linksim {

namespace {

const Colour kPathColours[] = {{0.10, 0.35, 0.75}, {0.85, 0.35, 0.10}, {0.20, 0.60, 0.25},
                               {0.55, 0.25, 0.65}, {0.50, 0.50, 0.50}, {0.80, 0.65, 0.10}};
// The magnitude shown down to this far below its largest value.
const double kMagnitudeRangeDb = 60.0;

Colour PathColour(size_t index) { return kPathColours[index % std::size(kPathColours)]; }

// The stretch of time that holds the responses: from a unit interval before
// the earliest peak to where the pulses have settled.
void TimeSpan(const std::vector<PathResponse>& responses, double unitInterval, double& from, double& to) {
    from = 1e300, to = 0.0;
    for (const PathResponse& path : responses) {
        if (path.pulse.empty()) continue;
        const size_t peak = size_t(std::max_element(path.pulse.begin(), path.pulse.end()) - path.pulse.begin());
        const double largest = std::fabs(path.pulse[peak]);
        size_t last = peak;
        for (size_t n = peak; n < path.pulse.size(); ++n) {
            if (std::fabs(path.pulse[n]) > 0.01 * largest) last = n;
        }
        from = std::min(from, double(peak) * path.sampleInterval / unitInterval - 2.0);
        to = std::max(to, double(last) * path.sampleInterval / unitInterval + 2.0);
    }
    from = std::max(from, 0.0);
    if (!(to > from)) to = from + 10.0;
}

void Range(const std::vector<double>& values, double& low, double& high) {
    for (double value : values) low = std::min(low, value), high = std::max(high, value);
}

void TimePanel(cairo_t* cr, const std::vector<PathResponse>& responses, double unitInterval, double from, double to,
               double x0, double y0, const char* label, std::vector<double> PathResponse::*quantity, bool xLabels) {
    double low = 0.0, high = 0.0;
    for (const PathResponse& path : responses) Range(path.*quantity, low, high);
    const double pad = 0.05 * (high - low > 0.0 ? high - low : 1.0);
    PlotPanel panel(x0, y0, 400.0, 230.0, PlotAxis{from, to, false, "Time (UI)"}, PlotAxis{low - pad, high + pad, false, label});
    panel.DrawFrame(cr, xLabels, xLabels);
    for (size_t i = 0; i < responses.size(); ++i) {
        const PathResponse& path = responses[i];
        std::vector<double> xs((path.*quantity).size());
        for (size_t n = 0; n < xs.size(); ++n) xs[n] = double(n) * path.sampleInterval / unitInterval;
        panel.DrawLine(cr, xs, path.*quantity, PathColour(i), 1.5);
    }
}

void MagnitudePanel(cairo_t* cr, const std::vector<PathResponse>& responses, double unitInterval) {
    const double nyquistGhz = 0.5 / unitInterval / 1e9;
    double top = -1e300;
    for (const PathResponse& path : responses) {
        for (double db : path.magnitudeDb) top = std::max(top, db);
    }
    top = std::ceil(top / 10.0) * 10.0;
    PlotPanel panel(560.0, 380.0, 400.0, 230.0, PlotAxis{0.0, 4.0 * nyquistGhz, false, "Frequency (GHz)"},
                    PlotAxis{top - kMagnitudeRangeDb, top, false, "|H(f)| (dB)"});
    panel.DrawFrame(cr, true, true);
    for (size_t i = 0; i < responses.size(); ++i) {
        std::vector<double> ghz(responses[i].hertz.size());
        for (size_t k = 0; k < ghz.size(); ++k) ghz[k] = responses[i].hertz[k] / 1e9;
        panel.DrawLine(cr, ghz, responses[i].magnitudeDb, PathColour(i), 1.5);
    }
    panel.DrawVertical(cr, nyquistGhz, Colour{0.3, 0.3, 0.3}, "Nyquist");
}

}  // namespace

bool WriteResponsesPng(const std::string& path, const std::vector<PathResponse>& responses, double unitInterval,
                       const std::string& title, std::string& error) {
    PlotCanvas canvas(1040, 720);
    cairo_t* cr = canvas.Context();
    canvas.Title(title, "pulse and step for one bit of the ±0.5 V source; the impulse response; |H(f)|");
    double from = 0.0, to = 0.0;
    TimeSpan(responses, unitInterval, from, to);
    TimePanel(cr, responses, unitInterval, from, to, 90.0, 90.0, "Pulse (V)", &PathResponse::pulse, true);
    TimePanel(cr, responses, unitInterval, from, to, 560.0, 90.0, "Step (V)", &PathResponse::step, true);
    TimePanel(cr, responses, unitInterval, from, to, 90.0, 380.0, "Impulse (1/s)", &PathResponse::impulse, true);
    MagnitudePanel(cr, responses, unitInterval);
    std::vector<std::pair<std::string, Colour>> legend;
    for (size_t i = 0; i < responses.size(); ++i) legend.push_back({responses[i].name, PathColour(i)});
    PlotPanel whole(90.0, 660.0, 870.0, 30.0, PlotAxis{}, PlotAxis{});
    whole.DrawLegend(cr, legend, true);
    return canvas.Save(path, error);
}

}  // namespace linksim
