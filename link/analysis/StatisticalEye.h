// The statistical eye of a link, from its pulse response alone: at each
// sampling phase, the distribution of the received voltage over every
// pattern of the other bits (every cursor of the through path, and every
// cursor of each aggressor's), mixed over the timing offsets of the
// transmitter's jitter and convolved with the receiver's input noise. Read
// as error rates at the threshold (0 V) and as the opening at given rates,
// far below the rates a time-domain run can count.
//
// The bits are taken as independent and equally likely, the aggressors as
// sent on the through path's bit grid (as the time-domain run sends them),
// and the jitter as moving the whole waveform against the sampling instant.
#ifndef LINK_ANALYSIS_STATISTICAL_EYE_H
#define LINK_ANALYSIS_STATISTICAL_EYE_H

#include <cstddef>
#include <string>
#include <vector>

#include "Margins.h"

namespace linksim {

struct StatisticalEyeInput {
    std::vector<double> impulse;                  // the through path, 1/s
    std::vector<std::vector<double>> aggressors;  // each aggressor's path to the same point, 1/s
    double sampleInterval = 0.0;
    int samplesPerUi = 0;
    double rjRms = 0.0;         // seconds: Gaussian
    double djPeakToPeak = 0.0;  // seconds: two equally likely offsets
    double sjPeakToPeak = 0.0;  // seconds: a sinusoid at a phase of its own
    double noiseRms = 0.0;      // volts
    double targetBer = 1e-12;
};

struct StatisticalEye {
    bool known = false;
    std::string why;  // when not known

    double unitInterval = 0.0;
    // Where the pulse peaks, in unit intervals after its bit starts: the
    // phases below are counted from there.
    double peakUi = 0.0;
    // The bathtub of the bit at the pulse's peak: its error rate at the
    // threshold against the sampling phase (from the peak, UI).
    std::vector<double> phaseUi;
    std::vector<double> ber;

    double targetBer = 0.0;
    double samplingUi = 0.0;  // the phase used, from the peak: where the opening at the target rate is highest
    double berAtSampling = 0.0;
    double heightV = 0.0;  // at the target rate and the sampling phase; 0 when shut
    double widthUi = 0.0;  // of the phases around it whose rate meets the target; 0 when shut
    bool open = false;
    // The opening at kContourRates and the target, rising rate first; phases
    // from the sampling phase.
    std::vector<Contour> contours;

    // The distribution of the voltage over two unit intervals around the
    // sampling phase, for the picture: probability per cell, each column
    // summing to 1 (row 0 lowest).
    size_t columns = 0;
    size_t rows = 0;
    double voltageLow = 0.0;
    double voltageHigh = 0.0;
    std::vector<double> density;  // rows x columns, row-major

    // The error rate when sampling at a phase of the data's grid (unit
    // intervals after a bit starts at the transmitter, any whole number of
    // them later).
    double BerAtGridPhase(double gridUi) const;
};

StatisticalEye ComputeStatisticalEye(const StatisticalEyeInput& input);

}  // namespace linksim

#endif
