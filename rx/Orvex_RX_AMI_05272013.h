// The receiver schematic: every block of the receiver, the parameters that
// configure them and the memory of every connection between them.
//
// Signal path: the received sample is filtered by two CTLE banks in parallel
// (16 and 5 tabulated responses); DWDM_mode chooses which one goes on. A soft
// limiter (gain, tanh, gain) bounds it to +-0.2604 V and feeds the five-tap
// DFE, which also takes the bit decisions. A clock-recovery loop (VCO,
// quarter-period delay, bang-bang phase detector, charge-pump loop filter)
// locks onto the zero crossings of the equalised signal; its logic clock
// drives the DFE, the eye opening monitor, the adaptation start delay and the
// clock-time recorder. The adaptation sweeps the CTLE responses and then
// hill-climbs the DFE taps on the monitor's measurements. Rx_config puts
// either half the decision (a retimed +-0.5 V data signal) or the equalised
// sample on the output.
//
// The entry points attach the three external ports, set the parameters,
// call Setup and Initialize once, then Run once per sample and Finalize at
// the end. Connections are created by Initialize from the connection list
// below; Run fires the blocks in the fixed order written out in the source
// file, each block with a shortcut through its own FireWith.
#ifndef ORVEX_RX_AMI_05272013_H
#define ORVEX_RX_AMI_05272013_H

#include <array>
#include <cstddef>
#include <vector>

#include "Adapt_custom.h"
#include "Add.h"
#include "ArcMemory.h"
#include "CircularBuffer.h"
#include "ClockTimes.h"
#include "ConstUnTimed.h"
#include "CustomFIR_select_inp.h"
#include "DFE_custom.h"
#include "DFModel.h"
#include "Delay.h"
#include "EOM_custom.h"
#include "Fork.h"
#include "Gain.h"
#include "LookAhead.h"
#include "LoopFilter.h"
#include "Mux.h"
#include "NClockDelay.h"
#include "PFD.h"
#include "SampleHistory.h"
#include "Trig.h"
#include "TypeConverter.h"
#include "VCO.h"

class Orvex_RX_AMI_05272013 : public Tessel::DFModel {
public:
    typedef Tessel::CircularBuffer<double> DoubleBuffer;
    typedef Tessel::CircularBuffer<int> IntBuffer;
    typedef Tessel::CircularBuffer<float> FloatBuffer;
    typedef Tessel::ScalarToScalar<DoubleBuffer, IntBuffer, Tessel::TypeConverterRound> DoubleToIntRound;
    typedef Tessel::ScalarToScalar<IntBuffer, FloatBuffer, Tessel::TypeConverterAssign> IntToFloat;
    typedef Tessel::ScalarToScalar<FloatBuffer, DoubleBuffer, Tessel::TypeConverterAssign> FloatToDouble;
    typedef Tessel::ScalarToScalar<IntBuffer, DoubleBuffer, Tessel::TypeConverterAssign> IntToDouble;

