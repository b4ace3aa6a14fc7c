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
    if (!WriteHeatmapPng(folder + "/heatmap.png", MakeHeatmapGrid(plan, results, ranked), results.metric, error)) {
        return false;
    }
    SweepPageText page;
    page.counts = CountsText(results);
    page.notes = DeadAxes(plan, results);
    page.best = BestText(plan, results, ranked, std::max<size_t>(bestCount, 5));
    page.pictures = {"heatmap.png"};
    if (!WriteSweepHtml(plan, folder, results, ranked, page, error)) return false;
    report.text = page.counts + "\n";
    for (const std::string& note : page.notes) report.text += "note: " + note + "\n";
    report.text += BestText(plan, results, ranked, bestCount) + "results: " + folder +
                   "/sweep.html, sweep.csv, sweep.json, heatmap.png\n";
    report.worst.clear();
    for (auto index = ranked.rbegin(); index != ranked.rend() && report.worst.size() < worstCount; ++index) {
        report.worst.push_back(results.corners[*index].number);
    }
    return true;
}

}  // namespace linksweep
