// Stand-in receiver schematic: see the header.
#include "Orvex_RX_AMI_05272013.h"

#include "DFErrorHandler.h"

bool Orvex_RX_AMI_05272013::Setup() {
    WaveIn.SetRate(1);
    ClockOut.SetRate(1);
    WaveOut.SetRate(1);
    if (!(SamplesPerBit >= 1.0 && SamplesPerBit <= 256.0)) {
        Tessel::DFErrorHandler::PostError(this, "SamplesPerBit must be between 1 and 256");
        return false;
    }
    m_iSamplesPerBit = static_cast<int64_t>(SamplesPerBit);
    return true;
}

bool Orvex_RX_AMI_05272013::Initialize() {
    m_iSampleCount = 0;
    return true;
}

bool Orvex_RX_AMI_05272013::Run() {
    WaveOut[0] = WaveIn[0];
    const bool clockSample = m_iSampleCount % m_iSamplesPerBit == 0;
    ClockOut[0] = clockSample ? static_cast<double>(m_iSampleCount) * BitTime / SamplesPerBit : -1.0;
    ++m_iSampleCount;
    return true;
}

bool Orvex_RX_AMI_05272013::Finalize() { return true; }

Orvex_RX_AMI_05272013::~Orvex_RX_AMI_05272013() {}
