// Cubic-spline interpolation (Forsythe, Malcolm and Moler), with a small
// workspace that keeps the coefficient arrays between calls.
//
// The time-response FIR resamples tabulated impulse responses with it: four
// points and the default end conditions make the spline the one cubic
// polynomial through the four points.
#ifndef TESSEL_INTERPOLATORS_H
#define TESSEL_INTERPOLATORS_H

#include <cstddef>

#include "Precondition.h"

namespace Tessel {

template <typename T>
class Interpolators {
public:
    enum SplineStatus { kSplineOk = 0, kTooFewPoints = 1, kNotIncreasing = 2 };

    Interpolators() {}
    ~Interpolators() { FreeCoefficients(); }
    Interpolators(const Interpolators&) = delete;
    Interpolators& operator=(const Interpolators&) = delete;

    // Value at t of the spline through the iBufferSize points (pastT[i],
    // pastV[i]); outside the points the end pieces are extended.
    T CubicSpline(size_t iBufferSize, double t, double* pastT, T* pastV);

    // Coefficients b, c, d of the spline through the n points (x[i], y[i]):
    // on [x[i], x[i+1]] the spline is y[i] + h (b[i] + h (c[i] + h d[i])),
    // h = u - x[i]. end1 (end2) = 1 clamps the first derivative at the left
    // (right) end to slope1 (slope2); any other value matches the third
    // derivative to the cubic through the four end points (for n > 3).
    static int Spline(int n, int end1, int end2, double slope1, double slope2, double* x, double* y,
                      double* b, double* c, double* d);

    // Value at u of the spline from Spline. last is the interval found by
    // the previous call; it is tried first and then updated.
    static double EvalSpline(int n, double u, double* x, double* y, double* b, double* c, double* d,
                             int& last);

    size_t m_iCapacity = 0;
    T* m_pBufferB = nullptr;
    T* m_pBufferC = nullptr;
    T* m_pBufferD = nullptr;
    int m_iStatus = kSplineOk;

private:
    void FreeCoefficients() {
        delete[] m_pBufferB;
        delete[] m_pBufferC;
        delete[] m_pBufferD;
        m_pBufferB = m_pBufferC = m_pBufferD = nullptr;
    }
};

template <typename T>
T Interpolators<T>::CubicSpline(size_t iBufferSize, double t, double* pastT, T* pastV) {
    TESSEL_PRECONDITION(iBufferSize > 2, "iBufferSize > 2");
    TESSEL_PRECONDITION(pastT, "pastT");
    TESSEL_PRECONDITION(pastV, "pastV");
    m_iStatus = kSplineOk;
    if (m_iCapacity < iBufferSize) {
        FreeCoefficients();
        m_iCapacity = iBufferSize;
        // Zero-filled, so that even a rejected point set evaluates to
        // defined values.
        m_pBufferB = new T[iBufferSize]();
        m_pBufferC = new T[iBufferSize]();
        m_pBufferD = new T[iBufferSize]();
    }
    const int n = static_cast<int>(iBufferSize);
    m_iStatus = Spline(n, 0, 0, 0.0, 0.0, pastT, pastV, m_pBufferB, m_pBufferC, m_pBufferD);
    TESSEL_PRECONDITION(m_iStatus == kSplineOk, "m_iStatus == 0");
    int last = 0;
    return EvalSpline(n, t, pastT, pastV, m_pBufferB, m_pBufferC, m_pBufferD, last);
}

template <typename T>
int Interpolators<T>::Spline(int n, int end1, int end2, double slope1, double slope2, double* x,
                             double* y, double* b, double* c, double* d) {
    if (n < 2) {
        return kTooFewPoints;
    }
    for (int i = 1; i < n; ++i) {
        if (x[i - 1] >= x[i]) {
            return kNotIncreasing;
        }
    }
    if (n == 2) {
        b[0] = (y[1] - y[0]) / (x[1] - x[0]);
        c[0] = d[0] = 0.0;
        b[1] = b[0];
        c[1] = d[1] = 0.0;
        return kSplineOk;
    }

    // Tridiagonal system: b the diagonal, d the off-diagonal, c the
    // right-hand side.
    const int nm1 = n - 1;
    d[0] = x[1] - x[0];
    c[1] = (y[1] - y[0]) / d[0];
    for (int i = 1; i < nm1; ++i) {
        d[i] = x[i + 1] - x[i];
        b[i] = 2.0 * (d[i - 1] + d[i]);
        c[i + 1] = (y[i + 1] - y[i]) / d[i];
        c[i] = c[i + 1] - c[i];
    }

    // End conditions: third derivatives from divided differences, unless an
    // end is clamped to a given slope.
    b[0] = -d[0];
    b[nm1] = -d[n - 2];
    c[0] = c[nm1] = 0.0;
    if (n > 3) {
        c[0] = c[2] / (x[3] - x[1]) - c[1] / (x[2] - x[0]);
        c[nm1] = c[n - 2] / (x[nm1] - x[n - 3]) - c[n - 3] / (x[n - 2] - x[n - 4]);
        c[0] = c[0] * d[0] * d[0] / (x[3] - x[0]);
        c[nm1] = -c[nm1] * d[n - 2] * d[n - 2] / (x[nm1] - x[n - 4]);
    }
    if (end1 == 1) {
        b[0] = 2.0 * (x[1] - x[0]);
        c[0] = (y[1] - y[0]) / (x[1] - x[0]) - slope1;
    }
    if (end2 == 1) {
        b[nm1] = 2.0 * (x[nm1] - x[n - 2]);
        c[nm1] = slope2 - (y[nm1] - y[n - 2]) / (x[nm1] - x[n - 2]);
    }

    for (int i = 1; i < n; ++i) {
        const double f = d[i - 1] / b[i - 1];
        b[i] = b[i] - f * d[i - 1];
        c[i] = c[i] - f * c[i - 1];
    }
    c[nm1] = c[nm1] / b[nm1];
    for (int i = n - 2; i >= 0; --i) {
        c[i] = (c[i] - d[i] * c[i + 1]) / b[i];
    }

    // Polynomial coefficients of each piece.
    b[nm1] = (y[nm1] - y[n - 2]) / d[n - 2] + d[n - 2] * (c[n - 2] + 2.0 * c[nm1]);
    for (int i = 0; i < nm1; ++i) {
        b[i] = (y[i + 1] - y[i]) / d[i] - d[i] * (c[i + 1] + 2.0 * c[i]);
        d[i] = (c[i + 1] - c[i]) / d[i];
        c[i] = 3.0 * c[i];
    }
    c[nm1] = 3.0 * c[nm1];
    d[nm1] = d[n - 2];
    return kSplineOk;
}

template <typename T>
double Interpolators<T>::EvalSpline(int n, double u, double* x, double* y, double* b, double* c,
                                    double* d, int& last) {
    TESSEL_PRECONDITION(n > 1, "n > 1");
    if (n < 2) {
        return n == 1 ? y[0] : 0.0;
    }
    int i = last;
    if (i >= n - 1 || i < 0) {
        i = 0;
    }
    if (u < x[i] || u > x[i + 1]) {
        // Bisection. The else keeps the search moving even when a table
        // value is not a number (no comparison with it holds).
        i = 0;
        int j = n;
        do {
            const int k = (i + j) / 2;
            if (u < x[k]) {
                j = k;
            } else {
                i = k;
            }
        } while (j > i + 1);
    }
    last = i;
    const double h = u - x[i];
    return y[i] + h * (b[i] + h * (c[i] + h * d[i]));
}

}  // namespace Tessel

#endif
