#include "CustomFIR_select_param.h"

bool CustomFIR_select_param::Run() {
    bool ok;
    if (RebuildTapsEveryFiring || !TapsBuiltFrom(SelectedColumn())) {
        ok = ReloadSelectedColumn();
    } else {
        ok = LastBuildSucceeded();
    }
    // The firing goes ahead after a failed rebuild: the filter keeps the
    // taps it had (FireFilter refuses only when there are none).
    return FireFilter() && ok;
}
