// Discrete Fourier transforms through FFTW, and the whole-signal convolution
// built on them: every long convolution of the host goes through a
// transform of any size.
//
// Plans are made once per size and kind for the whole process, with
// FFTW_ESTIMATE: the planner then chooses from the size alone, never from a
// timing, so a run's output bits do not depend on how busy the machine was.
// Executing a plan is safe from several threads; making one is serialised.
#ifndef LINK_FFT_H
#define LINK_FFT_H

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace linksim {

typedef std::complex<double> Complex;

// Smallest power of two that is >= n (1 for n = 0).
size_t NextPowerOfTwo(size_t n);

// Memory aligned the way FFTW's plans expect it.
template <typename T>
struct FftBuffer {
    explicit FftBuffer(size_t count = 0);
    T* data() { return m_data.get(); }
    const T* data() const { return m_data.get(); }
    T& operator[](size_t i) { return m_data.get()[i]; }
    const T& operator[](size_t i) const { return m_data.get()[i]; }
    size_t size() const { return m_size; }

private:
    struct Free {
        void operator()(T* pointer) const;
    };
    std::unique_ptr<T, Free> m_data;
    size_t m_size = 0;
};

// Transforms of one fixed size (any size). Callers pass FftBuffer memory.
class Fft {
public:
    explicit Fft(size_t size);
    size_t Size() const { return m_size; }

    // X[k] = sum_n x[n] exp(-2 pi i k n / N), in place; data.size() == Size().
    void Forward(std::vector<Complex>& data) const;
    // The inverse, including the 1/N factor.
    void Inverse(std::vector<Complex>& data) const;

    // Size() real samples to the Size() / 2 + 1 bins of their spectrum.
    void ForwardReal(FftBuffer<double>& signal, FftBuffer<Complex>& spectrum) const;
    // The inverse without the 1/N factor; spectrum is overwritten.
    void InverseReal(FftBuffer<Complex>& spectrum, FftBuffer<double>& signal) const;
    // Plans ForwardReal now, where a core is idle, rather than at its first
    // call; the plans are shared by every thread.
    void PrepareForwardReal() const;

private:
    size_t m_size;
};

// Full linear convolution (length a + b - 1; empty if either is empty).
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace linksim

#endif