    // The connections, numbered from 1 in creation order: one line each
    // (the connection table; the source file expands the same list into the
    // memory Initialize creates). Columns: name, item type (D double, I int,
    // F float), item count, the port that writes it and the one that reads
    // it (null: nothing does), and its initial content (U undefined, Z
    // zeroed: the feedback paths that the firing order reads before they
    // are written). Adding a connection is a line here and its use.
    // clang-format off
#define ORVEX_RX_CONNECTIONS(X) \
    X(WaveIn,              D, 1,                  &WaveInInternal,                    &ctle.InputFork.Input,              U) \
    X(ClockTime,           D, 1,                  &ClockTimeRecorder.TimeOutput,      &ClockOutInternal,                  U) \
    X(WaveOut,             D, 1,                  &OutputSelect.Output,               &WaveOutInternal,                   U) \
    X(Decision,            I, 1,                  &DFE.Decision,                      &DecisionToFloat.Input,             U) \
    X(Equalized,           D, 1,                  &DFE.Output,                        &EqualizedFork.Input,               Z) \
    X(AdaptStart,          I, 1,                  &AdaptStartDelay.Output,            &Adapt.Start,                       U) \
    X(VcoSignal,           D, 1,                  &loop.Vco.SignalOutput,             &loop.VcoFork.Input,                U) \
    X(VcoClock,            I, 1,                  &loop.Vco.ClockOutput,              &ClockFork.Input,                   U) \
    X(ControlVoltage,      D, 1,                  &loop.FilterOut,                    &loop.ControlFork.Input,            U) \
    X(QuadratureClock,     D, 1,                  &detector.QuadratureOut,            &detector.DetectorClockQ,           U) \
    X(BitI,                I, 1,                  &detector.DetectorBitI,             &detector.PhaseSum.Input[0],        U) \
    X(BitQ,                I, 1,                  &detector.DetectorBitQ,             nullptr,                            U) \
    X(UpDown,              I, 1,                  &detector.DetectorUpDown,           &detector.PhaseSum.Input[1],        U) \
    X(PhaseSum,            I, 1,                  &detector.PhaseSum.Output,          &loop.PhaseToDouble.Input,          U) \
    X(VcoToQuadrature,     D, 1,                  &detector.ClockPhaseFork.Output[0], &detector.Quadrature.Input,         U) \
    X(VcoToDetector,       D, 1,                  &detector.ClockPhaseFork.Output[1], &detector.DetectorClockI,           U) \
    X(PumpCommand,         D, 1,                  &loop.PhaseToDouble.Output,         &loop.FilterIn,                     U) \
    X(VcoToPhaseDetector,  D, 1,                  &loop.VcoFork.Output[0],            &detector.ClockPhaseFork.Input,     U) \
    X(VcoUnused,           D, 1,                  &loop.VcoFork.Output[1],            nullptr,                            U) \
    X(VcoControl,          D, 1,                  &loop.ControlFork.Output[0],        &loop.Vco.ControlInput,             Z) \
    X(ControlUnused,       D, 1,                  &loop.ControlFork.Output[1],        nullptr,                            U) \
    X(MeasureDone,         I, 1,                  &EOM.Done,                          &Adapt.MeasureDone,                 Z) \
    X(EyeHeight,           D, 1,                  &EOM.EyeHeight,                     &Adapt.EyeHeight,                   Z) \
    X(EyeWidth,            D, 1,                  &EOM.EyeWidth,                      &Adapt.EyeWidth,                    Z) \
    X(CtleResponse,        I, 1,                  &Adapt.CTLE_Select,                 &ctle.CtleControlFork.Input,        U) \
    X(Restart,             I, 1,                  &Adapt.Restart,                     &AdaptFeedbackFork.Input,           U) \
    X(CtleDone,            I, 1,                  &Adapt.CTLE_Done,                   nullptr,                            U) \
    X(AdaptPort10,         I, 1,                  &Adapt.Port10,                      nullptr,                            U) \
    X(DfeTap1,             D, 1,                  &Adapt.DFE_Taps[0],                 &DFE.Taps[0],                       U) \
    X(DfeTap2,             D, 1,                  &Adapt.DFE_Taps[1],                 &DFE.Taps[1],                       U) \
    X(DfeTap3,             D, 1,                  &Adapt.DFE_Taps[2],                 &DFE.Taps[2],                       U) \
    X(DfeTap4,             D, 1,                  &Adapt.DFE_Taps[3],                 &DFE.Taps[3],                       U) \
    X(DfeTap5,             D, 1,                  &Adapt.DFE_Taps[4],                 &DFE.Taps[4],                       U) \
    X(C4Output,            D, 1,                  &ctle.C4.Output,                    &ctle.CtleSelect.Input[kC4Input],   U) \
    X(C1Output,            D, 1,                  &ctle.C1.Output,                    &ctle.CtleSelect.Input[kC1Input],   U) \
    X(CtleChoice,          I, 1,                  &ctle.DwdmToInt.Output,             &ctle.CtleSelectControl,            U) \
    X(CtleSelected,        D, 1,                  &ctle.CtleSelect.Output,            &ctle.LimiterInGain.Input,          U) \
    X(LimiterSaturated,    D, 1,                  &ctle.Limiter.Output,               &ctle.LimiterOutGain.Input,         U) \
    X(LimiterScaled,       D, 1,                  &ctle.LimiterInGain.Output,         &ctle.Limiter.Input,                U) \
    X(Limited,             D, 1,                  &ctle.LimiterOutGain.Output,        &DFE.Input,                         U) \
    X(DwdmMode,            D, 1,                  &ctle.DwdmConst.Output,             &ctle.DwdmToInt.Input,              U) \
    X(C4Input,             D, 1,                  &ctle.InputFork.Output[0],          &ctle.C4.Input,                     U) \
    X(C1Input,             D, 1,                  &ctle.InputFork.Output[1],          &ctle.C1.Input,                     U) \
    X(C4Control,           I, 1,                  &ctle.CtleControlFork.Output[0],    &ctle.C4Control,                    U) \
    X(C1Control,           I, 1,                  &ctle.CtleControlFork.Output[1],    &ctle.C1Control,                    U) \
    X(OutputChoice,        I, 1,                  &RxConfigToInt.Output,              &OutputSelectControl,               U) \
    X(AdaptStartTrigger,   I, 1,                  &EnableToInt.Output,                &AdaptStartDelay.Trigger,           U) \
    X(DecisionFloat,       F, 1,                  &DecisionToFloat.Output,            &DecisionScale.Input,               U) \
    X(RetimedData,         D, 1,                  &DecisionToDouble.Output,           &OutputSelect.Input[0],             U) \
    X(EqualizedToMonitor,  D, 1,                  &EqualizedFork.Output[0],           &EOM.Input,                         U) \
    X(EqualizedToOutput,   D, 1,                  &EqualizedFork.Output[1],           &OutputSelect.Input[1],             U) \
    X(EqualizedToDetector, D, 1,                  &EqualizedFork.Output[2],           &detector.DetectorDataIn,           U) \
    X(RearmDelayLine,      I, kRearmDelayFirings, &AdaptFeedbackFork.Output[0],       &Adapt.Rearm,                       Z) \
    X(MonitorRestart,      I, 1,                  &AdaptFeedbackFork.Output[1],       &EOM.Restart,                       U) \
    X(Enable,              D, 1,                  &EnableConst.Output,                &EnableToInt.Input,                 U) \
    X(RxConfig,            D, 1,                  &RxConfigConst.Output,              &RxConfigToInt.Input,               U) \
    X(ScaledDecision,      F, 1,                  &DecisionScale.Output,              &DecisionToDouble.Input,            U) \
    X(ClockToDfe,          I, 1,                  &ClockFork.Output[0],               &DFE.Clock,                         U) \
    X(ClockToStartDelay,   I, 1,                  &ClockFork.Output[1],               &AdaptStartDelay.Clock,             U) \
    X(ClockToRecorder,     I, 1,                  &ClockFork.Output[2],               &ClockTimeRecorder.ClockInput,      U) \
    X(ClockToMonitor,      I, 1,                  &ClockFork.Output[3],               &EOM.Clock,                         U)
    // clang-format on
#define ORVEX_RX_ARC_NAME(name, type, items, producer, consumer, initial) name,
#define ORVEX_RX_ARC_COUNT(name, type, items, producer, consumer, initial) +1
    enum class Arc : int { BeforeFirst = 0, ORVEX_RX_CONNECTIONS(ORVEX_RX_ARC_NAME) };
    static constexpr int kNumConnections = 0 ORVEX_RX_CONNECTIONS(ORVEX_RX_ARC_COUNT);
#undef ORVEX_RX_ARC_NAME
#undef ORVEX_RX_ARC_COUNT
    static constexpr size_t kRearmDelayFirings = 3200;  // length of the Restart-to-Rearm delay line
    static constexpr int kAdaptStartClocks = 5000;      // clock edges before the adaptation starts

