#include "CustomFIR_select_inp.h"

CustomFIR_select_inp::CustomFIR_select_inp() {
    ResponseFIR.m_iSumOrder = Tessel::TimeResponseFIR::kBlockedSum;
}

bool CustomFIR_select_inp::Run() {
    bool rebuilt = false;
    const bool result = FollowControl(Control, rebuilt);
    const bool filtered = FireFilter(OutputNeeded);
    return result && filtered;
}
