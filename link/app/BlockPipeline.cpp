#include "BlockPipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "HostWorker.h"

namespace linksim {

namespace {

typedef std::chrono::steady_clock Clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

BlockPipeline::BlockPipeline(const LinkSettings& settings, const std::vector<int>& bits, LinkResult& result,
                             AmiModelInstance& tx, AmiModelInstance& rx, EyeAnalyzer& analyzer)
    : m_settings(settings),
      m_bits(bits),
      m_result(result),
      m_tx(tx),
      m_rx(rx),
      m_analyzer(analyzer),
      m_units(std::min(result.bits, bits.size())) {}

void BlockPipeline::Attach(StressedStimulus& stimulus, NoiseSource& noise, RunRecorder& recorder,
                           AdaptLogWatcher& watcher) {
    m_source = &stimulus;
    m_noise = &noise;
    m_recorder = &recorder;
    m_watcher = &watcher;
}

void BlockPipeline::SetPath(bool txGetWave, bool rxGetWave, const std::vector<double>& taps) {
    m_txGetWave = txGetWave;
    m_rxGetWave = rxGetWave;
    m_channel.reset(new LookaheadConvolver(taps, m_units * size_t(m_settings.samplesPerUi)));
}

void BlockPipeline::AddAggressor(const std::vector<double>& taps, std::vector<int> bits) {
    Aggressor aggressor;
    aggressor.path.reset(new LookaheadConvolver(taps, bits.size() * size_t(m_settings.samplesPerUi)));
    aggressor.bits = std::move(bits);
    m_aggressors.push_back(std::move(aggressor));
}

void BlockPipeline::PrepareHostClock(double firstInstant, double edgeLeadUi, bool always) {
    HostClockSettings settings;
    settings.edgeLeadUi = edgeLeadUi;
    settings.sampleInterval = m_result.sampleInterval;
    settings.unitInterval = m_result.unitInterval;
    // The first instant comes after the first clock time the analysis can take.
    const double offset = m_result.retimedOutput ? 0.0 : 0.5 * m_result.unitInterval;
    settings.firstInstant = firstInstant < offset ? firstInstant + m_result.unitInterval : firstInstant;
    m_hostClock.reset(new HostClockRecovery(settings));
    if (always) {
        m_hostClockDecided = true;
        m_useHostClock = true;
        m_result.hostClock = true;
    }
}

size_t BlockPipeline::BlockBits(size_t index) const {
    const size_t first = index * m_settings.bitsPerCall;
    return std::min(m_settings.bitsPerCall, m_units - first);
}

bool BlockPipeline::Run(std::string& error) {
    const size_t spui = size_t(m_settings.samplesPerUi);
    const size_t blockCount = (m_units + m_settings.bitsPerCall - 1) / m_settings.bitsPerCall;
    // The block the receiver has, the one after it and the one before it.
    Block blocks[3];
    HostWorker worker(m_settings.overlapHostWork);
    m_result.timing.overlapped = worker.OwnThread();

    auto setUp = [&](size_t index) -> Block& {
        Block& block = blocks[index % 3];
        block.firstBit = index * m_settings.bitsPerCall;
        block.bitCount = BlockBits(index);
        block.wave.resize(block.bitCount * spui);
        return block;
    };
    // Without the transmitter's AMI_GetWave, making the stimulus is host work
    // like any other and goes beside the receiver too.
    const bool feedBeside = !m_txGetWave;
    if (blockCount > 0) {
        Block& first = setUp(0);
        if (!FeedChannel(first, error)) return false;
        ProduceBlock(first);
    }
    for (size_t index = 0; index < blockCount; ++index) {
        Block& current = blocks[index % 3];
        Block* next = index + 1 < blockCount ? &setUp(index + 1) : nullptr;
        const Block* previous = index > 0 ? &blocks[(index - 1) % 3] : nullptr;
        if (next && !feedBeside && !FeedChannel(*next, error)) {
            return false;
        }
        // Handing the job over takes the worker's lock, which a busy machine
        // can keep from us for a while: that is waiting too.
        const auto handOver = Clock::now();
        worker.Start([this, next, previous, feedBeside] {
            if (next) {
                std::string ignored;  // only the transmitter's AMI_GetWave can fail
                if (feedBeside) FeedChannel(*next, ignored);
                ProduceBlock(*next);
            }
            if (previous) AnalyseBlock(*previous);
        });
        m_result.timing.waiting += SecondsSince(handOver);
        const bool received = !m_rxGetWave || ReceiverGetWave(current, error);
        const auto waitStart = Clock::now();
        worker.Wait();
        m_result.timing.waiting += SecondsSince(waitStart);
        if (!received) {
            return false;
        }
        if (m_watcher) m_watcher->Check(current.firstBit + current.bitCount);
        if (m_channelStarved) {
            error = "the channel ran out of input at bit " + std::to_string(current.firstBit + current.bitCount);
            return false;
        }
        if (m_settings.progress) m_settings.progress(current.firstBit + current.bitCount, m_units);
    }
    if (blockCount > 0) {
        AnalyseBlock(blocks[(blockCount - 1) % 3]);
    }
    if (!worker.OwnThread()) {
        m_result.timing.waiting = 0.0;  // the jobs ran in place: their own times say it
    }
    m_result.timing.stimulus += m_stimulusSeconds;
    m_result.timing.txGetWave += m_txGetWaveSeconds;
    m_result.timing.channel += m_channelSeconds;
    m_result.timing.analysis += m_analysisSeconds;
    return true;
}

bool AllFinite(const double* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) return false;
    }
    return true;
}