    // The CTLE stage: both banks filter every sample; the selector passes the
    // one DWDM_mode names to the soft limiter.
    class Subnetwork_Subnetwork1 {
    public:
        Subnetwork_Subnetwork1();
        ~Subnetwork_Subnetwork1();
        bool Setup();

        CustomFIR_select_inp C4;  // 16 responses
        IntBuffer C4Control;
        CustomFIR_select_inp C1;  // 5 responses
        IntBuffer C1Control;
        DoubleToIntRound DwdmToInt;
        Tessel::Mux<DoubleBuffer> CtleSelect;
        IntBuffer CtleSelectControl;
        Tessel::TrigTanh Limiter;
        Tessel::Gain<double> LimiterInGain;
        Tessel::Gain<double> LimiterOutGain;
        Tessel::ConstUnTimed<double> DwdmConst;
        Tessel::Fork<DoubleBuffer> InputFork;
        Tessel::Fork<IntBuffer> CtleControlFork;
        double CtleSampleRate;  // hertz
        double DWDM_mode;

    private:
        friend class Orvex_RX_AMI_05272013;
        void ShapeBuses();
    };

    // The clock-recovery loop.
    class Subnetwork_Subnetwork2 {
    public:
        // The phase detector with its quadrature clock.
        class Subnetwork_Subnetwork2_Subnetwork1 {
        public:
            Subnetwork_Subnetwork2_Subnetwork1();
            ~Subnetwork_Subnetwork2_Subnetwork1();
            bool Setup();

