// Causal FIR filtering of an endless stream by FFT overlap-add: the channel
// between the transmitter and the receiver.
#ifndef LINK_STREAM_CONVOLVER_H
#define LINK_STREAM_CONVOLVER_H

#include <cstddef>
#include <vector>

#include "Fft.h"

namespace linksim {

// y[n] = sum_k taps[k] x[n-k], one output sample per input sample, the state
// carried from one call to the next. Each transform takes ChunkLength()
// samples of new input; shorter calls cost as much.
class StreamConvolver {
public:
    // transformSize 0: the size that makes the filter fastest for its taps;
    // any other is raised to a power of two that holds the taps.
    explicit StreamConvolver(const std::vector<double>& taps, size_t transformSize = 0);
    StreamConvolver(const StreamConvolver&) = delete;
    StreamConvolver& operator=(const StreamConvolver&) = delete;
    void Process(const double* input, size_t count, double* output);
    // The taps that count: trailing zeros are dropped.
    size_t TapCount() const { return m_tapCount; }
    size_t TransformSize() const { return m_fft.Size(); }
    size_t ChunkLength() const { return m_segment; }

private:
    // Up to one segment of input.
    void ProcessSegment(const double* input, size_t count, double* output);

    size_t m_tapCount;
    Fft m_fft;
    size_t m_segment;                 // input samples per transform
    FftBuffer<Complex> m_tapSpectrum;  // with the inverse's 1/N folded in
    FftBuffer<double> m_signal;
    FftBuffer<Complex> m_spectrum;
    std::vector<double> m_tail;  // overlap still owed to the next outputs
};

// The same filter for a stream whose input is known ahead of its output
// (the stimulus of a whole run): input is pushed as it is produced and
// convolved a full chunk at a time, and the output is pulled in blocks of any
// length. The chunks depend only on the taps and the total length, never on
// how the blocks fall, so the output does not either.
class LookaheadConvolver {
public:
    LookaheadConvolver(const std::vector<double>& taps, size_t totalInput);

    // Input samples still to push before Pull(count) can deliver.
    size_t InputWanted(size_t count) const;
    void Push(const double* input, size_t count);
    // The next count output samples; false (and nothing delivered) while
    // InputWanted(count) is not 0 or count goes past the total.
    bool Pull(double* output, size_t count);

    const StreamConvolver& Filter() const { return m_filter; }

private:
    StreamConvolver m_filter;
    size_t m_totalInput;
    size_t m_pushed = 0;
    size_t m_delivered = 0;
    std::vector<double> m_pending;   // pushed, not convolved yet
    std::vector<double> m_ready;     // convolved, from m_readyFirst on not delivered
    size_t m_readyFirst = 0;
};

}  // namespace linksim

#endif