bool BlockPipeline::FeedChannel(const Block& block, std::string& error) {
    const size_t spui = size_t(m_settings.samplesPerUi);
    while (m_channel->InputWanted(block.wave.size()) > 0) {
        const auto start = Clock::now();
        const size_t first = m_nextStimulusBit;
        const size_t count = std::min(m_settings.bitsPerCall, m_units - first);
        const long samples = long(count * spui);
        m_stimulus.resize(size_t(samples));
        if (m_source) {
            m_source->Fill(m_stimulus.data(), m_stimulus.size());
        } else {
            for (size_t bit = 0; bit < count; ++bit) {
                std::fill_n(m_stimulus.begin() + long(bit * spui), spui, m_bits[first + bit] ? 0.5 : -0.5);
            }
        }
        m_nextStimulusBit += count;
        double txSeconds = 0.0;
        if (m_txGetWave) {
            if (!m_txClockTimes.Prepare(ClockTimesCapacity(samples, m_settings.samplesPerUi), -1.0)) {
                error = "no memory for the transmitter's clock_times";
                return false;
            }
            const auto txStart = Clock::now();
            const bool ok = m_tx.ProcessWave(m_stimulus.data(), samples, m_txClockTimes.Data());
            txSeconds = SecondsSince(txStart);
            m_txGetWaveSeconds += txSeconds;
            if (!ok) {
                error = m_result.tx.description.modelName + " AMI_GetWave failed at bit " + std::to_string(first);
                return false;
            }
            if (m_txClockTimes.GuardTouched()) {
                error = m_result.tx.description.modelName + " AMI_GetWave wrote beyond the " +
                        std::to_string(m_txClockTimes.Room()) + " clock_times entries it was given";
                return false;
            }
            if (!AllFinite(m_stimulus.data(), m_stimulus.size())) {
                error = m_result.tx.description.modelName + " AMI_GetWave returned samples that are not finite at bit " +
                        std::to_string(first);
                return false;
            }
        }
        m_channel->Push(m_stimulus.data(), m_stimulus.size());
        m_stimulusSeconds += SecondsSince(start) - txSeconds;
    }
    return true;
}

void BlockPipeline::ProduceBlock(Block& block) {
    const auto start = Clock::now();
    // FeedChannel has pushed the input this needs.
    if (!m_channel->Pull(block.wave.data(), block.wave.size())) {
        m_channelStarved = true;
    }
    AddAggressors(block);
    // The receiver's input noise comes on top of the crosstalk.
    if (m_noise) m_noise->AddTo(block.wave.data(), block.wave.size());
    block.clocks.clear();
    m_channelSeconds += SecondsSince(start);
}

