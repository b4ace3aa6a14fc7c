// The transmitter's response selector: the shared selecting FIR with a
// fractional response count, a selection fixed for the whole run, and taps
// that are current before every firing.
#ifndef ORVEX_CUSTOM_FIR_SELECT_PARAM_H
#define ORVEX_CUSTOM_FIR_SELECT_PARAM_H

#include "CustomFIR_select.h"

class CustomFIR_select_param : public Tessel::CustomFIR_select<double> {
public:
    CustomFIR_select_param() { Control = 1; }

    // Before filtering, makes sure the taps are those of the column that
    // Control selects now. The taps depend only on that column (the tables,
    // the type and the sample rate are fixed from Setup on), so they are
    // built again only when the selection has moved: the output is the same
    // as rebuilding them before every firing, at a fraction of the cost.
    // The delay line is kept either way.
    bool Run() override;

    // Rebuild the taps before every firing even when the selection stands
    // (for comparisons and measurements; the output is the same).
    bool RebuildTapsEveryFiring = false;
};

#endif
