// The run's history: the clock's phase against the data's grid, its lock
// and wander; the adaptation log placed in time and written as CSV; and the
// bathtub and trajectory pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AdaptLogWatcher.h"
#include "AdaptationCsv.h"
#include "ClockTrack.h"
#include "EyePlot.h"
#include "MarginPlots.h"
#include "StressedStimulus.h"

#include "ProgramOutput.h"
#include "Scratch.h"

namespace {

const double kUi = 100e-12;

// Clock times on a data stream running 100 ppm fast: the clock's phase in
// the data's grid is phaseAt(n) at its n-th period.
template <typename Phase>
std::vector<double> ClockOnFastData(size_t periods, Phase phaseAt) {
    const double dataUi = kUi / 1.0001;
    std::vector<double> times;
    for (size_t n = 0; n < periods; ++n) times.push_back((double(n) + phaseAt(n)) * dataUi);
    return times;
}

double DataUiAt(double time) { return time * 1.0001 / kUi; }

TEST(ClockTrack, LockTimeAndWanderAgainstTheDataGrid) {
    // Pulls in from 0.1 to 0.5 UI over 3000 periods, then holds with a little jitter.
    auto locking = [](size_t n) {
        const double jitter = 0.004 * std::sin(double(n) * 1.7);
        return (n < 3000 ? 0.1 + 0.4 * double(n) / 3000.0 : 0.5) + jitter;
    };
    const linksim::ClockTrack settles = linksim::TrackClock(ClockOnFastData(40000, locking), DataUiAt);
    ASSERT_TRUE(settles.locked);
    // Within half the band of 0.5 UI from about period 2800 on.
    EXPECT_GT(settles.lockTime / kUi, 3000.0 * (1.0 - 0.5 * linksim::kLockHoldUi / 0.4) - 64.0);
    EXPECT_LT(settles.lockTime / kUi, 3000.0 + 64.0);
    EXPECT_NEAR(settles.movedUi, 0.4, 0.02);
    EXPECT_LT(settles.wanderUi, 0.05);

    // Sitting across the end of the unit interval is no wander.
    auto onTheSeam = [](size_t n) { return 0.999 + 0.003 * std::sin(double(n) * 0.9); };
    const linksim::ClockTrack seam = linksim::TrackClock(ClockOnFastData(20000, onTheSeam), DataUiAt);
    EXPECT_TRUE(seam.locked);
    EXPECT_LT(seam.movedUi, 0.01);

    // A slow drift, or a slow large move, locks only once what is left of
    // it fits the band: however slowly the clock moves, it is moving.
    auto drifting = [](size_t n) { return 0.2 + 0.3 * double(n) / 100000.0; };
    const linksim::ClockTrack drift = linksim::TrackClock(ClockOnFastData(100000, drifting), DataUiAt);
    ASSERT_TRUE(drift.locked);
    // (where it ends: the mean of its last windows, some 500 periods back)
    EXPECT_NEAR(drift.lockTime / kUi, 100000.0 * (1.0 - 0.5 * linksim::kLockHoldUi / 0.3), 1000.0);
    EXPECT_LE(drift.wanderUi, linksim::kLockHoldUi);
    auto pulled = [](size_t n) {
        return 0.1 + 0.1 * std::sin(double(n) * 0.0628) + (n < 17000 ? 0.0 : n < 25000 ? 0.7 * double(n - 17000) / 8000.0 : 0.7);
    };
    const linksim::ClockTrack pull = linksim::TrackClock(ClockOnFastData(60000, pulled), DataUiAt, 0.2);
    ASSERT_TRUE(pull.locked);
    // Not before the move is within half the band (SJ allowance included) of its end.
    EXPECT_GT(pull.lockTime / kUi, 25000.0 - 0.5 * (linksim::kLockHoldUi + 0.2) / 0.7 * 8000.0 - 64.0);
    EXPECT_TRUE(linksim::TrackClock({}, DataUiAt).windows.empty());
    // Following a swing the stimulus explains is no loss of lock.
    auto swinging = [](size_t n) { return 0.5 + 0.5 * std::sin(double(n) * 6.283185307179586 / 10000.0); };
    EXPECT_FALSE(linksim::TrackClock(ClockOnFastData(40000, swinging), DataUiAt).locked);
    EXPECT_TRUE(linksim::TrackClock(ClockOnFastData(40000, swinging), DataUiAt, 1.0).locked);
    // Still pulling in at the end: never locked.
    auto late = [](size_t n) { return n < 19000 ? 0.2 : 0.2 + 0.3 * double(n - 19000) / 1000.0; };
    EXPECT_FALSE(linksim::TrackClock(ClockOnFastData(20000, late), DataUiAt).locked);

    // Times missing from the clock are counted against the data's grid.
    std::vector<double> gappy = ClockOnFastData(5000, [](size_t) { return 0.5; });
    gappy.erase(gappy.begin() + 3000, gappy.begin() + 3003);
    gappy.erase(gappy.begin() + 1000);
    EXPECT_EQ(linksim::TrackClock(gappy, DataUiAt).lostTimes, 4u);
    EXPECT_EQ(settles.lostTimes, 0u);
}

TEST(AdaptationLog, LinesArePlacedWhenTheyAppearAndWrittenAsCsv) {
    const std::string path = Scratch("adapt.txt");
    std::remove(path.c_str());
    linksim::AdaptLogWatcher watcher(path);
    watcher.Check(1024);  // no log yet
    auto append = [&](const std::string& text) {
        std::ofstream log(path, std::ios::app);
        log << text;
    };
    append("1\t0\t0\t0\t0\t0\t0.5\t0.2\n");
    watcher.Check(2048);
    append("2\t0.008\t0\t0\t0\t0\t0.55\t0.21\n3\t0.008\t0\t0\t0\t0\t0.");  // the last line half written
    watcher.Check(3072);
    append("6\t0.25\n");
    watcher.Check(4096);
    EXPECT_EQ(watcher.LineBits(), (std::vector<size_t>{2048, 3072, 4096}));

    std::vector<linksim::AdaptMeasurement> measurements;
    std::string error;
    ASSERT_TRUE(linksim::ParseAdaptLog(ReadFile(path), measurements, error)) << error;
    std::istringstream csv(linksim::AdaptationCsv(measurements, {2048, 3072}));
    std::string header, line;
    std::getline(csv, header);
    EXPECT_EQ(header, "measurement,by_bit,ctle,dfe1_v,dfe2_v,dfe3_v,dfe4_v,dfe5_v,eye_width_ui,eye_height_v");
    std::vector<std::string> rows;
    while (std::getline(csv, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], "2,3072,2,0.008,0,0,0,0,0.55,0.21");
    EXPECT_EQ(rows[2], "3,,3,0.008,0,0,0,0,0.6,0.25");  // logged by a bit not known
}

TEST(MarginPlots, BathtubAndTrajectoryAreDrawnOrSayWhyNot) {
    std::vector<double> crossings;
    for (int i = 0; i < 4000; ++i) crossings.push_back(0.5 + 0.02 * std::sin(i * 0.37));
    linksim::MarginReport margins;
    margins.targetBer = 1e-12;
    margins.walls = linksim::FitEyeWalls(crossings, 8000.0, 1e-12);
    for (int k = -32; k <= 32; ++k) margins.bathtub.push_back({k / 64.0, 8000, size_t(k * k), 0.0});

    linksim::Trajectory trajectory;
    trajectory.unitInterval = kUi;
    trajectory.bits = 20000;
    trajectory.ignoreBits = 15000;
    for (int i = 0; i < 10; ++i) {
        linksim::AdaptMeasurement m;
        m.ctle = 1 + i % 4;
        m.taps[i % 5] = 0.008 * i;
        m.eyeWidth = 0.5 + 0.01 * i;
        m.eyeHeight = 0.2;
        trajectory.measurements.push_back(m);
        trajectory.measurementBits.push_back(size_t(1024 * (i + 1)));
    }
    trajectory.clock = linksim::TrackClock(ClockOnFastData(20000, [](size_t) { return 0.3; }), DataUiAt);

    std::string error;
    const std::string bathtub = Scratch("bathtub.png");
    const std::string history = Scratch("trajectory.png");
    ASSERT_TRUE(linksim::WriteBathtubPng(bathtub, margins, "bathtub", error)) << error;
    ASSERT_TRUE(linksim::WriteTrajectoryPng(history, trajectory, "trajectory", error)) << error;
    for (const std::string& path : {bathtub, history}) {
        const std::string png = ReadFile(path);
        ASSERT_GT(png.size(), 1000u) << path;
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << path;
    }
    // The panels show the adaptation and the lock, and a fifth more, unless
    // that is most of the run.
    const double settled = std::max(10240.0, trajectory.clock.lockTime / kUi);
    EXPECT_DOUBLE_EQ(linksim::TrajectoryZoomBits(trajectory), trajectory.clock.locked ? 1.2 * settled : 1.2 * 10240.0);
    trajectory.bits = 13000;
    EXPECT_DOUBLE_EQ(linksim::TrajectoryZoomBits(trajectory), 13000.0);
    // Labels that would overlap go to the next row that has room.
    EXPECT_EQ(linksim::LabelRows({{0, 50}, {40, 90}, {100, 150}, {10, 20}, {60, 95}}, 8.0),
              (std::vector<int>{0, 1, 0, 1, 2}));
    EXPECT_FALSE(linksim::WriteBathtubPng(Scratch("no/such/folder/bathtub.png"), margins, "", error));
    EXPECT_NE(error.find("bathtub.png"), std::string::npos) << error;
    // The font caches freed, as the program does, so that the leak checker sees a clean exit.
    linksim::ReleasePlotCaches();
}

}  // namespace
