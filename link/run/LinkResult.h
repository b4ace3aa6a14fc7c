// What a run of orvex-link found: the models as they ran, the channel, the
// counted errors, the eye, the margins, the clock and the adaptation. Plain
// data, shared by the run, its reports and the sweeps.
#ifndef LINK_RUN_LINK_RESULT_H
#define LINK_RUN_LINK_RESULT_H

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "AdaptLog.h"
#include "AmiDescription.h"
#include "BitErrors.h"
#include "Buffers.h"
#include "ClockTrack.h"
#include "EyeAnalysis.h"
#include "IbisFile.h"
#include "JitterBreakdown.h"
#include "LinkResponses.h"
#include "Margins.h"
#include "ParameterString.h"
#include "StatisticalEye.h"
#include "Stress.h"

namespace linksim {

// Jitter or noise a model declares of itself (a reserved Info parameter),
// as the run applied it.
struct DeclaredStress {
    std::string model;
    std::string parameter;
    double value = 0.0;  // seconds, or volts
    std::string appliedAs;
};

struct ModelRun {
    std::string library;
    std::string ami;
    AmiDescription description;
    std::vector<ParameterChoice> parameters;  // point into description
    std::string parameterString;
    std::string initMessage;
    std::string parametersOut;
    std::string lastGetWaveParametersOut;  // the last AMI_GetWave's AMI_parameters_out
    // Reserved inputs the model declares that the run has no value for.
    std::vector<std::string> reservedNotPassed;
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
    // Touchstone only, from here on.
    double differentialReferenceOhms = std::nan("");  // what the data were read against
    double sdd11DbAtNyquist = std::nan("");
    double scd21DbAtNyquist = std::nan("");      // 4 or more ports
    double precursorEnergyShare = std::nan("");  // the data's own, the band limit's ringing taken out
    double unaliasedSpanSeconds = std::nan("");  // 0.75 / the frequency step
    double passivityExcessDb = std::nan("");     // the file's worst, over 0 dB
    double passivityWorstHz = std::nan("");
    double pairPassivityExcessDb = std::nan("");  // the differential pair's own
    double pairPassivityWorstHz = std::nan("");
    std::vector<std::string> warnings;
    std::vector<std::string> notes;  // what a user should know, not a fault
};

struct BuffersOutcome {
    bool applied = false;
    BufferLoads loads;
    std::string source;  // where the values came from
    std::vector<std::string> warnings;  // values outside the usual ranges
};

struct AggressorOutcome {
    ChannelOutcome path;
    unsigned long long seed = 0;
    double pulsePeakV = 0.0;     // its pulse response's largest magnitude at the receiver's input
    double largestV = 0.0;       // the largest it added to the receiver's input in the run
};

// A file the run used, for the record: what it was, where, and its SHA-256.
struct FileRecord {
    std::string role;  // "tx library", "rx .ami", "channel", "aggressor 1", ...
    std::string path;
    std::string sha256;  // empty when it could not be read (error says why)
    std::string error;
};

// One requirement of the command line against what the run measured.
struct RequirementCheck {
    std::string name;      // "timing margin", "voltage margin", "BER at the instant"
    std::string unit;      // "UI", "V", ""
    bool atLeast = true;   // the measured value must be at least (else at most) the required one
    double required = 0.0;
    double measured = 0.0;  // NaN: not measured
    bool met = false;
};

// The run judged: pass only when the counted errors, the margins and the
// clock all show it, unreliable when the run cannot tell, with every
// reason in a sentence.
enum class VerdictKind { Pass, Fail, Unreliable };
const char* VerdictName(VerdictKind kind);

struct Verdict {
    VerdictKind kind = VerdictKind::Unreliable;
    std::vector<std::string> reasons;
    std::vector<RequirementCheck> requirements;
    // With requirements given: all met and the run passed.
    bool RequirementsMet() const {
        if (kind != VerdictKind::Pass) return false;
        for (const RequirementCheck& check : requirements) {
            if (!check.met) return false;
        }
        return true;
    }
};

inline const char* VerdictName(VerdictKind kind) {
    switch (kind) {
        case VerdictKind::Pass: return "pass";
        case VerdictKind::Fail: return "fail";
        case VerdictKind::Unreliable: return "unreliable";
    }
    return "unreliable";
}

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
    // Why nothing of the channel can reach the receiver's output (a model's
    // AMI_Init returned an impulse response of zeros); empty when something
    // can.
    std::string silentPath;

    ChannelOutcome channel;
    BuffersOutcome buffers;
    std::vector<AggressorOutcome> aggressors;
    // With --ibs: the file, and the pins, models and executables it chose.
    std::string ibsFile;
    IbisChoice ibs;

    // The paths' responses (the channel, as the transmitter's AMI_Init shaped
    // it, each aggressor, after the receiver's AMI_Init) and the cursors of
    // the one the receiver's input sees.
    std::vector<PathResponse> responses;
    PulseCursors cursors;
    std::string cursorsOf;  // the name of that path

    // The stress the run applied: the command line's with what the models
    // declare of themselves (listed in declaredStress).
    StressSettings stress;
    std::vector<DeclaredStress> declaredStress;

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
    // The jitter of the output's edges against the clock and the data's grid.
    JitterBreakdown jitter;

    double traceStart = 0.0;
    std::vector<double> traceSamples;
    std::vector<double> traceInstants;

    // With --statistical: the eye of the final AMI_Init impulse response,
    // what it was built from, and the equalisation it leaves out (empty, or
    // "without the receiver's equalisation" and the like).
    StatisticalEye statistical;
    std::string statisticalBasis;
    std::string statisticalWithout;

    RunTiming timing;
    std::vector<FileRecord> files;
    Verdict verdict;
};

}  // namespace linksim

#endif
