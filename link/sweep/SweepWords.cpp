#include "SweepWords.h"

#include <algorithm>
#include <utility>

namespace linksweep {

namespace {

std::string Spaced(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    std::replace(text.begin(), text.end(), '-', ' ');
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One part of a dotted figure name: its words and, from its suffix, its unit.
std::string PartWords(const std::string& part, std::string& unit) {
    static const std::pair<const char*, const char*> kUnits[] = {{"_ui", "UI"}, {"_v", "V"},   {"_ps", "ps"},
                                                                 {"_s", "s"},   {"_db", "dB"}, {"_hz", "Hz"}};
    for (const auto& [suffix, name] : kUnits) {
        if (EndsWith(part, suffix)) {
            unit = name;
            return Spaced(part.substr(0, part.size() - std::string(suffix).size()));
        }
    }
    return Spaced(part);
}

}  // namespace

std::string SettingWords(const std::string& name) {
    static const std::pair<const char*, const char*> kNamed[] = {
        {"channel", "channel"},
        {"bit_rate", "bit rate (bit/s)"},
        {"prbs", "PRBS pattern"},
        {"tx_rj", "random jitter, rms (s)"},
        {"tx_dj", "deterministic jitter, peak to peak (s)"},
        {"tx_sj", "sinusoidal jitter (UI peak to peak @ Hz)"},
        {"tx_ppm", "data-rate offset (ppm)"},
        {"tx_ssc", "spread-spectrum clocking (ppm @ Hz)"},
        {"rx_noise", "receiver input noise, rms (V)"},
        {"seed", "seed of the jitter and noise"},
    };
    for (const auto& [key, words] : kNamed) {
        if (name == key) return words;
    }
    if (name.rfind("tx.", 0) == 0) return "transmitter " + name.substr(3);
    if (name.rfind("rx.", 0) == 0) return "receiver " + name.substr(3);
    return Spaced(name);
}

std::string FigureWords(const std::string& column) {
    static const std::pair<const char*, const char*> kNamed[] = {
        {"ber", "BER"},
        {"ber_upper_bound_95", "BER bound, 95 %"},
        {"ctle_column", "CTLE column"},
    };
    for (const auto& [key, words] : kNamed) {
        if (column == key) return words;
    }
    const std::string name = column.rfind("margins.", 0) == 0 ? column.substr(8) : column;
    std::string words, unit;
    for (size_t from = 0; from <= name.size();) {
        const size_t dot = std::min(name.find('.', from), name.size());
        words += (words.empty() ? "" : ", ") + PartWords(name.substr(from, dot - from), unit);
        from = dot + 1;
    }
    return unit.empty() ? words : words + " (" + unit + ")";
}

}  // namespace linksweep
