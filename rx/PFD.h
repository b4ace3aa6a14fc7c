// Bang-bang phase detector of the clock-recovery loop.
//
// At every transition of the data waveform it samples the signs of the
// oscillator's in-phase and quadrature clocks. It pumps only when the
// quadrature clock is negative and the in-phase sign has changed since the
// previous transition; the direction follows that change. Inputs and outputs
// are plain fields that the schematic copies from and to its connections.
#ifndef RX_PFD_H
#define RX_PFD_H

#include "DFModel.h"

class PFD : public Tessel::DFModel {
public:
    PFD();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~PFD() override;

    // Whether a firing with this DataIn sees a data transition: only then
    // are the clock inputs read, and a firing without one changes nothing.
    bool SeesTransition(double dataIn) const { return (DataLevel(dataIn) > 0.0) != (PreviousDataLevel > 0.0); }

    void DeleteBuffers() {}

    // The firing with its inputs, for an owner that fires it only when it
    // SeesTransition: the same as assigning the inputs and Run, with the
    // outputs returned.
    struct Outputs {
        int bitI;
        int bitQ;
        int upDown;
    };
    Outputs FireWith(double clockI, double clockQ, double dataIn) {
        ClockI = clockI;
        ClockQ = clockQ;
        DataIn = dataIn;
        PFD::Run();
        return {BitI, BitQ, UpDown};
    }

    // Inputs, assigned before every firing.
    double ClockI;  // in-phase clock; only its sign matters
    double ClockQ;  // quadrature clock; only its sign matters
    double DataIn;  // data waveform; high when above 0

    // State, kept from construction for the life of the object.
    double PreviousDataLevel;  // 1.0 or 0.0
    int PreviousBitI;
    int PreviousUpDown;

    // Outputs.
    int BitI;    // +1 or -1
    int BitQ;    // +1 or -1
    int UpDown;  // pump command: -1, 0 or +1

private:
    static double DataLevel(double dataIn) { return dataIn > 0.0 ? 1.0 : 0.0; }
};

#endif
