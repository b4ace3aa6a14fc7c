#include "TimeResponseFIR.h"

#include <climits>
#include <cmath>
#include <new>
#include <string>

#include "DFErrorHandler.h"
#include "Interpolators.h"
#include "MessageText.h"
#include "Precondition.h"

namespace Tessel {

TimeResponseFIR::TimeResponseFIR() {}
TimeResponseFIR::~TimeResponseFIR() { delete[] m_pTaps; }

double TimeResponseFIR::AnalyticalDifferntiation(double t, double* pT, double* pV) {
    const double x0 = pT[0], x1 = pT[1], x2 = pT[2];
    double slope = 0.0;
    slope += pV[0] * (2.0 * t - x1 - x2) / ((x0 - x2) * (x0 - x1));
    slope += pV[1] * (2.0 * t - x0 - x2) / ((x1 - x2) * (x1 - x0));
    slope += pV[2] * (2.0 * t - x0 - x1) / ((x2 - x1) * (x2 - x0));
    return slope;
}

bool TimeResponseFIR::Setup() {
    bool ok = CheckCounts();
    ok = ok && TableIsFinite();
    ok = ok && RebaseTimeStamps();
    if (ok) {
        // The taps cover [0, last time stamp]: the truncated product plus
        // one. The test also catches an infinite or absurd SampleRate.
        const double taps = TapCount(SampleRate, ResponseTimeStamps[m_iNumTimeStamps - 1]);
        if (!(taps <= kMostTaps)) {
            // Whole counts in full; absurd ones as the stream shows doubles.
            const std::string count =
                taps < 1e15 ? std::to_string(static_cast<long long>(taps)) : MessageText(taps);
            const std::string text = MessageText("SampleRate times the response duration gives ", count,
                                                 " taps; at most ", kMostTaps, " are supported.");
            DFErrorHandler::PostError(this, text.c_str());
            ok = false;
        } else {
            ok = AllocateTaps(static_cast<int>(taps));
        }
    }
    if (!ok) {
        return false;
    }
    ComputeTaps();
    return FIR<double, false>::Setup();
}

// Both size messages and the type message are posted before the verdict;
// the later checks only run while nothing has failed.
bool TimeResponseFIR::CheckCounts() {
    bool ok = true;
    if (ResponseType == kImpulseResponse && m_iNumResponseValues <= 3) {
        DFErrorHandler::PostError(
            this, "At least 4 response coefficients are required for input impulse response");
        ok = false;
    } else if (ResponseType == kStepResponse && m_iNumResponseValues <= 3) {
        DFErrorHandler::PostError(
            this, "At least 4 response coefficients are required for input step response");
        ok = false;
    }
    if (ResponseType != kImpulseResponse && ResponseType != kStepResponse) {
        DFErrorHandler::PostError(this,
                                  "Inavlid ResponseType is specified, it can be either Impulse "
                                  "Response or Step Response");
        ok = false;
    }
    if (ok && m_iNumTimeStamps != m_iNumResponseValues) {
        DFErrorHandler::PostError(this,
                                  "Number of coefficients in response must be same as the number "
                                  "of values in time stamps");
        ok = false;
    }
    // Written so that a SampleRate that is not a number fails too.
    if (ok && !(SampleRate > 0.0)) {
        DFErrorHandler::PostError(this, "SampleRate must be > 0.0");
        ok = false;
    }
    return ok;
}

// Checked before the time stamps are rebased, so that a rejected table is
// left as the caller gave it.
bool TimeResponseFIR::TableIsFinite() {
    TESSEL_PRECONDITION(m_pResponse != nullptr, "m_pResponse");
    TESSEL_PRECONDITION(ResponseTimeStamps != nullptr, "ResponseTimeStamps");
    for (int i = 0; i < m_iNumResponseValues; ++i) {
        if (!std::isfinite(m_pResponse[i]) || !std::isfinite(ResponseTimeStamps[i])) {
            DFErrorHandler::PostError(this,
                                      "Response values and time stamps must be finite numbers");
            return false;
        }
    }
    return true;
}

// Shifts the time stamps in place so that the first is 0, stopping at the
// first one that does not increase (the rest stay unshifted).
bool TimeResponseFIR::RebaseTimeStamps() {
    double* time = ResponseTimeStamps;
    const double t0 = time[0];
    time[0] = 0.0;
    for (int i = 1; i < m_iNumTimeStamps; ++i) {
        time[i] -= t0;
        if (time[i - 1] >= time[i]) {
            // Positions count from 1; the times are the caller's originals.
            const std::string text = MessageText(
                "ResponseTimeStamps[", static_cast<unsigned>(i + 1), "] = ", time[i] + t0,
                "  <= ResponseTimeStamps[", static_cast<unsigned>(i), "] = ", time[i - 1] + t0,
                ". Time stamps must be in non-repeating ascending order.");
            DFErrorHandler::PostError(this, text.c_str());
            return false;
        }
    }
    return true;
}

// Keeps the tap array when the count is unchanged: the transmitter rebuilds
// the same taps before every sample.
bool TimeResponseFIR::AllocateTaps(int iNumTaps) {
    if (m_pTaps != nullptr && iNumTaps == m_iNumTaps) {
        return true;
    }
    delete[] m_pTaps;
    m_pTaps = new (std::nothrow) double[static_cast<size_t>(iNumTaps)];
    if (m_pTaps == nullptr) {
        m_iNumTaps = 0;
        DFErrorHandler::PostError(this, "Not enough memory for the response taps");
        return false;
    }
    m_iNumTaps = iNumTaps;
    return true;
}

void TimeResponseFIR::ComputeTaps() {
    Interpolators<double> spline;
    const int n = m_iNumResponseValues;
    const double fs = SampleRate;
    double* time = ResponseTimeStamps;
    double* value = m_pResponse;
    const bool impulse = ResponseType == kImpulseResponse;

    // The interval index only moves forward as t grows: it is never reset.
    int j = 0;
    for (int k = 0; k < m_iNumTaps; ++k) {
        const double t = k / fs;
        while (t > time[j]) {
            ++j;
            if (j >= n) {
                j = n - 1;
                break;
            }
        }
        if (impulse && time[j] == t) {
            m_pTaps[k] = value[j];
            continue;
        }
        // Keep the 4 (impulse) or 3 (step) points inside the table.
        if (j == 0) {
            j = 1;
        } else if (j > n - 3) {
            j = n - 3;
        }
        m_pTaps[k] = impulse ? spline.CubicSpline(4, t, time + j - 1, value + j - 1)
                             : AnalyticalDifferntiation(t, time + j - 1, value + j - 1);
    }
    // One sample period times the continuous impulse response is the tap.
    for (int k = 0; k < m_iNumTaps; ++k) {
        m_pTaps[k] /= fs;
    }
}

}  // namespace Tessel
