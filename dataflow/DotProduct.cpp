#include "DotProduct.h"

#include <atomic>
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

// Sample j of the sum: backwards through memory from the newest sample, or
// forwards from it where the samples are stored newest first.
template <bool Backward>
const double& SampleAt(const double* newest, size_t j) {
    return Backward ? *(newest - j) : newest[j];
}

// The lanes added in their increasing j beyond the whole blocks, and the
// fixed tree that combines them: shared by every path.
template <bool Backward>
double FinishLanes(const double* newest, const double* taps, size_t count, double (&lane)[kLanes]) {
    for (size_t j = count / kLanes * kLanes, l = 0; j < count; ++j, ++l) {
        lane[l] += SampleAt<Backward>(newest, j) * taps[j];
    }
    return ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
}

template <bool Backward>
double PlainDotProduct(const double* newest, const double* taps, size_t count) {
    double lane[kLanes] = {};
    const size_t whole = count / kLanes * kLanes;
    for (size_t first = 0; first < whole; first += kLanes) {
        for (size_t l = 0; l < kLanes; ++l) {
            lane[l] += SampleAt<Backward>(newest, first + l) * taps[first + l];
        }
    }
    return FinishLanes<Backward>(newest, taps, count, lane);
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

// Samples j and j + 1 in one register, sample j in the lower half: stored
// backwards, the pair is loaded from its lower address and swapped.
template <bool Backward>
__m128d Sse2SamplePair(const double* newest, size_t j) {
    if (Backward) {
        const __m128d pair = _mm_loadu_pd(newest - j - 1);
        return _mm_shuffle_pd(pair, pair, 1);
    }
    return _mm_loadu_pd(newest + j);
}

// Two lanes per register.
template <bool Backward, class TapLoad>
void Sse2WholeBlocks(const double* newest, const double* taps, size_t blocks, double (&lane)[kLanes]) {
    __m128d sums01 = _mm_setzero_pd();
    __m128d sums23 = _mm_setzero_pd();
    __m128d sums45 = _mm_setzero_pd();
    __m128d sums67 = _mm_setzero_pd();
    for (size_t block = 0, j = 0; block < blocks; ++block, j += kLanes) {
        const double* t = taps + j;
        sums01 = _mm_add_pd(sums01, _mm_mul_pd(Sse2SamplePair<Backward>(newest, j + 0), TapLoad::Load(t + 0)));
        sums23 = _mm_add_pd(sums23, _mm_mul_pd(Sse2SamplePair<Backward>(newest, j + 2), TapLoad::Load(t + 2)));
        sums45 = _mm_add_pd(sums45, _mm_mul_pd(Sse2SamplePair<Backward>(newest, j + 4), TapLoad::Load(t + 4)));
        sums67 = _mm_add_pd(sums67, _mm_mul_pd(Sse2SamplePair<Backward>(newest, j + 6), TapLoad::Load(t + 6)));
    }
    _mm_storeu_pd(lane + 0, sums01);
    _mm_storeu_pd(lane + 2, sums23);
    _mm_storeu_pd(lane + 4, sums45);
    _mm_storeu_pd(lane + 6, sums67);
}

template <bool Backward>
double Sse2DotProduct(const double* newest, const double* taps, size_t count) {
    double lane[kLanes] = {};
    const size_t blocks = count / kLanes;
    if (reinterpret_cast<std::uintptr_t>(taps) % sizeof(__m128d) == 0) {
        Sse2WholeBlocks<Backward, AlignedTaps>(newest, taps, blocks, lane);
    } else {
        Sse2WholeBlocks<Backward, UnalignedTaps>(newest, taps, blocks, lane);
    }
    return FinishLanes<Backward>(newest, taps, count, lane);
}
#endif

#if TESSEL_DOT_PRODUCT_AVX2
// Samples j to j + 3 in one register, sample j in the lowest quarter: stored
// backwards, they are loaded from their lowest address and reversed.
template <bool Backward>
__attribute__((target("avx2"))) __m256d Avx2SampleQuad(const double* newest, size_t j) {
    if (Backward) {
        return _mm256_permute4x64_pd(_mm256_loadu_pd(newest - j - 3), 0x1b);
    }
    return _mm256_loadu_pd(newest + j);
}

// One block of eight products added to the four-lane sums.
template <bool Backward>
__attribute__((target("avx2"))) void Avx2AddBlock(const double* newest, const double* taps, size_t j,
                                                  __m256d& sums0123, __m256d& sums4567) {
    sums0123 = _mm256_add_pd(sums0123, _mm256_mul_pd(Avx2SampleQuad<Backward>(newest, j), _mm256_loadu_pd(taps + j)));
    sums4567 =
        _mm256_add_pd(sums4567, _mm256_mul_pd(Avx2SampleQuad<Backward>(newest, j + 4), _mm256_loadu_pd(taps + j + 4)));
}

// Four lanes per register. Multiply and add stay two instructions: "avx2"
// alone does not allow the compiler to fuse them.
template <bool Backward>
__attribute__((target("avx2"))) double Avx2DotProduct(const double* newest, const double* taps, size_t count) {
    __m256d sums0123 = _mm256_setzero_pd();
    __m256d sums4567 = _mm256_setzero_pd();
    // Two blocks per turn of the loop, one after the other, as one by one.
    const size_t blocks = count / kLanes;
    size_t j = 0;
    for (size_t pairs = blocks / 2; pairs > 0; --pairs, j += 2 * kLanes) {
        Avx2AddBlock<Backward>(newest, taps, j, sums0123, sums4567);
        Avx2AddBlock<Backward>(newest, taps, j + kLanes, sums0123, sums4567);
    }
    if (blocks % 2 != 0) {
        Avx2AddBlock<Backward>(newest, taps, j, sums0123, sums4567);
    }
    double lane[kLanes];
    _mm256_storeu_pd(lane + 0, sums0123);
    _mm256_storeu_pd(lane + 4, sums4567);
    return FinishLanes<Backward>(newest, taps, count, lane);
}

// Sums over samples stored newest first, each one place further on than
// the one before, sharing the tap loads; each in its own lanes, in the same
// order as alone. Several sums at once also keep more independent additions
// in flight.
template <size_t Sums>
__attribute__((target("avx2"))) void Avx2SeveralNewestFirst(const double* first, const double* taps, size_t count,
                                                            double* results) {
    __m256d sums0123[Sums];
    __m256d sums4567[Sums];
    for (size_t s = 0; s < Sums; ++s) {
        sums0123[s] = _mm256_setzero_pd();
        sums4567[s] = _mm256_setzero_pd();
    }
    const size_t whole = count / kLanes * kLanes;
    for (size_t j = 0; j < whole; j += kLanes) {
        const __m256d t0123 = _mm256_loadu_pd(taps + j);
        const __m256d t4567 = _mm256_loadu_pd(taps + j + 4);
        for (size_t s = 0; s < Sums; ++s) {
            sums0123[s] = _mm256_add_pd(sums0123[s], _mm256_mul_pd(_mm256_loadu_pd(first + s + j), t0123));
            sums4567[s] = _mm256_add_pd(sums4567[s], _mm256_mul_pd(_mm256_loadu_pd(first + s + j + 4), t4567));
        }
    }
    for (size_t s = 0; s < Sums; ++s) {
        double lane[kLanes];
        _mm256_storeu_pd(lane + 0, sums0123[s]);
        _mm256_storeu_pd(lane + 4, sums4567[s]);
        results[s] = FinishLanes<false>(first + s, taps, count, lane);
    }
}

bool ProcessorHasAvx2() {
    // Also true only when the system saves the wide registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

template <bool Backward>
DotProductFunction FunctionOf(DotProductPath path) {
    switch (path) {
#if TESSEL_DOT_PRODUCT_AVX2
        case DotProductPath::Avx2:
            return &Avx2DotProduct<Backward>;
#endif
#if defined(__SSE2__)
        case DotProductPath::Sse2:
            return &Sse2DotProduct<Backward>;
#endif
        case DotProductPath::Plain:
            return &PlainDotProduct<Backward>;
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

// The path is chosen by the first dot product, which puts the chosen
// function in place of the chooser; instances on several threads may race
// to do so and store the same function.
template <bool Backward>
double ChooseAndRun(const double* newest, const double* taps, size_t count);

template <bool Backward>
std::atomic<DotProductFunction> g_Chosen{&ChooseAndRun<Backward>};

template <bool Backward>
DotProductFunction ChosenFunction() {
    DotProductFunction chosen = g_Chosen<Backward>.load(std::memory_order_relaxed);
    if (chosen == &ChooseAndRun<Backward>) {
        chosen = FunctionOf<Backward>(FastestAvailablePath());
        g_Chosen<Backward>.store(chosen, std::memory_order_relaxed);
    }
    return chosen;
}

template <bool Backward>
double ChooseAndRun(const double* newest, const double* taps, size_t count) {
    return ChosenFunction<Backward>()(newest, taps, count);
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
    const DotProductFunction chosen = ChosenFunction<true>();
    for (DotProductPath path : {DotProductPath::Avx2, DotProductPath::Sse2}) {
        if (DotProductPathAvailable(path) && FunctionOf<true>(path) == chosen) {
            return path;
        }
    }
    return DotProductPath::Plain;
}

bool UseDotProductPath(DotProductPath path) {
    if (!DotProductPathAvailable(path)) {
        return false;
    }
    g_Chosen<true>.store(FunctionOf<true>(path), std::memory_order_relaxed);
    g_Chosen<false>.store(FunctionOf<false>(path), std::memory_order_relaxed);
    return true;
}

double BlockedDotProduct(const double* newest, const double* taps, size_t count) {
    return g_Chosen<true>.load(std::memory_order_relaxed)(newest, taps, count);
}

double BlockedDotProductNewestFirst(const double* newest, const double* taps, size_t count) {
    return g_Chosen<false>.load(std::memory_order_relaxed)(newest, taps, count);
}

namespace {

// Fours and pairs of sums on the wider path, one by one otherwise.
void DotProductsNewestFirst(DotProductFunction single, const double* first, const double* taps, size_t count,
                            size_t n, double* results) {
    size_t i = 0;
#if TESSEL_DOT_PRODUCT_AVX2
    if (single == &Avx2DotProduct<false>) {
        for (; i + 4 <= n; i += 4) {
            Avx2SeveralNewestFirst<4>(first + i, taps, count, results + i);
        }
        for (; i + 2 <= n; i += 2) {
            Avx2SeveralNewestFirst<2>(first + i, taps, count, results + i);
        }
    }
#endif
    for (; i < n; ++i) {
        results[i] = single(first + i, taps, count);
    }
}

}  // namespace

void BlockedDotProductsNewestFirst(const double* first, const double* taps, size_t count, size_t n,
                                   double* results) {
    DotProductsNewestFirst(ChosenFunction<false>(), first, taps, count, n, results);
}

void BlockedDotProductsNewestFirstOn(DotProductPath path, const double* first, const double* taps, size_t count,
                                     size_t n, double* results) {
    const DotProductFunction single = DotProductPathAvailable(path) ? FunctionOf<false>(path) : nullptr;
    DotProductsNewestFirst(single != nullptr ? single : &PlainDotProduct<false>, first, taps, count, n, results);
}

double BlockedDotProductOn(DotProductPath path, const double* newest, const double* taps, size_t count) {
    const DotProductFunction function = DotProductPathAvailable(path) ? FunctionOf<true>(path) : nullptr;
    return function != nullptr ? function(newest, taps, count) : PlainDotProduct<true>(newest, taps, count);
}

double BlockedDotProductNewestFirstOn(DotProductPath path, const double* newest, const double* taps,
                                      size_t count) {
    const DotProductFunction function = DotProductPathAvailable(path) ? FunctionOf<false>(path) : nullptr;
    return function != nullptr ? function(newest, taps, count) : PlainDotProduct<false>(newest, taps, count);
}

}  // namespace Tessel
