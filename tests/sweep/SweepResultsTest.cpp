// Reading the corners' folders, the results table, the ranking and the heat
// map's cells.
#include <gtest/gtest.h>

#include "CornerJob.h"
#include "EyePlot.h"
#include "ProgramOutput.h"
#include "Scratch.h"
#include "SweepHeatmap.h"
#include "SweepHtml.h"
#include "SweepResults.h"
#include "SweepTestFiles.h"

namespace {

// A summary.json as the link simulator writes one, with the figures given.
std::string Summary(double eyeHeight, long long errors, const std::string& margins = "") {
    return R"({"verdict": ")" + std::string(errors ? "fail" : "pass") + R"(", "verdict_reasons": ["counted"],
              "errors": {"bits_compared": 3000, "bit_errors": )" + std::to_string(errors) +
           R"(, "ber": )" + (errors ? std::to_string(errors / 3000.0) : "null") +
           R"(, "ber_upper_bound_95": )" + (errors ? "null" : "0.001") +
           R"(}, "eye": {"height_v": )" + std::to_string(eyeHeight) +
           R"(, "width_ui": 0.5}, "clock": {"recovered": true, "lock_at_bit": null},
              "adaptation": {"ctle_column": 9, "dfe_taps_v": [0.016, -0.008]},
              "timing": {"total_s": 0.25})" +
           (margins.empty() ? "" : R"(, "margins": )" + margins) + "}";
}

linksweep::CornerResult ReadFolder(const std::string& folder) {
    linksweep::CornerResult result;
    linksweep::ReadCorner(folder, result);
    return result;
}

TEST(CornerResult, EachWayACornerEndsIsToldApart) {
    const std::string root = FreshFolder(Scratch("corners"));
    WriteText(root + "/ok/summary.json",
              Summary(0.25, 0, R"({"timing_margin_ui": 0.2, "at_ber": {"voltage_margin_v": 0.05}, "curve": [1]})"));
    const linksweep::CornerResult ok = ReadFolder(root + "/ok");
    EXPECT_EQ(ok.status, linksweep::CornerStatus::Pass);
    EXPECT_EQ(ok.bitsCompared, 3000);
    EXPECT_EQ(ok.bitErrors, 0);
    EXPECT_FALSE(ok.ber);
    EXPECT_DOUBLE_EQ(ok.berUpperBound.value_or(0), 0.001);
    EXPECT_DOUBLE_EQ(ok.eyeHeightV.value_or(0), 0.25);
    EXPECT_EQ(ok.ctleColumn, 9);
    EXPECT_EQ(ok.dfeTapsV, (std::vector<double>{0.016, -0.008}));
    EXPECT_EQ(ok.clockLocked, false);
    EXPECT_FALSE(ok.lockAtBit);
    ASSERT_EQ(ok.margins.size(), 2u);
    EXPECT_EQ(ok.margins[1].first, "at_ber.voltage_margin_v");

    struct Case {
        const char* name;
        const char* summary;
        const char* log;
        const char* exitStatus;
        linksweep::CornerStatus status;
        const char* reason;
    } cases[] = {
        {"refused", nullptr, "orvex-link: cannot read the channel file /x\n", "1\n", linksweep::CornerStatus::Error,
         "cannot read the channel file /x"},
        {"crashed", nullptr, "", "139\n", linksweep::CornerStatus::Error, "killed by signal 11"},
        {"quiet", nullptr, "", "0\n", linksweep::CornerStatus::Error, "without writing summary.json"},
        {"garbled", "{\"errors\": ", "", "0\n", linksweep::CornerStatus::Error, "does not read"},
        {"no verdict", "{}", "", "0\n", linksweep::CornerStatus::Error, "has no verdict"},
        {"failing", R"({"verdict": "fail", "verdict_reasons": ["the clock stayed on the data crossings"]})", "", "0\n",
         linksweep::CornerStatus::Fail, "the clock stayed on the data crossings"},
        {"stopped", nullptr, "", nullptr, linksweep::CornerStatus::NotRun, "did not finish"},
        {"waiting", nullptr, nullptr, nullptr, linksweep::CornerStatus::NotRun, ""},
    };
    for (const Case& c : cases) {
        const std::string folder = FreshFolder(root + "/" + c.name);
        if (c.summary) WriteText(folder + "/summary.json", c.summary);
        if (c.log) WriteText(folder + "/" + linksweep::kLogFile, c.log);
        if (c.exitStatus) WriteText(folder + "/" + linksweep::kExitStatusFile, c.exitStatus);
        const linksweep::CornerResult result = ReadFolder(folder);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << c.name << ": " << result.reason;
        EXPECT_FALSE(result.eyeHeightV) << c.name;
    }
}

// Corners of a plan over two axes, with the figures written into their
// folders: corner N's eye height is heights[N-1], or it failed when < 0.
struct SweptFolder {
    linksweep::SweepPlan plan;
    std::string folder;
};

