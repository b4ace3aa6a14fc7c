#include "Mux.h"

#include "MessageText.h"

namespace Tessel {

std::string MuxControlRangeMessage(int control, size_t inputs) {
    const std::string value = MessageText("Control input signal value is equal to ", control, ".  ");
    // With nothing connected there is no valid range to show.
    if (inputs == 0) {
        return value + "There are no inputs connected.  No control input value is valid.";
    }
    const bool single = inputs < 2;
    return value + MessageText("There ", single ? "is " : "are ", inputs, single ? " input" : " inputs",
                               " connected.  The valid control input range is [0,", inputs - 1, "].");
}

}  // namespace Tessel
