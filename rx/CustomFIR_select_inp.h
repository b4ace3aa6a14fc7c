// The receiver's CTLE: the shared response-selecting FIR with an integer
// response count, whose selection follows Control from firing to firing.
//
// When Control differs from the previous firing's, the taps are rebuilt from
// the newly selected column before the sample is filtered; the delay line is
// kept, so the samples already in it meet the new taps from that firing on.
#ifndef ORVEX_CUSTOM_FIR_SELECT_INP_H
#define ORVEX_CUSTOM_FIR_SELECT_INP_H

#include "CustomFIR_select.h"

class CustomFIR_select_inp : public Tessel::CustomFIR_select<int> {
public:
    // The filter sums its products in the blocked order (see FIR): this
    // filter runs on every sample of the received waveform.
    CustomFIR_select_inp();

    // False when a changed Control led to a failed rebuild (the filter has
    // posted why) or when the filter cannot run at all.
    bool Run() override;

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
