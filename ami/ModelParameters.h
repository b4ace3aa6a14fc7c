// Loading of a model's parameters from its AMI parameter string.
//
// Both models read their settings the same way: each parameter sits in a
// leaf right under the root named after the model, a parameter that cannot
// be read keeps the model's default, and every such parameter is reported
// in the model's message text. A model describes its parameters in one
// table and hands it to LoadModelParameters:
//
//   const Tessel::AMI::ModelParameter parameters[] = {
//       Tessel::AMI::ModelParameter::Integer("DE", model.DE),
//       Tessel::AMI::ModelParameter::Real("gain", model.gain),
//   };
//   Tessel::AMI::ParamParser parser(parameterString);
//   Tessel::AMI::LoadModelParameters("Orvex_TX_AMI_01142014", parser, parameters, message);
#ifndef TESSEL_AMI_MODEL_PARAMETERS_H
#define TESSEL_AMI_MODEL_PARAMETERS_H

#include "AmiParamParser.h"

#include <cstddef>
#include <string>

namespace Tessel {
namespace AMI {

struct ModelParameter {
    enum class Kind {
        Integer,         // read as an int, real values truncated toward zero
        Real,            // read as a double
        FiniteReal,      // read as a double that is finite
        RealFittingInt,  // read as a double that is finite and truncates to an int
    };

    const char* name;  // the leaf name under the model's root
    Kind kind;
    int* integerTarget;  // set for Kind::Integer
    double* realTarget;  // set for the real kinds

    static ModelParameter Integer(const char* name, int& target) {
        return ModelParameter{name, Kind::Integer, &target, nullptr};
    }
    static ModelParameter Real(const char* name, double& target) {
        return ModelParameter{name, Kind::Real, nullptr, &target};
    }
    // For a value the model computes with: inf, -inf and nan are reported
    // like a missing value, and the default stays.
    static ModelParameter FiniteReal(const char* name, double& target) {
        return ModelParameter{name, Kind::FiniteReal, nullptr, &target};
    }
    // For a value the model later truncates to an int: a value that is not
    // finite or lies outside the int range is reported like a missing one.
    static ModelParameter RealFittingInt(const char* name, double& target) {
        return ModelParameter{name, Kind::RealFittingInt, nullptr, &target};
    }
};

// The text appended for a parameter that keeps its default.
std::string UnreadParameterMessage(const char* modelName, const char* parameterName);

// Reads every parameter, in table order, from the leaf modelName.<name>;
// for each one that cannot be read the target keeps its value and
// UnreadParameterMessage is appended to message.
void LoadModelParameters(const char* modelName, const ParamParser& parser,
                         const ModelParameter* parameters, std::size_t count, std::string& message);

template <std::size_t N>
void LoadModelParameters(const char* modelName, const ParamParser& parser,
                         const ModelParameter (&parameters)[N], std::string& message) {
    LoadModelParameters(modelName, parser, parameters, N, message);
}

}  // namespace AMI
}  // namespace Tessel

#endif