void BlockPipeline::AddAggressors(Block& block) {
    const size_t spui = size_t(m_settings.samplesPerUi);
    m_aggressorWave.resize(block.wave.size());
    for (Aggressor& aggressor : m_aggressors) {
        while (aggressor.path->InputWanted(block.wave.size()) > 0) {
            const size_t count = std::min(m_settings.bitsPerCall, aggressor.bits.size() - aggressor.nextBit);
            m_stimulusLevels.resize(count * spui);
            for (size_t bit = 0; bit < count; ++bit) {
                std::fill_n(m_stimulusLevels.begin() + long(bit * spui), spui,
                            aggressor.bits[aggressor.nextBit + bit] ? 0.5 : -0.5);
            }
            aggressor.nextBit += count;
            aggressor.path->Push(m_stimulusLevels.data(), m_stimulusLevels.size());
        }
        if (!aggressor.path->Pull(m_aggressorWave.data(), m_aggressorWave.size())) {
            m_channelStarved = true;
            continue;
        }
        for (size_t i = 0; i < block.wave.size(); ++i) {
            block.wave[i] += m_aggressorWave[i];
            aggressor.largest = std::max(aggressor.largest, std::fabs(m_aggressorWave[i]));
        }
    }
}

void BlockPipeline::AnalyseBlock(const Block& block) {
    const auto start = Clock::now();
    const double* clocks = block.clocks.data();
    size_t clockCount = block.clocks.size();
    if (m_useHostClock) {
        // Instants to the clock times they follow, as a receiver reports them.
        const double offset = m_result.retimedOutput ? 0.0 : 0.5 * m_result.unitInterval;
        m_hostInstants.clear();
        m_hostClock->Process(block.wave.data(), block.wave.size(), m_hostInstants);
        for (double& instant : m_hostInstants) instant -= offset;
        clocks = m_hostInstants.data();
        clockCount = m_hostInstants.size();
    }
    m_analyzer.AddBlock(block.wave.data(), block.wave.size(), clocks, clockCount);
    if (m_recorder) {
        m_recorder->Add(block.firstBit * size_t(m_settings.samplesPerUi), block.wave.data(), block.wave.size(),
                        clocks, clockCount);
    }
    m_analysisSeconds += SecondsSince(start);
}

bool BlockPipeline::ReceiverGetWave(Block& block, std::string& error) {
    const long samples = long(block.wave.size());
    const size_t room = ClockTimesCapacity(samples, m_settings.samplesPerUi);
    if (!m_rxClockTimes.Prepare(room, std::numeric_limits<double>::quiet_NaN())) {
        error = "no memory for the receiver's clock_times";
        return false;
    }
    const double* clockTimes = m_rxClockTimes.Data();
    const auto start = Clock::now();
    const bool ok = m_rx.ProcessWave(block.wave.data(), samples, m_rxClockTimes.Data());
    m_result.timing.rxGetWave += SecondsSince(start);
    const std::string& name = m_result.rx.description.modelName;
    if (!ok) {
        error = name + " AMI_GetWave failed at bit " + std::to_string(block.firstBit);
        return false;
    }
    if (!AllFinite(block.wave.data(), block.wave.size())) {
        error = name + " AMI_GetWave returned samples that are not finite at bit " + std::to_string(block.firstBit);
        return false;
    }
    if (m_rxClockTimes.GuardTouched()) {
        error = name + " AMI_GetWave wrote beyond the " + std::to_string(room) + " clock_times entries it was given";
        return false;
    }
    size_t i = 0;
    for (; i < room && clockTimes[i] >= 0.0; ++i) {
        block.clocks.push_back(clockTimes[i]);
    }
    // Times the analysis can use: in order across calls, and not after the
    // samples given so far (a time held back from an earlier call may come
    // before this call's first sample).
    const double end = double(block.firstBit * size_t(m_settings.samplesPerUi) + block.wave.size()) *
                       m_result.sampleInterval;
    for (double time : block.clocks) {
        if (!std::isfinite(time) || time <= m_lastClockTime || time > end) {
            char text[200];
            std::snprintf(text, sizeof text,
                          " AMI_GetWave gave the clock time %.6g s at bit %zu, which is not after the one before "
                          "(%.6g s) or lies beyond the samples given so far (%.6g s)",
                          time, block.firstBit, m_lastClockTime, end);
            error = name + text;
            return false;
        }
        m_lastClockTime = time;
    }
    if (!m_hostClockDecided) {
        // Decided on the first call, before its block is analysed.
        m_hostClockDecided = true;
        m_useHostClock = block.clocks.empty() && m_hostClock != nullptr;
        m_result.hostClock = m_useHostClock;
    }
    if (i == room && !m_missingTerminatorNoted) {
        m_result.notes.push_back(name + " AMI_GetWave filled clock_times without the -1.0 terminator");
        m_missingTerminatorNoted = true;
    }
    return true;
}

}  // namespace linksim
