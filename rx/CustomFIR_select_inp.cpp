#include "CustomFIR_select_inp.h"

CustomFIR_select_inp::CustomFIR_select_inp() {
    ResponseFIR.m_iSumOrder = Tessel::TimeResponseFIR::kBlockedSum;
}

bool CustomFIR_select_inp::Run() {
    if (m_bSampleTakenAhead) {
        return RunOnSampleTakenAhead();
    }
    const bool result = FollowControl();
    const bool filtered = FireFilter(OutputNeeded);
    return result && filtered;
}


bool CustomFIR_select_inp::TakeSampleAhead() {
    // Checked here so that a filter that cannot run posts nothing now; Run
    // fires it the ordinary way, which reports it.
    if (!FilterReady() || !FireFilter(false)) {
        return false;
    }
    m_bOutputFormedAhead = OutputNeeded;
    if (m_bOutputFormedAhead) {
        m_dOutputAhead = ResponseFIR.OutputOfNewestInput();
    }
    m_bSampleTakenAhead = true;
    return true;
}

// The rebuild of an ordinary firing comes before its sample enters the delay
// line; the output depends only on the taps and the delay line, so forming it
// after the rebuild from the delay line as it is now gives the same.
bool CustomFIR_select_inp::RunOnSampleTakenAhead() {
    m_bSampleTakenAhead = false;
    bool result = true;
    bool formAgain = OutputNeeded && !m_bOutputFormedAhead;
    if (Control != Previous_Control) {
        result = ReloadSelectedColumn();
        formAgain = OutputNeeded;
    }
    Previous_Control = Control;
    if (formAgain) {
        if (FilterReady()) {
            m_dOutputAhead = ResponseFIR.OutputOfNewestInput();
        } else {
            result = false;  // a rebuild that failed left no taps
        }
    }
    if (OutputNeeded) {
        Output[0] = m_dOutputAhead;
    }
    return result;
}
