#include "Orvex_RX_AMI_05272013.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DotProduct.h"
#include "Orvex_RX_AMI_05272013_Tables.h"
#include "Precondition.h"

namespace {

typedef Orvex_RX_AMI_05272013 Rx;

// Soft limiter: 3.840245775729646 is 1 / 0.2604, so the output saturates at
// +-0.2604 V and has unit gain around 0.
const double kLimiterInGain = 3.840245775729646;
const double kLimiterOutGain = 0.2604;

const int kC4Responses = 16;
const int kC1Responses = 5;
const int kCtleTimePoints = 500;

// Both selectors pass their input 0 or 1; the CTLE banks sit on these inputs.
const int kC4Input = 0;
const int kC1Input = 1;

// A model parameter truncated toward zero, the way every parameter reaches
// an integer block setting. Values beyond the int range (which the parameter
// loading refuses) give the nearest int limit, not-a-number gives 0.
int TruncateToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

// One firing of a block by a direct call of its own Run: the schematic knows
// every block's type, so no firing goes through the virtual table.
template <class Block>
bool Fire(Block& block) {
    return block.Block::Run();
}

// A CTLE table: the shape from its dimension record, at most `available`
// values copied in storage order, any further elements 0.
void LoadTable(Tessel::Matrix<double>& matrix, const unsigned long long (&dimensions)[2], const double* values,
               size_t available) {
    const size_t shape[2] = {static_cast<size_t>(dimensions[0]), static_cast<size_t>(dimensions[1])};
    matrix.ResizeMultidimensional(2, shape);
    matrix.CopyFrom(values, available);
}

template <size_t ResponseValues, size_t TimeStamps>
bool SetUpBank(CustomFIR_select_inp& bank, const double (&responses)[ResponseValues],
               const unsigned long long (&responseDimensions)[2], const double (&timeStamps)[TimeStamps],
               const unsigned long long (&timeStampDimensions)[2], int numResponses, double sampleRate) {
    bank.ResponseType = Tessel::TimeResponseFIR::kImpulseResponse;
    LoadTable(bank.Response_Matrix, responseDimensions, responses, ResponseValues);
    LoadTable(bank.Time_Stamps, timeStampDimensions, timeStamps, TimeStamps);
    bank.SampleRate = sampleRate;
    bank.Num_Time_Points = kCtleTimePoints;
    bank.Num_Responses = numResponses;
    return bank.Setup();
}

// External ports move one item per firing.
void UseOneItemPerFiring(Tessel::CircularBufferBase& port) { port.SetRate(1); }

}  // namespace

// ---------------------------------------------------------------------------
// The CTLE stage

Rx::Subnetwork_Subnetwork1::Subnetwork_Subnetwork1() : CtleSampleRate(3.2e11), DWDM_mode(0.0) {
    CtleSelect.BlockSize = 1;
    ShapeBuses();
}

Rx::Subnetwork_Subnetwork1::~Subnetwork_Subnetwork1() {}

void Rx::Subnetwork_Subnetwork1::ShapeBuses() {
    CtleSelect.Input.Initialize(2);
    InputFork.Output.Initialize(2);
    CtleControlFork.Output.Initialize(2);
}

bool Rx::Subnetwork_Subnetwork1::Setup() {
    const bool c4 = SetUpBank(C4, C4_Response_Matrix, C4_Response_Matrix_Dimensions, C4_Time_Stamps,
                              C4_Time_Stamps_Dimensions, kC4Responses, CtleSampleRate);
    const bool c1 = SetUpBank(C1, C1_Response_Matrix, C1_Response_Matrix_Dimensions, C1_Time_Stamps,
                              C1_Time_Stamps_Dimensions, kC1Responses, CtleSampleRate);
    CtleSelect.BlockSize = 1;
    ShapeBuses();
    const bool select = CtleSelect.Setup();
    const bool limiter = Limiter.Setup();
    LimiterInGain.Factor = kLimiterInGain;
    LimiterOutGain.Factor = kLimiterOutGain;
    DwdmConst.InitialDelay = 0;
    DwdmConst.Value = DWDM_mode;
    return c4 && c1 && select && limiter;
}

// ---------------------------------------------------------------------------
// The clock-recovery loop

Rx::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1::Subnetwork_Subnetwork2_Subnetwork1() {
    ShapeBuses();
}

Rx::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1::~Subnetwork_Subnetwork2_Subnetwork1() {}

void Rx::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1::ShapeBuses() {
    PhaseSum.Input.Initialize(2);
    ClockPhaseFork.Output.Initialize(2);
}

bool Rx::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1::Setup() {
    const bool quadrature = Quadrature.Setup();
    const bool detector = Detector.Setup();
    ShapeBuses();
    return quadrature && detector;
}

Rx::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2()
    : SeriesCapacitance(2.2e-8),
      ShuntCapacitance(5e-11),
      Resistance(100.0),
      PumpCurrent(2.5e-5),
      SamplesPerBit(32.0),
      VcoFrequencyRatio(1.0),
      VcoSensitivity(8e8),
      VcoInitialPhase(0.0),
      VcoAmplitude(1.0),
      BitTime(1e-10),
      BitRate(0.0),
      SampleInterval(0.0),
      VcoFrequency(0.0) {
    ShapeBuses();
}

Rx::Subnetwork_Subnetwork2::~Subnetwork_Subnetwork2() {}

