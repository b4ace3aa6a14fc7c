// Warnings a run's margins and history give a user, in words: a sampling
// instant away from the middle of the opening, a clock that never moved or
// kept wandering, an adaptation still at work after Ignore_Bits, and
// margins that rest on extrapolation.
#ifndef LINK_ANALYSIS_MARGIN_NOTES_H
#define LINK_ANALYSIS_MARGIN_NOTES_H

#include <cstddef>
#include <string>
#include <vector>

#include "ClockTrack.h"
#include "Margins.h"

namespace linksim {

struct MarginFacts {
    const MarginReport* margins = nullptr;  // null: none measured
    const ClockTrack* clock = nullptr;      // null: the receiver reports no clock
    // Wander the stress explains (the sinusoidal jitter's peak to peak).
    double expectedWanderUi = 0.0;
    // No jitter and no noise reached the receiver's input: a clock that
    // only moves on edges that straddle it may then never move.
    bool unstressed = false;
    std::vector<size_t> adaptationLineBits;  // when each measurement was logged
    size_t ignoreBits = 0;
};

// A clock that moves less than this over a run never moved; one that
// wanders more than this (beyond what the stress explains) after its lock
// kept wandering.
const double kNeverMovedUi = 0.01;
const double kWanderingUi = 0.1;

std::vector<std::string> MarginNotes(const MarginFacts& facts);

}  // namespace linksim

#endif
