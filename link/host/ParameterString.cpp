#include "ParameterString.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace linksim {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool ParseLong(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool ParseDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

bool IsNumeric(AmiType type) {
    return type == AmiType::Float || type == AmiType::Integer || type == AmiType::UI || type == AmiType::Tap;
}

bool SameNumber(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b)); }

std::string JoinValues(const std::vector<std::string>& values, size_t from) {
    std::string joined;
    for (size_t i = from; i < values.size(); ++i) {
        if (!joined.empty()) joined += " ";
        joined += values[i];
    }
    return joined;
}

std::string Describe(const AmiParameter& parameter, const std::string& value) {
    return "parameter " + parameter.DottedPath() + "=" + value;
}

// The value in the parameter string's syntax, once its type is right.
bool WriteTyped(const AmiParameter& parameter, const std::string& value, std::string& written, std::string& error) {
    switch (parameter.type) {
        case AmiType::Integer: {
            // A whole number written as a decimal (3.0, 1e3) is that integer.
            long number = 0;
            double decimal = 0.0;
            if (!ParseLong(value, number)) {
                if (!ParseDouble(value, decimal) || decimal != std::floor(decimal) || std::fabs(decimal) > 9e15) {
                    error = Describe(parameter, value) + " is not an integer";
                    return false;
                }
                number = long(decimal);
            }
            written = std::to_string(number);
            return true;
        }
        case AmiType::Float:
        case AmiType::UI:
        case AmiType::Tap: {
            double number = 0.0;
            if (!ParseDouble(value, number)) {
                error = Describe(parameter, value) + " is not a number";
                return false;
            }
            written = value;
            return true;
        }
        case AmiType::Boolean:
            if (value == "True" || value == "true" || value == "TRUE") {
                written = "True";
            } else if (value == "False" || value == "false" || value == "FALSE") {
                written = "False";
            } else {
                error = Describe(parameter, value) + " is neither True nor False";
                return false;
            }
            return true;
        case AmiType::String:
            // The parameter string has no escape for a double quote.
            if (value.find('"') != std::string::npos) {
                error = Describe(parameter, value) + " holds a double quote";
                return false;
            }
            written = "\"" + value + "\"";
            return true;
        case AmiType::Unknown:
            break;
    }
    error = "parameter " + parameter.DottedPath() + " has no type the .ami file declares";
    return false;
}

bool Equal(const AmiParameter& parameter, const std::string& a, const std::string& b) {
    double x = 0.0;
    double y = 0.0;
    if (IsNumeric(parameter.type) && ParseDouble(a, x) && ParseDouble(b, y)) {
        return SameNumber(x, y);
    }
    return a == b;
}

std::string StepText(double step) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", step);
    return text;
}

// Checks a typed value against the format's bounds.
bool CheckAllowed(const AmiParameter& parameter, const std::string& value, std::string& error) {
    const std::vector<std::string>& allowed = parameter.formatValues;
    switch (parameter.format) {
        case AmiFormat::None:
            return true;
        case AmiFormat::Value:
            if (!allowed.empty() && !Equal(parameter, value, allowed[0])) {
                error = Describe(parameter, value) + ": the value is fixed at " + allowed[0];
                return false;
            }
            return true;
        case AmiFormat::List:
            for (const std::string& entry : allowed) {
                if (Equal(parameter, value, entry)) return true;
            }
            error = Describe(parameter, value) + " is not one of " + JoinValues(allowed, 0);
            return false;
        case AmiFormat::Corner: {
            for (const std::string& entry : allowed) {
                if (Equal(parameter, value, entry)) return true;
            }
            error = Describe(parameter, value) + " is none of the corners " + JoinValues(allowed, 0);
            return false;
        }
        case AmiFormat::Table:
            if (value != parameter.defaultValue) {
                error = "parameter " + parameter.DottedPath() + " is a Table, passed as the .ami file gives it";
                return false;
            }
            return true;
        case AmiFormat::Range:
        case AmiFormat::Increment:
        case AmiFormat::Steps:
            break;
    }
    double number = 0.0;
    double low = 0.0;
    double high = 0.0;
    if (allowed.size() < 3 || !ParseDouble(value, number) || !ParseDouble(allowed[1], low) ||
        !ParseDouble(allowed[2], high)) {
        return true;  // a range that is not numeric bounds nothing
    }
    if (number < low || number > high) {
        error = Describe(parameter, value) + " is outside its range " + allowed[1] + " to " + allowed[2];
        return false;
    }
    // Increment gives the step; Steps the number of equal steps from the
    // least value to the largest.
    double given = 0.0;
    if (allowed.size() < 4 || !ParseDouble(allowed[3], given) || !(given > 0.0)) return true;
    const bool counted = parameter.format == AmiFormat::Steps;
    if (!counted && parameter.format != AmiFormat::Increment) return true;
    const double step = counted ? (high - low) / given : given;
    const double steps = step > 0.0 ? (number - low) / step : 0.0;
    if (std::fabs(steps - std::round(steps)) > 1e-6) {
        error = Describe(parameter, value) + " is not " + allowed[1] + " plus a whole number of steps of " +
                (counted ? StepText(step) : allowed[3]);
        return false;
    }
    return true;
}

}  // namespace

