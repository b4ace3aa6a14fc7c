#include "LoopFilter.h"

#include <cmath>

#include "DFErrorHandler.h"

LoopFilter::LoopFilter()
    : PumpInput(0.0),
      ControlVoltage(0.0),
      SeriesVoltage(0.0),
      ShuntVoltage(0.0),
      SeriesCapacitance(0.0),
      ShuntCapacitance(0.0),
      Resistance(0.0),
      PumpCurrent(0.0),
      PumpCurrentInForce(0.0),
      SampleInterval(0.0),
      m_dTotalCapacitance(0.0),
      m_dShuntFromSeries(0.0),
      m_dShuntFromShunt(0.0),
      m_dShuntFromPump(0.0),
      m_dSeriesFromSeries(0.0),
      m_dSeriesFromShunt(0.0),
      m_dSeriesFromPump(0.0) {}

LoopFilter::~LoopFilter() {}

bool LoopFilter::Setup() {
    UpdateStepCoefficients();
    return true;
}

// The capacitor voltages carry over from one simulation to the next; only the
// sample interval is checked.
bool LoopFilter::Initialize() {
    UpdateStepCoefficients();
    if (SampleInterval <= 0.0) {
        Tessel::DFErrorHandler::PostError(this, "SampleInterval must be a positive number.");
        return false;
    }
    return true;
}

// The exponential and the products depend on the parameters only; computed
// here once, they give the same values a per-firing evaluation would.
void LoopFilter::UpdateStepCoefficients() {
    const double a = SeriesCapacitance;
    const double b = ShuntCapacitance;
    const double r = Resistance;
    const double dt = SampleInterval;
    const double s = a + b;
    const double e = std::exp(-(a + b) * dt / (a * b * r));
    m_dTotalCapacitance = s;
    m_dShuntFromSeries = a * (1.0 - e);
    m_dShuntFromShunt = b + a * e;
    m_dShuntFromPump = dt / s + a * a * r * (1.0 - e) / (s * s);
    m_dSeriesFromSeries = a + b * e;
    m_dSeriesFromShunt = b * (1.0 - e);
    m_dSeriesFromPump = dt / s - a * b * r * (1.0 - e) / (s * s);
}

bool LoopFilter::Run() {
    ControlVoltage = 0.0;
    if (PumpInput == 1.0) {
        PumpCurrentInForce = PumpCurrent;
    } else if (PumpInput == -1.0) {
        PumpCurrentInForce = -PumpCurrent;
    } else if (PumpInput == 0.0) {
        PumpCurrentInForce = 0.0;
    }
    const double v1 = SeriesVoltage;
    const double v2 = ShuntVoltage;
    const double current = PumpCurrentInForce;
    const double newShunt = (m_dShuntFromSeries * v1 + m_dShuntFromShunt * v2) / m_dTotalCapacitance +
                            current * m_dShuntFromPump;
    const double newSeries = (m_dSeriesFromSeries * v1 + m_dSeriesFromShunt * v2) / m_dTotalCapacitance +
                             current * m_dSeriesFromPump;
    SeriesVoltage = newSeries;
    ShuntVoltage = newShunt;
    ControlVoltage = newShunt;
    return true;
}

bool LoopFilter::Finalize() {
    DeleteBuffers();
    return true;
}
