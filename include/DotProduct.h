// The FIR's dot product in its blocked order, with a path for each vector
// unit that gives the same bits.
//
// sum over j < count of samples[-j] * taps[j]: the samples run backwards
// through memory from `newest`, the taps forwards. Product j goes to partial
// sum (lane) j mod 8, every lane adds its products in increasing j, each
// product rounded before it is added (never a fused multiply-add), and the
// eight lanes are combined in a fixed tree. Every path performs exactly
// these operations, so the choice of path never changes a bit.
#ifndef TESSEL_DOT_PRODUCT_H
#define TESSEL_DOT_PRODUCT_H

#include <cstddef>

namespace Tessel {

enum class DotProductPath {
    Plain,  // one lane at a time
    Sse2,   // two lanes per register: the baseline of x86-64
    Avx2,   // four lanes per register, where the processor and the system allow it
};

// Whether this build carries the path and this processor can run it.
bool DotProductPathAvailable(DotProductPath path);

// The fastest available path, chosen once, at the first use.
DotProductPath ChosenDotProductPath();

// Puts `path` in place of the chosen one for every later dot product of the
// process, when available (false otherwise, and nothing changes): for a
// benchmark that measures each path. The bits never depend on the path.
bool UseDotProductPath(DotProductPath path);

// On the chosen path.
double BlockedDotProduct(const double* newest, const double* taps, size_t count);

// The same sum for samples stored newest first: sample j is newest[j]. For
// a run of outputs over one stretch of samples stored that way, which need
// not reverse their samples.
double BlockedDotProductNewestFirst(const double* newest, const double* taps, size_t count);

// n sums over samples stored newest first, sum i from first + i: the same
// as n calls of BlockedDotProductNewestFirst, with the work shared where the
// path allows. For a run of outputs over one stretch of samples.
void BlockedDotProductsNewestFirst(const double* first, const double* taps, size_t count, size_t n,
                                   double* results);

// On the given path, which must be available (for the test that compares
// the paths).
double BlockedDotProductOn(DotProductPath path, const double* newest, const double* taps, size_t count);
double BlockedDotProductNewestFirstOn(DotProductPath path, const double* newest, const double* taps,
                                      size_t count);
void BlockedDotProductsNewestFirstOn(DotProductPath path, const double* first, const double* taps, size_t count,
                                     size_t n, double* results);

}  // namespace Tessel

#endif
