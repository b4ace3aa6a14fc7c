// The receiver's eye opening monitor.
//
// On request it folds the waveform into a histogram over one bit period
// (sample phase by amplitude bin) for a set number of clock periods, then
// reports the eye's horizontal opening near the decision threshold, as a
// fraction of a bit, and its vertical opening at the middle of that gap, in
// volts, together with a done flag. A rising Restart edge clears it; while
// Restart is low, the next falling clock edge starts a measurement.
#ifndef RX_EOM_CUSTOM_H
#define RX_EOM_CUSTOM_H

#include "CircularBuffer.h"
#include "DFModel.h"

class EOM_custom : public Tessel::DFModel {
public:
    static constexpr int kNumPhases = 256;      // most phase columns (samples per bit)
    static constexpr int kNumAmplitudeBins = 256;
    static constexpr int kMaxOpeningsPerRow = 20;  // openings recorded per row

    EOM_custom();

    // Fails when SamplesPerBit is outside 1..kNumPhases: the histogram has
    // no column for further phases.
    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~EOM_custom() override;

    void DeleteBuffers() {}

    // The firing for an owner that has its samples in hand: the same as Run
    // with `input` at Input and `restart` at Restart, `clock` being the item
    // at Clock. With the Clock and Restart samples of the previous firing
    // (after a Run since Initialize) there is no edge: no measurement
    // starts, ends or is cleared, the result ports already hold the results,
    // and the firing only counts the sample while collecting, reading and
    // writing no port.
    bool FireWith(int clock, int restart, double input) {
        if (m_bFiredSinceInitialize && clock == PreviousClock && restart == PreviousRestart && !Finalized) {
            Collect(input);
            return true;
        }
        return FireAtEdge(restart, input);
    }

    // Amplitude bin of a sample: trunc(128 x / range) + 127, limited to the
    // histogram. Values beyond the range, infinities included, fall into the
    // outermost bins; a not-a-number sample into bin 0.
    static int AmplitudeBin(double sample, double range);

    // Ports.
    Tessel::CircularBuffer<int> Clock;        // a falling edge ends a clock period
    Tessel::CircularBuffer<double> Input;     // volts
    Tessel::CircularBuffer<int> Restart;      // rising edge clears, low lets a measurement start
    Tessel::CircularBuffer<int> Done;         // 1 from the end of a measurement to the next restart
    Tessel::CircularBuffer<double> EyeWidth;  // fraction of a bit
    Tessel::CircularBuffer<double> EyeHeight; // volts

    // Parameters, assigned by the schematic before Setup.
    int EOM_window;     // length of a measurement, clock periods
    int SamplesPerBit;  // phase columns in use, 1..kNumPhases

    // State. The histogram is indexed [phase][amplitude bin].
    double Histogram[kNumPhases][kNumAmplitudeBins];
    double Range;  // amplitude half-range of the histogram, volts
    int PeriodCount;
    int PreviousRestart;
    int Collecting;
    int PreviousClock;
    int Phase;
    double DoneLevel;
    double Width;
    double Height;

    // Set by Finalize, cleared by Initialize: a firing after Finalize would
    // touch ports whose memory the schematic has freed.
    bool Finalized;

private:
    struct RowOpening {
        int width;  // empty columns
        int start;  // first empty column
    };

    bool HasHits(int phase, int bin) const { return Histogram[phase][bin] > 0.0; }
    void Clear();
    bool FireAtEdge(int restart, double input);
    // Counts the sample in the histogram while collecting.
    void Collect(double input) {
        if (Collecting == 1 && m_iPhaseColumns > 0) {
            Histogram[Phase][AmplitudeBin(input, Range)] += 1.0;
            // Phase stays below the column count, which is at most kNumPhases.
            ++Phase;
            if (Phase >= m_iPhaseColumns) {
                Phase = 0;
            }
        }
    }
    void Evaluate();
    RowOpening WidestOpening(int bin) const;
    int EmptyBinsAroundThreshold(int phase) const;

    // SamplesPerBit as validated by Setup; 0 (no collecting) when out of range.
    int m_iPhaseColumns;
    bool m_bFiredSinceInitialize = false;
};

#endif