void Rx::Subnetwork_Subnetwork2::ShapeBuses() {
    VcoFork.Output.Initialize(2);
    ControlFork.Output.Initialize(2);
}

bool Rx::Subnetwork_Subnetwork2::RunEquations() {
    BitRate = 1.0 / BitTime;
    SampleInterval = 1.0 / (BitRate * SamplesPerBit);
    VcoFrequency = BitRate * VcoFrequencyRatio;
    return true;
}

bool Rx::Subnetwork_Subnetwork2::Setup() {
    RunEquations();
    const bool detector = PhaseDetector.Setup();
    Vco.SampleInterval = SampleInterval;
    Vco.FreeRunningFrequency = VcoFrequency;
    Vco.Sensitivity = VcoSensitivity;
    Vco.InitialPhase = VcoInitialPhase;
    Vco.Amplitude = VcoAmplitude;
    Filter.SeriesCapacitance = SeriesCapacitance;
    Filter.ShuntCapacitance = ShuntCapacitance;
    Filter.Resistance = Resistance;
    Filter.PumpCurrent = PumpCurrent;
    Filter.SampleInterval = SampleInterval;
    const bool filter = Filter.Setup();
    ShapeBuses();
    return detector && filter;
}

// ---------------------------------------------------------------------------
// The schematic

Rx::Orvex_RX_AMI_05272013()
    : SamplesPerBit(32.0),
      BitTime(1e-10),
      EQ_Level(0.0),
      DWDM_mode(0.0),
      Rx_config(0.0),
      DFEtap1(0.0),
      DFEtap2(0.0),
      DFEtap3(0.0),
      DFEtap4(0.0),
      DFEtap5(0.0),
      DFEAdapt(1.0),
      CTLEAdapt(1.0),
      EOM_window(1000.0) {
    OutputSelect.BlockSize = 1;
    EnableConst.InitialDelay = 0;
    EnableConst.Value = 0.0;
    RxConfigConst.InitialDelay = 0;
    RxConfigConst.Value = 0.0;
    // The buses hold their streams from the start, so the connection table
    // can always be formed; Setup shapes them again (which changes nothing).
    ShapeBuses();
}

Rx::~Orvex_RX_AMI_05272013() { DeleteBuffers(); }

void Rx::ShapeBuses() {
    DFE.Taps.Initialize(DFE_custom::kNumTaps);
    Adapt.DFE_Taps.Initialize(Adapt_custom::kNumTaps);
    EqualizedFork.Output.Initialize(3);
    OutputSelect.Input.Initialize(2);
    AdaptFeedbackFork.Output.Initialize(2);
    ClockFork.Output.Initialize(4);
}

bool Rx::Setup() {
    Subnetwork_Subnetwork2& loop = Subnetwork2;
    loop.SeriesCapacitance = 2.2e-8;
    loop.ShuntCapacitance = 5e-11;
    loop.Resistance = 100.0;
    loop.PumpCurrent = 2.5e-5;
    loop.SamplesPerBit = SamplesPerBit;
    loop.VcoFrequencyRatio = 1.0;
    loop.VcoSensitivity = 8e8;
    loop.VcoInitialPhase = 0.0;
    loop.VcoAmplitude = 1.0;
    loop.BitTime = BitTime;
    const bool loopOk = loop.Setup();

    Subnetwork1.CtleSampleRate = SamplesPerBit / BitTime;
    Subnetwork1.DWDM_mode = DWDM_mode;
    const bool ctleOk = Subnetwork1.Setup();

    ShapeBuses();
    const bool dfeOk = DFE.Setup();

    AdaptStartDelay.N = kAdaptStartClocks;
    const bool startOk = AdaptStartDelay.Setup();

    EOM.EOM_window = TruncateToInt(EOM_window);
    EOM.SamplesPerBit = TruncateToInt(SamplesPerBit);
    const bool eomOk = EOM.Setup();

    Adapt.DFEAdapt = TruncateToInt(DFEAdapt);
    Adapt.CTLEAdapt = TruncateToInt(CTLEAdapt);
    Adapt.DWDM_mode = TruncateToInt(DWDM_mode);
    Adapt.EQ_Level = TruncateToInt(EQ_Level);
    Adapt.DFEtap1 = TruncateToInt(DFEtap1);
    Adapt.DFEtap2 = TruncateToInt(DFEtap2);
    Adapt.DFEtap3 = TruncateToInt(DFEtap3);
    Adapt.DFEtap4 = TruncateToInt(DFEtap4);
    Adapt.DFEtap5 = TruncateToInt(DFEtap5);
    const bool adaptOk = Adapt.Setup();

    ClockTimeRecorder.SampleInterval = BitTime / SamplesPerBit;
    ClockTimeRecorder.TimeOffset = 0.0;
    ClockTimeRecorder.EdgeSelect = Tessel::ClockTimes::FallingEdges;

    OutputSelect.BlockSize = 1;
    const bool outputSelectOk = OutputSelect.Setup();

    EnableConst.InitialDelay = 0;
    EnableConst.Value = 1.0;
    RxConfigConst.InitialDelay = 0;
    RxConfigConst.Value = Rx_config;
    DecisionScale.Factor = 0.5f;

    UseOneItemPerFiring(WaveIn);
    UseOneItemPerFiring(ClockOut);
    UseOneItemPerFiring(WaveOut);

    return loopOk && ctleOk && dfeOk && startOk && eomOk && adaptOk && outputSelectOk;
}

