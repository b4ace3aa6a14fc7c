// The transmitter schematic: two blocks in a chain, fired once per sample.
//
//   WaveIn -> ResponseSelector -> OutputGain -> WaveOut
//
// ResponseSelector holds the 128 tabulated transmitter impulse responses,
// one per combination of DE (0..7), VOD (0..7) and DE_range (0 or 1), and
// filters with the one the settings select, resampled onto the simulation's
// sample grid; OutputGain scales the result by gain. The entry points set
// the parameters and attach the external ports' memory before Setup.
#ifndef ORVEX_TX_AMI_01142014_H
#define ORVEX_TX_AMI_01142014_H

#include "ArcMemory.h"
#include "CircularBuffer.h"
#include "CustomFIR_select_param.h"
#include "DFModel.h"
#include "Gain.h"

class Orvex_TX_AMI_01142014 : public Tessel::DFModel {
public:
    Orvex_TX_AMI_01142014() {}
    // The connection memories are owned.
    Orvex_TX_AMI_01142014(const Orvex_TX_AMI_01142014&) = delete;
    Orvex_TX_AMI_01142014& operator=(const Orvex_TX_AMI_01142014&) = delete;

    // How long the transmitter's responses last, in seconds: the filter's
    // tap count is this times the sample rate.
    static double LongestResponseSeconds();

    // Loads the response table, selects the settings' response and builds
    // its taps at SamplesPerBit / BitTime; sets the gain.
    bool Setup() override;
    // Fresh, zeroed connections and filter history.
    bool Initialize() override;
    // One sample from WaveIn to WaveOut.
    bool Run() override;
    bool Finalize() override;
    ~Orvex_TX_AMI_01142014() override;

    // External ports; their one-item memories belong to the entry points.
    Tessel::CircularBuffer<double> WaveIn;
    Tessel::CircularBuffer<double> WaveOut;

    int SamplesPerBit = 32;
    int DE = 7;
    int VOD = 7;
    double BitTime = 1e-10;  // seconds
    double gain = 1.0;
    double DE_range = 1.0;

    CustomFIR_select_param ResponseSelector;
    Tessel::Gain<double> OutputGain;

    // 64 x DE_range + 8 x DE + VOD + 1: the 1-based number of the response
    // in force, as computed by Setup.
    double ResponseIndex = 0.0;

    // The response number as the selector's Control: truncated toward zero;
    // a number beyond the int range becomes 0, which, like every number
    // outside 1..128, selects the first response.
    static int ControlForResponseIndex(double responseIndex);

private:
    void DeleteBuffers();

    // The internal ends of the external ports.
    Tessel::CircularBuffer<double> m_FromWaveIn;
    Tessel::CircularBuffer<double> m_ToWaveOut;

    // The schematic's connections, in creation order: one item each,
    // shared by the producer's and the consumer's view.
    enum class Arc : int { WaveIn = 1, Response = 2, WaveOut = 3 };
    static const int kConnectionCount = 3;
    struct Connection {
        Arc arc;
        Tessel::CircularBuffer<double>* producer;
        Tessel::CircularBuffer<double>* consumer;
    };
    const Connection m_Connections[kConnectionCount] = {
        {Arc::WaveIn, &m_FromWaveIn, &ResponseSelector.Input},
        {Arc::Response, &ResponseSelector.Output, &OutputGain.Input},
        {Arc::WaveOut, &OutputGain.Output, &m_ToWaveOut},
    };
    Tessel::ArcMemory<Arc, kConnectionCount> m_Arcs;
};

#endif
