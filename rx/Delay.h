// Quarter-period delay of a unit sinusoid: turns the oscillator's in-phase
// clock into its quadrature clock. The phase of each sample is recovered from
// its value and from whether the input is rising or falling, so the block
// needs no knowledge of the frequency. The input must lie in [-1, 1]; outside
// that range the output is not a number.
#ifndef RX_DELAY_H
#define RX_DELAY_H

#include "CircularBuffer.h"
#include "DFModel.h"

class Delay : public Tessel::DFModel {
public:
    Delay();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    // The firing for an owner that fires the delay only at some of the
    // firings that carry its input: the same as Run with `input` at Input
    // after firings with the inputs it skipped, the last of which is
    // `lastSkipped` (null: none since Initialize). In the skipped firings the
    // delay would only have remembered its input. `outputNeeded` as
    // OutputNeeded, and Output in `output`; the port is not read.
    bool FireAfterSkipped(const double* lastSkipped, double input, bool outputNeeded, double& output);
    bool Finalize() override;
    ~Delay() override;

    void DeleteBuffers() {}

    Tessel::CircularBuffer<double> Input;  // port, one sample per firing
    double Output;                         // field, copied out by the schematic
    double PreviousInput;

    // The owner clears it for a firing whose Output nobody reads: the input
    // is still tracked, but Output keeps its value and the arcsine and sine
    // are not evaluated. Set again, Output is exactly what it would have been.
    bool OutputNeeded;

    // Set by Finalize, cleared by Initialize: a firing after Finalize would
    // read a port whose memory the schematic has freed.
    bool Finalized;

private:
    bool RunWith(double input);
};

#endif
