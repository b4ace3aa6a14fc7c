// Fan-out: copies the current input item to every output of its bus.
#ifndef TESSEL_FORK_H
#define TESSEL_FORK_H

#include <cstddef>

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

template <typename B>
class Fork : public DFModel {
public:
    B Input;
    CircularBufferBusT<B> Output;

    bool Run() override {
        const size_t outputs = Output.GetSize();
        if (outputs == 0) {
            return true;
        }
        const typename B::ItemType item = Input[0];
        for (size_t i = 0; i < outputs; ++i) {
            Output[i][0] = item;
        }
        return true;
    }
};

}  // namespace Tessel

#endif
