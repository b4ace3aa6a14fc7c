#include "CustomFIR_select_inp.h"

CustomFIR_select_inp::CustomFIR_select_inp() {
    ResponseFIR.m_iSumOrder = Tessel::TimeResponseFIR::kBlockedSum;
}

bool CustomFIR_select_inp::Run() {
    const bool result = FollowControl();
    const bool filtered = FireFilter(OutputNeeded);
    return result && filtered;
}
