// The receiver's equaliser adaptation.
//
// A two-stage search driven by the eye monitor's handshake: first every CTLE
// response is measured in turn and the best-scoring one kept, then each of
// the five DFE taps is hill-climbed in steps of TapStep. Each step needs a
// fresh measurement: the block raises Restart to clear the monitor, the
// delayed copy of Restart (Rearm) lowers it again so the monitor measures
// with the new setting, and the next rising MeasureDone edge brings the
// result. Either stage can be switched off, leaving fixed values from the
// parameters. Every measurement received is appended to "adapt.txt" in the
// current working directory.
#ifndef RX_ADAPT_CUSTOM_H
#define RX_ADAPT_CUSTOM_H

#include "CircularBuffer.h"
#include "DFModel.h"

class Adapt_custom : public Tessel::DFModel {
public:
    static constexpr int kNumTaps = 5;
    static constexpr int kMaxCtleCandidates = 32;

    Adapt_custom();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~Adapt_custom() override;

    void DeleteBuffers() {}

    // The firing for an owner that knows its samples, `start` and
    // `measureDone` being the items at Start and MeasureDone: the same as
    // Run followed by the move of Rearm to the next item of its delay line.
    // Without an edge on Start, MeasureDone or Rearm (their samples are the
    // previous firing's) and after a Run since Initialize has driven the
    // outputs and settled the fixed settings, a firing changes nothing and
    // is left out. `fired` says whether Run was.
    bool FireWith(int start, int measureDone, bool& fired) {
        fired = !(m_bFiredSinceInitialize && start == PreviousStart && measureDone == PreviousMeasureDone &&
                  Rearm[0] == PreviousRearm);
        const bool ok = fired ? Adapt_custom::Run() : true;
        Rearm.Advance();
        return ok;
    }

    // The score of one eye measurement, in both stages.
    static double EyeScore(double eyeWidth, double eyeHeight) { return eyeWidth + 0.25 * eyeHeight; }

    // Ports.
    Tessel::CircularBuffer<int> Start;         // rising edge starts the adaptation
    Tessel::CircularBuffer<int> MeasureDone;   // rising edge: a new measurement is present
    Tessel::CircularBuffer<double> EyeWidth;   // fraction of a bit
    Tessel::CircularBuffer<double> EyeHeight;  // volts
    Tessel::CircularBuffer<int> Rearm;         // rising edge lowers Restart while adapting
    Tessel::CircularBufferBusT<Tessel::CircularBuffer<double>> DFE_Taps;  // c1..c5, volts
    Tessel::CircularBuffer<int> CTLE_Select;   // 1-based CTLE response in force
    Tessel::CircularBuffer<int> Restart;       // 1 holds the monitor in reset
    Tessel::CircularBuffer<int> CTLE_Done;     // 1 once the CTLE choice is final
    Tessel::CircularBuffer<int> Port10;        // given its shape, never written

    // Parameters, assigned by the schematic from the model parameters.
    int DFEAdapt;   // 1: adapt the taps; 0: fixed codes DFEtap1..DFEtap5
    int CTLEAdapt;  // 1: search the CTLE responses; 0: fixed response EQ_Level
    int DWDM_mode;  // 1: five CTLE candidates; otherwise sixteen
    int EQ_Level;   // fixed CTLE response, 0-based
    int DFEtap1;    // fixed tap codes, in units of TapStep
    int DFEtap2;
    int DFEtap3;
    int DFEtap4;
    int DFEtap5;

    // State.
    double CtleHeight[kMaxCtleCandidates];
    double CtleWidth[kMaxCtleCandidates];
    double CtleScore[kMaxCtleCandidates];
    int NumCtle;
    double BestScore;
    int CtleDone;
    double TapMax[kNumTaps];
    double TapMin[kNumTaps];
    double TapValue[kNumTaps];
    double TapStep;
    int TapDirection[kNumTaps];
    int DirectionDecided[kNumTaps];
    int DfeDone;
    int TapIndex;
    double Metric;
    double PreviousMetric;
    int PreviousRearm;
    int PreviousMeasureDone;
    int PreviousStart;
    int FirstStep;
    int RestartLevel;
    int CtleIndex;
    int Adapting;

    // Set by Finalize, cleared by Initialize: a firing after Finalize would
    // touch ports whose memory the schematic has freed.
    bool Finalized;

private:
    void ResetSearch();
    void BeginAdaptation();
    void TakeCtleMeasurement(double eyeWidth, double eyeHeight);
    void ChooseBestCtle();
    void TakeDfeStep(double eyeWidth, double eyeHeight);
    void FinishTap();
    void AppendLogLine(double eyeWidth, double eyeHeight) const;
    int SelectedCtle() const;
    void UpdateFixedTaps();

    // The fixed tap codes as volts, for DFEAdapt = 0.
    double m_dFixedTapValue[kNumTaps];
    bool m_bFiredSinceInitialize = false;
};

#endif