            Delay Quadrature;
            DoubleBuffer QuadratureOut;
            PFD Detector;
            DoubleBuffer DetectorClockI;
            DoubleBuffer DetectorClockQ;
            DoubleBuffer DetectorDataIn;
            IntBuffer DetectorBitI;
            IntBuffer DetectorBitQ;
            IntBuffer DetectorUpDown;
            Tessel::Add<int> PhaseSum;
            Tessel::Fork<DoubleBuffer> ClockPhaseFork;

        private:
            friend class Orvex_RX_AMI_05272013;
            void ShapeBuses();
        };

        Subnetwork_Subnetwork2();
        ~Subnetwork_Subnetwork2();
        bool Setup();
        // Derives BitRate, SampleInterval and VcoFrequency; always true.
        bool RunEquations();

        Subnetwork_Subnetwork2_Subnetwork1 PhaseDetector;
        Tessel::VCO Vco;
        LoopFilter Filter;
        DoubleBuffer FilterIn;
        DoubleBuffer FilterOut;
        IntToDouble PhaseToDouble;
        Tessel::Fork<DoubleBuffer> VcoFork;
        Tessel::Fork<DoubleBuffer> ControlFork;
        double SeriesCapacitance;  // farads
        double ShuntCapacitance;   // farads
        double Resistance;         // ohms
        double PumpCurrent;        // amperes
        double SamplesPerBit;
        double VcoFrequencyRatio;
        double VcoSensitivity;  // hertz per unit of control
        double VcoInitialPhase;
        double VcoAmplitude;
        double BitTime;  // seconds
        double BitRate;
        double SampleInterval;
        double VcoFrequency;

    private:
        friend class Orvex_RX_AMI_05272013;
        void ShapeBuses();
    };

    Orvex_RX_AMI_05272013();

    // How long the longest CTLE response lasts, in seconds: the filters'
    // tap count is this times the sample rate.
    static double LongestResponseSeconds();

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;
    ~Orvex_RX_AMI_05272013() override;

    // For an owner that knows the samples the coming firings will take (the
    // entry points, a block at a time): `count` samples, the first for the
    // next firing, which the CTLE stage's LookAhead may form ahead; nothing
    // observable changes. The array must stay until the owner withdraws it
    // with OfferUpcoming(nullptr, 0).
    void OfferUpcoming(const double* upcoming, size_t count);

    // Frees the memory of every connection. The ports keep their views, so
    // the schematic is not fired again until Initialize has run anew.
    void DeleteBuffers();

    // External ports; their one-item arrays belong to the entry points.
    DoubleBuffer WaveIn;
    DoubleBuffer ClockOut;
    DoubleBuffer WaveOut;

    double SamplesPerBit;
    double BitTime;  // seconds

