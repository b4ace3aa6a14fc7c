// orvex-link: runs a serial link end to end through any IBIS-AMI
// transmitter and receiver, and writes what came out of it.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "AdaptationCsv.h"
#include "CNumbers.h"
#include "CommandLine.h"
#include "EyeDensity.h"
#include "EyePlot.h"
#include "JitterPlot.h"
#include "LinkRun.h"
#include "MarginPlots.h"
#include "ModelWatch.h"
#include "ProgressBar.h"
#include "RunFolder.h"
#include "ResponsePlots.h"
#include "RunReport.h"
#include "Summary.h"
#include "TwoThreads.h"
#include "Version.h"
#include "WholeFile.h"

namespace {

// Exit statuses: 0 the run completed (and met any --require-*), 1 it could
// not complete, 2 a bad option, 3 a --require-* not met.
const int kCouldNotComplete = 1;
const int kBadOption = 2;
const int kRequirementNotMet = 3;

// What malloc serves from its heap (and keeps once freed) rather than
// mapping afresh each time: glibc's largest setting.
const int kLargestFreshBuffer = 32 << 20;
const int kKeptFreeMemory = 1 << 30;

const size_t kEyeColumns = 480;
const size_t kEyeRows = 320;

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "orvex-link: %s\n", message.c_str());
    return code;
}

// Draws the eye unless the output is no waveform to draw; says why not.
bool DrawEye(const linksim::LinkResult& result, const std::string& context, linksim::RunOutputs& outputs,
             std::string& error) {
    if (result.retimedOutput) {
        outputs.eyeNote = "the receiver's output is its retimed decision, which changes exactly at the sampling "
                          "instants: errors are counted at the clock times and no eye is drawn of it";
        return true;
    }
    if (result.traceSamples.empty() || result.traceInstants.empty()) {
        outputs.eyeNote = "no output was measured after the ignored bits, so there is no eye to draw";
        return true;
    }
    const linksim::EyeDensity density =
        linksim::FoldEye(result.traceSamples, result.traceStart, result.sampleInterval, result.traceInstants,
                      result.unitInterval, kEyeColumns, kEyeRows);
    linksim::EyePlotText text;
    text.title = result.rx.description.modelName + " output on its " +
                 (result.hostClock ? "host-recovered clock" : "recovered clock");
    const linksim::EyeFigures eye = linksim::ReportedEye(result);
    char figures[160];
    std::snprintf(figures, sizeof figures, "eye height %.4g V, width %.3g UI; last %.0f UI of %zu bits", eye.heightV,
                  eye.widthUi, double(result.traceSamples.size()) * result.sampleInterval / result.unitInterval,
                  result.bits);
    text.subtitle = context + "; " + figures;
    linksim::EyeOverlay overlay;
    const linksim::MarginReport& margins = result.margins;
    for (const linksim::OutlinePoint& point : margins.outline) {
        overlay.phaseUi.push_back(point.phaseUi);
        overlay.upperV.push_back(point.upperV);
        overlay.lowerV.push_back(point.lowerV);
    }
    std::string rates;
    for (const linksim::Contour& contour : margins.contours) {
        if (contour.ber == margins.targetBer) continue;
        linksim::EyeOutline outline;
        for (const linksim::OutlinePoint& point : contour.points) {
            outline.phaseUi.push_back(point.phaseUi);
            outline.upperV.push_back(point.upperV);
            outline.lowerV.push_back(point.lowerV);
        }
        overlay.contours.push_back(outline);
        char rate[16];
        std::snprintf(rate, sizeof rate, "%s%.0e", rates.empty() ? "" : ", ", contour.ber);
        rates += rate;
    }
    overlay.samplingPoint = true;  // at the threshold, 0 V
    char label[240];
    std::snprintf(label, sizeof label, "black: the opening at BER %.0e%s; grey: at %s; red cross: the sampling point",
                  margins.targetBer, margins.open ? "" : " (shut: the margins are not both positive)",
                  rates.c_str());
    overlay.outlineLabel = margins.known ? label : "red cross: the sampling point";
    outputs.eyeImage = "eye.png";
    outputs.eyeNote = "the output folded over two unit intervals around each sampling instant";
    return linksim::WriteEyePng(outputs.folder + "/eye.png", density, text, error, overlay);
}

// responses.png and responses.csv: every path the run built.
bool DrawResponses(const std::vector<linksim::PathResponse>& responses, double unitInterval,
                   const std::string& context, linksim::RunOutputs& outputs, std::string& error) {
    if (responses.empty()) return true;
    if (!linksim::WriteResponsesPng(outputs.folder + "/responses.png", responses, unitInterval,
                                    "Responses of the link's paths: " + context, error) ||
        !linksim::WriteFileWhole(outputs.folder + "/responses.csv", linksim::ResponsesCsv(responses), error)) {
        return false;
    }
    outputs.responsesImage = "responses.png";
    outputs.responsesCsv = "responses.csv";
    return true;
}

