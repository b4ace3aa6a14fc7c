#include "ModelParameters.h"

#include <cmath>

namespace Tessel {
namespace AMI {

namespace {

bool ReadParameter(const ParamParser& parser, const ModelParameter& parameter, const char* path) {
    switch (parameter.kind) {
        case ModelParameter::Kind::Integer:
            return parser.GetValue(*parameter.integerTarget, path);
        case ModelParameter::Kind::Real:
            return parser.GetValue(*parameter.realTarget, path);
        case ModelParameter::Kind::FiniteReal: {
            double value = 0.0;
            if (!parser.GetValue(value, path) || !std::isfinite(value)) {
                return false;
            }
            *parameter.realTarget = value;
            return true;
        }
        case ModelParameter::Kind::RealFittingInt: {
            // The int reading applies the range rule; the double is stored.
            int truncated = 0;
            return parser.GetValue(truncated, path) && parser.GetValue(*parameter.realTarget, path);
        }
    }
    return false;
}

}  // namespace

std::string UnreadParameterMessage(const char* modelName, const char* parameterName) {
    return std::string("The IBIS-AMI model, ") + modelName + ", is unable to initialize the parameter " +
           parameterName + " from the AMI_Init arguments.  The model will use the default setting. ";
}

void LoadModelParameters(const char* modelName, const ParamParser& parser,
                         const ModelParameter* parameters, std::size_t count, std::string& message) {
    for (std::size_t i = 0; i < count; ++i) {
        const ModelParameter& parameter = parameters[i];
        const std::string path = std::string(modelName) + "." + parameter.name;
        if (!ReadParameter(parser, parameter, path.c_str())) {
            message += UnreadParameterMessage(modelName, parameter.name);
        }
    }
}

}  // namespace AMI
}  // namespace Tessel