namespace {
typedef Rx::Arc A;
// The connections in the order of the table below; their numbers are the
// order of creation, 1 to 61.
constexpr A kArcsInTableOrder[] = {
    A::WaveIn,
    A::ClockTime,
    A::WaveOut,
    A::Decision,
    A::Equalized,
    A::AdaptStart,
    A::VcoSignal,
    A::VcoClock,
    A::ControlVoltage,
    A::QuadratureClock,
    A::BitI,
    A::BitQ,
    A::UpDown,
    A::PhaseSum,
    A::VcoToQuadrature,
    A::VcoToDetector,
    A::PumpCommand,
    A::VcoToPhaseDetector,
    A::VcoUnused,
    A::VcoControl,
    A::ControlUnused,
    A::MeasureDone,
    A::EyeHeight,
    A::EyeWidth,
    A::CtleResponse,
    A::Restart,
    A::CtleDone,
    A::AdaptPort10,
    A::DfeTap1,
    A::DfeTap2,
    A::DfeTap3,
    A::DfeTap4,
    A::DfeTap5,
    A::C4Output,
    A::C1Output,
    A::CtleChoice,
    A::CtleSelected,
    A::LimiterSaturated,
    A::LimiterScaled,
    A::Limited,
    A::DwdmMode,
    A::C4Input,
    A::C1Input,
    A::C4Control,
    A::C1Control,
    A::OutputChoice,
    A::AdaptStartTrigger,
    A::DecisionFloat,
    A::RetimedData,
    A::EqualizedToMonitor,
    A::EqualizedToOutput,
    A::EqualizedToDetector,
    A::RearmDelayLine,
    A::MonitorRestart,
    A::Enable,
    A::RxConfig,
    A::ScaledDecision,
    A::ClockToDfe,
    A::ClockToStartDelay,
    A::ClockToRecorder,
    A::ClockToMonitor,
};
static_assert(sizeof kArcsInTableOrder / sizeof kArcsInTableOrder[0] == Rx::kNumConnections,
              "every connection is named");
static_assert(Tessel::NumberedInOrder(kArcsInTableOrder), "the connection names follow the table");
}  // namespace

