#include "AmiDescription.h"

namespace linksim {

const std::string* AmiDescription::ReservedValue(const std::string& name) const {
    for (const auto& entry : reservedValues) {
        if (entry.first == name) return &entry.second;
    }
    return nullptr;
}

std::string AmiParameter::DottedPath() const {
    std::string dotted;
    for (const std::string& name : path) {
        if (!dotted.empty()) dotted += ".";
        dotted += name;
    }
    return dotted;
}

const AmiParameter* AmiDescription::Find(const std::string& name, bool* ambiguous) const {
    if (ambiguous) *ambiguous = false;
    const AmiParameter* found = nullptr;
    for (const AmiParameter& parameter : parameters) {
        if (parameter.DottedPath() == name) {
            return &parameter;
        }
    }
    for (const AmiParameter& parameter : parameters) {
        if (parameter.Name() == name) {
            if (found != nullptr) {
                if (ambiguous) *ambiguous = true;
                return nullptr;
            }
            found = &parameter;
        }
    }
    return found;
}

const char* UsageName(AmiUsage usage) {
    switch (usage) {
        case AmiUsage::In: return "In";
        case AmiUsage::Out: return "Out";
        case AmiUsage::InOut: return "InOut";
        case AmiUsage::Info: return "Info";
        case AmiUsage::Dep: return "Dep";
        case AmiUsage::Unknown: break;
    }
    return "unknown";
}

const char* TypeName(AmiType type) {
    switch (type) {
        case AmiType::Float: return "Float";
        case AmiType::Integer: return "Integer";
        case AmiType::String: return "String";
        case AmiType::Boolean: return "Boolean";
        case AmiType::UI: return "UI";
        case AmiType::Tap: return "Tap";
        case AmiType::Unknown: break;
    }
    return "unknown";
}

}  // namespace linksim
