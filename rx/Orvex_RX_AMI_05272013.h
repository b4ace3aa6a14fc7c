// The receiver schematic as the entry points see it.
//
// STAND-IN: this class holds the interface the entry points drive (three
// external ports, samples per bit, bit time, the eleven model parameters and
// the DFModel operations) with trivial behaviour, until the receiver
// schematic with its CTLE banks, limiter, DFE, clock recovery and adaptation
// exists and replaces it under the same name. It passes every sample through
// unchanged and reports a clock time on every SamplesPerBit-th sample (the
// time of that sample), -1.0 on the others.
#ifndef ORVEX_RX_AMI_05272013_H
#define ORVEX_RX_AMI_05272013_H

#include <cstdint>

#include "CircularBuffer.h"
#include "DFModel.h"

class Orvex_RX_AMI_05272013 : public Tessel::DFModel {
public:
    Orvex_RX_AMI_05272013() {}
    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~Orvex_RX_AMI_05272013() override;

    // External ports; their one-item arrays belong to the entry points.
    Tessel::CircularBuffer<double> WaveIn;
    Tessel::CircularBuffer<double> ClockOut;
    Tessel::CircularBuffer<double> WaveOut;

    double SamplesPerBit = 32;
    double BitTime = 1e-10;  // seconds

    // Model parameters, read from the AMI parameter string.
    double EQ_Level = 0;
    double DWDM_mode = 0;
    double Rx_config = 0;
    double DFEtap1 = 0;
    double DFEtap2 = 0;
    double DFEtap3 = 0;
    double DFEtap4 = 0;
    double DFEtap5 = 0;
    double DFEAdapt = 1;
    double CTLEAdapt = 1;
    double EOM_window = 1000;

private:
    int64_t m_iSamplesPerBit = 32;  // SamplesPerBit as fixed by Setup
    int64_t m_iSampleCount = 0;     // samples fired since Initialize
};

#endif