// The connection table: one row per connection, in creation order. Every
// port on a connection views its arc memory with the connection's item count,
// rate 1 and start 0. Connections read before they are written in a firing
// (the feedback paths that the firing order closes) start zeroed.
std::array<Rx::Connection, Rx::kNumConnections> Rx::Connections() {
    Subnetwork_Subnetwork1& ctle = Subnetwork1;
    Subnetwork_Subnetwork2& loop = Subnetwork2;
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    const ItemType D = ItemType::Double;
    const ItemType I = ItemType::Int;
    const ItemType F = ItemType::Float;
    const Initial U = Initial::Undefined;
    const Initial Z = Initial::Zeroed;
    Tessel::CircularBufferBase* const none = nullptr;
    return {{
        // clang-format off
        // connection, item type, item count, producer, consumer, initial content
        {A::WaveIn,              D, 1,                  &WaveInInternal,                    &ctle.InputFork.Input,            U},
        {A::ClockTime,           D, 1,                  &ClockTimeRecorder.TimeOutput,      &ClockOutInternal,                U},
        {A::WaveOut,             D, 1,                  &OutputSelect.Output,               &WaveOutInternal,                 U},
        {A::Decision,            I, 1,                  &DFE.Decision,                      &DecisionToFloat.Input,           U},
        {A::Equalized,           D, 1,                  &DFE.Output,                        &EqualizedFork.Input,             Z},
        {A::AdaptStart,          I, 1,                  &AdaptStartDelay.Output,            &Adapt.Start,                     U},
        {A::VcoSignal,           D, 1,                  &loop.Vco.SignalOutput,             &loop.VcoFork.Input,              U},
        {A::VcoClock,            I, 1,                  &loop.Vco.ClockOutput,              &ClockFork.Input,                 U},
        {A::ControlVoltage,      D, 1,                  &loop.FilterOut,                    &loop.ControlFork.Input,          U},
        {A::QuadratureClock,     D, 1,                  &detector.QuadratureOut,            &detector.DetectorClockQ,         U},
        {A::BitI,                I, 1,                  &detector.DetectorBitI,             &detector.PhaseSum.Input[0],      U},
        {A::BitQ,                I, 1,                  &detector.DetectorBitQ,             none,                             U},
        {A::UpDown,              I, 1,                  &detector.DetectorUpDown,           &detector.PhaseSum.Input[1],      U},
        {A::PhaseSum,            I, 1,                  &detector.PhaseSum.Output,          &loop.PhaseToDouble.Input,        U},
        {A::VcoToQuadrature,     D, 1,                  &detector.ClockPhaseFork.Output[0], &detector.Quadrature.Input,       U},
        {A::VcoToDetector,       D, 1,                  &detector.ClockPhaseFork.Output[1], &detector.DetectorClockI,         U},
        {A::PumpCommand,         D, 1,                  &loop.PhaseToDouble.Output,         &loop.FilterIn,                   U},
        {A::VcoToPhaseDetector,  D, 1,                  &loop.VcoFork.Output[0],            &detector.ClockPhaseFork.Input,   U},
        {A::VcoUnused,           D, 1,                  &loop.VcoFork.Output[1],            none,                             U},
        {A::VcoControl,          D, 1,                  &loop.ControlFork.Output[0],        &loop.Vco.ControlInput,           Z},
        {A::ControlUnused,       D, 1,                  &loop.ControlFork.Output[1],        none,                             U},
        {A::MeasureDone,         I, 1,                  &EOM.Done,                          &Adapt.MeasureDone,               Z},
        {A::EyeHeight,           D, 1,                  &EOM.EyeHeight,                     &Adapt.EyeHeight,                 Z},
        {A::EyeWidth,            D, 1,                  &EOM.EyeWidth,                      &Adapt.EyeWidth,                  Z},
        {A::CtleResponse,        I, 1,                  &Adapt.CTLE_Select,                 &ctle.CtleControlFork.Input,      U},
        {A::Restart,             I, 1,                  &Adapt.Restart,                     &AdaptFeedbackFork.Input,         U},
        {A::CtleDone,            I, 1,                  &Adapt.CTLE_Done,                   none,                             U},
        {A::AdaptPort10,         I, 1,                  &Adapt.Port10,                      none,                             U},
        {A::DfeTap1,             D, 1,                  &Adapt.DFE_Taps[0],                 &DFE.Taps[0],                     U},
        {A::DfeTap2,             D, 1,                  &Adapt.DFE_Taps[1],                 &DFE.Taps[1],                     U},
        {A::DfeTap3,             D, 1,                  &Adapt.DFE_Taps[2],                 &DFE.Taps[2],                     U},
        {A::DfeTap4,             D, 1,                  &Adapt.DFE_Taps[3],                 &DFE.Taps[3],                     U},
        {A::DfeTap5,             D, 1,                  &Adapt.DFE_Taps[4],                 &DFE.Taps[4],                     U},
        {A::C4Output,            D, 1,                  &ctle.C4.Output,                    &ctle.CtleSelect.Input[kC4Input], U},
        {A::C1Output,            D, 1,                  &ctle.C1.Output,                    &ctle.CtleSelect.Input[kC1Input], U},
        {A::CtleChoice,          I, 1,                  &ctle.DwdmToInt.Output,             &ctle.CtleSelectControl,          U},
        {A::CtleSelected,        D, 1,                  &ctle.CtleSelect.Output,            &ctle.LimiterInGain.Input,        U},
        {A::LimiterSaturated,    D, 1,                  &ctle.Limiter.Output,               &ctle.LimiterOutGain.Input,       U},
        {A::LimiterScaled,       D, 1,                  &ctle.LimiterInGain.Output,         &ctle.Limiter.Input,              U},
        {A::Limited,             D, 1,                  &ctle.LimiterOutGain.Output,        &DFE.Input,                       U},
        {A::DwdmMode,            D, 1,                  &ctle.DwdmConst.Output,             &ctle.DwdmToInt.Input,            U},
        {A::C4Input,             D, 1,                  &ctle.InputFork.Output[0],          &ctle.C4.Input,                   U},
        {A::C1Input,             D, 1,                  &ctle.InputFork.Output[1],          &ctle.C1.Input,                   U},
        {A::C4Control,           I, 1,                  &ctle.CtleControlFork.Output[0],    &ctle.C4Control,                  U},
        {A::C1Control,           I, 1,                  &ctle.CtleControlFork.Output[1],    &ctle.C1Control,                  U},
        {A::OutputChoice,        I, 1,                  &RxConfigToInt.Output,              &OutputSelectControl,             U},
        {A::AdaptStartTrigger,   I, 1,                  &EnableToInt.Output,                &AdaptStartDelay.Trigger,         U},
        {A::DecisionFloat,       F, 1,                  &DecisionToFloat.Output,            &DecisionScale.Input,             U},
        {A::RetimedData,         D, 1,                  &DecisionToDouble.Output,           &OutputSelect.Input[0],           U},
        {A::EqualizedToMonitor,  D, 1,                  &EqualizedFork.Output[0],           &EOM.Input,                       U},
        {A::EqualizedToOutput,   D, 1,                  &EqualizedFork.Output[1],           &OutputSelect.Input[1],           U},
        {A::EqualizedToDetector, D, 1,                  &EqualizedFork.Output[2],           &detector.DetectorDataIn,         U},
        {A::RearmDelayLine,      I, kRearmDelayFirings, &AdaptFeedbackFork.Output[0],       &Adapt.Rearm,                     Z},
        {A::MonitorRestart,      I, 1,                  &AdaptFeedbackFork.Output[1],       &EOM.Restart,                     U},
        {A::Enable,              D, 1,                  &EnableConst.Output,                &EnableToInt.Input,               U},
        {A::RxConfig,            D, 1,                  &RxConfigConst.Output,              &RxConfigToInt.Input,             U},
        {A::ScaledDecision,      F, 1,                  &DecisionScale.Output,              &DecisionToDouble.Input,          U},
        {A::ClockToDfe,          I, 1,                  &ClockFork.Output[0],               &DFE.Clock,                       U},
        {A::ClockToStartDelay,   I, 1,                  &ClockFork.Output[1],               &AdaptStartDelay.Clock,           U},
        {A::ClockToRecorder,     I, 1,                  &ClockFork.Output[2],               &ClockTimeRecorder.ClockInput,    U},
        {A::ClockToMonitor,      I, 1,                  &ClockFork.Output[3],               &EOM.Clock,                       U},
        // clang-format on
    }};
}

