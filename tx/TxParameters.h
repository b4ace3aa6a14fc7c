// The transmitter's four settings and where the parameter string holds
// them: leaves right under the root named after the model.
#ifndef ORVEX_TX_PARAMETERS_H
#define ORVEX_TX_PARAMETERS_H

#include <string>

#include "AmiParamParser.h"
#include "ModelParameters.h"

namespace Orvex {

const char kTxModelName[] = "Orvex_TX_AMI_01142014";

// Reads the settings into the schematic, in this order; each one that
// cannot be read keeps the schematic's default and is reported in message.
// DE and VOD are ints (a real value is truncated toward zero); gain and
// DE_range stay doubles and must be finite (an infinite gain would turn the
// impulse response into infinities and NaNs).
template <class Schematic>
void LoadTxParameters(Schematic& model, const char* parameterString, std::string& message) {
    typedef Tessel::AMI::ModelParameter Parameter;
    const Parameter parameters[] = {
        Parameter::Integer("DE", model.DE),
        Parameter::Integer("VOD", model.VOD),
        Parameter::FiniteReal("gain", model.gain),
        Parameter::FiniteReal("DE_range", model.DE_range),
    };
    const Tessel::AMI::ParamParser parser(parameterString);
    Tessel::AMI::LoadModelParameters(kTxModelName, parser, parameters, message);
}

}  // namespace Orvex

#endif
