// The link simulator's own time on its default run, as a user meets it:
// the wall time of the whole orvex-link process, measured from outside it,
// less the time the receiver's AMI_GetWave took (which the run reports).
// Its parts, from the run's own timings, are the benchmark's counters
// (seconds per run): what comes before the first AMI_GetWave, the wait for
// the second thread, the results, and the pictures with the report.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "WorkingFolder.h"

namespace {

// False when the program could not be started or did not exit 0.
bool RunProgram(const std::string& program, const std::string& out) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        execl(program.c_str(), program.c_str(), "--out", out.c_str(), "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_DefaultRunHostTime(benchmark::State& state) {
    linksim::WorkingFolder folder;
    std::string error;
    if (!folder.EnterTemporary("link-bench", error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    double getWave = 0.0, setup = 0.0, waiting = 0.0, results = 0.0, pictures = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!RunProgram(ORVEX_LINK_PROGRAM, "run")) {
            state.SkipWithError("orvex-link failed on its default run");
            return;
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const nlohmann::json timing = nlohmann::json::parse(std::ifstream("run/summary.json"))["timing"];
        const nlohmann::json& parts = timing["host_parts_s"];
        const double rxGetWave = timing["rx_getwave_s"].get<double>();
        state.SetIterationTime(wall - rxGetWave);
        getWave += rxGetWave;
        setup += parts["setup"].get<double>();
        waiting += parts["waiting"].get<double>();
        results += parts["results"].get<double>();
        pictures += parts["eye_picture"].get<double>();
    }
    const auto perRun = benchmark::Counter::kAvgIterations;
    state.counters["rx_getwave_s"] = benchmark::Counter(getWave, perRun);
    state.counters["setup_s"] = benchmark::Counter(setup, perRun);
    state.counters["waiting_s"] = benchmark::Counter(waiting, perRun);
    state.counters["results_s"] = benchmark::Counter(results, perRun);
    state.counters["pictures_s"] = benchmark::Counter(pictures, perRun);
}
BENCHMARK(BM_DefaultRunHostTime)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
