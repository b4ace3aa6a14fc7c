// Raises its output once a set number of clock edges has passed after a
// trigger edge: the output goes to 1 on the (N + 1)-th rising clock edge
// after a rising trigger edge and stays there until the next trigger edge.
// Only exact steps from 0 to 1 count as edges, on either input.
#ifndef RX_NCLOCK_DELAY_H
#define RX_NCLOCK_DELAY_H

#include "CircularBuffer.h"
#include "DFModel.h"

class NClockDelay : public Tessel::DFModel {
public:
    NClockDelay();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~NClockDelay() override;

    void DeleteBuffers() {}

    // The firing for an owner that knows its samples: the same as Run,
    // `clock` and `trigger` being the items at Clock and Trigger. With the
    // samples of the previous firing (after a Run since Initialize) a firing
    // sees no step of either, and Output already holds its level: it changes
    // nothing and is left out.
    bool FireWith(int clock, int trigger) {
        if (m_bFiredSinceInitialize && clock == PreviousClock && trigger == PreviousTrigger) {
            return true;
        }
        return NClockDelay::Run();
    }

    // Ports.
    Tessel::CircularBuffer<int> Clock;
    Tessel::CircularBuffer<int> Trigger;
    Tessel::CircularBuffer<int> Output;

    // Parameter: clock edges to let pass before the output rises.
    int N;

    // State.
    int PreviousTrigger;
    int OutputLevel;
    int PreviousClock;
    int EdgeCount;
    int Counting;

    // Set by Finalize, cleared by Initialize: a firing after Finalize would
    // touch ports whose memory the schematic has freed.
    bool Finalized;

private:
    bool m_bFiredSinceInitialize = false;
};

#endif