// The responses drawn on a thread of their own while the receiver runs:
// they are known before its first call, and the run leaves the second core
// idle for much of its time.
class ResponsesBesideRun {
public:
    // `folder` absolute: the run works inside it meanwhile.
    explicit ResponsesBesideRun(std::string folder) { m_outputs.folder = std::move(folder); }
    ~ResponsesBesideRun() {
        if (m_thread.joinable()) m_thread.join();
    }
    ResponsesBesideRun(const ResponsesBesideRun&) = delete;
    ResponsesBesideRun& operator=(const ResponsesBesideRun&) = delete;

    // On the running thread: takes what the drawing needs, and starts it.
    void Start(const linksim::LinkSettings& settings, const linksim::LinkResult& soFar) {
        m_responses = soFar.responses;
        m_unitInterval = soFar.unitInterval;
        m_context = linksim::RunContextText(settings, soFar);
        try {
            m_thread = std::thread([this] {
                linksim::UseCNumbersOnThisThread();
                m_drawn = DrawResponses(m_responses, m_unitInterval, m_context, m_outputs, m_error);
            });
        } catch (const std::system_error&) {
            // No thread to be had: they are drawn with the other pictures.
        }
    }
    bool Started() const { return m_thread.joinable(); }
    // Waits for a drawing whose run failed: what it drew is discarded with
    // the run's folder.
    void Abandon() {
        if (m_thread.joinable()) m_thread.join();
    }
    // Waits for the drawing; false, with the reason, when it failed.
    bool Finish(linksim::RunOutputs& outputs, std::string& error) {
        m_thread.join();
        outputs.responsesImage = m_outputs.responsesImage;
        outputs.responsesCsv = m_outputs.responsesCsv;
        if (!m_drawn) error = m_error;
        return m_drawn;
    }

private:
    std::vector<linksim::PathResponse> m_responses;
    double m_unitInterval = 0.0;
    std::string m_context;
    linksim::RunOutputs m_outputs;
    std::string m_error;
    bool m_drawn = false;
    std::thread m_thread;
};

// bathtub.png, trajectory.png and adaptation.csv, where the run has them.
bool DrawMargins(const linksim::LinkResult& result, const std::string& context, linksim::RunOutputs& outputs,
                 std::string& error) {
    const std::string& rx = result.rx.description.modelName;
    if (result.margins.known) {
        if (!linksim::WriteBathtubPng(outputs.folder + "/bathtub.png", result.margins,
                                      "Bathtub of " + rx + " at its sampling instants: " + context, error)) {
            return false;
        }
        outputs.bathtubImage = "bathtub.png";
    }
    if (!result.adaptMeasurements.empty() || !result.clockTrack.windows.empty()) {
        linksim::Trajectory trajectory;
        trajectory.measurements = result.adaptMeasurements;
        trajectory.measurementBits = result.adaptLineBits;
        trajectory.clock = result.clockTrack;
        trajectory.unitInterval = result.unitInterval;
        trajectory.ignoreBits = size_t(std::max(result.ignoreBits, 0L));
        trajectory.bits = result.bits;
        if (!linksim::WriteTrajectoryPng(outputs.folder + "/trajectory.png", trajectory,
                                         rx + ": adaptation and clock over the run; " + context, error)) {
            return false;
        }
        outputs.trajectoryImage = "trajectory.png";
    }
    if (!result.adaptMeasurements.empty()) {
        const std::string path = outputs.folder + "/adaptation.csv";
        std::ofstream csv(path);
        csv << linksim::AdaptationCsv(result.adaptMeasurements, result.adaptLineBits);
        if (!csv) {
            error = "cannot write " + path;
            return false;
        }
        outputs.adaptationCsv = "adaptation.csv";
    }
    return true;
}

// stateye.png, with --statistical.
bool DrawStatisticalEye(const linksim::LinkResult& result, const std::string& context, linksim::RunOutputs& outputs,
                        std::string& error) {
    const linksim::StatisticalEye& eye = result.statistical;
    if (!eye.known) return true;
    linksim::EyePlotText text;
    // Where a model's equalisation is left out, that is what a reader must
    // know first; otherwise what the eye was built from.
    text.title = result.statisticalWithout.empty() ? "Statistical eye of " + result.statisticalBasis
                                                   : "Statistical eye, " + result.statisticalWithout;
    char figures[160];
    std::snprintf(figures, sizeof figures, "height %.4g V, width %.3g UI at BER %.0e", eye.heightV, eye.widthUi,
                  eye.targetBer);
    text.subtitle = context + "; " + figures;
    outputs.statisticalImage = "stateye.png";
    return linksim::WriteStatisticalEyePng(outputs.folder + "/stateye.png", eye, text, error);
}

// jitter.png, where the output's edges were broken down.
bool DrawJitter(const linksim::LinkResult& result, const std::string& context, linksim::RunOutputs& outputs,
                std::string& error) {
    if (!result.jitter.known) return true;
    outputs.jitterImage = "jitter.png";
    return linksim::WriteJitterPng(outputs.folder + "/jitter.png", result.jitter,
                                   "Jitter of " + result.rx.description.modelName + "'s output edges: " + context, error);
}

