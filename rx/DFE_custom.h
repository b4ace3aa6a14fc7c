// The receiver's five-tap decision-feedback equaliser.
//
// Every firing subtracts the last five bit decisions, weighted by the five tap
// streams, from the input sample. A rising edge of the sampling clock takes a
// new decision on that equalised value; the following falling edge shifts it
// into the feedback history, so a decision feeds back half a clock period
// after it was taken. The taps are input streams, not parameters, so that the
// adaptation can change them from one sample to the next.
#ifndef RX_DFE_CUSTOM_H
#define RX_DFE_CUSTOM_H

#include "CircularBuffer.h"
#include "DFModel.h"

class DFE_custom : public Tessel::DFModel {
public:
    static constexpr int kNumTaps = 5;

    DFE_custom();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~DFE_custom() override;

    // Nothing of its own to free.
    void DeleteBuffers() {}

    // The firing for an owner that has its samples in hand: the same as Run
    // with `input` at Input, `clock` being the item at Clock and
    // `tapsUnchanged` saying that the Taps items are the previous firing's.
    // Between clock edges (this clock is the previous firing's, after a Run
    // since Initialize), with unchanged taps, a firing can take no decision
    // and shift nothing: it only subtracts the feedback, which is summed
    // again only after the decisions have moved, and reads no port.
    bool FireWith(int clock, double input, bool tapsUnchanged) {
        if (tapsUnchanged && m_bFiredSinceInitialize && static_cast<double>(clock) == PreviousClock &&
            !Finalized) {
            Equalized = input - (m_bFeedbackCurrent ? m_dFeedback : FeedbackSum());
            Output[0] = Equalized;
            return true;
        }
        return FireAtEdge(input);
    }

    // Ports.
    Tessel::CircularBuffer<int> Clock;      // sampling clock, high above 0.5
    Tessel::CircularBuffer<double> Input;   // the waveform sample
    Tessel::CircularBufferBusT<Tessel::CircularBuffer<double>> Taps;  // c1..c5
    Tessel::CircularBuffer<int> Decision;   // +1, -1, or 0 before the first decision
    Tessel::CircularBuffer<double> Output;  // the equalised sample

    // State.
    double PreviousClock;
    double Equalized;
    // Decisions[0] is the decision of the latest rising edge, [1]..[5] the
    // feedback history, [1] the newest.
    int Decisions[kNumTaps + 1];

    // Set by Finalize, cleared by Initialize: once the schematic has freed the
    // memory behind the ports, a stray firing must not touch it.
    bool Finalized;

private:
    // The weighted decisions of the feedback history, newest first.
    double FeedbackSum();
    bool FireAtEdge(double input);

    bool m_bFiredSinceInitialize = false;
    double m_dFeedback = 0.0;        // the last feedback sum formed
    bool m_bFeedbackCurrent = false; // formed from the decisions in force
};

#endif
