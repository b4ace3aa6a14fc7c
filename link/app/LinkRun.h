// One end-to-end run of a serial link through an IBIS-AMI transmitter and
// receiver, the way a channel simulator runs it: both AMI_Init calls on the
// channel's impulse response, then the bit stream through the transmitter
// and the channel into the receiver's AMI_GetWave in blocks, and the
// receiver's output judged on the clock it recovered.
#ifndef LINK_LINK_RUN_H
#define LINK_LINK_RUN_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "AdaptLog.h"
#include "AmiDescription.h"
#include "BitErrors.h"
#include "Channel.h"
#include "ClockTrack.h"
#include "EyeAnalysis.h"
#include "Margins.h"
#include "ParameterString.h"
#include "Stress.h"

namespace linksim {

// How the receiver's output is read. Equalised: an analog waveform, sampled
// half a unit interval after each clock time and drawn as an eye. Retimed:
// the receiver's decisions, which change exactly at those instants: read at
// the clock times themselves, and no eye drawn. Auto picks Retimed for the
// receivers known to output their decisions with the settings chosen.
enum class RxOutputMode { Auto, Equalised, Retimed };

struct ModelSpec {
    std::string library;
    std::string ami;  // empty: the library's name with .ami beside it
    std::vector<ParameterOverride> overrides;
};

struct LinkSettings {
    ModelSpec tx;
    ModelSpec rx;
    int prbsOrder = 15;
    size_t bits = 0;  // 0: the models' Ignore_Bits and enough to measure after them
    double bitRate = 10e9;
    int samplesPerUi = 32;
    ChannelSpec channel;
    size_t bitsPerCall = 1024;
    std::string outDir = ".";  // the models run inside it (the receiver writes there)
    RxOutputMode rxOutput = RxOutputMode::Auto;
    StressSettings stress;
    double targetBer = 1e-12;  // of the margins
    // The channel convolution and the analysis on a second thread while the
    // receiver's AMI_GetWave runs; the results are the same either way.
    bool overlapHostWork = true;
    std::function<void(size_t bitsDone, size_t bitsTotal)> progress;
};

struct ModelRun {
    std::string library;
    std::string ami;
    AmiDescription description;
    std::vector<ParameterChoice> parameters;  // point into description
    std::string parameterString;
    std::string initMessage;
    std::string parametersOut;
    bool getWaveUsed = false;
};

// Where the time of a run went, in seconds of wall-clock time. The models'
// calls and the setup run on the calling thread; channel and analysis run
// on a second thread when overlapped, and then count only through waiting.
struct RunTiming {
    bool overlapped = false;
    double setup = 0.0;      // .ami files, libraries, channel, both AMI_Init
    double stimulus = 0.0;   // the bits as levels, handed to the channel (beside the
                             // receiver too when the transmitter has no AMI_GetWave)
    double txGetWave = 0.0;
    double channel = 0.0;    // the convolution, wherever it ran
    double analysis = 0.0;   // eye, clock and trace, wherever it ran
    double rxGetWave = 0.0;
    double waiting = 0.0;    // for the second thread, after AMI_GetWave returned
    double results = 0.0;    // AMI_Close, bit errors, adaptation log
    double run = 0.0;        // all of RunLink
};

struct LinkResult {
    ModelRun tx;
    ModelRun rx;
    size_t bits = 0;
    long ignoreBits = 0;
    double unitInterval = 0.0;
    double sampleInterval = 0.0;
    size_t channelSamples = 0;
    size_t impulseSamples = 0;  // the impulse matrix's rows
    std::vector<std::string> flow;   // what went where, in order
    std::vector<std::string> notes;  // anything a user should know about the run

    bool retimedOutput = false;
    bool rxReportsClock = false;
    BitErrorCount errors;
    EyeWidthMargins widthMargins;
    ClockSettling clock;

    bool adaptLogFound = false;
    std::string adaptLogError;
    AdaptOutcome adaptation;
    std::vector<AdaptMeasurement> adaptMeasurements;
    std::vector<size_t> adaptLineBits;  // the bits given to the receiver when each was logged

    // Margins at the target rate at the receiver's sampling instants, and its
    // clock against the data's grid (empty windows: no clock reported).
    MarginReport margins;
    ClockTrack clockTrack;

    double traceStart = 0.0;
    std::vector<double> traceSamples;
    std::vector<double> traceInstants;

    RunTiming timing;
};

// The bits a run needs by default: the models' Ignore_Bits and a measured
// stretch after them.
size_t DefaultBitCount(long ignoreBits);

// False with one line in error on any bad input or model failure; the
// models are closed and the working folder restored either way.
bool RunLink(const LinkSettings& settings, LinkResult& result, std::string& error);

}  // namespace linksim

#endif