SweptFolder MakeSweep(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& axes,
                      const std::vector<double>& heights) {
    SweptFolder sweep{linksweep::SweepPlan(), FreshFolder(folder)};
    std::string error;
    for (const auto& axis : axes) EXPECT_TRUE(sweep.plan.Add(axis.first, axis.second, error)) << error;
    for (size_t i = 0; i < heights.size(); ++i) {
        const std::string corner = folder + "/" + linksweep::CornerFolder(i + 1, heights.size());
        if (heights[i] >= 0.0) {
            WriteText(corner + "/summary.json", Summary(heights[i], i % 2, i == 0 ? R"({"timing_margin_ui": 0.1})" : ""));
        } else {
            WriteText(corner + "/" + linksweep::kLogFile, "orvex-link: refused, with a comma\n");
            WriteText(corner + "/" + linksweep::kExitStatusFile, "1\n");
        }
    }
    return sweep;
}

// The results as the sweep gathers them, ranked by the metric named.
linksweep::SweepResults Collect(const SweptFolder& sweep, const std::string& metric) {
    linksweep::SweepResults results;
    std::string error;
    EXPECT_TRUE(linksweep::CollectResults(sweep.plan, sweep.folder, metric, results, error)) << error;
    return results;
}

TEST(SweepResults, TheTableHasARowPerCornerAndTheRankingPutsTheBestFirst) {
    const SweptFolder sweep =
        MakeSweep(Scratch("sweep"), {{"--tx", "DE=0,1"}, {"--channel", "loss:5,10,15"}}, {0.2, 0.3, -1, 0.3, 0.1, 0.05});
    linksweep::SweepResults results = Collect(sweep, "eye_height");
    const std::string csv = ReadFile(sweep.folder + "/sweep.csv");
    const std::string header = csv.substr(0, csv.find('\n'));
    EXPECT_EQ(header,
              "corner,folder,tx.DE,channel,status,reason,bits_compared,bit_errors,ber,ber_upper_bound_95,"
              "eye_height_v,eye_width_ui,ctle_column,dfe_tap1_v,dfe_tap2_v,clock_recovered,clock_locked,"
              "lock_at_bit,margins.timing_margin_ui,run_time_s");
    EXPECT_NE(csv.find("\n3,corners/3,0,loss:15,error,\"refused, with a comma\",,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n1,corners/1,0,loss:5,pass,,3000,0,,0.001,0.2,0.5,9,0.016,-0.008,true,false,,0.1,0.25\n"),
              std::string::npos)
        << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);

    // Equal heights in corner order; the failed corner is left out.
    EXPECT_EQ(linksweep::RankCorners(results), (std::vector<size_t>{1, 3, 0, 4, 5}));
    // A measured BER of 1/3000 ranks above the bound of 0.001 that 0 errors in 3000 bits give.
    EXPECT_EQ(linksweep::RankCorners(Collect(sweep, "ber")), (std::vector<size_t>{1, 3, 5, 0, 4}));
    results = Collect(sweep, "timing_margin_ui");
    EXPECT_EQ(linksweep::RankCorners(results), (std::vector<size_t>{0}));
    std::string error;
    EXPECT_FALSE(linksweep::CollectResults(sweep.plan, sweep.folder, "voltage", results, error));
    EXPECT_NE(error.find("or a margin such as timing_margin_ui"), std::string::npos) << error;

    // sweep.json as the last collection that completed wrote it.
    const auto json = nlohmann::ordered_json::parse(ReadFile(sweep.folder + "/sweep.json"));
    EXPECT_EQ(json["corners"][2]["status"], "error");
    EXPECT_EQ(json["corners"][3]["values"]["channel"], "loss:5");
    EXPECT_EQ(json["metric"], "margins.timing_margin_ui");
    EXPECT_EQ(json["best"], nlohmann::ordered_json::array({1}));
    EXPECT_EQ(ReadFile(sweep.folder + "/sweep.csv"), csv);
}

TEST(SweepHeatmap, OtherAxesAreHeldAtTheBestCorner) {
    // 2 x 2 x 2: the best corner (7: DE=1, EQ=1, loss:5) holds the channel.
    const SweptFolder sweep = MakeSweep(Scratch("sweep"),
                                        {{"--tx", "DE=0,1"}, {"--rx", "EQ=0,1"}, {"--channel", "loss:5,10"}},
                                        {0.1, 0.2, 0.3, -1, 0.05, 0.15, 0.5, 0.25});
    const linksweep::SweepResults results = Collect(sweep, "eye_height");
    const std::vector<size_t> ranked = linksweep::RankCorners(results);
    const linksweep::HeatmapGrid grid = linksweep::MakeHeatmapGrid(sweep.plan, results, ranked);
    EXPECT_EQ(grid.xAxis, "tx.DE");
    EXPECT_EQ(grid.yAxis, "rx.EQ");
    EXPECT_EQ(grid.held, (std::vector<std::string>{"channel=loss:5"}));
    // Row by row (EQ), column by column (DE): corners 1, 5, 3, 7.
    EXPECT_EQ(grid.cellCorners, (std::vector<size_t>{0, 4, 2, 6}));
    EXPECT_EQ(grid.bestCell, 1u + 2u);
    EXPECT_DOUBLE_EQ(grid.cells[1].value_or(0), 0.05);

    const std::string png = sweep.folder + "/heatmap.png";
    std::string error;
    ASSERT_TRUE(linksweep::WriteHeatmapPng(png, grid, results.metric, error)) << error;
    EXPECT_GE(PngWidth(png), 1000u);
    EXPECT_FALSE(linksweep::WriteHeatmapPng(sweep.folder + "/no/such/folder.png", grid, results.metric, error));
    // The font caches freed, as the program does, so that the leak checker sees a clean exit.
    linksim::ReleasePlotCaches();
}

