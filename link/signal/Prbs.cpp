#include "Prbs.h"

namespace linksim {

namespace {
const PrbsPolynomial kPolynomials[] = {
    {7, 6},
    {15, 14},
    {23, 18},
    {31, 28},
};
}  // namespace

const PrbsPolynomial* FindPrbsPolynomial(int order) {
    for (const PrbsPolynomial& polynomial : kPolynomials) {
        if (polynomial.order == order) {
            return &polynomial;
        }
    }
    return nullptr;
}

PrbsGenerator::PrbsGenerator(const PrbsPolynomial& polynomial, unsigned long long seed)
    : m_state(seed & ((1ULL << polynomial.order) - 1)),
      m_mask((1ULL << polynomial.order) - 1),
      m_order(polynomial.order),
      m_tap(polynomial.tap) {}

int PrbsGenerator::Next() {
    const int bit = static_cast<int>(((m_state >> (m_order - 1)) ^ (m_state >> (m_tap - 1))) & 1ULL);
    m_state = ((m_state << 1) | static_cast<unsigned long long>(bit)) & m_mask;
    return bit;
}

std::vector<int> Prbs(int order, size_t bits) { return Prbs(order, bits, ~0ULL); }

std::vector<int> Prbs(int order, size_t bits, unsigned long long seed) {
    const PrbsPolynomial* polynomial = FindPrbsPolynomial(order);
    if (polynomial == nullptr || (seed & ((1ULL << order) - 1)) == 0) {
        return {};
    }
    PrbsGenerator generator(*polynomial, seed);
    std::vector<int> sequence(bits);
    for (int& bit : sequence) {
        bit = generator.Next();
    }
    return sequence;
}

}  // namespace linksim
