#include "CtleSheet.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "ColourRamp.h"
#include "SheetFigures.h"
#include "SheetFiles.h"

namespace kitsheet {

namespace {

const double kHighestHertz = 20e9;
const double kStepHertz = 50e6;
// Below the best level's peak, the plot shows this much of the roll-off.
const double kShownRangeDb = 60.0;

struct LevelCurve {
    std::vector<double> db;
    GainFigures figures;
    linksim::Colour colour;
};

std::vector<LevelCurve> Curves(const CtleBank& bank, const std::vector<double>& hertz) {
    std::vector<LevelCurve> curves;
    const size_t count = bank.levels.size();
    for (size_t level = 0; level < count; ++level) {
        // The ramp's last tenth is too pale on white.
        const linksim::Rgb rgb = linksim::RampColour(count > 1 ? 0.9 * double(level) / double(count - 1) : 0.0);
        curves.push_back({MagnitudeDb(bank.levels[level], hertz), GainFiguresOf(bank.levels[level]),
                          linksim::Colour{rgb.r, rgb.g, rgb.b}});
    }
    return curves;
}

std::string Csv(const std::vector<LevelCurve>& curves, const std::vector<double>& hertz) {
    std::ostringstream csv;
    csv << "eq_level,quantity,x,value\n";
    for (size_t level = 0; level < curves.size(); ++level) {
        csv << level << ",dc_gain_db,0," << CsvNumber(curves[level].figures.dcGainDb) << "\n";
        csv << level << ",boost_db," << CsvNumber(kBoostHertz) << "," << CsvNumber(curves[level].figures.boostDb)
            << "\n";
        for (size_t k = 0; k < hertz.size(); ++k) {
            csv << level << ",magnitude_db," << CsvNumber(hertz[k]) << "," << CsvNumber(curves[level].db[k]) << "\n";
        }
    }
    return csv.str();
}

void DrawCurves(cairo_t* cr, const std::vector<LevelCurve>& curves, const std::vector<double>& hertz) {
    double low = 1e300, high = -1e300;
    for (const LevelCurve& curve : curves) {
        for (double db : curve.db) low = std::min(low, db), high = std::max(high, db);
    }
    high = std::ceil(high / 5.0) * 5.0;
    low = std::max(std::floor(low / 5.0) * 5.0, high - kShownRangeDb);
    std::vector<double> ghz;
    for (double f : hertz) ghz.push_back(f / 1e9);
    const linksim::PlotPanel panel(90.0, 80.0, 760.0, 560.0,
                                   linksim::PlotAxis{0.0, kHighestHertz / 1e9, false, "Frequency (GHz)"},
                                   linksim::PlotAxis{low, high, false, "|H(f)| (dB)"});
    panel.DrawFrame(cr, true, true);
    for (const LevelCurve& curve : curves) panel.DrawLine(cr, ghz, curve.db, curve.colour, 1.6);
    panel.DrawVertical(cr, kBoostHertz / 1e9, linksim::Colour{0.3, 0.3, 0.3}, "5 GHz: Nyquist at 10 Gb/s");
}

// The levels' figures as a small table right of the plot.
void DrawFigures(cairo_t* cr, const std::vector<LevelCurve>& curves) {
    const double x = 890.0;
    double y = 90.0;
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 12.0);
    linksim::DrawText(cr, x + 22.0, y, "EQ_Level", 0.0, 0.5);
    linksim::DrawText(cr, x + 160.0, y, "DC gain", 1.0, 0.5);
    linksim::DrawText(cr, x + 280.0, y, "boost at 5 GHz", 1.0, 0.5);
    y += 24.0;
    char text[32];
    for (size_t level = 0; level < curves.size(); ++level, y += 22.0) {
        const linksim::Colour& c = curves[level].colour;
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_rectangle(cr, x, y - 3.0, 16.0, 6.0);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        linksim::DrawText(cr, x + 22.0, y, std::to_string(level), 0.0, 0.5);
        std::snprintf(text, sizeof text, "%.2f dB", curves[level].figures.dcGainDb);
        linksim::DrawText(cr, x + 160.0, y, text, 1.0, 0.5);
        std::snprintf(text, sizeof text, "%+.2f dB", curves[level].figures.boostDb);
        linksim::DrawText(cr, x + 280.0, y, text, 1.0, 0.5);
    }
}

}  // namespace

std::string CtleSheetName(const CtleBank& bank) { return "ctle_dwdm" + std::to_string(bank.dwdmMode); }

bool WriteCtleSheet(const std::string& folder, const CtleBank& bank, std::string& error) {
    const std::vector<double> hertz = FrequencyGrid(kHighestHertz, kStepHertz);
    const std::vector<LevelCurve> curves = Curves(bank, hertz);
    linksim::PlotCanvas canvas(1200, 720);
    canvas.Title("Receiver CTLE, " + bank.name + " (DWDM_mode " + std::to_string(bank.dwdmMode) +
                     "): |H(f)| for each EQ_Level",
                 "the tabulated impulse responses, 1 ps apart; boost = |H(5 GHz)| over the DC gain");
    DrawCurves(canvas.Context(), curves, hertz);
    DrawFigures(canvas.Context(), curves);
    return WriteSheet(folder, CtleSheetName(bank), canvas, Csv(curves, hertz), error);
}

}  // namespace kitsheet
