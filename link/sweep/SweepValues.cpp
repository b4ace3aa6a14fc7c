#include "SweepValues.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CommandLine.h"
#include "Quantity.h"

namespace linksweep {

namespace {

const long long kLargestInteger = 1000000000000000LL;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// A plain decimal integer, the only kind that makes an integer range.
// Kept well inside long long, so that the range's arithmetic cannot overflow.
bool ParseInteger(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && std::llabs(value) <= kLargestInteger;
}

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", value == 0.0 ? 0.0 : value);  // no "-0"
    return text;
}

bool TooMany(double count, const std::string& item, std::string& error) {
    if (count <= double(kMaxAxisValues)) return false;
    error = "the range " + item + " has more than " + std::to_string(kMaxAxisValues) + " values";
    return true;
}

bool ExpandIntegerRange(long long start, long long stop, long long step, const std::string& item,
                        std::vector<std::string>& values, std::string& error) {
    if (step == 0 || (stop - start) / step < 0) {
        error = "the range " + item + " never reaches its end: give a step towards it";
        return false;
    }
    if (TooMany(double((stop - start) / step) + 1.0, item, error)) return false;
    for (long long value = start; step > 0 ? value <= stop : value >= stop; value += step) {
        values.push_back(std::to_string(value));
    }
    return true;
}

bool ExpandNumberRange(double start, double stop, double step, const std::string& item,
                       std::vector<std::string>& values, std::string& error) {
    const double intervals = step == 0.0 ? -1.0 : (stop - start) / step;
    if (!(intervals >= 0.0) || !std::isfinite(intervals)) {
        error = "the range " + item + " never reaches its end: give a step towards it";
        return false;
    }
    // A stop that the steps reach only up to rounding still belongs.
    const double count = std::floor(intervals + 1e-9) + 1.0;
    if (TooMany(count, item, error)) return false;
    for (size_t i = 0; i < size_t(count); ++i) values.push_back(FormatNumber(start + double(i) * step));
    return true;
}

// "a:b" or "a:b:c" with numbers at both ends is a range; anything else is
// one value.
bool ExpandItem(const std::string& item, std::vector<std::string>& values, std::string& error) {
    if (item.empty()) {
        error = "an empty value in the list";
        return false;
    }
    const std::vector<std::string> parts = Split(item, ':');
    if (parts.size() == 2 || parts.size() == 3) {
        long long a = 0, b = 0, c = 1;
        if (ParseInteger(parts[0], a) && ParseInteger(parts[1], b) &&
            (parts.size() == 2 || ParseInteger(parts[2], c))) {
            return ExpandIntegerRange(a, b, c, item, values, error);
        }
        double x = 0.0, y = 0.0, z = 1.0;
        if (linksim::ParseQuantity(parts[0], x) && linksim::ParseQuantity(parts[1], y) &&
            (parts.size() == 2 || linksim::ParseQuantity(parts[2], z))) {
            return ExpandNumberRange(x, y, z, item, values, error);
        }
    }
    values.push_back(item);
    return true;
}

}  // namespace

bool ExpandValues(const std::string& text, std::vector<std::string>& values, std::string& error) {
    values.clear();
    for (const std::string& item : Split(text, ',')) {
        if (!ExpandItem(item, values, error)) return false;
        if (values.size() > kMaxAxisValues) {
            error = "more than " + std::to_string(kMaxAxisValues) + " values in " + text;
            return false;
        }
    }
    return true;
}

namespace {

bool StartsWithChannelKind(const std::string& text) {
    for (const char* kind : {"loss:", "file:", "touchstone:"}) {
        if (text.rfind(kind, 0) == 0) return true;
    }
    return false;
}

// The file a file: or touchstone: channel names; empty for another kind.
std::string ChannelFile(const std::string& text) {
    for (const std::string kind : {"file:", "touchstone:"}) {
        if (text.rfind(kind, 0) == 0) return text.substr(kind.size());
    }
    return "";
}

}  // namespace

bool ExpandChannel(const std::string& text, std::vector<std::string>& values, std::string& error) {
    // A comma in a channel file's name is taken as such only when that file
    // exists: touchstone:a,touchstone:b could be either.
    const std::string file = ChannelFile(text);
    if (!file.empty() && file.find(',') != std::string::npos) {
        std::error_code failure;
        if (std::filesystem::is_regular_file(file, failure)) {
            values.assign(1, text);
            return true;
        }
        error = "no file is named " + file + ", and a comma in a channel file's name is taken as part of it only "
                "when that file exists: give each channel its own --channel";
        return false;
    }
    // Several channels after a loss, each named with its kind.
    const std::vector<std::string> items = Split(text, ',');
    if (items.size() > 1 && std::all_of(items.begin(), items.end(), StartsWithChannelKind)) {
        values.clear();
        for (const std::string& item : items) {
            std::vector<std::string> expanded;
            if (!ExpandChannel(item, expanded, error)) return false;
            values.insert(values.end(), expanded.begin(), expanded.end());
        }
        return true;
    }
    const std::string loss = "loss:";
    if (text.rfind(loss, 0) != 0) {
        values.assign(1, text);
        return true;
    }
    std::vector<std::string> losses;
    if (!ExpandValues(text.substr(loss.size()), losses, error)) return false;
    values.clear();
    for (const std::string& value : losses) values.push_back(loss + value);
    return true;
}

}  // namespace linksweep