// The cells know which corners did not pass, to mark them; the settings
// every corner shares are named.
TEST(SweepHeatmap, CellsKnowTheCornersThatDidNotPass) {
    // Corner 2 (DE=0, EQ=1) counted errors, corner 4 did not run.
    const SweptFolder sweep = MakeSweep(Scratch("sweep"), {{"--tx", "DE=0,1"}, {"--rx", "EQ=0,1"}, {"--bits", "3000"}},
                                        {0.1, 0.2, 0.3, -1});
    const linksweep::SweepResults results = Collect(sweep, "eye_height");
    const linksweep::HeatmapGrid grid = linksweep::MakeHeatmapGrid(sweep.plan, results, linksweep::RankCorners(results));
    using linksweep::CornerStatus;
    EXPECT_EQ(grid.cellStatus,
              (std::vector<CornerStatus>{CornerStatus::Pass, CornerStatus::Pass, CornerStatus::Fail, CornerStatus::Error}));
    EXPECT_EQ(grid.fixed, (std::vector<std::string>{"bits 3000"}));
    // The eye width's map: on the same cells, from the same corners.
    const linksweep::HeatmapGrid widths = linksweep::MakeHeatmapGrid(sweep.plan, results, linksweep::RankCorners(results), 1);
    EXPECT_EQ(linksweep::MappedFigure(1).column, "eye_width_ui");
    EXPECT_EQ(widths.cells, (std::vector<std::optional<double>>{0.5, 0.5, 0.5, std::nullopt}));
    EXPECT_EQ(widths.bestCell, grid.bestCell);
}

// A sweep too large for one page shows its best and worst corners, then,
// room allowing, corners without a value.
TEST(SweepHtml, ALargeSweepShowsItsBestAndWorstCorners) {
    linksweep::SweepResults results;
    results.metric = {"eye_height_v", "eye height (V)", true, false};
    for (size_t i = 0; i < 10; ++i) {
        // Corners 4 and 8 have no value; the others rise with their number.
        const std::optional<double> value = i == 3 || i == 7 ? std::nullopt : std::optional<double>(double(i));
        results.corners.push_back({i + 1, linksweep::CornerStatus::Pass, value, 0, {}});
    }
    const std::vector<size_t> ranked = linksweep::RankCorners(results);
    const auto shownIndices = [&](size_t most) {
        std::vector<size_t> indices;
        const std::vector<bool> shown = linksweep::TableCorners(results, ranked, most);
        for (size_t i = 0; i < shown.size(); ++i) {
            if (shown[i]) indices.push_back(i);
        }
        return indices;
    };
    EXPECT_EQ(shownIndices(4), (std::vector<size_t>{0, 1, 8, 9}));
    EXPECT_EQ(shownIndices(9), (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 8, 9}));
    EXPECT_EQ(shownIndices(10).size(), 10u);
}

// An axis whose values change nothing any corner found is named; one that
// changes something somewhere is not.
TEST(SweepResults, AnAxisThatChangesNothingIsNamed) {
    // Corners 1, 2 on loss:5 (EQ 4, 8) alike, and 3, 4 on loss:10.
    const SweptFolder sweep =
        MakeSweep(Scratch("sweep"), {{"--channel", "loss:5,10"}, {"--rx", "EQ_Level=4,8"}}, {0.3, 0.3, 0.2, 0.2});
    for (const char* corner : {"1", "2", "3", "4"}) {
        WriteText(sweep.folder + "/corners/" + corner + "/summary.json", Summary(corner[0] < '3' ? 0.3 : 0.2, 0));
    }
    std::vector<std::string> dead = linksweep::DeadAxes(sweep.plan, Collect(sweep, "eye_height"));
    ASSERT_EQ(dead.size(), 1u);
    EXPECT_NE(dead[0].find("rx.EQ_Level changed no corner's results"), std::string::npos) << dead[0];
    WriteText(sweep.folder + "/corners/4/summary.json", Summary(0.25, 1));
    EXPECT_TRUE(linksweep::DeadAxes(sweep.plan, Collect(sweep, "eye_height")).empty());
}

}  // namespace