bool ParseOverride(const std::string& text, ParameterOverride& result, std::string& error) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        error = "'" + text + "' is not NAME=VALUE";
        return false;
    }
    result.name = Trim(text.substr(0, equals));
    result.value = Trim(text.substr(equals + 1));
    if (result.name.empty()) {
        error = "'" + text + "' names no parameter";
        return false;
    }
    // A string value may come quoted from the shell.
    if (result.value.size() >= 2 && result.value.front() == '"' && result.value.back() == '"') {
        result.value = result.value.substr(1, result.value.size() - 2);
    }
    return true;
}

bool CheckParameterValue(const AmiParameter& parameter, const std::string& value, std::string& written,
                         std::string& error) {
    if (parameter.format == AmiFormat::Table) {
        if (!CheckAllowed(parameter, value, error)) return false;
        written = value;
        return true;
    }
    std::string typed;
    if (!WriteTyped(parameter, value, typed, error)) {
        return false;
    }
    const std::string bare = parameter.type == AmiType::String ? value : typed;
    if (!CheckAllowed(parameter, bare, error)) {
        return false;
    }
    written = typed;
    return true;
}

bool ChooseParameters(const AmiDescription& model, const std::vector<ParameterOverride>& overrides,
                      std::vector<ParameterChoice>& choices, std::string& error) {
    std::vector<const ParameterOverride*> given(model.parameters.size(), nullptr);
    for (const ParameterOverride& override : overrides) {
        bool ambiguous = false;
        const AmiParameter* parameter = model.Find(override.name, &ambiguous);
        if (ambiguous) {
            error = model.modelName + " has more than one parameter " + override.name + "; give its group too";
            return false;
        }
        if (parameter == nullptr) {
            std::string known;
            for (const AmiParameter& candidate : model.parameters) {
                if (!candidate.IsInput()) continue;
                known += (known.empty() ? "" : ", ") + candidate.DottedPath();
            }
            error = model.modelName + " has no parameter " + override.name +
                    (known.empty() ? "" : " (its input parameters: " + known + ")");
            return false;
        }
        if (!parameter->IsInput()) {
            error = "parameter " + parameter->DottedPath() + " of " + model.modelName + " is " +
                    UsageName(parameter->usage) + ", not an input";
            return false;
        }
        const size_t index = size_t(parameter - model.parameters.data());
        if (given[index] != nullptr) {
            error = "parameter " + parameter->DottedPath() + " of " + model.modelName + " is given twice";
            return false;
        }
        given[index] = &override;
    }
    choices.clear();
    for (size_t i = 0; i < model.parameters.size(); ++i) {
        const AmiParameter& parameter = model.parameters[i];
        if (!parameter.IsInput()) continue;
        std::string written;
        if (given[i] != nullptr) {
            if (!CheckParameterValue(parameter, given[i]->value, written, error)) {
                error = model.modelName + " " + error;
                return false;
            }
            choices.push_back({&parameter, written, true});
        } else if (parameter.hasDefault) {
            // The model's own default: written as the .ami file has it.
            if (!CheckParameterValue(parameter, parameter.defaultValue, written, error)) {
                error = model.modelName + ".ami default of " + error;
                return false;
            }
            choices.push_back({&parameter, written, false});
        }
    }
    return true;
}

namespace {

// Writes the choices whose paths start with prefix (depth names), nesting
// the groups in order of first appearance.
void WriteLevel(const std::vector<ParameterChoice>& choices, const std::vector<std::string>& prefix,
                std::vector<bool>& written, std::ostringstream& out) {
    for (size_t i = 0; i < choices.size(); ++i) {
        if (written[i]) continue;
        const std::vector<std::string>& path = choices[i].parameter->path;
        if (path.size() <= prefix.size() || !std::equal(prefix.begin(), prefix.end(), path.begin())) continue;
        if (path.size() == prefix.size() + 1) {
            out << " (" << path.back() << " " << choices[i].written << ")";
            written[i] = true;
            continue;
        }
        std::vector<std::string> group(path.begin(), path.begin() + long(prefix.size()) + 1);
        out << " (" << group.back();
        WriteLevel(choices, group, written, out);
        out << ")";
    }
}

}  // namespace

std::string BuildParameterString(const std::string& modelName, const std::vector<ParameterChoice>& choices) {
    std::ostringstream out;
    out << "(" << modelName;
    std::vector<bool> written(choices.size(), false);
    WriteLevel(choices, {}, written, out);
    out << ")";
    return out.str();
}

}  // namespace linksim
