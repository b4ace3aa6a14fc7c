// What a model's .ami file says about it: its root name, the reserved
// parameters a simulator acts on, and the model-specific parameters with
// their usage, type, allowed values and default.
#ifndef LINK_AMI_DESCRIPTION_H
#define LINK_AMI_DESCRIPTION_H

#include <string>
#include <utility>
#include <vector>

namespace linksim {

enum class AmiUsage { In, Out, InOut, Info, Dep, Unknown };
enum class AmiType { Float, Integer, String, Boolean, UI, Tap, Unknown };
// How the allowed values are given: (Value v), (Range typ min max),
// (List v1 v2 ...), (Increment typ min max step), (Steps typ min max n),
// (Corner typ slow fast), (Table (Labels ...) (row) ...), or not at all.
enum class AmiFormat { None, Value, Range, List, Increment, Steps, Corner, Table };

struct AmiParameter {
    // Branch names from below the root down to the parameter itself; more
    // than one for a parameter inside a group branch.
    std::vector<std::string> path;
    AmiUsage usage = AmiUsage::Unknown;
    AmiType type = AmiType::Unknown;
    AmiFormat format = AmiFormat::None;
    std::vector<std::string> formatValues;  // as written, without the format name
    bool hasDefault = false;
    // From (Default v) or else the format's first value; a Table's rows as
    // the file writes them, which is what the model is given.
    std::string defaultValue;

    const std::string& Name() const { return path.back(); }
    std::string DottedPath() const;
    bool IsInput() const { return usage == AmiUsage::In || usage == AmiUsage::InOut; }
};

struct AmiDescription {
    std::string modelName;
    bool initReturnsImpulse = false;
    bool getWaveExists = false;
    long ignoreBits = 0;
    long maxInitAggressors = -1;  // -1: not declared
    std::string modulation = "NRZ";
    std::vector<AmiParameter> parameters;
    // Reserved parameters the model takes as inputs (Model_Name and the
    // like), whose values the host gives.
    std::vector<AmiParameter> reservedInputs;
    // Every reserved parameter's value as written (its Value, Default, or
    // the typical value of its Range or Corner), by name, in file order.
    std::vector<std::pair<std::string, std::string>> reservedValues;

    // The reserved parameter's value as written, or null.
    const std::string* ReservedValue(const std::string& name) const;

    // A parameter by its name or dotted path; null when there is none.
    // ambiguous tells that a bare name is shared by parameters of two groups.
    const AmiParameter* Find(const std::string& name, bool* ambiguous = nullptr) const;
};

const char* UsageName(AmiUsage usage);
const char* TypeName(AmiType type);

}  // namespace linksim

#endif
