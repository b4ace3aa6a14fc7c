// Stand-in transmitter schematic: see the header.
#include "Orvex_TX_AMI_01142014.h"

#include "DFErrorHandler.h"

bool Orvex_TX_AMI_01142014::Setup() {
    WaveIn.SetRate(1);
    WaveOut.SetRate(1);
    if (SamplesPerBit < 1) {
        Tessel::DFErrorHandler::PostError(this, "SampleRate must be > 0.0");
        return false;
    }
    return true;
}

bool Orvex_TX_AMI_01142014::Initialize() { return true; }

bool Orvex_TX_AMI_01142014::Run() {
    WaveOut[0] = gain * WaveIn[0];
    return true;
}

bool Orvex_TX_AMI_01142014::Finalize() { return true; }

Orvex_TX_AMI_01142014::~Orvex_TX_AMI_01142014() {}
