#include "BiquadCascade.h"

#include <cmath>
#include <limits>
#include <string>

#include "DFErrorHandler.h"
#include "MessageText.h"
#include "Precondition.h"

namespace Tessel {

BiquadCascade::BiquadCascade() {}

BiquadCascade::~BiquadCascade() {
    delete[] State1;
    delete[] State2;
}

bool BiquadCascade::Initialize() {
    if (NumCoefficients < 1 || NumCoefficients % kCoefficientsPerBiquad != 0) {
        const std::string text = MessageText(
            "The number of parameter taps must not be zero ", "and must be a multiple of ",
            kCoefficientsPerBiquad, " taps. ", "There are currently ", NumCoefficients, " taps.");
        DFErrorHandler::PostError(this, text.c_str());
        return false;
    }
    NumBiquads = NumCoefficients / kCoefficientsPerBiquad;
    TESSEL_PRECONDITION(Coefficients != nullptr, "Coefficients");
    if (!NormaliseSections()) {
        return false;
    }
    ResetStates();
    if (static_cast<size_t>(NumBiquads) < Outputs.GetSize()) {
        const std::string text =
            MessageText("The number of outputs must be less than or equal to the ",
                        "number of biquads in the cascade.  Currently, there are ",
                        Outputs.GetSize(), " outputs and ", NumBiquads, " biquads.");
        DFErrorHandler::PostError(this, text.c_str());
        return false;
    }
    return true;
}

// Divides each section by its D0; sections before a failing one stay
// normalised.
bool BiquadCascade::NormaliseSections() {
    for (int i = 0; i < NumBiquads; ++i) {
        double* section = Coefficients + kCoefficientsPerBiquad * i;
        const double d0 = section[kD0];
        if (std::fabs(d0) < std::numeric_limits<double>::min()) {
            const std::string text =
                MessageText("The D0 coefficient for biquad number ", i + 1, " cannot be zero. ");
            DFErrorHandler::PostError(this, text.c_str());
            return false;
        }
        section[kN0] /= d0;
        section[kN1] /= d0;
        section[kN2] /= d0;
        section[kD1] /= d0;
        section[kD2] /= d0;
        section[kD0] = 1.0;
    }
    return true;
}

void BiquadCascade::ResetStates() {
    delete[] State1;
    delete[] State2;
    State1 = new double[static_cast<size_t>(NumBiquads)]();
    State2 = new double[static_cast<size_t>(NumBiquads)]();
}

bool BiquadCascade::Run() {
    const size_t outputs = Outputs.GetSize();
    const size_t sections = static_cast<size_t>(NumBiquads);
    double x = Input[0];
    for (size_t i = 0; i < sections; ++i) {
        const double* c = Coefficients + kCoefficientsPerBiquad * i;
        const double w = x - c[kD1] * State1[i] - c[kD2] * State2[i];
        const double y = c[kN0] * w + c[kN1] * State1[i] + c[kN2] * State2[i];
        // The last sections feed the outputs, the last one output 0.
        if (i + outputs >= sections) {
            Outputs[sections - 1 - i][0] = y;
        }
        State2[i] = State1[i];
        State1[i] = w;
        x = y;
    }
    return true;
}

bool BiquadCascade::Finalize() { return true; }

}  // namespace Tessel
