#include "LookAhead.h"

#include <algorithm>

#include "DotProduct.h"
#include "Precondition.h"

void LookAhead::Offer(const double* upcoming, size_t count) {
    m_pUpcoming = count > 0 ? upcoming : nullptr;
    m_iCount = m_pUpcoming != nullptr ? count : 0;
    m_iNext = 0;
    m_iFormed = 0;
}

// The bank's outputs for the offered samples from `position` on, each over
// its own run of as many samples as the bank has taps: the same values,
// summed the same way, as firing by firing. The samples are stored newest
// first (the stretch from its end back, then the history's older ones), so
// that every output reads them forwards from its own newest.
void LookAhead::FormStretch(const CustomFIR_select_inp* bank, size_t position, const Tessel::SampleHistory& history) {
    const size_t taps = bank->NumTaps();
    TESSEL_PRECONDITION(taps >= 1 && taps <= history.Depth(), "taps >= 1 && taps <= history.Depth()");
    const size_t stretch = std::min(kStretch, m_iCount - position);
    m_Input.resize(stretch + taps - 1);
    for (size_t m = 0; m < stretch; ++m) {
        m_Input[m] = m_pUpcoming[position + stretch - 1 - m];
    }
    const double* current = history.Newest();  // the sample at `position`
    for (size_t j = 1; j < taps; ++j) {
        m_Input[stretch - 1 + j] = *(current - j);
    }
    // Sum i starts at m_Input[i]: it is the output for position + stretch - 1 - i.
    double sums[kStretch];
    Tessel::BlockedDotProductsNewestFirst(m_Input.data(), bank->Taps(), taps, stretch, sums);
    for (size_t k = 0; k < stretch; ++k) {
        m_Output[k] = sums[stretch - 1 - k];
        m_Limited[k].Of(m_Output[k]);
    }
    m_pStretchBank = bank;
    m_iFirst = position;
    m_iFormed = stretch;
}
