// Words for a sweep's keys where people read them (the heat maps, the
// report): "tx.DE" is "transmitter DE", "tx_rj" "random jitter, rms (s)",
// "margins.timing_margin_ui" "timing margin (UI)". The keys themselves stay
// what the files and the options use.
#ifndef LINK_SWEEP_SWEEP_WORDS_H
#define LINK_SWEEP_SWEEP_WORDS_H

#include <string>

namespace linksweep {

// A setting's name as SweepSetting::name gives it, with the unit its values
// are written in.
std::string SettingWords(const std::string& name);
// A figure's column in sweep.csv, with its unit.
std::string FigureWords(const std::string& column);

}  // namespace linksweep

#endif
