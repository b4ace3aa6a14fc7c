// The elementary-function blocks: the six circular functions, their
// inverses, the six hyperbolic functions and their inverses, one input and
// one output sample per firing.
//
// Every member but TrigAtan, TrigAcot and TrigTanh guards its domain: an
// input outside it posts a message, writes a fixed finite substitute so that
// the data downstream stays finite, and makes the firing return false. A
// not-a-number input passes every guard and comes out as not-a-number.
#ifndef TESSEL_TRIG_H
#define TESSEL_TRIG_H

#include <string>

#include "CircularBuffer.h"
#include "DFModel.h"

namespace Tessel {

class CTrig : public DFModel {
public:
    CircularBuffer<double> Input;
    CircularBuffer<double> Output;

    bool Setup() override;
    bool Finalize() override;

protected:
    double In() { return Input[0]; }
    // Writes a function value; the firing succeeds.
    bool Write(double value);
    // Posts the text, writes the substitute; the firing fails.
    bool Fail(double substitute, const std::string& text);
};

#define TESSEL_TRIG_BLOCK(Name)        \
    class Name : public CTrig {        \
    public:                            \
        bool Run() override;           \
    }

TESSEL_TRIG_BLOCK(TrigSin);
TESSEL_TRIG_BLOCK(TrigCos);
TESSEL_TRIG_BLOCK(TrigTan);
TESSEL_TRIG_BLOCK(TrigCot);
TESSEL_TRIG_BLOCK(TrigAsin);
TESSEL_TRIG_BLOCK(TrigAcos);
TESSEL_TRIG_BLOCK(TrigAtan);
TESSEL_TRIG_BLOCK(TrigAcot);
TESSEL_TRIG_BLOCK(TrigSinh);
TESSEL_TRIG_BLOCK(TrigCosh);
TESSEL_TRIG_BLOCK(TrigTanh);
TESSEL_TRIG_BLOCK(TrigCoth);
TESSEL_TRIG_BLOCK(TrigAsinh);
TESSEL_TRIG_BLOCK(TrigAcosh);
TESSEL_TRIG_BLOCK(TrigAtanh);
TESSEL_TRIG_BLOCK(TrigAcoth);

#undef TESSEL_TRIG_BLOCK

}  // namespace Tessel

#endif
