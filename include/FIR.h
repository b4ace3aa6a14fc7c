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
    // position H - 1 the newest.
    CircularBuffer<double> m_History;
    double* m_pHistoryBuffer = nullptr;

    double* m_pTaps = nullptr;  // m_iNumTaps values, not owned here
    int m_iNumTaps = 0;

    int Decimation = 1;       // D: input items per firing
    int DecimationPhase = 0;  // phase of the first output of a firing, 0 <= phase < D
    int Interpolation = 1;    // L: output items per firing

    int m_iTapsPerPhase = 0;  // ceil(N / L), set by Setup

protected:
    void FreeHistory();

private:
    // One polyphase branch: taps phase, phase + L, ... (those below N) times
    // the history from position iNewest backwards.
    double BranchSum(size_t iNewest, int iPhase) const;
};

}  // namespace Tessel

#endif
