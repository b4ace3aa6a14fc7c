// Sums the current samples of any number of inputs (none gives 0).
#ifndef TESSEL_ADD_H
#define TESSEL_ADD_H

#include <cstddef>
#include <type_traits>

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

template <typename T>
class Add : public DFModel {
    static_assert(std::is_integral<T>::value, "Add sums integer streams");

public:
    CircularBufferBusT<CircularBuffer<T>> Input;
    CircularBuffer<T> Output;

    // An overflowing sum wraps around. It is formed in the unsigned type,
    // where wrapping is defined, and converted back (two's complement).
    bool Run() override {
        typedef typename std::make_unsigned<T>::type Unsigned;
        Unsigned sum = 0;
        for (size_t i = 0; i < Input.GetSize(); ++i) {
            sum += static_cast<Unsigned>(Input[i][0]);
        }
        Output[0] = static_cast<T>(sum);
        return true;
    }
};

}  // namespace Tessel

#endif
