#include "FIR.h"

#include <new>

#include "DFErrorHandler.h"
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
    const size_t depth = m_History.GetHistoryDepth();
    m_pHistoryBuffer = new (std::nothrow) double[depth]();
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

bool FIR<double, false>::Run() {
    const size_t depth = m_History.GetHistoryDepth();
    const size_t decimation = static_cast<size_t>(Decimation);
    const long long interpolation = Interpolation;
    TESSEL_PRECONDITION(m_History.GetSize() == depth,
                        "m_History.GetSize() == m_History.GetHistoryDepth()");
    TESSEL_PRECONDITION(m_pTaps != nullptr, "m_pTaps");

    for (size_t i = 0; i < decimation; ++i) {
        m_History[depth - decimation + i] = Input[i];
    }
    size_t output = 0;
    long long phase = DecimationPhase;
    for (size_t m = 1; m <= decimation; ++m) {
        // Input m - 1 of this firing is the newest sample these outputs see.
        const size_t newest = (depth - 1) - decimation + m;
        for (; phase < interpolation; phase += Decimation) {
            Output[output++] = BranchSum(newest, static_cast<int>(phase));
        }
        phase -= interpolation;
    }
    m_History.Advance();
    return true;
}

}  // namespace Tessel