void Rx::CreateConnection(const Connection& connection) {
    Tessel::CircularBufferBase* const producer = connection.producer;
    Tessel::CircularBufferBase* const consumer = connection.consumer;
    switch (connection.type) {
        case ItemType::Int:
            m_Arcs.Create<int>(connection.arc, connection.items, {producer, consumer});
            break;
        case ItemType::Float:
            m_Arcs.Create<float>(connection.arc, connection.items, {producer, consumer});
            break;
        case ItemType::Double:
            m_Arcs.Create<double>(connection.arc, connection.items, {producer, consumer});
            break;
    }
    if (consumer != nullptr && connection.initial == Initial::Zeroed) {
        consumer->Zero(0, connection.items);
    }
}

bool Rx::Initialize() {
    DeleteBuffers();
    for (const Connection& connection : Connections()) {
        CreateConnection(connection);
    }
    m_bConnected = true;
    m_bDetectorOutputsCopied = false;
    m_bConstantsSettled = false;
    LookAhead(nullptr, 0);
    m_CtleHistory.Reset(std::max(Subnetwork1.C4.NumTaps(), Subnetwork1.C1.NumTaps()));

    Subnetwork_Subnetwork2& loop = Subnetwork2;
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    bool ok = DFE.Initialize();
    ok = AdaptStartDelay.Initialize() && ok;
    ok = loop.Vco.Initialize() && ok;
    ok = loop.Filter.Initialize() && ok;
    ok = detector.Quadrature.Initialize() && ok;
    ok = detector.Detector.Initialize() && ok;
    ok = EOM.Initialize() && ok;
    ok = Adapt.Initialize() && ok;
    ok = Subnetwork1.C4.Initialize() && ok;
    ok = Subnetwork1.C1.Initialize() && ok;
    ok = Subnetwork1.DwdmConst.Initialize() && ok;
    ok = ClockTimeRecorder.Initialize() && ok;
    ok = EnableConst.Initialize() && ok;
    ok = RxConfigConst.Initialize() && ok;
    m_C4.ready = Subnetwork1.C4.CanFilter();
    m_C1.ready = Subnetwork1.C1.CanFilter();
    return ok;
}

// ---------------------------------------------------------------------------
// Firing

// One firing of the whole schematic, in the fixed firing order. A block
// fired before the producer of one of its inputs reads that producer's item
// of the previous firing: so the equalised signal reaches the monitor, the
// output selector and the phase detector one sample late, and the oscillator
// is steered by the previous firing's control voltage. A failing block does
// not stop the order; the result is false if any of them failed.
//
// The steps are those of the plain firing (the tests hold Run to it, bit for
// bit), with shortcuts that give the same items and outputs: the fan-outs,
// gains and type converters are expanded in place and write only the
// connections something reads; blocks that work only at edges of their
// inputs are fired in full only then; the two CTLE banks filter one shared
// input history, and the selected one's output is formed ahead. Each
// shortcut is a function below that says which plain steps it replaces.
bool Rx::Run() {
    if (!m_bConnected) {
        return false;  // no arc memory (before Initialize or after Finalize)
    }
    bool ok = true;
    // 1, 2. WaveIn, the input fork and the banks' delay lines.
    FollowLookAhead(TakeReceivedSample());
    // 3, 4 (and 25). The constants and their converters.
    SettleConstants();
    const int ctleChoice = Item<int>(Arc::CtleChoice);
    Bank* const selectedBank = SelectedBank(ctleChoice);
    CtleAhead ahead;
    FormCtleAhead(selectedBank, ahead);
    // 5. EqualizedFork: the DFE output of the previous firing.
    const double equalized = Item<double>(Arc::Equalized);
    // 6. Vco: its waveform is formed only where the phase detector reads it.
    ok &= Subnetwork2.Vco.RunClockOnly();
    // 7 to 10. VcoFork, ClockPhaseFork, Quadrature, Detector, PhaseSum, PhaseToDouble.
    ok &= FirePhaseDetector(equalized);
    // 11, 12. Filter, ControlFork.
    ok &= FireLoopFilter();
    // 13. ClockFork.
    const int clock = ForkClock();
    // 14. AdaptStartDelay.
    ok &= FireStartDelay(clock);
    // 15, 16. Adapt, AdaptFeedbackFork and the Restart-to-Rearm delay line.
    bool adaptFired = false;
    ok &= FireAdaptation(adaptFired);
    // 17. EOM.
    ok &= FireMonitor(clock, Item<int>(Arc::Restart), equalized);
    // 18, 19. CtleControlFork, C1, C4.
    const int response = Item<int>(Arc::CtleResponse);
    ok &= FireBank(m_C1, response);
    ok &= FireBank(m_C4, response);
    // 20. CtleSelect.
    ok &= FireCtleSelect(ctleChoice, selectedBank, ahead);
    // 21. LimiterInGain, Limiter, LimiterOutGain.
    const double limited = LimitSelected(ahead);
    // 22. DFE.
    ok &= FireDfe(clock, adaptFired, limited);
    // 23. ClockTimeRecorder.
    double clockTime = -1.0;
    ok &= FireClockTimeRecorder(clock, clockTime);
    // 24 to 26. The decision path and OutputSelect.
    ok &= FireOutputSelect(equalized);
    // 27. ClockOutInternal to ClockOut, WaveOutInternal to WaveOut.
    ClockOut[0] = clockTime;
    WaveOut[0] = Item<double>(Arc::WaveOut);
    return ok;
}

