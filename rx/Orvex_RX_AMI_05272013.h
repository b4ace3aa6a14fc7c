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
// the end. Connections are created by Initialize from the connection table in
// the source file; Run fires the blocks in the fixed order written out there.
#ifndef ORVEX_RX_AMI_05272013_H
#define ORVEX_RX_AMI_05272013_H

#include <array>
#include <cstddef>
#include <cstring>
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

    static constexpr int kNumConnections = 61;
    // The connections, numbered in creation order (the connection table).
    enum class Arc : int {
        WaveIn = 1,
        ClockTime = 2,
        WaveOut = 3,
        Decision = 4,
        Equalized = 5,
        AdaptStart = 6,
        VcoSignal = 7,
        VcoClock = 8,
        ControlVoltage = 9,
        QuadratureClock = 10,
        BitI = 11,
        BitQ = 12,
        UpDown = 13,
        PhaseSum = 14,
        VcoToQuadrature = 15,
        VcoToDetector = 16,
        PumpCommand = 17,
        VcoToPhaseDetector = 18,
        VcoUnused = 19,
        VcoControl = 20,
        ControlUnused = 21,
        MeasureDone = 22,
        EyeHeight = 23,
        EyeWidth = 24,
        CtleResponse = 25,
        Restart = 26,
        CtleDone = 27,
        AdaptPort10 = 28,
        DfeTap1 = 29,
        DfeTap2 = 30,
        DfeTap3 = 31,
        DfeTap4 = 32,
        DfeTap5 = 33,
        C4Output = 34,
        C1Output = 35,
        CtleChoice = 36,
        CtleSelected = 37,
        LimiterSaturated = 38,
        LimiterScaled = 39,
        Limited = 40,
        DwdmMode = 41,
        C4Input = 42,
        C1Input = 43,
        C4Control = 44,
        C1Control = 45,
        OutputChoice = 46,
        AdaptStartTrigger = 47,
        DecisionFloat = 48,
        RetimedData = 49,
        EqualizedToMonitor = 50,
        EqualizedToOutput = 51,
        EqualizedToDetector = 52,
        RearmDelayLine = 53,
        MonitorRestart = 54,
        Enable = 55,
        RxConfig = 56,
        ScaledDecision = 57,
        ClockToDfe = 58,
        ClockToStartDelay = 59,
        ClockToRecorder = 60,
        ClockToMonitor = 61,
    };
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
    // next firing. The selected CTLE bank's outputs, and the limiter's work
    // on them, are then formed for a stretch of those samples at a time:
    // they do not depend on one another, so they need not wait on each
    // other. Nothing observable changes: a firing whose sample is not the
    // one offered withdraws the offer, and a change of response forms the
    // rest again. The array is read only at and after the position of the
    // firing that uses it, and must stay until the owner withdraws it with
    // LookAhead(nullptr, 0).
    void LookAhead(const double* upcoming, size_t count);

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

    // The soft limiter's three steps for one input; SameInput compares
    // bits, so that it is exact for signed zeros and never true for
    // not-a-number.
    struct LimiterResult {
        double input = 0.0;
        double output = 0.0;
        bool valid = false;
        bool SameInput(double value) const {
            return valid && std::memcmp(&input, &value, sizeof value) == 0 && value == value;
        }
    };
    LimiterResult Limit(double input) const;

    // A bank and whether it can filter: as Initialize leaves it, and as a
    // rebuild of its taps leaves it (nothing else changes it while the
    // schematic fires), so that the firing need not ask every time.
    struct Bank {
        CustomFIR_select_inp* block;
        bool ready;
        bool rebuilt;  // its taps, in this firing
    };

    // The selected bank's output and the limiter's work on it, formed ahead
    // of the clock recovery (`formed` is false when the bank cannot filter).
    // `limited` points into the stretch formed ahead, or at `limitedNow`;
    // so the struct is filled in place and never copied.
    struct CtleAhead {
        CtleAhead() = default;
        CtleAhead(const CtleAhead&) = delete;
        CtleAhead& operator=(const CtleAhead&) = delete;
        bool formed = false;
        double output = 0.0;
        LimiterResult limitedNow;
        const LimiterResult* limited = &limitedNow;
    };

    // The shortcuts of Run, in firing order; each says which plain steps
    // it takes the place of.
    double TakeReceivedSample();
    void FollowLookAhead(double received);
    bool FormedAhead(const Bank& bank, size_t& k);
    void FormStretchAhead(const Bank& bank, size_t position);
    void SettleConstants();
    Bank* SelectedBank(int ctleChoice);
    void FormCtleAhead(const Bank* selectedBank, CtleAhead& ahead);
    bool FirePhaseDetector(double equalized);
    bool FireQuadrature(double vco, bool outputNeeded);
    bool FireDetector(double clockI, double clockQ, double dataIn);
    bool FireLoopFilter();
    int ForkClock();
    bool FireStartDelay(int clock);
    bool FireAdaptation(bool& fired);
    bool FireMonitor(int clock, int restart, double equalized);
    bool FireBank(Bank& bank, int control);
    bool FireCtleSelect(int ctleChoice, const Bank* selectedBank, const CtleAhead& ahead);
    double LimitSelected(const CtleAhead& ahead);
    bool FireDfe(int clock, bool adaptFired, double limited);
    bool FireClockTimeRecorder(int clock, double& clockTime);
    bool FireOutputSelect(double equalized);
    double RetimedData();

    // In the order of the connection table: the three internal ports first.
    Tessel::ArcMemory<Arc, kNumConnections> m_Arcs;
    // The input history both CTLE banks filter, as deep as the larger one's taps.
    Tessel::SampleHistory m_CtleHistory;
    Bank m_C4{&Subnetwork1.C4, false, false};
    Bank m_C1{&Subnetwork1.C1, false, false};
    // The samples offered by LookAhead, and a stretch of them for which the
    // selected bank's outputs and the limiter's have been formed.
    static constexpr size_t kAheadStretch = 128;
    struct Ahead {
        const double* upcoming = nullptr;
        size_t count = 0;
        size_t next = 0;             // the position of the next firing's sample
        const Bank* bank = nullptr;  // whose taps formed the stretch
        size_t first = 0;            // the stretch: positions first to first + formed - 1
        size_t formed = 0;
        std::vector<double> input;   // the bank's taps - 1 samples before the stretch, then the stretch
        double output[kAheadStretch];
        LimiterResult limited[kAheadStretch];
    };
    Ahead m_Ahead;
    bool m_bConnected = false;  // the arc memory exists, so Run may fire
    bool m_bDetectorOutputsCopied = false;  // since Initialize
    bool m_bConstantsSettled = false;       // since Initialize
};

#endif
