// The one grammar of the numbers the host tools' options take, so that a
// value means the same wherever it is given and anything else is refused:
//   [sign] digits [. digits] [e [sign] digits]
// then, only without an exponent, one SI prefix (f p n u m k M G T), then
// optionally the symbol of the option's unit ("1p", "1ps", "0.8pF",
// "10Gbps", "50ohm"). Counts are whole numbers, with k, M or G ("1.5k" is
// 1500; "32.5" is refused). IBIS and Touchstone files keep their own rules.
#ifndef LINK_COMMON_QUANTITY_H
#define LINK_COMMON_QUANTITY_H

#include <string>

namespace linksim {

// What an option's number measures: which unit symbols may follow it.
enum class Unit { None, Seconds, Hertz, BitsPerSecond, Farads, Ohms, Volts, Decibels, UnitIntervals, PartsPerMillion };

// The unit's usual symbol ("s", "Hz", ...), empty for None.
const char* UnitSymbol(Unit unit);

// False when the text is anything but a finite number of the grammar.
bool ParseQuantity(const std::string& text, Unit unit, double& value);
inline bool ParseQuantity(const std::string& text, double& value) { return ParseQuantity(text, Unit::None, value); }

// A whole number, 0 or more, with k, M or G allowed ("10k", "1.5k", "2e5").
bool ParseCount(const std::string& text, long long& value);

// AMOUNT@FREQUENCY, both halves in the grammar ("0.1@10M", "5000@33kHz").
bool ParseQuantityAtFrequency(const std::string& text, Unit amountUnit, double& amount, double& frequency);

}  // namespace linksim

#endif
