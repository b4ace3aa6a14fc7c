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

#include "Adapt_custom.h"
#include "Add.h"
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
        int number;  // 1-based, in creation order
        ItemType type;
        size_t items;
        Tessel::CircularBufferBase* producer;
        Tessel::CircularBufferBase* consumer;
        Initial initial;
    };
    // The table, with the ports of this object; buses must hold their streams.
    std::array<Connection, kNumConnections> Connections();

    // The arc memory of connection `number` (1-based), null when not created.
    const void* ArcMemory(int number) const;

private:
    struct ArcMemoryRecord {
        void* items = nullptr;
        ItemType type = ItemType::Double;
    };

    void ShapeBuses();
    void CreateConnection(const Connection& connection);

    // Item 0 of connection `number`, which holds items of type T.
    template <typename T>
    T& Item(int number);

    // The soft limiter's three steps for one input; SameInput compares
    // bits, so that it is exact for signed zeros and never true for
    // not-a-number.
    struct LimiterResult {
        double input = 0.0;
        double scaled = 0.0;
        double saturated = 0.0;
        double output = 0.0;
        bool valid = false;
        bool SameInput(double value) const {
            return valid && std::memcmp(&input, &value, sizeof value) == 0 && value == value;
        }
    };
    LimiterResult Limit(double input) const;

    // Blocks with field ports, fired with their copies.
    bool FireDetector();

    // The rounding of a type converter, remembering its last result: the
    // three rounding converters see the same constant in every firing.
    class RememberedRound {
    public:
        int operator()(double value) {
            if (!(value == m_dInput)) {  // also for not-a-number
                m_dInput = value;
                m_iOutput = Tessel::TypeConverterRound::ToInt(value);
            }
            return m_iOutput;
        }

    private:
        double m_dInput = 0.0;
        int m_iOutput = 0;  // the rounding of 0.0
    };

    // In the order of the connection table: the three internal ports first.
    ArcMemoryRecord m_ArcMemory[kNumConnections];
    RememberedRound m_DwdmRound;
    RememberedRound m_EnableRound;
    RememberedRound m_RxConfigRound;
    bool m_bConnected = false;  // the arc memory exists, so Run may fire
    bool m_bDetectorOutputsCopied = false;  // since Initialize
};

#endif
