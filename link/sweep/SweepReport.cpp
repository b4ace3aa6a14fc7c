#include "SweepReport.h"

#include "SweepFolder.h"
#include "SweepHeatmap.h"
#include "SweepResults.h"

namespace linksweep {

bool WriteSweepReport(const SweepPlan& plan, const std::string& folder, const std::string& metricName,
                      size_t bestCount, std::string& text, int& exitStatus, std::string& error) {
    const SweepResults results = CollectResults(plan, folder);
    exitStatus = SweepExitStatus(results);
    Metric metric;
    if (!FindMetric(metricName, results, metric, error)) return false;
    const std::vector<size_t> ranked = RankCorners(results, metric);
    if (!WriteTextFile(folder + "/sweep.csv", ResultsCsv(results), error) ||
        !WriteTextFile(folder + "/sweep.json",
                       ResultsJson(results, metric, ranked).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                           "\n",
                       error) ||
        !WriteHeatmapPng(folder + "/heatmap.png", MakeHeatmapGrid(plan, results, metric, ranked), metric, error)) {
        return false;
    }
    text = CountsText(results) + "\n";
    for (const std::string& note : DeadAxes(results)) text += "note: " + note + "\n";
    text += BestText(results, metric, ranked, bestCount) + "results: " + folder + "/sweep.csv, sweep.json, heatmap.png\n";
    return true;
}

}  // namespace linksweep
