// Selector: passes BlockSize items of the input chosen by the control value
// (written by the owner before each firing) to the output.
#ifndef TESSEL_MUX_H
#define TESSEL_MUX_H

#include <cstddef>
#include <string>

#include "CircularBuffer.h"
#include "DFErrorHandler.h"
#include "DFModel.h"

namespace Tessel {

// The text posted when the control value names no connected input.
std::string MuxControlRangeMessage(int control, size_t inputs);

template <typename B>
class Mux : public DFModel {
public:
    CircularBufferBusT<B> Input;
    B Output;
    int Control = 0;  // number of the selected input
    int BlockSize = 1;

    bool Setup() override {
        if (BlockSize < 1) {
            DFErrorHandler::PostError(this, "BlockSize must be >= 1");
            return false;
        }
        const size_t rate = static_cast<size_t>(BlockSize);
        Output.SetRate(rate);
        for (size_t i = 0; i < Input.GetSize(); ++i) {
            Input[i].SetRate(rate);
        }
        return true;
    }

    // Control set for a firing whose item the owner moves itself.
    void Select(int control) { Control = control; }

    bool Run() override {
        const size_t inputs = Input.GetSize();
        if (Control < 0 || static_cast<size_t>(Control) >= inputs) {
            DFErrorHandler::PostError(this, MuxControlRangeMessage(Control, inputs).c_str());
            return false;
        }
        // A block size that Setup refused moves nothing.
        const size_t items = BlockSize > 0 ? static_cast<size_t>(BlockSize) : 0;
        Input[static_cast<size_t>(Control)].Copy(0, &Output, 0, items);
        return true;
    }
};

}  // namespace Tessel

#endif
