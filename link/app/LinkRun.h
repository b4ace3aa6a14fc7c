// One end-to-end run of a serial link through an IBIS-AMI transmitter and
// receiver, the way a channel simulator runs it: both AMI_Init calls on the
// channel's impulse response, then the bit stream through the transmitter
// and the channel into the receiver's AMI_GetWave in blocks, and the
// receiver's output judged on the clock it recovered.
#ifndef LINK_LINK_RUN_H
#define LINK_LINK_RUN_H

#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "AdaptLog.h"
#include "AmiDescription.h"
#include "BitErrors.h"
#include "Buffers.h"
#include "Channel.h"
#include "ClockTrack.h"
#include "EyeAnalysis.h"
#include "Margins.h"
#include "MixedMode.h"
#include "ParameterString.h"
#include "Stress.h"

namespace linksim {

// The buffers' values given on the command line, per leg; NaN where not
// given (the .ibs file's or the defaults then hold).
struct BufferOverrides {
    double txOhms = std::nan("");
    double txFarads = std::nan("");
    double rxOhms = std::nan("");
    double rxFarads = std::nan("");
    bool Any() const {
        return !std::isnan(txOhms) || !std::isnan(txFarads) || !std::isnan(rxOhms) || !std::isnan(rxFarads);
    }
};

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
    PortMap ports;  // of a Touchstone channel
    // Crosstalk: each path from an aggressor's transmitter to our receiver,
    // driven by its own PRBS; all Touchstone aggressors share one numbering.
    std::vector<ChannelSpec> aggressors;
    PortMap aggressorPorts;
    bool aggressorPortsGiven = false;  // else the channel's ports
    // The buffers at both ends: applied to Touchstone channels and --ibs
    // runs always, to loss and file channels only when one is given.
    BufferOverrides buffers;
    std::string ibsPath;  // the models, buffers and package from an IBIS file
    std::string txPin;    // which of its models (empty: by Model_type)
    std::string rxPin;
    size_t bitsPerCall = 1024;  // capped at the bits of the run
    long ignoreBits = -1;       // bits not counted; -1: the models' Ignore_Bits
    double modelTimeout = 0.0;  // seconds a model call may take; 0: no limit
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

// What a run's channel (or one aggressor's path) turned out to be.
struct ChannelOutcome {
    std::string description;  // "15 dB lossy line", a file's path
    std::string ports;        // of a Touchstone file; empty otherwise
    double lossDbAtNyquist = std::nan("");  // of the data (a Touchstone path) or the line
    double delaySeconds = std::nan("");
    double precursorEnergyShare = std::nan("");  // Touchstone only
    std::vector<std::string> warnings;
};

struct BuffersOutcome {
    bool applied = false;
    BufferLoads loads;
    std::string source;  // where the values came from
};

struct AggressorOutcome {
    ChannelOutcome path;
    unsigned long long seed = 0;
    double pulsePeakV = 0.0;     // its pulse response's largest magnitude at the receiver's input
    double largestV = 0.0;       // the largest it added to the receiver's input in the run
};

struct LinkResult {
    ModelRun tx;
    ModelRun rx;
    size_t bits = 0;
    size_t bitsPerCall = 0;
    long ignoreBits = 0;
    double unitInterval = 0.0;
    double sampleInterval = 0.0;
    size_t channelSamples = 0;
    size_t impulseSamples = 0;  // the impulse matrix's rows
    std::vector<std::string> flow;   // what went where, in order
    std::vector<std::string> notes;  // anything a user should know about the run

    ChannelOutcome channel;
    BuffersOutcome buffers;
    std::vector<AggressorOutcome> aggressors;
    std::string ibsFile;

    bool retimedOutput = false;
    bool rxReportsClock = false;
    // The receiver's clock times, or (for receivers that report none, or
    // have no AMI_GetWave) the host's own clock recovery.
    bool hostClock = false;
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

// The limits of a run, checked before any model is called. The bits a run
// can hold: half this machine's memory at kBytesPerBit (the pattern, the
// value at every sampling instant and the decisions take about 32 bytes a
// bit, the stimulus's grid, the clock times and the instants on the data's
// grid 32 more; half as much again leaves room; the output kept for the
// margins has a limit of its own). The sample rate (bit rate times samples per
// unit interval): the kit's models resample their tabulated responses at it,
// so their work per sample grows with it; at 1e13 samples/s the
// transmitter's 1.5 ns driver response already takes 15 001 taps.
const size_t kBytesPerBit = 96;
const double kMaxSampleRate = 1e13;
size_t MaxBits();

// The files a run leaves in its output folder; a run removes those of an
// earlier one before it starts, so that none is left over.
extern const char* const kRunOutputFiles[6];

// False with one line in error on any bad input or model failure; the
// models are closed and the working folder restored either way.
bool RunLink(const LinkSettings& settings, LinkResult& result, std::string& error);

}  // namespace linksim

#endif
