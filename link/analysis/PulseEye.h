// The eye a link's pulse response promises, by peak distortion: at each
// phase of the unit interval, the main cursor less the sum of the other
// cursors' magnitudes, the worst any pattern can do there. It is how a
// receiver that equalises in AMI_Init alone (and emulates its DFE in the
// impulse it returns) is sampled: where this eye is open, not where the
// waveform's crossings would put a clock recovery.
#ifndef LINK_ANALYSIS_PULSE_EYE_H
#define LINK_ANALYSIS_PULSE_EYE_H

#include <cstddef>
#include <vector>

namespace linksim {

struct PulseEye {
    std::vector<double> openingV;  // per sample of the unit interval; below 0: shut
    int bestPhase = 0;             // the middle of the open phases (or the least shut one)
    // Where a clock recovery that balances its edge readings on the
    // crossings settles, the edge reading must come this many unit
    // intervals before the best phase (0.5 for a symmetric eye).
    double edgeLeadUi = 0.5;

    bool OpenAt(int phase) const { return openingV[std::size_t(phase)] > 0.0; }
};

// For the impulse response (1/s) of the whole link as sampled at
// samplesPerUi samples per unit interval.
PulseEye PeakDistortionEye(const std::vector<double>& impulse, int samplesPerUi, double sampleInterval);

}  // namespace linksim

#endif
