// Charge pump and passive second-order loop filter of the clock recovery.
//
// The pump drives its current into the output node, which holds the shunt
// capacitor to ground and, through the resistor, the series capacitor to
// ground. Each firing advances both capacitor voltages by the exact solution
// over one sample interval for a constant pump current; the output node's
// voltage steers the oscillator. Input and output are plain fields that the
// schematic copies from and to its connections.
#ifndef RX_LOOP_FILTER_H
#define RX_LOOP_FILTER_H

#include "DFModel.h"

class LoopFilter : public Tessel::DFModel {
public:
    LoopFilter();

    // Setup and Initialize derive the step coefficients from the parameters;
    // parameters changed later take effect at the next of the two.
    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~LoopFilter() override;

    void DeleteBuffers() {}

    // The firing with its input: the same as assigning PumpInput and Run,
    // with ControlVoltage in `control`.
    bool FireWith(double pump, double& control) {
        PumpInput = pump;
        const bool ok = LoopFilter::Run();
        control = ControlVoltage;
        return ok;
    }

    double PumpInput;       // pump command: 1.0, -1.0 or 0.0; anything else holds the current
    double ControlVoltage;  // output: voltage of the output node
    double SeriesVoltage;   // V1, on the series capacitor
    double ShuntVoltage;    // V2, on the shunt capacitor (the output node)

    // Parameters, assigned by the schematic.
    double SeriesCapacitance;  // farads
    double ShuntCapacitance;   // farads
    double Resistance;         // ohms
    double PumpCurrent;        // amperes

    double PumpCurrentInForce;  // +PumpCurrent, -PumpCurrent or 0
    double SampleInterval;      // seconds per firing

private:
    void UpdateStepCoefficients();

    // new V2 = (m_dShuntFromSeries V1 + m_dShuntFromShunt V2) / S + I m_dShuntFromPump,
    // new V1 = (m_dSeriesFromSeries V1 + m_dSeriesFromShunt V2) / S + I m_dSeriesFromPump,
    // with S = m_dTotalCapacitance.
    double m_dTotalCapacitance;
    double m_dShuntFromSeries;
    double m_dShuntFromShunt;
    double m_dShuntFromPump;
    double m_dSeriesFromSeries;
    double m_dSeriesFromShunt;
    double m_dSeriesFromPump;
};

#endif
