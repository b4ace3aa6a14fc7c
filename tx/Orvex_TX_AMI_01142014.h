// The transmitter schematic as the entry points see it.
//
// STAND-IN: this class holds the interface the entry points drive (two
// external ports, samples per bit, bit time, the four settings and the
// DFModel operations) with trivial behaviour, until the transmitter
// schematic with its response table and response selector exists and
// replaces it under the same name. It multiplies every sample by `gain`,
// and its Setup fails, as the response filter's does, when there are no
// samples per bit to build a sample rate from.
#ifndef ORVEX_TX_AMI_01142014_H
#define ORVEX_TX_AMI_01142014_H

#include "CircularBuffer.h"
#include "DFModel.h"

class Orvex_TX_AMI_01142014 : public Tessel::DFModel {
public:
    Orvex_TX_AMI_01142014() {}
    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~Orvex_TX_AMI_01142014() override;

    // External ports; their one-item arrays belong to the entry points.
    Tessel::CircularBuffer<double> WaveIn;
    Tessel::CircularBuffer<double> WaveOut;

    int SamplesPerBit = 32;
    int DE = 7;
    int VOD = 7;
    double BitTime = 1e-10;  // seconds
    double gain = 1.0;
    double DE_range = 1.0;
};

#endif
