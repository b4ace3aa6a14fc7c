// The receiver's CTLE: the shared response-selecting FIR with an integer
// response count, whose selection follows Control from firing to firing.
//
// When Control differs from the previous firing's, the taps are rebuilt from
// the newly selected column before the sample is filtered; the delay line is
// kept, so the samples already in it meet the new taps from that firing on.
#ifndef ORVEX_CUSTOM_FIR_SELECT_INP_H
#define ORVEX_CUSTOM_FIR_SELECT_INP_H

#include "CustomFIR_select.h"
#include "Precondition.h"
#include "SampleHistory.h"

class CustomFIR_select_inp : public Tessel::CustomFIR_select<int> {
public:
    // The filter sums its products in the blocked order (see FIR): this
    // filter runs on every sample of the received waveform.
    CustomFIR_select_inp();

    // False when a changed Control led to a failed rebuild (the filter has
    // posted why) or when the filter cannot run at all.
    bool Run() override;

    // For an owner that keeps one input history for several banks whose
    // inputs are the same samples, and fires them without their own delay
    // lines: the control half of a firing with `control` at Control (the
    // taps are rebuilt when it has changed, which `rebuilt` says, and it is
    // remembered; false when the rebuild failed), and the output for the
    // newest sample of `history` with the response in force, summed as the
    // filter sums. The history must hold at least as many samples as the
    // bank has taps, and the bank must be able to filter.
    bool FollowControl(int control, bool& rebuilt) {
        Control = control;
        rebuilt = Control != Previous_Control;
        bool result = true;
        if (rebuilt) {
            result = ReloadSelectedColumn();
        }
        Previous_Control = Control;
        return result;
    }
    double OutputFrom(const Tessel::SampleHistory& history) const {
        TESSEL_PRECONDITION(NumTaps() <= history.Depth(), "NumTaps() <= history.Depth()");
        return ResponseFIR.OutputOf(history.Newest());
    }
    bool CanFilter() const { return FilterReady(); }
    // The taps in force, and whether the filter sums in the blocked order:
    // for an owner that forms outputs over a store of samples of its own.
    const double* Taps() const { return ResponseFIR.m_pTaps; }
    bool SumsInBlocks() const { return ResponseFIR.m_iSumOrder == Tessel::TimeResponseFIR::kBlockedSum; }
    size_t NumTaps() const { return static_cast<size_t>(ResponseFIR.m_iNumTaps); }

    // Control as it stood at the end of the previous firing. It starts at 1
    // while Control starts out of range, so a Setup before the first
    // assignment builds the first column and a first Control of 1 rebuilds
    // nothing.
    int Previous_Control = 1;

    // The owner clears it for a firing whose Output nobody reads: the sample
    // still enters the delay line and a changed Control still rebuilds the
    // taps, but no output is formed and Output keeps its value.
    bool OutputNeeded = true;

};

#endif
