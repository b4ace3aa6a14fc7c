// The jitter of the edges at the receiver's output, split as the field
// splits it. Each edge's time-interval error (TIE) is taken against two
// references: the recovered clock (the edges are due at its clock times),
// which hides what the clock follows, and the data's own grid, which shows
// all of it. Against each:
//  - the total jitter at a target rate, from tail fits of all the TIE;
//  - data-dependent jitter: the mean TIE of the edges after each pattern
//    of preceding bits; the spread of those means within each edge
//    direction is the ISI, the rising edges' mean less the falling edges'
//    the duty-cycle distortion, and their whole spread the DDJ;
//  - periodic jitter: the spectral lines of what the patterns leave,
//    fitted as sinusoids at the edges' times; its peak to peak is that of
//    their sum;
//  - what remains after both, fitted as a dual Dirac: the peaks' distance
//    is the bounded uncorrelated jitter, the tails' sigma the random jitter.
#ifndef LINK_ANALYSIS_JITTER_BREAKDOWN_H
#define LINK_ANALYSIS_JITTER_BREAKDOWN_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace linksim {

struct JitterInput {
    double unitInterval = 0.0;
    double sampleInterval = 0.0;
    double threshold = 0.0;
    // The receiver's output from waveStart on, one value per sampleInterval;
    // edges before measureFrom are left out.
    double waveStart = 0.0;
    const std::vector<float>* wave = nullptr;
    double measureFrom = 0.0;
    // The clock's times (the edges are due at them); empty: no clock.
    const std::vector<double>* clockTimes = nullptr;
    // A time on the data's grid, in bits.
    std::function<double(double)> dataUiAt;
    // The transmitted bits, and how far behind them the output may lag;
    // where the decisions were lined up with them already, at what latency
    // (-1: not known), near which the edges' latency is sought.
    const std::vector<int>* bits = nullptr;
    size_t maxLatencyBits = 0;
    long latencyHintBits = -1;
    double targetBer = 1e-12;
};

struct JitterLine {
    double hertz = 0.0;
    double peakToPeak = 0.0;  // seconds
};

// One reference's breakdown, in seconds.
struct JitterComponents {
    bool known = false;
    double rms = 0.0;  // of all the TIE
    double total = 0.0;  // at the target rate
    bool patternsKnown = false;  // false: the edges could not be tied to the bits before them
    double ddj = 0.0;
    double isi = 0.0;
    double dcd = 0.0;
    double pj = 0.0;
    std::vector<JitterLine> lines;  // strongest first
    double buj = 0.0;
    double rj = 0.0;
    // For the picture: the TIE's histogram and the amplitude spectrum
    // (peak, seconds) of what the patterns leave.
    std::vector<double> histogramSeconds;
    std::vector<double> histogramCounts;
    std::vector<double> spectrumHertz;
    std::vector<double> spectrumSeconds;
};

struct JitterBreakdown {
    bool known = false;
    std::string why;  // when not known
    size_t edges = 0;
    size_t patternBits = 0;  // bits of the patterns the edges are averaged by, the edge's new bit included
    double targetBer = 0.0;
    JitterComponents againstClock;  // not known without clock times
    JitterComponents againstGrid;
    double seconds = 0.0;  // the breakdown's own time, the edges' finding included by its caller
};

// The output's edges: threshold crossings with hysteresis, each at the last
// crossing before the output moved clear of the threshold on the other
// side, so that noise recrossing it nearby makes one edge, not several.
// The only part that reads the output, so that the rest can run beside
// what takes the output over.
struct OutputEdge {
    double time = 0.0;
    bool rising = false;
};
std::vector<OutputEdge> FindOutputEdges(const JitterInput& input);

// The breakdown of those edges; input.wave is not read.
JitterBreakdown BreakDownJitter(const JitterInput& input, const std::vector<OutputEdge>& edges);

// Plans the transform the breakdown's spectrum of about `unitIntervals`
// will take, ahead of it: planning takes milliseconds that a run can spend
// on an idle core while the receiver runs, rather than after it.
void PrepareJitterSpectrum(size_t unitIntervals);

}  // namespace linksim

#endif
