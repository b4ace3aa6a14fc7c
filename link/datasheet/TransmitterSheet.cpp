#include "TransmitterSheet.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "ColourRamp.h"
#include "KitTables.h"
#include "LinkResponses.h"
#include "SheetFigures.h"
#include "SheetFiles.h"

namespace kitsheet {

namespace {

const double kHighestHertz = 20e9;
const double kStepHertz = 50e6;
const double kShownRangeDb = 40.0;

struct Setting {
    int de = 0;
    std::vector<double> pulse;  // volts, one sample per sampleInterval
    double sampleInterval = 0.0;
    std::vector<double> db;
    GainFigures figures;
};

Setting Describe(int de, int vod, int deRange, const std::vector<double>& hertz) {
    const TabulatedResponse response = TransmitterResponse(de, vod, deRange);
    const int samplesPerUi = int(std::lround(kUnitInterval / response.sampleInterval));
    Setting setting;
    setting.de = de;
    setting.pulse = linksim::DescribePath("", response.impulse, response.sampleInterval, samplesPerUi).pulse;
    setting.sampleInterval = response.sampleInterval;
    setting.db = MagnitudeDb(response, hertz);
    setting.figures = GainFiguresOf(response);
    return setting;
}

// The axes every page shares.
struct Scales {
    double pulseLow = 0.0, pulseHigh = 0.0;
    double spanPs = 0.0;  // to where the slowest pulse has settled, and a unit interval more
    double dbLow = 1e300, dbHigh = -1e300;
};

void Widen(Scales& scales, const Setting& setting) {
    const auto [low, high] = std::minmax_element(setting.pulse.begin(), setting.pulse.end());
    scales.pulseLow = std::min(scales.pulseLow, *low);
    scales.pulseHigh = std::max(scales.pulseHigh, *high);
    const double largest = std::max(std::fabs(*low), std::fabs(*high));
    size_t last = 0;
    for (size_t n = 0; n < setting.pulse.size(); ++n) {
        if (std::fabs(setting.pulse[n]) > 0.01 * largest) last = n;
    }
    scales.spanPs = std::max(scales.spanPs, (double(last) * setting.sampleInterval + kUnitInterval) * 1e12);
    for (double db : setting.db) scales.dbLow = std::min(scales.dbLow, db), scales.dbHigh = std::max(scales.dbHigh, db);
}

linksim::Colour DeColour(int de) {
    const linksim::Rgb rgb = linksim::RampColour(0.9 * double(de) / double(kTransmitterSettings - 1));
    return linksim::Colour{rgb.r, rgb.g, rgb.b};
}

std::string Csv(const std::vector<Setting>& settings, const std::vector<double>& hertz) {
    std::ostringstream csv;
    csv << "de,quantity,x,value\n";
    for (const Setting& s : settings) {
        csv << s.de << ",dc_gain_db,0," << CsvNumber(s.figures.dcGainDb) << "\n";
        csv << s.de << ",boost_db," << CsvNumber(kBoostHertz) << "," << CsvNumber(s.figures.boostDb) << "\n";
        for (size_t n = 0; n < s.pulse.size(); ++n) {
            csv << s.de << ",pulse_v," << CsvNumber(double(n) * s.sampleInterval) << "," << CsvNumber(s.pulse[n])
                << "\n";
        }
        for (size_t k = 0; k < hertz.size(); ++k) {
            csv << s.de << ",magnitude_db," << CsvNumber(hertz[k]) << "," << CsvNumber(s.db[k]) << "\n";
        }
    }
    return csv.str();
}

void DrawPage(linksim::PlotCanvas& canvas, const std::vector<Setting>& settings, const std::vector<double>& hertz,
              const Scales& scales) {
    cairo_t* cr = canvas.Context();
    const double pad = 0.05 * (scales.pulseHigh - scales.pulseLow);
    const linksim::PlotPanel pulsePanel(90.0, 80.0, 470.0, 430.0,
                                        linksim::PlotAxis{0.0, scales.spanPs, false, "Time (ps)"},
                                        linksim::PlotAxis{scales.pulseLow - pad, scales.pulseHigh + pad, false,
                                                          "Pulse (V)"});
    const double dbHigh = std::ceil(scales.dbHigh / 5.0) * 5.0;
    const linksim::PlotPanel magnitudePanel(
        690.0, 80.0, 470.0, 430.0, linksim::PlotAxis{0.0, kHighestHertz / 1e9, false, "Frequency (GHz)"},
        linksim::PlotAxis{std::max(std::floor(scales.dbLow / 5.0) * 5.0, dbHigh - kShownRangeDb), dbHigh, false,
                          "|H(f)| (dB)"});
    pulsePanel.DrawFrame(cr, true, true);
    magnitudePanel.DrawFrame(cr, true, true);
    std::vector<double> ghz;
    for (double f : hertz) ghz.push_back(f / 1e9);
    std::vector<std::pair<std::string, linksim::Colour>> legend;
    char text[96];
    for (const Setting& s : settings) {
        std::vector<double> ps(s.pulse.size());
        for (size_t n = 0; n < ps.size(); ++n) ps[n] = double(n) * s.sampleInterval * 1e12;
        pulsePanel.DrawLine(cr, ps, s.pulse, DeColour(s.de), 1.6);
        magnitudePanel.DrawLine(cr, ghz, s.db, DeColour(s.de), 1.6);
        std::snprintf(text, sizeof text, "DE %d: DC %.2f dB, boost %+.2f dB", s.de, s.figures.dcGainDb,
                      s.figures.boostDb);
        legend.push_back({text, DeColour(s.de)});
    }
    magnitudePanel.DrawVertical(cr, kBoostHertz / 1e9, linksim::Colour{0.3, 0.3, 0.3}, "5 GHz: Nyquist at 10 Gb/s");
    // Two rows of four under the panels.
    const size_t half = legend.size() / 2;
    const linksim::PlotPanel firstRow(90.0, 570.0, 1070.0, 20.0, linksim::PlotAxis{}, linksim::PlotAxis{});
    const linksim::PlotPanel secondRow(90.0, 594.0, 1070.0, 20.0, linksim::PlotAxis{}, linksim::PlotAxis{});
    firstRow.DrawLegend(cr, {legend.begin(), legend.begin() + long(half)});
    secondRow.DrawLegend(cr, {legend.begin() + long(half), legend.end()});
}

}  // namespace

std::string TransmitterSheetName(int vod, int deRange) {
    return "tx_vod" + std::to_string(vod) + "_range" + std::to_string(deRange);
}

bool WriteTransmitterSheets(const std::string& folder, std::string& error) {
    const std::vector<double> hertz = FrequencyGrid(kHighestHertz, kStepHertz);
    std::vector<std::vector<Setting>> pages;
    Scales scales;
    for (int deRange = 0; deRange < kDeRanges; ++deRange) {
        for (int vod = 0; vod < kTransmitterSettings; ++vod) {
            pages.emplace_back();
            for (int de = 0; de < kTransmitterSettings; ++de) {
                pages.back().push_back(Describe(de, vod, deRange, hertz));
                Widen(scales, pages.back().back());
            }
        }
    }
    size_t page = 0;
    for (int deRange = 0; deRange < kDeRanges; ++deRange) {
        for (int vod = 0; vod < kTransmitterSettings; ++vod, ++page) {
            linksim::PlotCanvas canvas(1200, 640);
            canvas.Title("Transmitter, VOD " + std::to_string(vod) + ", DE_range " + std::to_string(deRange) +
                             (deRange == 0 ? " (coarse)" : " (fine)") + ": pulse and |H(f)| for each DE",
                         "one bit of the ±0.5 V source at 10 Gb/s through the tabulated response (2 ps apart); "
                         "boost = |H(5 GHz)| over the DC gain; gain 1");
            DrawPage(canvas, pages[page], hertz, scales);
            if (!WriteSheet(folder, TransmitterSheetName(vod, deRange), canvas, Csv(pages[page], hertz), error)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace kitsheet
