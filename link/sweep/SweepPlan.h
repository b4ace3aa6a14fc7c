// A sweep's plan: the link simulator's options in the order given, each
// with one value or with several (an axis), and the corners they make.
// Corners are numbered from 1 in the order of nested loops over the axes,
// the first axis outermost; corner N runs in corners/N, N zero-padded to the
// digits of the corner count.
#ifndef LINK_SWEEP_SWEEP_PLAN_H
#define LINK_SWEEP_SWEEP_PLAN_H

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace linksweep {

// No sweep has more corners than this.
constexpr size_t kMaxCorners = 10000000;

// The options other than --tx, --rx and --channel whose one value may be a
// list or range, and so an axis: the bit rate, the pattern and the stress.
bool IsValueAxis(const std::string& option);

struct SweepSetting {
    std::string option;  // as the link simulator takes it: "--tx", "--channel", "--bits", ...
    std::string prefix;  // "DE=" for a model parameter, else empty
    std::string name;    // "tx.DE", "rx.EQ_Level", "channel", "bit_rate", "prbs", or the option
    std::vector<std::string> values;  // none for a flag such as --sequential

    bool Swept() const { return values.size() > 1; }
    bool operator==(const SweepSetting& other) const;
};

class SweepPlan {
public:
    // One option as given. --tx/--rx NAME=VALUES, --bit-rate and --prbs
    // expand their values; every --channel adds to the one channel axis;
    // other options keep their value as written (value is ignored for a
    // flag). False with the reason in error: a malformed list or range,
    // --tx/--rx without NAME=, --bit-rate or --prbs given twice, or more
    // than kMaxCorners corners.
    bool Add(const std::string& option, const std::string& value, std::string& error);
    bool AddFlag(const std::string& option, std::string& error);

    const std::vector<SweepSetting>& Settings() const { return m_settings; }
    size_t CornerCount() const;
    // The swept settings, in the order given: the axes.
    std::vector<const SweepSetting*> Axes() const;
    // Corner numbers run from 1 to CornerCount().
    std::vector<std::string> CornerValues(size_t corner) const;  // one per axis
    std::vector<size_t> AxisIndices(size_t corner) const;         // into each axis's values
    std::vector<std::string> CornerArguments(size_t corner) const;
    // The same arguments with one setting's value replaced: how each value
    // of an axis is checked before anything runs.
    std::vector<std::string> ArgumentsWith(size_t corner, size_t setting, const std::string& value) const;

    nlohmann::ordered_json ToJson() const;
    static bool FromJson(const nlohmann::ordered_json& json, SweepPlan& plan, std::string& error);
    bool operator==(const SweepPlan& other) const { return m_settings == other.m_settings; }
    bool operator!=(const SweepPlan& other) const { return !(*this == other); }

private:
    // The index into each setting's values for a corner.
    std::vector<size_t> Choice(size_t corner) const;
    SweepSetting* Find(const std::string& option);
    bool WithinLimit(std::string& error) const;

    std::vector<SweepSetting> m_settings;
};

// "corners/07" for corner 7 of 64.
std::string CornerFolder(size_t corner, size_t cornerCount);

}  // namespace linksweep

#endif
