// Pseudo-random bit sequences, the stimulus of every link run.
#ifndef LINK_PRBS_H
#define LINK_PRBS_H

#include <cstddef>
#include <vector>

namespace linksim {

// The generator polynomial x^order + x^tap + 1 of one PRBS.
struct PrbsPolynomial {
    int order;
    int tap;
};

// The polynomials of PRBS7, 15, 23 and 31; null for any other order.
const PrbsPolynomial* FindPrbsPolynomial(int order);

// Fibonacci LFSR over the polynomial, seeded with all ones unless a seed is
// given (its low `order` bits, not all zero). Each step shifts
// in (and outputs) bit[order-1] xor bit[tap-1], so the output obeys
// s[i] = s[i-order] xor s[i-tap] and repeats every 2^order - 1 bits.
class PrbsGenerator {
public:
    explicit PrbsGenerator(const PrbsPolynomial& polynomial, unsigned long long seed = ~0ULL);
    int Next();

private:
    unsigned long long m_state;
    unsigned long long m_mask;
    int m_order;
    int m_tap;
};

// The first `bits` bits (0 or 1) of the PRBS of this order. The order must be
// one of FindPrbsPolynomial's; others give an empty vector.
std::vector<int> Prbs(int order, size_t bits);
// The same from another seed: the same sequence from another point, as a
// second transmitter of the same pattern sends it (crosstalk aggressors).
std::vector<int> Prbs(int order, size_t bits, unsigned long long seed);

}  // namespace linksim

#endif
