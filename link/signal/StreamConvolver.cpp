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

size_t SignificantLength(const std::vector<double>& taps) {
    size_t length = taps.size();
    while (length > 1 && taps[length - 1] == 0.0) --length;
    return std::max<size_t>(length, 1);
}

}  // namespace

StreamConvolver::StreamConvolver(const std::vector<double>& taps, size_t transformSize)
    : m_tapCount(SignificantLength(taps)),
      m_fft(transformSize ? std::max(NextPowerOfTwo(transformSize), NextPowerOfTwo(m_tapCount + 1))
                          : ChooseTransformSize(m_tapCount)),
      m_segment(m_fft.Size() - (m_tapCount - 1)),
      m_tapSpectrum(m_fft.Size() / 2 + 1),
      m_signal(m_fft.Size()),
      m_spectrum(m_fft.Size() / 2 + 1),
      m_tail(m_tapCount - 1, 0.0) {
    std::copy(taps.begin(), taps.begin() + long(std::min(m_tapCount, taps.size())), m_signal.data());
    m_fft.ForwardReal(m_signal, m_tapSpectrum);
    const double scale = 1.0 / double(m_fft.Size());
    for (size_t k = 0; k < m_tapSpectrum.size(); ++k) m_tapSpectrum[k] *= scale;
}

void StreamConvolver::Process(const double* input, size_t count, double* output) {
    size_t done = 0;
    while (done < count) {
        const size_t chunk = std::min(m_segment, count - done);
        ProcessSegment(input + done, chunk, output + done);
        done += chunk;
    }
}

void StreamConvolver::ProcessSegment(const double* input, size_t count, double* output) {
    const size_t n = m_fft.Size();
    double* signal = m_signal.data();
    std::copy(input, input + count, signal);
    std::fill(signal + count, signal + n, 0.0);
    m_fft.ForwardReal(m_signal, m_spectrum);
    for (size_t k = 0; k < m_spectrum.size(); ++k) m_spectrum[k] *= m_tapSpectrum[k];
    m_fft.InverseReal(m_spectrum, m_signal);
    // The segment's response spans count + taps - 1 samples: the first count
    // go out with what earlier segments still owed them, the rest is owed on.
    const size_t overlap = m_tail.size();
    for (size_t i = 0; i < count; ++i) output[i] = signal[i] + (i < overlap ? m_tail[i] : 0.0);
    for (size_t i = 0; i < overlap; ++i) {
        m_tail[i] = signal[count + i] + (i + count < overlap ? m_tail[i + count] : 0.0);
    }
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
