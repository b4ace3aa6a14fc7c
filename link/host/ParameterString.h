// The parameter string a simulator hands to AMI_Init: the model's root name
// and every input parameter with its value, the user's where given, the
// .ami file's default otherwise, each checked against the .ami file.
#ifndef LINK_PARAMETER_STRING_H
#define LINK_PARAMETER_STRING_H

#include <string>
#include <vector>

#include "AmiDescription.h"

namespace linksim {

struct ParameterOverride {
    std::string name;
    std::string value;
};

// NAME=VALUE; false with an explanation when there is no name or no '='.
bool ParseOverride(const std::string& text, ParameterOverride& result, std::string& error);

// Checks a value against the parameter's type and allowed values. On success
// written holds the value as the parameter string carries it (strings in
// double quotes, booleans as True/False).
bool CheckParameterValue(const AmiParameter& parameter, const std::string& value, std::string& written,
                         std::string& error);

struct ParameterChoice {
    const AmiParameter* parameter;
    std::string written;
    bool fromUser;
};

// Every input parameter of the model with its value, in the .ami file's
// order. Fails, with one line naming the parameter, on an unknown or
// ambiguous name, a parameter that is not an input, a bad value, or a value
// given twice. Input parameters with no default and no value are left out.
bool ChooseParameters(const AmiDescription& model, const std::vector<ParameterOverride>& overrides,
                      std::vector<ParameterChoice>& choices, std::string& error);

// "(model_name (DE 3) (VOD 5) (group (a 1)))": parameters under groups are
// nested as in the .ami file.
std::string BuildParameterString(const std::string& modelName, const std::vector<ParameterChoice>& choices);

}  // namespace linksim

#endif
