#include "Fft.h"

#include <algorithm>
#include <cmath>

namespace linksim {

size_t NextPowerOfTwo(size_t n) {
    size_t power = 1;
    while (power < n) {
        power <<= 1;
    }
    return power;
}

Fft::Fft(size_t size) : m_size(NextPowerOfTwo(size)), m_bitReversed(m_size), m_twiddles(m_size / 2) {
    int bits = 0;
    while ((size_t(1) << bits) < m_size) {
        ++bits;
    }
    for (size_t i = 0; i < m_size; ++i) {
        size_t reversed = 0;
        for (int b = 0; b < bits; ++b) {
            if (i & (size_t(1) << b)) {
                reversed |= size_t(1) << (bits - 1 - b);
            }
        }
        m_bitReversed[i] = reversed;
    }
    const double pi = 3.14159265358979323846;
    for (size_t k = 0; k < m_twiddles.size(); ++k) {
        const double angle = -2.0 * pi * double(k) / double(m_size);
        m_twiddles[k] = Complex(std::cos(angle), std::sin(angle));
    }
}

void Fft::Forward(std::vector<Complex>& data) const { Transform(data, false); }

void Fft::Inverse(std::vector<Complex>& data) const {
    Transform(data, true);
    const double scale = 1.0 / double(m_size);
    for (Complex& value : data) {
        value *= scale;
    }
}

void Fft::Transform(std::vector<Complex>& data, bool inverse) const {
    for (size_t i = 0; i < m_size; ++i) {
        const size_t j = m_bitReversed[i];
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (size_t half = 1; half < m_size; half <<= 1) {
        const size_t stride = m_size / (2 * half);
        for (size_t start = 0; start < m_size; start += 2 * half) {
            for (size_t k = 0; k < half; ++k) {
                Complex w = m_twiddles[k * stride];
                if (inverse) {
                    w = std::conj(w);
                }
                const Complex odd = w * data[start + k + half];
                data[start + k + half] = data[start + k] - odd;
                data[start + k] += odd;
            }
        }
    }
}

namespace {
// Below this many multiply-adds the direct sum is faster than three FFTs.
const size_t kDirectConvolutionLimit = 1 << 16;
}  // namespace

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || b.empty()) {
        return {};
    }
    const size_t length = a.size() + b.size() - 1;
    std::vector<double> result(length, 0.0);
    if (a.size() * b.size() <= kDirectConvolutionLimit) {
        for (size_t i = 0; i < a.size(); ++i) {
            for (size_t j = 0; j < b.size(); ++j) {
                result[i + j] += a[i] * b[j];
            }
        }
        return result;
    }
    // Both real inputs travel in one complex transform: a in the real part,
    // b in the imaginary part; their spectra are separated by symmetry.
    Fft fft(length);
    const size_t n = fft.Size();
    std::vector<Complex> packed(n, Complex(0.0, 0.0));
    for (size_t i = 0; i < a.size(); ++i) packed[i].real(a[i]);
    for (size_t i = 0; i < b.size(); ++i) packed[i].imag(b[i]);
    fft.Forward(packed);
    std::vector<Complex> product(n);
    for (size_t k = 0; k < n; ++k) {
        const Complex z = packed[k];
        const Complex zMirror = std::conj(packed[(n - k) % n]);
        const Complex spectrumA = 0.5 * (z + zMirror);
        const Complex spectrumB = Complex(0.0, -0.5) * (z - zMirror);
        product[k] = spectrumA * spectrumB;
    }
    fft.Inverse(product);
    for (size_t i = 0; i < length; ++i) {
        result[i] = product[i].real();
    }
    return result;
}

StreamConvolver::StreamConvolver(const std::vector<double>& taps, size_t typicalBlock)
    : m_tapCount(std::max<size_t>(taps.size(), 1)),
      m_segment(std::max<size_t>((typicalBlock + 1) / 2, std::max<size_t>(m_tapCount, 256))),
      m_fft(m_segment + m_tapCount - 1),
      m_tapSpectrum(m_fft.Size(), Complex(0.0, 0.0)),
      m_work(m_fft.Size()),
      m_tail(m_tapCount - 1, 0.0) {
    // The transform is a power of two: let each segment use all of it.
    m_segment = m_fft.Size() - (m_tapCount - 1);
    m_sum.resize(2 * m_segment + m_tapCount - 1);
    for (size_t i = 0; i < taps.size(); ++i) {
        m_tapSpectrum[i] = Complex(taps[i], 0.0);
    }
    m_fft.Forward(m_tapSpectrum);
    const double scale = 1.0 / double(m_fft.Size());
    for (Complex& value : m_tapSpectrum) value *= scale;
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
    for (size_t i = 0; i < n; ++i) {
        m_work[i] = Complex(i < first ? input[i] : 0.0, i < second ? input[first + i] : 0.0);
    }
    m_fft.Forward(m_work);
    for (size_t k = 0; k < n; ++k) {
        m_work[k] *= m_tapSpectrum[k];
    }
    m_fft.InverseUnscaled(m_work);
    // The taps are real, so the two segments' responses come back apart: the
    // first in the real part, the second (first samples later) in the
    // imaginary part. Each spans its length plus taps - 1 samples.
    const size_t overlap = m_tail.size();
    const size_t span = count + overlap;
    std::fill(m_sum.begin(), m_sum.begin() + long(span), 0.0);
    for (size_t i = 0; i < overlap; ++i) m_sum[i] = m_tail[i];
    for (size_t i = 0; i < first + overlap; ++i) m_sum[i] += m_work[i].real();
    if (second > 0) {
        for (size_t i = 0; i < second + overlap; ++i) m_sum[first + i] += m_work[i].imag();
    }
    std::copy(m_sum.begin(), m_sum.begin() + long(count), output);
    std::copy(m_sum.begin() + long(count), m_sum.begin() + long(span), m_tail.begin());
}

}  // namespace linksim
