#include "DotProduct.h"

#include <cstdint>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The wider path is compiled for its own instruction set inside a baseline
// build and taken only when the processor and the system support it. GCC's
// Windows targets do not align the stack for 32-byte spills, so the Windows
// libraries keep to the baseline path.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define TESSEL_DOT_PRODUCT_AVX2 1
#include <immintrin.h>
#else
#define TESSEL_DOT_PRODUCT_AVX2 0
#endif

namespace Tessel {

namespace {

const size_t kLanes = 8;

typedef double (*DotProductFunction)(const double*, const double*, size_t);

// The lanes added in their increasing j beyond the whole blocks, and the
// fixed tree that combines them: shared by every path.
double FinishLanes(const double* newest, const double* taps, size_t count, double (&lane)[kLanes]) {
    for (size_t j = count / kLanes * kLanes, l = 0; j < count; ++j, ++l) {
        lane[l] += *(newest - j) * taps[j];
    }
    return ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
}

double PlainDotProduct(const double* newest, const double* taps, size_t count) {
    double lane[kLanes] = {};
    const size_t whole = count / kLanes * kLanes;
    for (size_t first = 0; first < whole; first += kLanes) {
        for (size_t l = 0; l < kLanes; ++l) {
            lane[l] += *(newest - (first + l)) * taps[first + l];
        }
    }
    return FinishLanes(newest, taps, count, lane);
}

#if defined(__SSE2__)
// The tap pairs of a block, read with aligned loads where the taps allow it:
// an aligned load can be folded into the multiplication, one instruction
// fewer per pair. Both loads read the same values.
struct AlignedTaps {
    static __m128d Load(const double* t) { return _mm_load_pd(t); }
};
struct UnalignedTaps {
    static __m128d Load(const double* t) { return _mm_loadu_pd(t); }
};

// Two lanes per register. A pair of samples is loaded from its lower
// address and swapped, so that each lane meets its own tap.
template <class TapLoad>
void Sse2WholeBlocks(const double* newest, const double* taps, size_t blocks, double (&lane)[kLanes]) {
    __m128d sums01 = _mm_setzero_pd();
    __m128d sums23 = _mm_setzero_pd();
    __m128d sums45 = _mm_setzero_pd();
    __m128d sums67 = _mm_setzero_pd();
    for (size_t block = 0, j = 0; block < blocks; ++block, j += kLanes) {
        const double* x = newest - j;
        const double* t = taps + j;
        const __m128d x10 = _mm_loadu_pd(x - 1);
        const __m128d x32 = _mm_loadu_pd(x - 3);
        const __m128d x54 = _mm_loadu_pd(x - 5);
        const __m128d x76 = _mm_loadu_pd(x - 7);
        sums01 = _mm_add_pd(sums01, _mm_mul_pd(_mm_shuffle_pd(x10, x10, 1), TapLoad::Load(t + 0)));
        sums23 = _mm_add_pd(sums23, _mm_mul_pd(_mm_shuffle_pd(x32, x32, 1), TapLoad::Load(t + 2)));
        sums45 = _mm_add_pd(sums45, _mm_mul_pd(_mm_shuffle_pd(x54, x54, 1), TapLoad::Load(t + 4)));
        sums67 = _mm_add_pd(sums67, _mm_mul_pd(_mm_shuffle_pd(x76, x76, 1), TapLoad::Load(t + 6)));
    }
    _mm_storeu_pd(lane + 0, sums01);
    _mm_storeu_pd(lane + 2, sums23);
    _mm_storeu_pd(lane + 4, sums45);
    _mm_storeu_pd(lane + 6, sums67);
}

double Sse2DotProduct(const double* newest, const double* taps, size_t count) {
    double lane[kLanes] = {};
    const size_t blocks = count / kLanes;
    if (reinterpret_cast<std::uintptr_t>(taps) % sizeof(__m128d) == 0) {
        Sse2WholeBlocks<AlignedTaps>(newest, taps, blocks, lane);
    } else {
        Sse2WholeBlocks<UnalignedTaps>(newest, taps, blocks, lane);
    }
    return FinishLanes(newest, taps, count, lane);
}
#endif

#if TESSEL_DOT_PRODUCT_AVX2
// Four lanes per register: four samples are loaded from their lowest
// address and reversed, so that each lane meets its own tap. Multiply and
// add stay two instructions: "avx2" alone does not allow the compiler to
// fuse them.
__attribute__((target("avx2"))) double Avx2DotProduct(const double* newest, const double* taps, size_t count) {
    __m256d sums0123 = _mm256_setzero_pd();
    __m256d sums4567 = _mm256_setzero_pd();
    const size_t blocks = count / kLanes;
    for (size_t block = 0, j = 0; block < blocks; ++block, j += kLanes) {
        const double* x = newest - j;
        const double* t = taps + j;
        const __m256d x3210 = _mm256_permute4x64_pd(_mm256_loadu_pd(x - 3), 0x1b);
        const __m256d x7654 = _mm256_permute4x64_pd(_mm256_loadu_pd(x - 7), 0x1b);
        sums0123 = _mm256_add_pd(sums0123, _mm256_mul_pd(x3210, _mm256_loadu_pd(t + 0)));
        sums4567 = _mm256_add_pd(sums4567, _mm256_mul_pd(x7654, _mm256_loadu_pd(t + 4)));
    }
    double lane[kLanes];
    _mm256_storeu_pd(lane + 0, sums0123);
    _mm256_storeu_pd(lane + 4, sums4567);
    return FinishLanes(newest, taps, count, lane);
}

bool ProcessorHasAvx2() {
    // Also true only when the system saves the wide registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

DotProductFunction FunctionOf(DotProductPath path) {
    switch (path) {
#if TESSEL_DOT_PRODUCT_AVX2
        case DotProductPath::Avx2:
            return &Avx2DotProduct;
#endif
#if defined(__SSE2__)
        case DotProductPath::Sse2:
            return &Sse2DotProduct;
#endif
        case DotProductPath::Plain:
            return &PlainDotProduct;
        default:
            return nullptr;
    }
}

DotProductPath FastestAvailablePath() {
    for (DotProductPath path : {DotProductPath::Avx2, DotProductPath::Sse2}) {
        if (DotProductPathAvailable(path)) {
            return path;
        }
    }
    return DotProductPath::Plain;
}

DotProductFunction ChosenFunction() {
    static const DotProductFunction chosen = FunctionOf(FastestAvailablePath());
    return chosen;
}

}  // namespace

bool DotProductPathAvailable(DotProductPath path) {
    switch (path) {
        case DotProductPath::Plain:
            return true;
        case DotProductPath::Sse2:
#if defined(__SSE2__)
            return true;
#else
            return false;
#endif
        case DotProductPath::Avx2:
#if TESSEL_DOT_PRODUCT_AVX2
            return ProcessorHasAvx2();
#else
            return false;
#endif
    }
    return false;
}

DotProductPath ChosenDotProductPath() {
    const DotProductFunction chosen = ChosenFunction();
    for (DotProductPath path : {DotProductPath::Avx2, DotProductPath::Sse2}) {
        if (DotProductPathAvailable(path) && FunctionOf(path) == chosen) {
            return path;
        }
    }
    return DotProductPath::Plain;
}

double BlockedDotProduct(const double* newest, const double* taps, size_t count) {
    return ChosenFunction()(newest, taps, count);
}

double BlockedDotProductOn(DotProductPath path, const double* newest, const double* taps, size_t count) {
    const DotProductFunction function = DotProductPathAvailable(path) ? FunctionOf(path) : nullptr;
    return function != nullptr ? function(newest, taps, count) : PlainDotProduct(newest, taps, count);
}

}  // namespace Tessel
