// Fast Fourier transform and the whole-signal convolution built on it: the
// host must not be what a user waits for, so every long convolution goes
// through an FFT.
#ifndef LINK_FFT_H
#define LINK_FFT_H

#include <complex>
#include <cstddef>
#include <vector>

namespace linksim {

typedef std::complex<double> Complex;

// Smallest power of two that is >= n (1 for n = 0).
size_t NextPowerOfTwo(size_t n);

// Transforms of one fixed power-of-two size, radix 4 (with one radix-2 pass
// when the size is an odd power of two), on separate arrays of real and
// imaginary parts so that the butterflies run over contiguous memory.
//
// A convolution does not need the spectrum in natural order: the forward
// transform by decimation in frequency leaves it bit-reversed, and the
// inverse by decimation in time takes it so, which saves both reorderings.
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
    void InverseUnscaled(std::vector<Complex>& data) const;

    // In place on Size() real and imaginary parts: the forward transform,
    // leaving bin k at position BitReversed(k).
    void ForwardToBitReversed(double* re, double* im) const;
    // The inverse (without 1/N) of a spectrum in bit-reversed order, leaving
    // the signal in natural order.
    void InverseFromBitReversed(double* re, double* im) const;
    size_t BitReversed(size_t index) const { return m_bitReversed[index]; }

private:
    // One radix-4 pass over groups of 4 * quarter points; its twiddles
    // w^k, w^2k, w^3k (w = exp(-2 pi i / (4 quarter))) for k < quarter lie in
    // m_twiddles from offset on, as six arrays: real and imaginary parts of
    // each power.
    struct Radix4Pass {
        size_t quarter;
        size_t offset;
    };

    void Transform(std::vector<Complex>& data, bool inverse) const;

    size_t m_size;
    bool m_radix2Pass;  // the size is an odd power of two
    std::vector<Radix4Pass> m_passes;  // in the forward transform's order
    std::vector<double> m_twiddles;
    std::vector<size_t> m_bitReversed;
};

// Full linear convolution (length a + b - 1; empty if either is empty).
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace linksim

#endif
