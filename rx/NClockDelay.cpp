#include "NClockDelay.h"

#include <climits>

#include "LogicSignal.h"

NClockDelay::NClockDelay()
    : N(0),
      PreviousTrigger(0),
      OutputLevel(0),
      PreviousClock(0),
      EdgeCount(0),
      Counting(0),
      Finalized(false) {}

NClockDelay::~NClockDelay() {}

bool NClockDelay::Setup() {
    LogicSignal::UseOneItemPerFiring({&Clock, &Trigger, &Output});
    return true;
}

bool NClockDelay::Initialize() {
    PreviousTrigger = 0;
    OutputLevel = 0;
    PreviousClock = 0;
    EdgeCount = 0;
    Counting = 0;
    Finalized = false;
    m_bFiredSinceInitialize = false;
    return true;
}

bool NClockDelay::Run() {
    if (Finalized) {
        return false;
    }
    const int trigger = Trigger[0];
    const int clock = Clock[0];
    if (PreviousTrigger == 0 && trigger == 1) {
        EdgeCount = 0;
        Counting = 1;
        OutputLevel = 0;
    }
    if (Counting == 1 && PreviousClock == 0 && clock == 1) {
        // The count saturates: with N at the top of the int range the output
        // simply never rises, instead of the counter overflowing.
        if (EdgeCount < INT_MAX) {
            ++EdgeCount;
        }
        if (EdgeCount > N) {
            OutputLevel = 1;
            Counting = 0;
        }
    }
    Output[0] = OutputLevel;
    PreviousClock = clock;
    PreviousTrigger = trigger;
    m_bFiredSinceInitialize = true;
    return true;
}

bool NClockDelay::Finalize() {
    DeleteBuffers();
    Finalized = true;
    return true;
}
