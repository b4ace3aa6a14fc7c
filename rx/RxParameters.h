// The receiver's eleven model parameters and where the parameter string
// holds them: leaves right under the root named after the model.
#ifndef ORVEX_RX_PARAMETERS_H
#define ORVEX_RX_PARAMETERS_H

#include <string>

#include "AmiParamParser.h"
#include "ModelParameters.h"

namespace Orvex {

const char kRxModelName[] = "Orvex_RX_AMI_05272013";

// Reads the parameters into the schematic, in this order; each one that
// cannot be read keeps the schematic's default and is reported in message.
// The schematic truncates every one of them to an int in its Setup, so a
// value that is not finite or does not fit an int is refused here.
template <class Schematic>
void LoadRxParameters(Schematic& model, const char* parameterString, std::string& message) {
    typedef Tessel::AMI::ModelParameter Parameter;
    const Parameter parameters[] = {
        Parameter::RealFittingInt("EQ_Level", model.EQ_Level),
        Parameter::RealFittingInt("DWDM_mode", model.DWDM_mode),
        Parameter::RealFittingInt("Rx_config", model.Rx_config),
        Parameter::RealFittingInt("DFEtap1", model.DFEtap1),
        Parameter::RealFittingInt("DFEtap2", model.DFEtap2),
        Parameter::RealFittingInt("DFEtap3", model.DFEtap3),
        Parameter::RealFittingInt("DFEtap4", model.DFEtap4),
        Parameter::RealFittingInt("DFEtap5", model.DFEtap5),
        Parameter::RealFittingInt("DFEAdapt", model.DFEAdapt),
        Parameter::RealFittingInt("CTLEAdapt", model.CTLEAdapt),
        Parameter::RealFittingInt("EOM_window", model.EOM_window),
    };
    const Tessel::AMI::ParamParser parser(parameterString);
    Tessel::AMI::LoadModelParameters(kRxModelName, parser, parameters, message);
}

}  // namespace Orvex

#endif