    // Model parameters, as read from the AMI parameter string.
    double EQ_Level;
    double DWDM_mode;
    double Rx_config;
    double DFEtap1;
    double DFEtap2;
    double DFEtap3;
    double DFEtap4;
    double DFEtap5;
    double DFEAdapt;
    double CTLEAdapt;
    double EOM_window;

    Subnetwork_Subnetwork2 Subnetwork2;
    Subnetwork_Subnetwork1 Subnetwork1;
    DFE_custom DFE;
    NClockDelay AdaptStartDelay;
    EOM_custom EOM;
    Adapt_custom Adapt;
    Tessel::ClockTimes ClockTimeRecorder;
    DoubleToIntRound RxConfigToInt;
    DoubleToIntRound EnableToInt;
    IntToFloat DecisionToFloat;
    FloatToDouble DecisionToDouble;
    Tessel::Fork<DoubleBuffer> EqualizedFork;
    Tessel::Mux<DoubleBuffer> OutputSelect;
    IntBuffer OutputSelectControl;
    Tessel::Fork<IntBuffer> AdaptFeedbackFork;
    Tessel::ConstUnTimed<double> EnableConst;
    Tessel::ConstUnTimed<double> RxConfigConst;
    Tessel::Gain<float> DecisionScale;
    Tessel::Fork<IntBuffer> ClockFork;
    // The schematic's own side of the external ports.
    DoubleBuffer WaveInInternal;
    DoubleBuffer ClockOutInternal;
    DoubleBuffer WaveOutInternal;

    // One row of the connection table: an arc memory of `items` items, the
    // port that writes it and the one that reads it (null: nothing does).
    enum class ItemType { Double, Int, Float };
    enum class Initial { Undefined, Zeroed };
    struct Connection {
        Arc arc;  // in creation order
        ItemType type;
        size_t items;
        Tessel::CircularBufferBase* producer;
        Tessel::CircularBufferBase* consumer;
        Initial initial;
    };
    // The table, with the ports of this object; buses must hold their streams.
    std::array<Connection, kNumConnections> Connections();

    // The arc memory of a connection, null when not created.
    const void* ArcMemory(Arc arc) const { return m_Arcs.Memory(arc); }

private:
    void ShapeBuses();
    void CreateConnection(const Connection& connection);

    // Item 0 of a connection, which holds items of type T.
    template <typename T>
    T& Item(Arc arc) {
        return m_Arcs.Item<T>(arc);
    }

    // A bank and whether it can filter: as Initialize leaves it, and as a
    // rebuild of its taps leaves it (nothing else changes it while the
    // schematic fires), so that the firing need not ask every time.
    struct Bank {
        CustomFIR_select_inp* block;
        bool ready;
        bool rebuilt;  // its taps, in this firing
    };

    // The shortcuts of Run, in firing order; each says which plain steps
    // it takes the place of.
    void TakeReceivedSample();
    void SettleConstants();
    void FireConstants();
    Bank* SelectedBank(int ctleChoice);
    bool FirePhaseDetector(double equalized);
    bool FirePhaseDetectorAt(bool transition, double equalized);
    int ForkClock();
    void FeedRearmDelayLine(int restart);
    bool FireBank(Bank& bank, int control);
    bool FireCtleSelect(int ctleChoice, const Bank* selectedBank);
    bool FireOutputSelect(double equalized);

    // In the order of the connection table: the three internal ports first.
    Tessel::ArcMemory<Arc, kNumConnections> m_Arcs;
    // The input history both CTLE banks filter, as deep as the larger one's taps.
    Tessel::SampleHistory m_CtleHistory;
    Bank m_C4{&Subnetwork1.C4, false, false};
    Bank m_C1{&Subnetwork1.C1, false, false};
    LookAhead m_LookAhead;
    size_t m_iRearmWrite = 0;  // where the Restart-to-Rearm delay line takes its next item
    bool m_bConnected = false;  // the arc memory exists, so Run may fire
    bool m_bDetectorOutputsCopied = false;  // since Initialize
    bool m_bConstantsSettled = false;       // since Initialize
};

#endif
