#include "SweepPlan.h"

#include <algorithm>

#include "SweepValues.h"
#include "Touchstone.h"

namespace linksweep {

bool SweepSetting::operator==(const SweepSetting& other) const {
    return option == other.option && prefix == other.prefix && name == other.name && values == other.values;
}

SweepSetting* SweepPlan::Find(const std::string& option) {
    for (SweepSetting& setting : m_settings) {
        if (setting.option == option) return &setting;
    }
    return nullptr;
}

namespace {

// Each corner is one line of a jobs file.
bool OnOneLine(const std::string& option, const std::string& text, std::string& error) {
    if (text.find_first_of("\r\n") == std::string::npos) return true;
    error = option + ": a value holds a line break";
    return false;
}

}  // namespace

bool IsValueAxis(const std::string& option) {
    for (const char* axis : {"--bit-rate", "--prbs", "--tx-rj", "--tx-dj", "--tx-sj", "--tx-ppm", "--tx-ssc",
                             "--rx-noise", "--seed"}) {
        if (option == axis) return true;
    }
    return false;
}

bool SweepPlan::Add(const std::string& option, const std::string& value, std::string& error) {
    if (!OnOneLine(option, value, error)) return false;
    SweepSetting setting;
    setting.option = option;
    setting.name = option.substr(option.find_first_not_of('-'));
    bool expanded = true;
    if (option == "--tx" || option == "--rx") {
        const size_t equals = value.find('=');
        if (equals == 0 || equals == std::string::npos) {
            error = option + " " + value + ": give NAME=VALUE";
            return false;
        }
        setting.prefix = value.substr(0, equals + 1);
        setting.name = option.substr(2) + "." + value.substr(0, equals);
        expanded = ExpandValues(value.substr(equals + 1), setting.values, error);
    } else if (option == "--channel") {
        std::vector<std::string> channels;
        if (!ExpandChannel(value, channels, error)) {
            error = option + " " + value + ": " + error;
            return false;
        }
        if (SweepSetting* axis = Find(option)) {
            axis->values.insert(axis->values.end(), channels.begin(), channels.end());
        } else {
            setting.values = channels;
            m_settings.push_back(setting);
        }
        return WithinLimit(error);
    } else if (IsValueAxis(option)) {
        if (Find(option)) {
            error = option + " is given twice: give its values as one list";
            return false;
        }
        setting.name = option.substr(2);
        std::replace(setting.name.begin(), setting.name.end(), '-', '_');
        expanded = ExpandValues(value, setting.values, error);
    } else {
        setting.values.assign(1, value);
    }
    if (!expanded) {
        error = option + " " + value + ": " + error;
        return false;
    }
    m_settings.push_back(setting);
    return WithinLimit(error);
}

bool SweepPlan::WithinLimit(std::string& error) const {
    if (CornerCount() <= kMaxCorners) return true;
    error = "more than " + std::to_string(kMaxCorners) + " corners";
    return false;
}

bool SweepPlan::AddFlag(const std::string& option, std::string& error) {
    if (!OnOneLine(option, option, error)) return false;
    SweepSetting setting;
    setting.option = option;
    setting.name = option.substr(option.find_first_not_of('-'));
    m_settings.push_back(setting);
    return true;
}

size_t SweepPlan::CornerCount() const {
    size_t count = 1;
    for (const SweepSetting& setting : m_settings) {
        if (!setting.Swept()) continue;
        // Saturates instead of wrapping, so that the limit check sees it.
        count = count > kMaxCorners ? count : count * setting.values.size();
    }
    return count;
}

std::vector<const SweepSetting*> SweepPlan::Axes() const {
    std::vector<const SweepSetting*> axes;
    for (const SweepSetting& setting : m_settings) {
        if (setting.Swept()) axes.push_back(&setting);
    }
    return axes;
}

std::vector<size_t> SweepPlan::Choice(size_t corner) const {
    std::vector<size_t> choice(m_settings.size(), 0);
    size_t rest = corner - 1;
    for (size_t i = m_settings.size(); i-- > 0;) {
        if (!m_settings[i].Swept()) continue;
        choice[i] = rest % m_settings[i].values.size();
        rest /= m_settings[i].values.size();
    }
    return choice;
}

std::vector<std::string> SweepPlan::CornerValues(size_t corner) const {
    const std::vector<size_t> choice = Choice(corner);
    std::vector<std::string> values;
    for (size_t i = 0; i < m_settings.size(); ++i) {
        if (m_settings[i].Swept()) values.push_back(m_settings[i].values[choice[i]]);
    }
    return values;
}

std::vector<size_t> SweepPlan::AxisIndices(size_t corner) const {
    const std::vector<size_t> choice = Choice(corner);
    std::vector<size_t> indices;
    for (size_t i = 0; i < m_settings.size(); ++i) {
        if (m_settings[i].Swept()) indices.push_back(choice[i]);
    }
    return indices;
}

namespace {

// Whether a corner's value of this option names a Touchstone file, and
// whether that file is a .s2p.
bool TouchstoneValue(const std::vector<std::string>& arguments, const std::string& option, bool twoPort = false) {
    const std::string kind = "touchstone:";
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == option && arguments[i + 1].rfind(kind, 0) == 0 &&
            (!twoPort || linksim::PortsFromFileName(arguments[i + 1].substr(kind.size())) == 2)) {
            return true;
        }
    }
    return false;
}

