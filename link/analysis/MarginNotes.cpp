#include "MarginNotes.h"

#include <cmath>
#include <cstdio>

namespace linksim {

namespace {
std::string Format(const char* format, double a, double b = 0.0, double c = 0.0) {
    char text[320];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}
}  // namespace

std::vector<std::string> MarginNotes(const MarginFacts& facts) {
    std::vector<std::string> notes;
    if (const MarginReport* m = facts.margins) {
        if (m->walls.Gaussian()) {
            notes.push_back(Format("the fits of the edges' two sides cross (their dual-Dirac span would be %.4f "
                                   "UI): the edges are taken as one Gaussian, with no deterministic jitter",
                                   m->walls.DualDiracSpanUi()));
        }
        if (!m->fitsUsed) {
            notes.push_back("the margins come from the counted data alone, not the fits of the edges: " + m->fitsWhy);
        }
        if (m->open && std::fabs(m->samplingOffsetUi) > 0.25 * m->eyeWidthAtBerUi) {
            notes.push_back(Format("the receiver samples %.3f UI ", std::fabs(m->samplingOffsetUi)) +
                            (m->samplingOffsetUi > 0.0 ? "after" : "before") +
                            Format(" the middle of its opening at BER %.0e, more than a quarter of the %.3f UI "
                                   "eye width",
                                   m->targetBer, m->eyeWidthAtBerUi));
        }
        if (m->Extrapolated() && m->fitsUsed) {
            notes.push_back(Format("%.0f bits were compared; a direct measurement at BER %.0e needs about %.2g: the "
                                   "margins are extrapolated from the fits",
                                   double(m->bitsCompared), m->targetBer, m->bitsForDirect));
        }
    }
    if (const ClockTrack* clock = facts.clock) {
        if (!clock->windows.empty() && clock->movedUi < kNeverMovedUi) {
            notes.push_back(Format("the recovered clock never moved (%.4f UI peak to peak over the run): it kept "
                                   "the phase it started with",
                                   clock->movedUi) +
                            (facts.unstressed ? "; with no jitter or noise at the receiver's input nothing may move "
                                                "it, and the same link with jitter or noise can sample elsewhere and "
                                                "show more margin than this run"
                                              : ""));
        } else if (!clock->windows.empty() && !clock->locked) {
            notes.push_back(Format("the recovered clock never locked: its phase moved %.3f UI peak to peak over "
                                   "the run",
                                   clock->movedUi));
        } else if (clock->wanderUi > kWanderingUi + facts.expectedWanderUi) {
            notes.push_back(Format("the recovered clock kept wandering after its lock: %.3f UI peak to peak",
                                   clock->wanderUi));
        }
    }
    if (!facts.adaptationLineBits.empty() && facts.adaptationLineBits.back() > facts.ignoreBits) {
        notes.push_back(Format("the adaptation had not finished by Ignore_Bits (%.0f): its last measurement was "
                               "logged by bit %.0f",
                               double(facts.ignoreBits), double(facts.adaptationLineBits.back())));
    }
    return notes;
}

}  // namespace linksim