// Replaces steps 1 and 2 and the delay-line entry of both banks' firings:
// WaveIn to WaveInInternal, the input fork to both banks, and each bank's
// taking of the sample into its own delay line. The banks' inputs are the
// same samples, so one history serves both.
double Rx::TakeReceivedSample() {
    const double received = WaveIn[0];
    m_CtleHistory.Push(received);
    return received;
}

void Rx::LookAhead(const double* upcoming, size_t count) {
    m_Ahead.upcoming = count > 0 ? upcoming : nullptr;
    m_Ahead.count = m_Ahead.upcoming != nullptr ? count : 0;
    m_Ahead.next = 0;
    m_Ahead.formed = 0;
}

// The place in the offered samples moves on with every sample taken; a
// sample other than the one offered (compared bit for bit) withdraws the
// offer.
void Rx::FollowLookAhead(double received) {
    if (m_Ahead.upcoming == nullptr) {
        return;
    }
    const size_t position = m_Ahead.next;
    if (position < m_Ahead.count && std::memcmp(&m_Ahead.upcoming[position], &received, sizeof received) == 0) {
        m_Ahead.next = position + 1;
    } else {
        LookAhead(nullptr, 0);
    }
}

// This firing's entry (k) of the stretch formed ahead with the bank's taps,
// formed first if need be; false without offered samples.
bool Rx::FormedAhead(const Bank& bank, size_t& k) {
    if (m_Ahead.upcoming == nullptr || !bank.block->SumsInBlocks()) {
        return false;
    }
    const size_t position = m_Ahead.next - 1;  // this firing's sample
    if (m_Ahead.bank != &bank || position < m_Ahead.first || position - m_Ahead.first >= m_Ahead.formed) {
        FormStretchAhead(bank, position);
    }
    k = position - m_Ahead.first;
    return true;
}

// The bank's outputs for the offered samples from `position` on, each over
// its own run of as many samples as the bank has taps: the same values,
// summed the same way, as firing by firing. The samples are stored newest
// first (the stretch from its end back, then the shared history's older
// ones), so that every output reads them forwards from its own newest.
void Rx::FormStretchAhead(const Bank& bank, size_t position) {
    const size_t taps = bank.block->NumTaps();
    TESSEL_PRECONDITION(taps >= 1 && taps <= m_CtleHistory.Depth(), "taps >= 1 && taps <= m_CtleHistory.Depth()");
    const size_t stretch = std::min(kAheadStretch, m_Ahead.count - position);
    std::vector<double>& input = m_Ahead.input;
    input.resize(stretch + taps - 1);
    for (size_t m = 0; m < stretch; ++m) {
        input[m] = m_Ahead.upcoming[position + stretch - 1 - m];
    }
    const double* current = m_CtleHistory.Newest();  // the sample at `position`
    for (size_t j = 1; j < taps; ++j) {
        input[stretch - 1 + j] = *(current - j);
    }
    // Sum i starts at input[i]: it is the output for position + stretch - 1 - i.
    double sums[kAheadStretch];
    Tessel::BlockedDotProductsNewestFirst(input.data(), bank.block->Taps(), taps, stretch, sums);
    for (size_t k = 0; k < stretch; ++k) {
        m_Ahead.output[k] = sums[stretch - 1 - k];
        m_Ahead.limited[k] = Limit(m_Ahead.output[k]);
    }
    m_Ahead.bank = &bank;
    m_Ahead.first = position;
    m_Ahead.formed = stretch;
}

// Replaces steps 3, 4 and 25 after the first firing: the three constants
// and their rounding converters write the same items in every firing once
// the constants' initial delays have passed (Setup gives them none), so
// from then on their connections simply keep those items.
void Rx::SettleConstants() {
    if (m_bConstantsSettled) {
        return;
    }
    // Settled once a firing has written the values every later one writes.
    const bool valuesFromNowOn =
        Subnetwork1.DwdmConst.DelayElapsed() && EnableConst.DelayElapsed() && RxConfigConst.DelayElapsed();
    Fire(Subnetwork1.DwdmConst);
    Fire(Subnetwork1.DwdmToInt);
    Fire(EnableConst);
    Fire(EnableToInt);
    Fire(RxConfigConst);
    Fire(RxConfigToInt);
    m_bConstantsSettled = valuesFromNowOn;
}

// The bank on the selector input that the choice names, null for a choice
// the selector refuses.
Rx::Bank* Rx::SelectedBank(int ctleChoice) {
    if (ctleChoice == kC4Input) {
        return &m_C4;
    }
    return ctleChoice == kC1Input ? &m_C1 : nullptr;
}

// Taken ahead of the clock recovery, so that their long computations overlap
// it: the selected bank's output with the response in force, and the
// limiter's work on it (from the stretch formed ahead where samples are
// offered). Steps 20 and 21 use them unless the response changes at step 19.
inline void Rx::FormCtleAhead(const Bank* selectedBank, CtleAhead& ahead) {
    if (selectedBank == nullptr || !selectedBank->ready) {
        return;
    }
    ahead.formed = true;
    size_t k = 0;
    if (FormedAhead(*selectedBank, k)) {
        ahead.output = m_Ahead.output[k];
        ahead.limited = &m_Ahead.limited[k];
    } else {
        ahead.output = selectedBank->block->OutputFrom(m_CtleHistory);
        ahead.limitedNow = Limit(ahead.output);
    }
}

