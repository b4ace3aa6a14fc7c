#include "Fft.h"

#include <fftw3.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <new>

namespace linksim {

namespace {

enum class PlanKind { Forward, Inverse, ForwardReal, InverseReal };

// Every plan the process made, made on scratch arrays of FftBuffer
// alignment and executed on the caller's arrays of the same alignment.
class PlanCache {
public:
    static PlanCache& Instance() {
        static PlanCache cache;
        return cache;
    }

    fftw_plan Get(PlanKind kind, size_t size) {
        std::lock_guard<std::mutex> lock(m_mutex);
        fftw_plan& plan = m_plans[std::make_pair(kind, size)];
        if (plan == nullptr) plan = Make(kind, size);
        return plan;
    }

    ~PlanCache() {
        for (auto& entry : m_plans) fftw_destroy_plan(entry.second);
        fftw_cleanup();
    }

private:
    static fftw_plan Make(PlanKind kind, size_t size) {
        const int n = int(size);
        // FFTW_ESTIMATE leaves the arrays untouched while planning: they are
        // left unfilled, so that their pages are never touched (on a large
        // transform, filling them took longer than the planning).
        const unsigned flags = FFTW_ESTIMATE;
        const std::unique_ptr<void, void (*)(void*)> complexArray(
            fftw_malloc(sizeof(Complex) * std::max(size, size / 2 + 1)), fftw_free);
        const std::unique_ptr<void, void (*)(void*)> realArray(fftw_malloc(sizeof(double) * size), fftw_free);
        if (!complexArray || !realArray) throw std::bad_alloc();
        fftw_complex* c = static_cast<fftw_complex*>(complexArray.get());
        double* r = static_cast<double*>(realArray.get());
        switch (kind) {
            case PlanKind::Forward: return fftw_plan_dft_1d(n, c, c, FFTW_FORWARD, flags);
            case PlanKind::Inverse: return fftw_plan_dft_1d(n, c, c, FFTW_BACKWARD, flags);
            case PlanKind::ForwardReal: return fftw_plan_dft_r2c_1d(n, r, c, flags);
            case PlanKind::InverseReal: return fftw_plan_dft_c2r_1d(n, c, r, flags);
        }
        return nullptr;
    }

    std::mutex m_mutex;
    std::map<std::pair<PlanKind, size_t>, fftw_plan> m_plans;
};

fftw_complex* AsFftw(Complex* data) { return reinterpret_cast<fftw_complex*>(data); }

void RunComplex(PlanKind kind, size_t size, std::vector<Complex>& data) {
    // The caller's vector need not have FFTW's alignment: work on a copy.
    FftBuffer<Complex> work(size);
    std::copy(data.begin(), data.end(), work.data());
    fftw_execute_dft(PlanCache::Instance().Get(kind, size), AsFftw(work.data()), AsFftw(work.data()));
    std::copy(work.data(), work.data() + size, data.begin());
}

}  // namespace

template <typename T>
FftBuffer<T>::FftBuffer(size_t count)
    : m_data(count ? static_cast<T*>(fftw_malloc(sizeof(T) * count)) : nullptr), m_size(count) {
    if (count != 0 && m_data == nullptr) throw std::bad_alloc();
    std::fill(m_data.get(), m_data.get() + count, T());
}

template <typename T>
void FftBuffer<T>::Free::operator()(T* pointer) const {
    fftw_free(pointer);
}

template struct FftBuffer<double>;
template struct FftBuffer<Complex>;

size_t NextPowerOfTwo(size_t n) {
    size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

Fft::Fft(size_t size) : m_size(size) {}

void Fft::Forward(std::vector<Complex>& data) const { RunComplex(PlanKind::Forward, m_size, data); }

void Fft::Inverse(std::vector<Complex>& data) const {
    RunComplex(PlanKind::Inverse, m_size, data);
    const double scale = 1.0 / double(m_size);
    for (Complex& value : data) value *= scale;
}

void Fft::ForwardReal(FftBuffer<double>& signal, FftBuffer<Complex>& spectrum) const {
    fftw_execute_dft_r2c(PlanCache::Instance().Get(PlanKind::ForwardReal, m_size), signal.data(),
                         AsFftw(spectrum.data()));
}

void Fft::PrepareForwardReal() const { PlanCache::Instance().Get(PlanKind::ForwardReal, m_size); }

void Fft::InverseReal(FftBuffer<Complex>& spectrum, FftBuffer<double>& signal) const {
    fftw_execute_dft_c2r(PlanCache::Instance().Get(PlanKind::InverseReal, m_size), AsFftw(spectrum.data()),
                         signal.data());
}

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || b.empty()) return {};
    const size_t length = a.size() + b.size() - 1;
    const size_t n = NextPowerOfTwo(length);
    const Fft fft(n);
    FftBuffer<double> signalA(n), signalB(n);
    std::copy(a.begin(), a.end(), signalA.data());
    std::copy(b.begin(), b.end(), signalB.data());
    FftBuffer<Complex> spectrumA(n / 2 + 1), spectrumB(n / 2 + 1);
    fft.ForwardReal(signalA, spectrumA);
    fft.ForwardReal(signalB, spectrumB);
    const double scale = 1.0 / double(n);
    for (size_t k = 0; k < n / 2 + 1; ++k) spectrumA[k] *= spectrumB[k] * scale;
    fft.InverseReal(spectrumA, signalA);
    return std::vector<double>(signalA.data(), signalA.data() + length);
}

}  // namespace linksim
