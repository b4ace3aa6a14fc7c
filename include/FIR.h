// Direct-form FIR filter with built-in rational rate change.
//
// Per firing the filter consumes Decimation input items and produces
// Interpolation output items. Each output is one polyphase branch of the tap
// set (upsample by L, filter, downsample by D) computed straight from the
// input history, so the zero-stuffed sequence is never formed.
//
// The filter keeps its input history in a private sample buffer whose array
// it owns. The taps belong to whoever assigns them (the time-response FIR
// derived from this class computes and owns its own).
#ifndef TESSEL_FIR_H
#define TESSEL_FIR_H

#include <cstddef>

#include "CircularBuffer.h"
#include "DFModel.h"
#include "TesselExport.h"

namespace Tessel {

// FIR<double,false> is the real-valued filter the models use. The primary
// template is only declared, so that no other combination is built by
// accident.
template <typename T, bool bComplex>
class FIR;

template <>
class TESSEL_EXPORT FIR<double, false> : public DFModel {
public:
    FIR();  // out of line, so that the transmitter library can publish it
    ~FIR() override;
    // The history array is owned: copies would free it twice.
    FIR(const FIR&) = delete;
    FIR& operator=(const FIR&) = delete;

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    CircularBuffer<double> Input;   // Decimation items per firing
    CircularBuffer<double> Output;  // Interpolation items per firing

    // The last H inputs, H = N / L + D + 1: position 0 is the oldest,
    // position H - 1 the newest. The array holds 2 H items: the history's
    // H, then a mirror copy of them (item i + H equals item i), so that any
    // H consecutive positions lie in one run of memory.
    CircularBuffer<double> m_History;
    double* m_pHistoryBuffer = nullptr;

    double* m_pTaps = nullptr;  // m_iNumTaps values, not owned here
    int m_iNumTaps = 0;

    int Decimation = 1;       // D: input items per firing
    int DecimationPhase = 0;  // phase of the first output of a firing, 0 <= phase < D
    int Interpolation = 1;    // L: output items per firing

    int m_iTapsPerPhase = 0;  // ceil(N / L), set by Setup

    // How the products of one output are summed. kSequentialSum adds them
    // one by one, newest sample first. kBlockedSum (used with Interpolation
    // 1; other rates sum sequentially) gives product j to partial sum j mod
    // 8, adds each partial sum in order of j and combines the eight in a
    // fixed tree: the same terms, in an order that is the same on every
    // machine and for every position of the history's wrap-around, several
    // times faster, and different only by rounding.
    enum SumOrder { kSequentialSum = 0, kBlockedSum = 1 };
    int m_iSumOrder = kSequentialSum;

    // One firing's inputs enter the history as in Run, but no output is
    // formed and the output port is not written: for an owner that knows
    // nothing reads this firing's outputs.
    bool RunWithoutOutput();

    // With one input and one output per firing: the output for the newest
    // input taken (by Run or RunWithoutOutput), with the taps as they are
    // now. Right after Run it is the output Run wrote; after the taps have
    // been rebuilt, the output Run would have written with the new ones.
    double OutputOfNewestInput() const;

    // The output of a one-input, one-output filter whose newest input is at
    // `newest`, the older ones below it in memory (as many as there are
    // taps), summed in the filter's order with the taps as they are now: for
    // an owner that keeps the input history outside the filter.
    double OutputOf(const double* newest) const;

protected:
    void FreeHistory();

private:
    // One polyphase branch: taps phase, phase + L, ... (those below N) times
    // the history from position iNewest backwards.
    double BranchSum(size_t iNewest, int iPhase) const;
    double BlockedBranchSum(size_t iNewest) const;
    void TakeInputs();
    bool RunOneToOne();
};

}  // namespace Tessel

#endif
