// An FIR filter built from a tabulated continuous-time response.
//
// The response (an impulse or a step response) is given as value/time pairs
// on any strictly increasing time grid. Setup resamples it onto the
// simulation's uniform grid, k / SampleRate for k = 0, 1, ...: impulse
// responses by 4-point cubic interpolation, step responses by the slope of
// the 3-point parabola. Each tap is that value times one sample period.
// Filtering is the FIR base's.
#ifndef TESSEL_TIME_RESPONSE_FIR_H
#define TESSEL_TIME_RESPONSE_FIR_H

#include <cmath>

#include "FIR.h"
#include "TesselExport.h"

namespace Tessel {

class TESSEL_EXPORT TimeResponseFIR : public FIR<double, false> {
public:
    enum ResponseKind { kImpulseResponse = 0, kStepResponse = 1 };

    // The most taps Setup builds. The models' responses last nanoseconds,
    // so even a picosecond sample interval needs a few thousand taps; a
    // million is a thousand times more than any simulation asks for, and
    // filtering with it costs a million products per sample. Beyond it the
    // time grid (a sample interval in the attoseconds) is a mistake, and
    // building the taps alone would take gigabytes and seconds.
    static constexpr int kMostTaps = 1000000;

    // The tap count Setup gives for a response lasting `duration` seconds:
    // the truncated product with the sample rate, plus one. Returned as a
    // double, so that an absurd product (or a NaN) can be compared with
    // kMostTaps before anything is converted.
    static double TapCount(double sampleRate, double duration) { return std::floor(sampleRate * duration) + 1.0; }

    TimeResponseFIR();  // out of line, so that the transmitter library can publish it
    ~TimeResponseFIR() override;
    TimeResponseFIR(const TimeResponseFIR&) = delete;
    TimeResponseFIR& operator=(const TimeResponseFIR&) = delete;

    // Validates the table, rebases ResponseTimeStamps in place so that the
    // first is 0, computes the taps and finishes with the FIR's Setup.
    bool Setup() override;

    // Derivative at t of the parabola through (pT[i], pV[i]), i = 0, 1, 2.
    static double AnalyticalDifferntiation(double t, double* pT, double* pV);

    // The table; both arrays belong to whoever assigns them.
    double* m_pResponse = nullptr;
    double* ResponseTimeStamps = nullptr;  // seconds; rewritten by Setup
    int m_iNumResponseValues = 0;
    int m_iNumTimeStamps = 0;
    int ResponseType = kStepResponse;
    double SampleRate = 1e12;  // samples per second

private:
    bool CheckCounts();
    bool TableIsFinite();
    bool RebaseTimeStamps();
    bool AllocateTaps(int iNumTaps);
    void ComputeTaps();
};

}  // namespace Tessel

#endif
