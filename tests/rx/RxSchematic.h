// Test helper: a receiver schematic with its three external ports attached
// to one-item arrays of the helper's own, as the entry points attach them.
#ifndef TESTS_RX_RX_SCHEMATIC_H
#define TESTS_RX_RX_SCHEMATIC_H

#include <memory>

#include "Orvex_RX_AMI_05272013.h"

struct RxSchematic {
    RxSchematic() : rx(new Orvex_RX_AMI_05272013()) {  // about 600 KiB: on the heap
        rx->WaveIn.SetBuffer(&in, 1, 1, 0);
        rx->ClockOut.SetBuffer(&clock, 1, 1, 0);
        rx->WaveOut.SetBuffer(&out, 1, 1, 0);
    }

    bool Start() {
        const bool setup = rx->Setup();
        const bool initialize = rx->Initialize();
        return setup && initialize;
    }

    // One firing with this input sample; the outputs are in out and clock.
    bool Fire(double sample) {
        in = sample;
        return rx->Run();
    }

    std::unique_ptr<Orvex_RX_AMI_05272013> rx;
    double in = 0.0;
    double clock = 0.0;
    double out = 0.0;
};

#endif
