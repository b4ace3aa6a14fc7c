#include "Quantity.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace linksim {

namespace {

struct PrefixScale {
    char letter;
    double scale;
};
const PrefixScale kPrefixes[] = {{'f', 1e-15}, {'p', 1e-12}, {'n', 1e-9}, {'u', 1e-6}, {'m', 1e-3},
                                 {'k', 1e3},   {'M', 1e6},   {'G', 1e9},   {'T', 1e12}};
// Counts take only the prefixes of large numbers.
const PrefixScale kCountPrefixes[] = {{'k', 1e3}, {'M', 1e6}, {'G', 1e9}};

// The symbols each unit may be written with, after the prefix.
struct UnitSymbols {
    Unit unit;
    const char* symbols[4];
};
const UnitSymbols kUnitSymbols[] = {
    {Unit::None, {nullptr}},
    {Unit::Seconds, {"s", nullptr}},
    {Unit::Hertz, {"Hz", nullptr}},
    {Unit::BitsPerSecond, {"bps", "b/s", "Hz", nullptr}},
    {Unit::Farads, {"F", nullptr}},
    {Unit::Ohms, {"ohm", "ohms", "Ohm", "\xce\xa9"}},
    {Unit::Volts, {"V", nullptr}},
    {Unit::Decibels, {"dB", nullptr}},
    {Unit::UnitIntervals, {"UI", nullptr}},
    {Unit::PartsPerMillion, {"ppm", nullptr}},
};

const UnitSymbols& SymbolsOf(Unit unit) {
    for (const UnitSymbols& entry : kUnitSymbols) {
        if (entry.unit == unit) return entry;
    }
    return kUnitSymbols[0];
}

bool IsUnitSymbol(const std::string& text, Unit unit) {
    for (const char* symbol : SymbolsOf(unit).symbols) {
        if (symbol == nullptr) break;
        if (text == symbol) return true;
    }
    return false;
}

// The length of the number at the start of text (sign, digits, point,
// exponent) and whether it had an exponent; 0 when there is none.
size_t NumberLength(const std::string& text, bool& exponent) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && std::isdigit((unsigned char)text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit((unsigned char)text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    exponent = false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const size_t first = j;
        while (j < text.size() && std::isdigit((unsigned char)text[j])) ++j;
        if (j == first) return 0;
        exponent = true;
        i = j;
    }
    return i;
}

// The number itself, whatever the program's locale: strtod would follow
// the locale's decimal point, so the text is rewritten as its digits and a
// power of ten, which every locale reads alike.
double ReadNumber(const std::string& text) {
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') ++i;
    std::string digits;
    long long exponent10 = 0;
    bool afterPoint = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            afterPoint = true;
            continue;
        }
        digits += text[i];
        if (afterPoint) --exponent10;
    }
    // Far beyond any finite double either way, and no overflow in the sum.
    if (i < text.size()) exponent10 += std::max(-100000LL, std::min(100000LL, std::strtoll(text.c_str() + i + 1, nullptr, 10)));
    const double magnitude = std::strtod((digits + "e" + std::to_string(exponent10)).c_str(), nullptr);
    return negative ? -magnitude : magnitude;
}

bool ParseScaled(const std::string& text, Unit unit, const PrefixScale* prefixes, size_t prefixCount,
                 double& value) {
    bool exponent = false;
    const size_t length = NumberLength(text, exponent);
    if (length == 0) return false;
    double number = ReadNumber(text.substr(0, length));
    std::string rest = text.substr(length);
    if (!rest.empty() && !exponent) {
        for (size_t p = 0; p < prefixCount; ++p) {
            if (rest[0] == prefixes[p].letter && (rest.size() == 1 || IsUnitSymbol(rest.substr(1), unit))) {
                number *= prefixes[p].scale;
                rest.clear();
                break;
            }
        }
    }
    if (!rest.empty() && !IsUnitSymbol(rest, unit)) return false;
    if (!std::isfinite(number)) return false;
    value = number;
    return true;
}

}  // namespace

const char* UnitSymbol(Unit unit) {
    const char* symbol = SymbolsOf(unit).symbols[0];
    return symbol ? symbol : "";
}

bool ParseQuantity(const std::string& text, Unit unit, double& value) {
    return ParseScaled(text, unit, kPrefixes, sizeof kPrefixes / sizeof kPrefixes[0], value);
}

bool ParseCount(const std::string& text, long long& value) {
    double number = 0.0;
    if (text.empty() || text[0] == '-' || text[0] == '+' ||
        !ParseScaled(text, Unit::None, kCountPrefixes, sizeof kCountPrefixes / sizeof kCountPrefixes[0], number)) {
        return false;
    }
    if (number != std::floor(number) || number > 9e18) return false;
    value = (long long)number;
    return true;
}

bool ParseQuantityAtFrequency(const std::string& text, Unit amountUnit, double& amount, double& frequency) {
    const size_t at = text.find('@');
    if (at == std::string::npos || text.find('@', at + 1) != std::string::npos) return false;
    return ParseQuantity(text.substr(0, at), amountUnit, amount) &&
           ParseQuantity(text.substr(at + 1), Unit::Hertz, frequency);
}

}  // namespace linksim