// Replaces steps 7 to 10. The oscillator's forks are left out: the
// quadrature delay and the detector, which changes nothing without a data
// transition, get their clocks and data straight from the values, and the
// detector and the sum after it are fired only at transitions (and once
// after Initialize, to bring the detector's outputs, which Initialize does
// not reset, to its new connections). The oscillator's waveform and the
// quadrature clock are formed only then.
bool Rx::FirePhaseDetector(double equalized) {
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    const bool transition = detector.Detector.SeesTransition(equalized);
    if (transition || !m_bDetectorOutputsCopied) {
        const double vco = Subnetwork2.Vco.Waveform();
        bool ok = FireQuadrature(vco, transition);
        ok &= FireDetector(vco, detector.Quadrature.Output, equalized);
        Fire(detector.PhaseSum);
        Item<double>(Arc::PumpCommand) = static_cast<double>(Item<int>(Arc::PhaseSum));
        m_bDetectorOutputsCopied = true;
        return ok;
    }
    return true;
}

// Step 8, the quadrature delay, in a firing where the detector reads it.
// The delay follows the direction of the oscillator's waveform from one
// firing to the next; in the firings between it only remembers its input,
// so here it is given the previous firing's sample (none before the first
// firing after Initialize, where it keeps what Initialize set).
bool Rx::FireQuadrature(double vco, bool outputNeeded) {
    const Tessel::VCO& oscillator = Subnetwork2.Vco;
    Delay& quadrature = Subnetwork2.PhaseDetector.Quadrature;
    if (oscillator.m_iSampleCount > 1) {
        quadrature.PreviousInput = oscillator.PreviousWaveform();
    }
    quadrature.OutputNeeded = outputNeeded;
    return quadrature.RunWith(vco);
}

// Step 9: the detector with its field copies.
bool Rx::FireDetector(double clockI, double clockQ, double dataIn) {
    PFD& pfd = Subnetwork2.PhaseDetector.Detector;
    pfd.ClockI = clockI;
    pfd.ClockQ = clockQ;
    pfd.DataIn = dataIn;
    const bool ok = Fire(pfd);
    Item<int>(Arc::BitI) = pfd.BitI;
    Item<int>(Arc::BitQ) = pfd.BitQ;
    Item<int>(Arc::UpDown) = pfd.UpDown;
    return ok;
}

// Replaces steps 11 and 12: the filter with its field copies; of the control
// fork only the oscillator's branch has a reader.
bool Rx::FireLoopFilter() {
    LoopFilter& filter = Subnetwork2.Filter;
    filter.PumpInput = Item<double>(Arc::PumpCommand);
    const bool ok = Fire(filter);
    Item<double>(Arc::VcoControl) = filter.ControlVoltage;
    return ok;
}

// Replaces step 13: the clock fork's four connections change only when the
// clock does, so they are written only then.
int Rx::ForkClock() {
    const int clock = Item<int>(Arc::VcoClock);
    if (clock != Item<int>(Arc::ClockToDfe)) {
        Item<int>(Arc::ClockToDfe) = clock;
        Item<int>(Arc::ClockToStartDelay) = clock;
        Item<int>(Arc::ClockToRecorder) = clock;
        Item<int>(Arc::ClockToMonitor) = clock;
    }
    return clock;
}

// Replaces step 14: between steps of its clock and trigger the start delay
// changes nothing, and is left out.
inline bool Rx::FireStartDelay(int clock) {
    if (AdaptStartDelay.QuietWith(clock, Item<int>(Arc::AdaptStartTrigger))) {
        return true;
    }
    return Fire(AdaptStartDelay);
}

// Replaces steps 15 and 16: without an edge on its inputs the adaptation
// changes nothing and is left out (`fired` says whether it ran); the delay
// line takes Restart and moves on in every firing. The monitor's branch of
// the fork is written where the monitor reads it.
bool Rx::FireAdaptation(bool& fired) {
    fired = !Adapt.QuietWith(Item<int>(Arc::AdaptStart), Item<int>(Arc::MeasureDone), Adapt.Rearm[0]);
    const bool ok = fired ? Fire(Adapt) : true;
    Adapt.Rearm.Advance();
    AdaptFeedbackFork.Output[0][0] = Item<int>(Arc::Restart);
    AdaptFeedbackFork.Output[0].Advance();
    return ok;
}

// Replaces step 17: between edges of its clock and Restart the monitor only
// counts the sample, taken straight from the value.
bool Rx::FireMonitor(int clock, int restart, double equalized) {
    if (EOM.QuietWith(clock, restart)) {
        return EOM.RunBetweenEdges(equalized);
    }
    Item<double>(Arc::EqualizedToMonitor) = equalized;
    Item<int>(Arc::MonitorRestart) = restart;
    return Fire(EOM);
}

// Replaces a bank's firing at step 19 (its control copy included): the bank
// follows a change of response, but filters nothing of its own; the shared
// history is filtered for the selected bank at step 20. A bank that cannot
// filter is fired the ordinary way, which posts why and fails.
bool Rx::FireBank(Bank& bank, int control) {
    CustomFIR_select_inp& block = *bank.block;
    block.Control = control;
    bank.rebuilt = block.Control != block.Previous_Control;
    bool ok = block.FollowControl();
    if (bank.rebuilt) {
        bank.ready = block.CanFilter();
    }
    if (!bank.ready) {
        ok = Fire(block) && ok;
    }
    return ok;
}

