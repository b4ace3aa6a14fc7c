// Scales every sample by a constant factor, in the arithmetic of T.
#ifndef TESSEL_GAIN_H
#define TESSEL_GAIN_H

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

template <typename T>
class Gain : public DFModel {
public:
    T Factor = T(1);
    CircularBuffer<T> Input;
    CircularBuffer<T> Output;

    bool Run() override {
        Output[0] = Factor * Input[0];
        return true;
    }
};

}  // namespace Tessel

#endif
