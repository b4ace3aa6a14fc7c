#include "SweepReport.h"

#include <algorithm>

#include "SweepFolder.h"
#include "SweepHeatmap.h"
#include "SweepHtml.h"
#include "SweepResults.h"

namespace linksweep {

bool WriteSweepReport(const SweepPlan& plan, const std::string& folder, const std::string& metricName,
                      size_t bestCount, size_t worstCount, SweepReport& report, std::string& error) {
    SweepResults results;
    if (!CollectResults(plan, folder, metricName, results, error)) return false;
    report.exitStatus = SweepExitStatus(results);
    const std::vector<size_t> ranked = RankCorners(results);
    SweepPageText page;
    if (!WriteHeatmapPng(folder + "/heatmap.png", MakeHeatmapGrid(plan, results, ranked), results.metric, error)) {
        return false;
    }
    page.pictures.push_back({"heatmap.png", results.metric.label + ", the metric the corners are ranked by"});
    // The figures every sweep maps, beside the metric: on the same slice.
    for (size_t figure = 0; figure < kMappedFigures; ++figure) {
        const Metric mapped = MappedFigure(figure);
        if (mapped.column == results.metric.column) continue;
        const std::string file = "heatmap_" + mapped.column + ".png";
        if (!WriteHeatmapPng(folder + "/" + file, MakeHeatmapGrid(plan, results, ranked, figure), mapped, error)) {
            return false;
        }
        page.pictures.push_back({file, mapped.label});
    }
    page.counts = CountsText(results);
    page.notes = DeadAxes(plan, results);
    page.best = BestText(plan, results, ranked, std::max<size_t>(bestCount, 5));
    if (!WriteSweepHtml(plan, folder, results, ranked, page, error)) return false;
    report.text = page.counts + "\n";
    for (const std::string& note : page.notes) report.text += "note: " + note + "\n";
    report.text += BestText(plan, results, ranked, bestCount) + "results: " + folder +
                   "/sweep.html, sweep.csv, sweep.json, heatmap*.png\n";
    report.worst.clear();
    for (auto index = ranked.rbegin(); index != ranked.rend() && report.worst.size() < worstCount; ++index) {
        report.worst.push_back(results.corners[*index].number);
    }
    return true;
}

}  // namespace linksweep