// Replaces step 20, CtleSelect with the filtering of the selected bank's
// firing: the selected bank's output, taken from ahead unless its taps were
// rebuilt at step 19, else formed from the shared history, is passed on; a
// bank that cannot filter leaves its output as it was. A choice the
// selector refuses fires it the plain way, which fails.
inline bool Rx::FireCtleSelect(int ctleChoice, const Bank* selectedBank, const CtleAhead& ahead) {
    Subnetwork1.CtleSelect.Control = ctleChoice;
    if (selectedBank == nullptr) {
        return Fire(Subnetwork1.CtleSelect);
    }
    const Arc bankOutput = ctleChoice == kC4Input ? Arc::C4Output : Arc::C1Output;
    if (selectedBank->ready) {
        if (selectedBank->rebuilt) {
            m_Ahead.formed = 0;  // formed with the taps of before
        }
        Item<double>(bankOutput) = ahead.formed && !selectedBank->rebuilt
                                       ? ahead.output
                                       : selectedBank->block->OutputFrom(m_CtleHistory);
    }
    Item<double>(Arc::CtleSelected) = Item<double>(bankOutput);
    return true;
}

// Replaces step 21: LimiterInGain, Limiter, LimiterOutGain on the selected
// output, taken from ahead where it was formed from the same value.
inline double Rx::LimitSelected(const CtleAhead& ahead) {
    const double selected = Item<double>(Arc::CtleSelected);
    return ahead.limited->SameInput(selected) ? ahead.limited->output : Limit(selected).output;
}

// Replaces step 22: between clock edges, with the taps of the previous
// firing (the adaptation was left out), the DFE only subtracts its feedback.
inline bool Rx::FireDfe(int clock, bool adaptFired, double limited) {
    if (!adaptFired && DFE.QuietWith(clock)) {
        return DFE.RunBetweenEdges(limited);
    }
    Item<double>(Arc::Limited) = limited;
    return Fire(DFE);
}

// Replaces step 23: without a clock edge the recorder only counts the
// firing. `clockTime` is the firing's clock time, -1 for none.
inline bool Rx::FireClockTimeRecorder(int clock, double& clockTime) {
    if (ClockTimeRecorder.QuietWith(clock)) {
        clockTime = ClockTimeRecorder.CountFiringWithoutEdge();
        return true;
    }
    const bool ok = Fire(ClockTimeRecorder);
    clockTime = Item<double>(Arc::ClockTime);
    return ok;
}

// Replaces steps 24 to 26: the decision path and OutputSelect, expanded; a
// control out of range fails the selector, which leaves its output as it was.
inline bool Rx::FireOutputSelect(double equalized) {
    const int outputChoice = Item<int>(Arc::OutputChoice);
    OutputSelect.Control = outputChoice;
    if (outputChoice == 0) {
        Item<double>(Arc::WaveOut) = RetimedData();
    } else if (outputChoice == 1) {
        Item<double>(Arc::WaveOut) = equalized;
    } else {
        return Fire(OutputSelect);
    }
    return true;
}

// Step 24, DecisionToFloat, DecisionScale, DecisionToDouble, expanded.
double Rx::RetimedData() {
    const float decision = static_cast<float>(Item<int>(Arc::Decision));
    return static_cast<double>(DecisionScale.Factor * decision);
}

// The soft limiter expanded: LimiterInGain, the Limiter's tanh (it has no
// domain guard and always succeeds), LimiterOutGain.
Rx::LimiterResult Rx::Limit(double input) const {
    LimiterResult result;
    result.input = input;
    result.output = Subnetwork1.LimiterOutGain.Factor * std::tanh(Subnetwork1.LimiterInGain.Factor * input);
    result.valid = true;
    return result;
}

// ---------------------------------------------------------------------------
// End of life

bool Rx::Finalize() {
    Subnetwork_Subnetwork2& loop = Subnetwork2;
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    bool ok = DFE.Finalize();
    ok = AdaptStartDelay.Finalize() && ok;
    ok = loop.Vco.Finalize() && ok;
    ok = loop.Filter.Finalize() && ok;
    ok = detector.Quadrature.Finalize() && ok;
    ok = detector.Detector.Finalize() && ok;
    ok = EOM.Finalize() && ok;
    ok = Adapt.Finalize() && ok;
    ok = Subnetwork1.C4.Finalize() && ok;
    ok = Subnetwork1.C1.Finalize() && ok;
    ok = Subnetwork1.Limiter.Finalize() && ok;
    ok = ClockTimeRecorder.Finalize() && ok;
    DeleteBuffers();
    return ok;
}

void Rx::DeleteBuffers() {
    m_bConnected = false;
    LookAhead(nullptr, 0);
    m_Arcs.DeleteAll();
}

double Orvex_RX_AMI_05272013::LongestResponseSeconds() {
    const double c4 = C4_Time_Stamps[kCtleTimePoints - 1] - C4_Time_Stamps[0];
    const double c1 = C1_Time_Stamps[kCtleTimePoints - 1] - C1_Time_Stamps[0];
    return c4 > c1 ? c4 : c1;
}