// Every picture, the eye on this thread and the others beside it: each
// writes files of its own and fields of its own in `outputs`. The
// responses may have been drawn during the run already.
bool DrawPictures(const linksim::LinkResult& result, const std::string& context, bool twoThreads,
                  ResponsesBesideRun& responses, linksim::RunOutputs& outputs, std::string& error) {
    bool eyeDrawn = false, othersDrawn = false;
    std::string othersError;
    linksim::RunBeside(
        twoThreads,
        [&] {
            othersDrawn = DrawMargins(result, context, outputs, othersError) &&
                          DrawStatisticalEye(result, context, outputs, othersError) &&
                          DrawJitter(result, context, outputs, othersError) &&
                          (responses.Started() ? responses.Finish(outputs, othersError)
                                               : DrawResponses(result.responses, result.unitInterval, context,
                                                               outputs, othersError));
        },
        [&] { eyeDrawn = DrawEye(result, context, outputs, error); });
    if (eyeDrawn && !othersDrawn) error = othersError;
    return eyeDrawn && othersDrawn;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    // Large buffers freed during a run are kept for the next ones rather
    // than handed back and faulted in afresh: on virtual machines a page
    // fault costs microseconds, and a run allocates and frees several
    // megabytes many times over.
    mallopt(M_MMAP_THRESHOLD, kLargestFreshBuffer);
    mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
    // Whatever locale a model sets, the host's numbers keep their points.
    linksim::UseCNumbersOnThisThread();
    // A model that crashes is named with the entry point it crashed in.
    linksim::InstallCrashReport("orvex-link");
    std::vector<std::string> arguments(argv + 1, argv + argc);
    linksim::CommandLine line;
    std::string error;
    switch (linksim::ParseCommandLine(arguments, linksim::ProgramFolder(argv[0]), line, error)) {
        case linksim::CommandLineAction::Help:
            std::fputs(linksim::UsageText().c_str(), stdout);
            return 0;
        case linksim::CommandLineAction::Version:
            std::printf("orvex-link %s\n", linksim::ProgramVersion());
            return 0;
        case linksim::CommandLineAction::Fail:
            return Fail(error, kBadOption);
        case linksim::CommandLineAction::Run:
            break;
    }

    // The run works in a folder of its own inside --out; only a run that
    // completes replaces what an earlier one left there.
    linksim::RunFolder runFolder;
    const std::string outputFolder = line.settings.outDir;
    std::string warning;
    if (!runFolder.Prepare(outputFolder, error, warning)) return Fail(error, kCouldNotComplete);
    if (!warning.empty()) std::fprintf(stderr, "orvex-link: warning: %s\n", warning.c_str());
    line.settings.outDir = runFolder.Path();

    linksim::ProgressBar bar(stderr, !line.quiet);
    line.settings.progress = [&bar](size_t done, size_t total) { bar.Update(done, total); };
    ResponsesBesideRun responses(std::filesystem::absolute(runFolder.Path()).string());
    if (line.pictures && line.settings.overlapHostWork) {
        line.settings.pathsKnown = [&responses, &line](const linksim::LinkResult& soFar) {
            responses.Start(line.settings, soFar);
        };
    }
    linksim::LinkResult result;
    const bool ran = linksim::RunLink(line.settings, result, error);
    bar.Finish();
    if (!ran) {
        // The responses may have been drawn meanwhile: the plotting library's
        // caches go as on success, so a failed run leaks nothing either.
        responses.Abandon();
        linksim::ReleasePlotCaches();
        return Fail(error, kCouldNotComplete);
    }

    linksim::RunOutputs outputs;
    outputs.folder = line.settings.outDir;
    const auto eyeStart = std::chrono::steady_clock::now();
    if (!line.pictures) outputs.eyeNote = "not drawn: --outputs summary";
    // Every picture says which run it is of, should it be copied elsewhere.
    const std::string context = linksim::RunContextText(line.settings, result);
    const bool drawn = !line.pictures || DrawPictures(result, context, line.settings.overlapHostWork, responses, outputs, error);
    linksim::ReleasePlotCaches();
    outputs.eyePictureSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - eyeStart).count();
    if (!drawn) {
        return Fail(error, kCouldNotComplete);
    }
    outputs.totalSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // What is printed names the output folder's files; the report shows it.
    linksim::RunOutputs shown = outputs;
    shown.folder = outputFolder;
    if (line.pictures) shown.report = "report.html";
    linksim::LinkSettings shownSettings = line.settings;
    shownSettings.outDir = outputFolder;
    const std::string printed = linksim::SummaryText(shownSettings, result, shown);
    if ((line.pictures && !linksim::WriteFileWhole(outputs.folder + "/" + shown.report,
                                                   linksim::RunReportHtml(shownSettings, result, shown, printed), error)) ||
        !linksim::WriteFileWhole(outputs.folder + "/summary.json", linksim::SummaryJson(line.settings, result, outputs),
                                 error) ||
        !runFolder.Commit(linksim::kRunOutputFiles, std::size(linksim::kRunOutputFiles), error)) {
        return Fail(error, kCouldNotComplete);
    }
    std::fputs(printed.c_str(), stdout);
    if (line.settings.requirements.Any() && !result.verdict.RequirementsMet()) return kRequirementNotMet;
    return 0;
}