// The options that pair a Touchstone file's ports go only to the corners
// whose channel (of four or more ports) or aggressor is one, the reference
// of a .s2p only to a corner whose channel is one: the link simulator
// refuses them elsewhere as meaningless.
std::vector<std::string> WithoutIdlePortOptions(const std::vector<std::string>& arguments) {
    const bool touchstoneAggressor = TouchstoneValue(arguments, "--aggressor");
    const bool twoPortChannel = TouchstoneValue(arguments, "--channel", true);
    const bool portsApply = touchstoneAggressor || (TouchstoneValue(arguments, "--channel") && !twoPortChannel);
    std::vector<std::string> kept;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const bool idle = (arguments[i] == "--ports" && !portsApply) ||
                          (arguments[i] == "--aggressor-ports" && !touchstoneAggressor) ||
                          (arguments[i] == "--s2p-reference" && !twoPortChannel);
        if (idle && i + 1 < arguments.size()) {
            ++i;
            continue;
        }
        kept.push_back(arguments[i]);
    }
    return kept;
}

}  // namespace

std::vector<std::string> SweepPlan::CornerArguments(size_t corner) const {
    const std::vector<size_t> choice = Choice(corner);
    std::vector<std::string> arguments;
    for (size_t i = 0; i < m_settings.size(); ++i) {
        const SweepSetting& setting = m_settings[i];
        arguments.push_back(setting.option);
        if (!setting.values.empty()) arguments.push_back(setting.prefix + setting.values[choice[i]]);
    }
    return WithoutIdlePortOptions(arguments);
}

std::vector<std::string> SweepPlan::ArgumentsWith(size_t corner, size_t setting, const std::string& value) const {
    SweepPlan changed = *this;
    changed.m_settings[setting].values.assign(1, value);
    // With one value the setting is no axis; the other axes keep their choice.
    const std::vector<size_t> choice = Choice(corner);
    for (size_t i = 0; i < changed.m_settings.size(); ++i) {
        if (i != setting && !changed.m_settings[i].values.empty()) {
            changed.m_settings[i].values.assign(1, m_settings[i].values[choice[i]]);
        }
    }
    return changed.CornerArguments(1);
}

nlohmann::ordered_json SweepPlan::ToJson() const {
    nlohmann::ordered_json settings = nlohmann::ordered_json::array();
    for (const SweepSetting& setting : m_settings) {
        settings.push_back({{"option", setting.option},
                            {"prefix", setting.prefix},
                            {"name", setting.name},
                            {"values", setting.values}});
    }
    return {{"settings", settings}, {"corner_count", CornerCount()}};
}

bool SweepPlan::FromJson(const nlohmann::ordered_json& json, SweepPlan& plan, std::string& error) {
    plan.m_settings.clear();
    try {
        for (const nlohmann::ordered_json& item : json.at("settings")) {
            SweepSetting setting;
            setting.option = item.at("option").get<std::string>();
            setting.prefix = item.at("prefix").get<std::string>();
            setting.name = item.at("name").get<std::string>();
            setting.values = item.at("values").get<std::vector<std::string>>();
            plan.m_settings.push_back(setting);
        }
    } catch (const nlohmann::ordered_json::exception& failure) {
        error = std::string("the plan does not read: ") + failure.what();
        return false;
    }
    return plan.WithinLimit(error);
}

std::string CornerFolder(size_t corner, size_t cornerCount) {
    const std::string number = std::to_string(corner);
    const size_t digits = std::to_string(cornerCount).size();
    return "corners/" + std::string(digits > number.size() ? digits - number.size() : 0, '0') + number;
}

}  // namespace linksweep
