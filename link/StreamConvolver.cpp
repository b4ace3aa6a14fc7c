#include "StreamConvolver.h"

#include <algorithm>

namespace linksim {

namespace {

// Work of one output sample is about N (log2 N + kPointwiseCost) / (N - taps
// + 1) for a transform of N: the transform should be long enough that most
// of it is new input and no longer, since beyond that the gain is small and
// the data no longer fit the processor's cache.
const double kPointwiseCost = 4.0;
const size_t kSmallestTransform = 256;
const size_t kLargestPreferredTransform = size_t(1) << 15;

double Log2(size_t powerOfTwo) {
    double bits = 0.0;
    while (powerOfTwo > 1) {
        powerOfTwo >>= 1;
        bits += 1.0;
    }
    return bits;
}

size_t ChooseTransformSize(size_t taps) {
    const size_t first = std::max(NextPowerOfTwo(2 * taps), kSmallestTransform);
    const size_t last = std::max(first, kLargestPreferredTransform);
    size_t best = first;
    double bestCost = 0.0;
    for (size_t n = first; n <= last; n <<= 1) {
        const double cost = double(n) * (Log2(n) + kPointwiseCost) / double(n - taps + 1);
        if (n == first || cost < bestCost) {
            best = n;
            bestCost = cost;
        }
    }
    return best;
}

// The four arrays of a transform's length start this many doubles apart
// beyond their length: power-of-two distances between arrays that are read
// together would put them all in the same few cache sets.
const size_t kArrayStagger = 24;

size_t SignificantLength(const std::vector<double>& taps) {
    size_t length = taps.size();
    while (length > 1 && taps[length - 1] == 0.0) --length;
    return std::max<size_t>(length, 1);
}

}  // namespace

StreamConvolver::StreamConvolver(const std::vector<double>& taps, size_t transformSize)
    : m_tapCount(SignificantLength(taps)),
      m_fft(transformSize ? std::max(transformSize, NextPowerOfTwo(m_tapCount + 1)) : ChooseTransformSize(m_tapCount)),
      m_segment(m_fft.Size() - (m_tapCount - 1)),
      m_arrays(4 * m_fft.Size() + 10 * kArrayStagger, 0.0),
      m_tapRe(m_arrays.data()),
      m_tapIm(m_tapRe + m_fft.Size() + kArrayStagger),
      m_workRe(m_tapIm + m_fft.Size() + 2 * kArrayStagger),
      m_workIm(m_workRe + m_fft.Size() + 3 * kArrayStagger),
      m_sum(2 * m_segment + m_tapCount - 1),
      m_tail(m_tapCount - 1, 0.0) {
    const size_t n = m_fft.Size();
    for (size_t i = 0; i < std::min(m_tapCount, taps.size()); ++i) m_tapRe[i] = taps[i];
    m_fft.ForwardToBitReversed(m_tapRe, m_tapIm);
    const double scale = 1.0 / double(n);
    for (size_t k = 0; k < n; ++k) {
        m_tapRe[k] *= scale;
        m_tapIm[k] *= scale;
    }
}

void StreamConvolver::Process(const double* input, size_t count, double* output) {
    size_t done = 0;
    while (done < count) {
        const size_t chunk = std::min(2 * m_segment, count - done);
        ProcessPair(input + done, chunk, output + done);
        done += chunk;
    }
}

void StreamConvolver::ProcessPair(const double* input, size_t count, double* output) {
    const size_t n = m_fft.Size();
    const size_t first = std::min(count, m_segment);
    const size_t second = count - first;
    double* re = m_workRe;
    double* im = m_workIm;
    std::copy(input, input + first, re);
    std::fill(re + first, re + n, 0.0);
    std::copy(input + first, input + count, im);
    std::fill(im + second, im + n, 0.0);
    m_fft.ForwardToBitReversed(re, im);
    const double* tapRe = m_tapRe;
    const double* tapIm = m_tapIm;
    for (size_t k = 0; k < n; ++k) {
        const double zr = re[k], zi = im[k];
        re[k] = zr * tapRe[k] - zi * tapIm[k];
        im[k] = zr * tapIm[k] + zi * tapRe[k];
    }
    m_fft.InverseFromBitReversed(re, im);
    // The taps are real, so the two segments' responses come back apart: the
    // first in the real part, the second (first samples later) in the
    // imaginary part. Each spans its length plus taps - 1 samples.
    const size_t overlap = m_tail.size();
    const size_t span = count + overlap;
    std::copy(m_tail.begin(), m_tail.end(), m_sum.begin());
    std::fill(m_sum.begin() + long(overlap), m_sum.begin() + long(span), 0.0);
    for (size_t i = 0; i < first + overlap; ++i) m_sum[i] += re[i];
    if (second > 0) {
        for (size_t i = 0; i < second + overlap; ++i) m_sum[first + i] += im[i];
    }
    std::copy(m_sum.begin(), m_sum.begin() + long(count), output);
    std::copy(m_sum.begin() + long(count), m_sum.begin() + long(span), m_tail.begin());
}

LookaheadConvolver::LookaheadConvolver(const std::vector<double>& taps, size_t totalInput)
    : m_filter(taps), m_totalInput(totalInput) {}

size_t LookaheadConvolver::InputWanted(size_t count) const {
    const size_t chunk = m_filter.ChunkLength();
    const size_t outputEnd = std::min(m_delivered + count, m_totalInput);
    const size_t needed = std::min(m_totalInput, (outputEnd + chunk - 1) / chunk * chunk);
    return needed > m_pushed ? needed - m_pushed : 0;
}

void LookaheadConvolver::Push(const double* input, size_t count) {
    m_pending.insert(m_pending.end(), input, input + count);
    m_pushed += count;
}

bool LookaheadConvolver::Pull(double* output, size_t count) {
    if (InputWanted(count) > 0 || m_delivered + count > m_totalInput) {
        return false;
    }
    m_ready.erase(m_ready.begin(), m_ready.begin() + long(m_readyFirst));
    m_readyFirst = 0;
    while (m_ready.size() < count) {
        const size_t convolved = m_delivered + m_ready.size();
        const size_t length = std::min(m_filter.ChunkLength(), m_totalInput - convolved);
        const size_t start = m_ready.size();
        m_ready.resize(start + length);
        m_filter.Process(m_pending.data(), length, m_ready.data() + start);
        m_pending.erase(m_pending.begin(), m_pending.begin() + long(length));
    }
    std::copy(m_ready.begin(), m_ready.begin() + long(count), output);
    m_readyFirst = count;
    m_delivered += count;
    return true;
}

}  // namespace linksim
