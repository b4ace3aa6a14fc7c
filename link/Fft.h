// Fast Fourier transform and the convolutions built on it: the host must not
// be what a user waits for, so every long convolution goes through an FFT.
#ifndef LINK_FFT_H
#define LINK_FFT_H

#include <complex>
#include <cstddef>
#include <vector>

namespace linksim {

typedef std::complex<double> Complex;

// Smallest power of two that is >= n (1 for n = 0).
size_t NextPowerOfTwo(size_t n);

// Iterative radix-2 transform of one fixed power-of-two size, with its
// twiddle factors and bit-reversal table computed once.
class Fft {
public:
    explicit Fft(size_t size);
    size_t Size() const { return m_size; }
    // X[k] = sum_n x[n] exp(-2 pi i k n / N), in place; data.size() == Size().
    void Forward(std::vector<Complex>& data) const;
    // The inverse, including the 1/N factor.
    void Inverse(std::vector<Complex>& data) const;
    // The inverse without the 1/N factor, for callers that fold it in
    // elsewhere.
    void InverseUnscaled(std::vector<Complex>& data) const { Transform(data, true); }

private:
    void Transform(std::vector<Complex>& data, bool inverse) const;

    size_t m_size;
    std::vector<size_t> m_bitReversed;
    std::vector<Complex> m_twiddles;  // exp(-2 pi i k / N), k < N/2
};

// Full linear convolution (length a + b - 1; empty if either is empty).
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b);

// Causal FIR filtering of an endless stream in blocks of any length by
// overlap-add: y[n] = sum_k taps[k] x[n-k], one output sample per input
// sample, the state carried from one call to the next. Two consecutive
// segments of real input share one complex transform (one in the real
// part, one in the imaginary part), which halves the work.
class StreamConvolver {
public:
    // typicalBlock sizes the transform; calls may pass any length.
    StreamConvolver(const std::vector<double>& taps, size_t typicalBlock);
    void Process(const double* input, size_t count, double* output);
    size_t TapCount() const { return m_tapCount; }

private:
    // Up to two segments of input at once.
    void ProcessPair(const double* input, size_t count, double* output);

    size_t m_tapCount;
    size_t m_segment;  // input samples per half of a transform
    Fft m_fft;
    std::vector<Complex> m_tapSpectrum;  // includes the inverse's 1/N
    std::vector<Complex> m_work;
    std::vector<double> m_sum;   // the pair's response plus what is owed
    std::vector<double> m_tail;  // overlap still owed to the next outputs
};

}  // namespace linksim

#endif
