#include "SweepReport.h"

#include "SweepFolder.h"
#include "SweepHeatmap.h"
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
    report.text = CountsText(results) + "\n";
    for (const std::string& note : DeadAxes(plan, results)) report.text += "note: " + note + "\n";
    report.text += BestText(plan, results, ranked, bestCount) + "results: " + folder +
                   "/sweep.csv, sweep.json, heatmap.png\n";
    report.worst.clear();
    for (auto index = ranked.rbegin(); index != ranked.rend() && report.worst.size() < worstCount; ++index) {
        report.worst.push_back(results.corners[*index].number);
    }
    return true;
}

}  // namespace linksweep
