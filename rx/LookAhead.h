// The CTLE stage's look-ahead: the selected bank's output and the soft
// limiter's work on it, formed before the clock recovery needs the firing's
// other results, and for a stretch of samples at a time where the owner
// knows the samples the coming firings will take.
//
// The bank's outputs do not depend on one another, so a stretch of them is
// formed together (the dot products share their loads). Nothing observable
// changes: every output is summed as the bank sums it, a firing whose sample
// is not the one offered withdraws the offer, and a change of the bank's
// taps drops what was formed with the old ones.
//
// In every firing: Follow with the sample taken, Form for the selected bank,
// then (after the banks have followed their control) Output and Limited.
#ifndef RX_LOOK_AHEAD_H
#define RX_LOOK_AHEAD_H

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "CustomFIR_select_inp.h"
#include "SampleHistory.h"

class LookAhead {
public:
    // The soft limiter: 3.840245775729646 is 1 / 0.2604, so the output
    // saturates at +-0.2604 V and has unit gain around 0.
    static constexpr double kLimiterInGain = 3.840245775729646;
    static constexpr double kLimiterOutGain = 0.2604;
    // Its three steps (gain, tanh, gain) on one input; the tanh has no
    // domain guard and always succeeds.
    static double Limit(double input) { return kLimiterOutGain * std::tanh(kLimiterInGain * input); }

    LookAhead() = default;
    // Points into its own stretch.
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    // `count` samples, the first for the next firing (null or none: the
    // offer is withdrawn). The array is read only at and after the position
    // of the firing that uses it, and must stay until withdrawn.
    void Offer(const double* upcoming, size_t count);
    void Withdraw() { Offer(nullptr, 0); }

    // This firing took `received` (compared bit for bit with the offer).
    void Follow(double received) {
        if (m_pUpcoming == nullptr) {
            return;
        }
        if (m_iNext < m_iCount && std::memcmp(&m_pUpcoming[m_iNext], &received, sizeof received) == 0) {
            ++m_iNext;
        } else {
            Withdraw();
        }
    }

    // This firing's output of `bank` with the taps in force, for the newest
    // sample of `history`, and its limited value: from the stretch where
    // samples are offered, else formed now. A null bank (none selected, or
    // one that cannot filter) forms nothing.
    void Form(const CustomFIR_select_inp* bank, const Tessel::SampleHistory& history) {
        m_LimitedNow.valid = false;
        m_pLimited = &m_LimitedNow;
        m_bFormed = bank != nullptr;
        if (!m_bFormed) {
            return;
        }
        if (m_pUpcoming != nullptr && bank->SumsInBlocks()) {
            const size_t position = m_iNext - 1;  // this firing's sample
            if (m_pStretchBank != bank || position < m_iFirst || position - m_iFirst >= m_iFormed) {
                FormStretch(bank, position, history);
            }
            const size_t k = position - m_iFirst;
            m_dOutput = m_Output[k];
            m_pLimited = &m_Limited[k];
        } else {
            m_dOutput = bank->OutputFrom(history);
            m_LimitedNow.Of(m_dOutput);
        }
    }

    // The output of `bank`, the selected one, after it has followed its
    // control: the one formed unless its taps were rebuilt in this firing,
    // which drops the stretch formed with the old ones.
    double Output(const CustomFIR_select_inp& bank, bool tapsRebuilt, const Tessel::SampleHistory& history) {
        if (tapsRebuilt) {
            m_iFormed = 0;
        }
        return m_bFormed && !tapsRebuilt ? m_dOutput : bank.OutputFrom(history);
    }

    // The limiter's output for the selected value: as formed where it was
    // formed from the same value.
    double Limited(double selected) const {
        return SameBits(m_pLimited->input, selected) && m_pLimited->valid ? m_pLimited->output : Limit(selected);
    }

private:
    static constexpr size_t kStretch = 128;

    struct Limiting {
        double input = 0.0;
        double output = 0.0;
        bool valid = false;  // never for not-a-number, which the bit comparison would let through
        void Of(double value) {
            input = value;
            output = Limit(value);
            valid = value == value;
        }
    };

    static bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    void FormStretch(const CustomFIR_select_inp* bank, size_t position, const Tessel::SampleHistory& history);

    // The offer.
    const double* m_pUpcoming = nullptr;
    size_t m_iCount = 0;
    size_t m_iNext = 0;  // the position of the next firing's sample
    // The stretch: positions m_iFirst to m_iFirst + m_iFormed - 1, formed
    // with m_pStretchBank's taps.
    const CustomFIR_select_inp* m_pStretchBank = nullptr;
    size_t m_iFirst = 0;
    size_t m_iFormed = 0;
    std::vector<double> m_Input;  // the taps - 1 samples before the stretch, then the stretch
    double m_Output[kStretch];
    Limiting m_Limited[kStretch];
    // This firing's.
    bool m_bFormed = false;
    double m_dOutput = 0.0;
    Limiting m_LimitedNow;
    const Limiting* m_pLimited = &m_LimitedNow;
};

#endif
