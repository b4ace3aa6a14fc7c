// What a run of orvex-link is asked to do: the models, the channel, the
// stress, the buffers and the run's limits. Plain data, shared by the run,
// its reports and the sweeps.
#ifndef LINK_RUN_LINK_SETTINGS_H
#define LINK_RUN_LINK_SETTINGS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Channel.h"
#include "IbisFile.h"
#include "MixedMode.h"
#include "ParameterString.h"
#include "Stress.h"

namespace linksim {

struct LinkResult;

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

// Pass thresholds a run must meet (NaN: none): the timing and voltage
// margins at the target rate, and the rate extrapolated at the sampling
// instant.
struct Requirements {
    double timingUi = std::nan("");
    double voltageV = std::nan("");
    double ber = std::nan("");
    bool Any() const { return !std::isnan(timingUi) || !std::isnan(voltageV) || !std::isnan(ber); }
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
    // The ports of each Touchstone aggressor: one map for all, or one per
    // aggressor in order; none given: the channel's ports.
    std::vector<PortMap> aggressorPorts;
    // The ports the Nth aggressor (from 0) is read with.
    const PortMap& AggressorPorts(size_t index) const {
        if (aggressorPorts.empty()) return ports;
        return aggressorPorts.size() == 1 ? aggressorPorts[0] : aggressorPorts[std::min(index, aggressorPorts.size() - 1)];
    }
    // The buffers at both ends: applied to Touchstone channels and --ibs
    // runs always, to loss and file channels only when one is given.
    BufferOverrides buffers;
    std::string ibsPath;  // the models, buffers and package from an IBIS file (the transmitter's)
    std::string rxIbsPath;  // the receiver's, when it is another file; empty: ibsPath
    std::string txPin;    // which of its models (empty: by Model_type)
    std::string rxPin;
    std::string txModelName;  // among a [Model Selector]'s models (empty: its first)
    std::string rxModelName;
    const std::string& RxIbsPath() const { return rxIbsPath.empty() ? ibsPath : rxIbsPath; }
    IbisEndChoice TxEnd() const { return {txPin, txModelName}; }
    IbisEndChoice RxEnd() const { return {rxPin, rxModelName}; }
    IbisChoice ibs;       // the file as read once, when the command line read it
    bool allowOutsideExecutables = false;  // an --ibs file may name libraries beyond its folder
    size_t bitsPerCall = 1024;  // capped at the bits of the run
    long ignoreBits = -1;       // bits not counted; -1: the models' Ignore_Bits
    double modelTimeout = 0.0;  // seconds a model call may take; 0: no limit
    std::string outDir = ".";  // the models run inside it (the receiver writes there)
    // A caller's own label for the run, kept in summary.json: a sweep
    // marks each corner with its plan's identity, to know its own results.
    std::string runTag;
    RxOutputMode rxOutput = RxOutputMode::Auto;
    StressSettings stress;
    double targetBer = 1e-12;  // of the margins
    Requirements requirements;
    // The arguments the run was started with, as given, for the record.
    std::vector<std::string> commandLine;
    // The channel convolution and the analysis on a second thread while the
    // receiver's AMI_GetWave runs; the results are the same either way.
    bool overlapHostWork = true;
    // The statistical eye of the link's final AMI_Init impulse response,
    // beside the time-domain run (whose verdict it leaves alone).
    bool statistical = false;
    std::function<void(size_t bitsDone, size_t bitsTotal)> progress;
    // Called on the running thread once every path's response is known,
    // before the first AMI_GetWave, so that what needs them alone (their
    // picture) can be made beside the run.
    std::function<void(const LinkResult& soFar)> pathsKnown;
};

}  // namespace linksim

#endif
