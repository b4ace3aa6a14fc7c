#include "PFD.h"

PFD::PFD()
    : ClockI(0.0),
      ClockQ(0.0),
      DataIn(0.0),
      PreviousDataLevel(0.0),
      PreviousBitI(0),
      PreviousUpDown(0),
      BitI(0),
      BitQ(0),
      UpDown(0) {}

PFD::~PFD() {}

// The detector's state lives from construction on; neither phase resets it.
bool PFD::Setup() { return true; }
bool PFD::Initialize() { return true; }

bool PFD::Run() {
    const double level = DataIn > 0.0 ? 1.0 : 0.0;
    const bool rising = PreviousDataLevel <= 0.0 && level > 0.0;
    const bool falling = PreviousDataLevel > 0.0 && level <= 0.0;
    const bool transition = rising || falling;
    if (transition) {
        PreviousBitI = BitI;
        BitI = ClockI > 0.0 ? 1 : -1;
        BitQ = ClockQ > 0.0 ? 1 : -1;
        PreviousUpDown = UpDown;
        // Only a change of the in-phase sign moves the command; a positive
        // quadrature sample then means "in phase" and stops the pump.
        if (BitI > PreviousBitI) {
            UpDown = BitQ == 1 ? 0 : -1;
        } else if (BitI < PreviousBitI) {
            UpDown = BitQ == 1 ? 0 : 1;
        }
    }
    PreviousDataLevel = level;
    return true;
}

bool PFD::Finalize() {
    DeleteBuffers();
    return true;
}
