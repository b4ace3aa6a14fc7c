#include "Delay.h"

#include <cmath>

namespace {
const double kPi = 3.141592653589793;
const double kHalfPi = 1.5707963267948966;
}  // namespace

Delay::Delay() : Output(0.0), PreviousInput(0.0), OutputNeeded(true), Finalized(false) {
    Input.SetRate(1);
    Input.SetHistoryDepth(1);
}

Delay::~Delay() {}

bool Delay::Setup() { return true; }

bool Delay::Initialize() {
    PreviousInput = 0.0;
    Finalized = false;
    return true;
}

bool Delay::Run() {
    if (Finalized) {
        return false;
    }
    return RunWith(Input[0]);
}

bool Delay::FireAfterSkipped(const double* lastSkipped, double input, bool outputNeeded, double& output) {
    if (lastSkipped != nullptr) {
        PreviousInput = *lastSkipped;
    }
    OutputNeeded = outputNeeded;
    const bool ok = RunWith(input);
    output = Output;
    return ok;
}

bool Delay::RunWith(double x) {
    if (Finalized) {
        return false;
    }
    if (OutputNeeded) {
        // A rising input is on the first half of its cycle, a falling one on
        // the second, where the phase is pi minus the principal arcsine.
        const double phase = x - PreviousInput >= 0.0 ? std::asin(x) : kPi - std::asin(x);
        Output = std::sin(phase - kHalfPi);
    }
    PreviousInput = x;
    return true;
}

bool Delay::Finalize() {
    DeleteBuffers();
    Finalized = true;
    return true;
}
