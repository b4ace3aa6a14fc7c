#include "FIR.h"

#include <cstddef>
#include <new>

#include "DFErrorHandler.h"
#include "DotProduct.h"
#include "Precondition.h"

namespace Tessel {

FIR<double, false>::FIR() {}
FIR<double, false>::~FIR() { FreeHistory(); }

void FIR<double, false>::FreeHistory() {
    delete[] m_pHistoryBuffer;
    m_pHistoryBuffer = nullptr;
}

bool FIR<double, false>::Setup() {
    bool ok = true;
    if (m_iNumTaps < 1) {
        DFErrorHandler::PostError(this, "There must be at least one Tap");
        ok = false;
    }
    if (Decimation < 1) {
        DFErrorHandler::PostError(this, "Decimation must be > 0");
        ok = false;
    }
    if (DecimationPhase < 0) {
        DFErrorHandler::PostError(this, "DecimationPhase must be >= 0");
        ok = false;
    }
    if (DecimationPhase >= Decimation) {
        DFErrorHandler::PostError(this, "DecimationPhase must be < Decimation ratio");
        ok = false;
    }
    if (Interpolation < 1) {
        DFErrorHandler::PostError(this, "Interpolation must be > 0");
        ok = false;
    }
    if (!ok) {
        return false;
    }

    const size_t decimation = static_cast<size_t>(Decimation);
    const size_t tapsPerInput = static_cast<size_t>(m_iNumTaps / Interpolation);
    Input.SetRate(decimation);
    Output.SetRate(static_cast<size_t>(Interpolation));
    // The rate goes first: the depth may not drop below the rate an earlier
    // Setup left, and the new depth always exceeds the new rate.
    m_History.SetRate(decimation);
    m_History.SetHistoryDepth(tapsPerInput + decimation + 1);
    m_iTapsPerPhase = m_iNumTaps / Interpolation + (m_iNumTaps % Interpolation != 0 ? 1 : 0);
    return true;
}

bool FIR<double, false>::Initialize() {
    FreeHistory();
    // The history window, followed by its mirror copy.
    const size_t depth = m_History.GetHistoryDepth();
    m_pHistoryBuffer = new (std::nothrow) double[2 * depth]();
    if (m_pHistoryBuffer == nullptr) {
        m_History.SetBuffer(nullptr, 0, 0, 0);
        DFErrorHandler::PostError(this, "Not enough memory for the FIR history");
        return false;
    }
    m_History.SetBuffer(m_pHistoryBuffer, depth, static_cast<size_t>(Decimation), 0);
    return true;
}

bool FIR<double, false>::Finalize() {
    // Detach first so that a stray Run stops on the view's precondition
    // instead of reading freed memory.
    m_History.SetBuffer(nullptr, 0, 0, 0);
    FreeHistory();
    return true;
}

double FIR<double, false>::BranchSum(size_t iNewest, int iPhase) const {
    if (iPhase >= m_iNumTaps) {
        return 0.0;
    }
    // Branches shorter than m_iTapsPerPhase just end early.
    const size_t stride = static_cast<size_t>(Interpolation);
    const size_t count = static_cast<size_t>(m_iNumTaps - 1 - iPhase) / stride + 1;
    const double* tap = m_pTaps + iPhase;
    const double* history = m_pHistoryBuffer;

    // The window runs backwards from the newest item through memory and wraps
    // at most once, so the branch is two contiguous runs. The sum keeps the
    // natural order (newest sample with the branch's first tap).
    const size_t newest = m_History.IndexAt(iNewest);
    const size_t firstRun = count < newest + 1 ? count : newest + 1;
    double sum = 0.0;
    for (size_t j = 0; j < firstRun; ++j, tap += stride) {
        sum = history[newest - j] * *tap + sum;
    }
    const size_t last = m_History.GetSize() - 1;
    for (size_t j = 0; j < count - firstRun; ++j, tap += stride) {
        sum = history[last - j] * *tap + sum;
    }
    return sum;
}

// With one output per input the only branch is the whole tap set. The
// mirror copy of the history makes the newest N samples one run of memory
// wherever the window wraps: it ends at the newest sample's mirror.
double FIR<double, false>::BlockedBranchSum(size_t iNewest) const {
    const size_t newestMirror = m_History.IndexAt(iNewest) + m_History.GetSize();
    return BlockedDotProduct(m_pHistoryBuffer + newestMirror, m_pTaps, static_cast<size_t>(m_iNumTaps));
}

// The new inputs go to the newest end of the history window, and to its
// mirror copy right after it.
void FIR<double, false>::TakeInputs() {
    const size_t depth = m_History.GetHistoryDepth();
    const size_t decimation = static_cast<size_t>(Decimation);
    TESSEL_PRECONDITION(m_History.GetSize() == depth,
                        "m_History.GetSize() == m_History.GetHistoryDepth()");
    TESSEL_PRECONDITION(m_pTaps != nullptr, "m_pTaps");
    for (size_t i = 0; i < decimation; ++i) {
        const size_t position = depth - decimation + i;
        const double sample = Input[i];
        m_History[position] = sample;
        m_pHistoryBuffer[m_History.IndexAt(position) + depth] = sample;
    }
}

bool FIR<double, false>::Run() {
    if (Decimation == 1 && Interpolation == 1) {
        return RunOneToOne();
    }
    TakeInputs();
    const size_t depth = m_History.GetHistoryDepth();
    const size_t decimation = static_cast<size_t>(Decimation);
    const long long interpolation = Interpolation;
    const bool blocked = m_iSumOrder == kBlockedSum && Interpolation == 1;
    size_t output = 0;
    long long phase = DecimationPhase;
    for (size_t m = 1; m <= decimation; ++m) {
        // Input m - 1 of this firing is the newest sample these outputs see.
        const size_t newest = (depth - 1) - decimation + m;
        for (; phase < interpolation; phase += Decimation) {
            Output[output++] = blocked ? BlockedBranchSum(newest) : BranchSum(newest, static_cast<int>(phase));
        }
        phase -= interpolation;
    }
    m_History.Advance();
    return true;
}

// One input, one output: the common filter, with the steps of Run written
// out for that case.
bool FIR<double, false>::RunOneToOne() {
    RunWithoutOutput();
    Output[0] = OutputOfNewestInput();
    return true;
}

double FIR<double, false>::OutputOfNewestInput() const {
    const size_t depth = m_History.GetSize();
    TESSEL_PRECONDITION(Decimation == 1 && Interpolation == 1, "Decimation == 1 && Interpolation == 1");
    TESSEL_PRECONDITION(depth == m_History.GetHistoryDepth() && depth >= 2,
                        "m_History.GetSize() == m_History.GetHistoryDepth()");
    // The history has moved on since the newest input was taken: it is one
    // position before the newest end. Its mirror ends a run of the depth,
    // more than the taps are many.
    const size_t newestMirror = m_History.IndexAt(depth - 2) + depth;
    return OutputOf(m_pHistoryBuffer + newestMirror);
}

double FIR<double, false>::OutputOf(const double* newest) const {
    TESSEL_PRECONDITION(m_pTaps != nullptr, "m_pTaps");
    const size_t count = static_cast<size_t>(m_iNumTaps);
    if (m_iSumOrder == kBlockedSum) {
        return BlockedDotProduct(newest, m_pTaps, count);
    }
    double sum = 0.0;
    for (size_t j = 0; j < count; ++j) {
        sum = *(newest - j) * m_pTaps[j] + sum;
    }
    return sum;
}

bool FIR<double, false>::RunWithoutOutput() {
    if (Decimation == 1) {
        // The one input goes to the newest end and to its mirror copy.
        const size_t depth = m_History.GetSize();
        TESSEL_PRECONDITION(depth == m_History.GetHistoryDepth() && depth >= 2,
                            "m_History.GetSize() == m_History.GetHistoryDepth()");
        TESSEL_PRECONDITION(m_pTaps != nullptr, "m_pTaps");
        const size_t newest = m_History.IndexAt(depth - 1);
        const double sample = Input[0];
        m_pHistoryBuffer[newest] = sample;
        m_pHistoryBuffer[newest + depth] = sample;
    } else {
        TakeInputs();
    }
    m_History.Advance();
    return true;
}

}  // namespace Tessel
