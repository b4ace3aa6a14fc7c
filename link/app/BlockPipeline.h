// The stream of bits through a run, block by block: levels, the
// transmitter's AMI_GetWave, the channel, the receiver's AMI_GetWave, the
// analysis. The models are called on the calling thread, each in order; while
// the receiver works on one block, the channel produces the next one and the
// analysis takes the one before, on a second thread when the settings ask for
// it. Either way every block goes through the same operations, so the results
// are the same to the bit.
#ifndef LINK_BLOCK_PIPELINE_H
#define LINK_BLOCK_PIPELINE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "AdaptLogWatcher.h"
#include "AmiLibrary.h"
#include "ClockTimesBuffer.h"
#include "EyeAnalysis.h"
#include "HostClockRecovery.h"
#include "LinkRun.h"
#include "RunRecording.h"
#include "StreamConvolver.h"
#include "StressedStimulus.h"

namespace linksim {

// True when no value is NaN or infinite: a model's output is checked before
// anything is computed from it.
bool AllFinite(const double* values, size_t count);

class BlockPipeline {
public:
    // bits is the transmitted pattern, at least as long as the stimulus
    // consumes; the run lasts result.bits unit intervals.
    BlockPipeline(const LinkSettings& settings, const std::vector<int>& bits, LinkResult& result,
                  AmiModelInstance& tx, AmiModelInstance& rx, EyeAnalyzer& analyzer);

    // Where the stimulus comes from, the noise added to the receiver's input,
    // and what watches and records the run besides the analyser.
    void Attach(StressedStimulus& stimulus, NoiseSource& noise, RunRecorder& recorder, AdaptLogWatcher& watcher);

    // The filter from the stimulus to what the receiver's GetWave gets (or,
    // for a receiver without one, to its output).
    void SetPath(bool txGetWave, bool rxGetWave, const std::vector<double>& taps);
    // A crosstalk path (taps of its impulse response) driven by its own bits,
    // added to what the path above delivers.
    void AddAggressor(const std::vector<double>& taps, std::vector<int> bits);
    // The host's clock recovery, started at firstInstant and reading its
    // edges edgeLeadUi before each instant: from the start when always is
    // true (a receiver without AMI_GetWave), else only when the receiver's
    // first AMI_GetWave call reports no clock time.
    void PrepareHostClock(double firstInstant, double edgeLeadUi, bool always);
    // The largest magnitude aggressor index added to the receiver's input.
    double AggressorLargest(size_t index) const { return m_aggressors[index].largest; }

    // Times go to result.timing; false with one line in error when a model
    // fails.
    bool Run(std::string& error);

private:
    struct Block {
        size_t firstBit = 0;
        size_t bitCount = 0;
        std::vector<double> wave;
        std::vector<double> clocks;  // absolute clock times the receiver reported
    };

    size_t BlockBits(size_t index) const;
    // The stimulus through the transmitter into the channel until it can
    // deliver the block; on the calling thread when the transmitter's
    // AMI_GetWave is used, so that every model call stays there.
    bool FeedChannel(const Block& block, std::string& error);
    // Channel and analysis, the jobs that may run beside the receiver.
    void ProduceBlock(Block& block);
    void AnalyseBlock(const Block& block);
    bool ReceiverGetWave(Block& block, std::string& error);

    struct Aggressor {
        std::vector<int> bits;
        std::unique_ptr<LookaheadConvolver> path;
        size_t nextBit = 0;
        double largest = 0.0;
    };
    void AddAggressors(Block& block);

    const LinkSettings& m_settings;
    const std::vector<int>& m_bits;
    LinkResult& m_result;
    AmiModelInstance& m_tx;
    AmiModelInstance& m_rx;
    EyeAnalyzer& m_analyzer;
    StressedStimulus* m_source = nullptr;
    NoiseSource* m_noise = nullptr;
    RunRecorder* m_recorder = nullptr;
    AdaptLogWatcher* m_watcher = nullptr;
    size_t m_units = 0;  // unit intervals in the run
    bool m_txGetWave = false;
    bool m_rxGetWave = false;
    bool m_missingTerminatorNoted = false;
    double m_lastClockTime = -1.0;  // the receiver's last clock time, seconds
    size_t m_nextStimulusBit = 0;
    std::vector<double> m_stimulus;
    ClockTimesBuffer m_txClockTimes;
    ClockTimesBuffer m_rxClockTimes;
    std::unique_ptr<LookaheadConvolver> m_channel;
    std::vector<Aggressor> m_aggressors;
    std::vector<double> m_aggressorWave;
    std::vector<double> m_stimulusLevels;  // an aggressor's bits as levels
    std::vector<double> m_hostInstants;
    std::unique_ptr<HostClockRecovery> m_hostClock;
    bool m_hostClockDecided = false;
    bool m_useHostClock = false;
    // Written by the jobs (and the feed) only; read once they have been
    // waited for.
    double m_stimulusSeconds = 0.0;
    double m_txGetWaveSeconds = 0.0;
    double m_channelSeconds = 0.0;
    double m_analysisSeconds = 0.0;
    bool m_channelStarved = false;
};

}  // namespace linksim

#endif
