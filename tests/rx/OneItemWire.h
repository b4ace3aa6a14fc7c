// Test helper: one connection holding one item, the shape of nearly every
// connection in the receiver schematic. Attach it to the producer's and the
// consumers' ports, then read or set the item directly.
#ifndef TESTS_RX_ONE_ITEM_WIRE_H
#define TESTS_RX_ONE_ITEM_WIRE_H

#include "CircularBuffer.h"

template <typename T>
struct OneItemWire {
    T item = T();

    OneItemWire& Attach(Tessel::CircularBuffer<T>& port) {
        port.SetBuffer(&item, 1, 1, 0);
        return *this;
    }
};

#endif
