#include "Orvex_RX_AMI_05272013.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "Orvex_RX_AMI_05272013_Tables.h"

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
        // number, item type, item count, producer, consumer, initial content
        { 1, D, 1,                  &WaveInInternal,                    &ctle.InputFork.Input,            U},
        { 2, D, 1,                  &ClockTimeRecorder.TimeOutput,      &ClockOutInternal,                U},
        { 3, D, 1,                  &OutputSelect.Output,               &WaveOutInternal,                 U},
        { 4, I, 1,                  &DFE.Decision,                      &DecisionToFloat.Input,           U},
        { 5, D, 1,                  &DFE.Output,                        &EqualizedFork.Input,             Z},
        { 6, I, 1,                  &AdaptStartDelay.Output,            &Adapt.Start,                     U},
        { 7, D, 1,                  &loop.Vco.SignalOutput,             &loop.VcoFork.Input,              U},
        { 8, I, 1,                  &loop.Vco.ClockOutput,              &ClockFork.Input,                 U},
        { 9, D, 1,                  &loop.FilterOut,                    &loop.ControlFork.Input,          U},
        {10, D, 1,                  &detector.QuadratureOut,            &detector.DetectorClockQ,         U},
        {11, I, 1,                  &detector.DetectorBitI,             &detector.PhaseSum.Input[0],      U},
        {12, I, 1,                  &detector.DetectorBitQ,             none,                             U},
        {13, I, 1,                  &detector.DetectorUpDown,           &detector.PhaseSum.Input[1],      U},
        {14, I, 1,                  &detector.PhaseSum.Output,          &loop.PhaseToDouble.Input,        U},
        {15, D, 1,                  &detector.ClockPhaseFork.Output[0], &detector.Quadrature.Input,       U},
        {16, D, 1,                  &detector.ClockPhaseFork.Output[1], &detector.DetectorClockI,         U},
        {17, D, 1,                  &loop.PhaseToDouble.Output,         &loop.FilterIn,                   U},
        {18, D, 1,                  &loop.VcoFork.Output[0],            &detector.ClockPhaseFork.Input,   U},
        {19, D, 1,                  &loop.VcoFork.Output[1],            none,                             U},
        {20, D, 1,                  &loop.ControlFork.Output[0],        &loop.Vco.ControlInput,           Z},
        {21, D, 1,                  &loop.ControlFork.Output[1],        none,                             U},
        {22, I, 1,                  &EOM.Done,                          &Adapt.MeasureDone,               Z},
        {23, D, 1,                  &EOM.EyeHeight,                     &Adapt.EyeHeight,                 Z},
        {24, D, 1,                  &EOM.EyeWidth,                      &Adapt.EyeWidth,                  Z},
        {25, I, 1,                  &Adapt.CTLE_Select,                 &ctle.CtleControlFork.Input,      U},
        {26, I, 1,                  &Adapt.Restart,                     &AdaptFeedbackFork.Input,         U},
        {27, I, 1,                  &Adapt.CTLE_Done,                   none,                             U},
        {28, I, 1,                  &Adapt.Port10,                      none,                             U},
        {29, D, 1,                  &Adapt.DFE_Taps[0],                 &DFE.Taps[0],                     U},
        {30, D, 1,                  &Adapt.DFE_Taps[1],                 &DFE.Taps[1],                     U},
        {31, D, 1,                  &Adapt.DFE_Taps[2],                 &DFE.Taps[2],                     U},
        {32, D, 1,                  &Adapt.DFE_Taps[3],                 &DFE.Taps[3],                     U},
        {33, D, 1,                  &Adapt.DFE_Taps[4],                 &DFE.Taps[4],                     U},
        {34, D, 1,                  &ctle.C4.Output,                    &ctle.CtleSelect.Input[kC4Input], U},
        {35, D, 1,                  &ctle.C1.Output,                    &ctle.CtleSelect.Input[kC1Input], U},
        {36, I, 1,                  &ctle.DwdmToInt.Output,             &ctle.CtleSelectControl,          U},
        {37, D, 1,                  &ctle.CtleSelect.Output,            &ctle.LimiterInGain.Input,        U},
        {38, D, 1,                  &ctle.Limiter.Output,               &ctle.LimiterOutGain.Input,       U},
        {39, D, 1,                  &ctle.LimiterInGain.Output,         &ctle.Limiter.Input,              U},
        {40, D, 1,                  &ctle.LimiterOutGain.Output,        &DFE.Input,                       U},
        {41, D, 1,                  &ctle.DwdmConst.Output,             &ctle.DwdmToInt.Input,            U},
        {42, D, 1,                  &ctle.InputFork.Output[0],          &ctle.C4.Input,                   U},
        {43, D, 1,                  &ctle.InputFork.Output[1],          &ctle.C1.Input,                   U},
        {44, I, 1,                  &ctle.CtleControlFork.Output[0],    &ctle.C4Control,                  U},
        {45, I, 1,                  &ctle.CtleControlFork.Output[1],    &ctle.C1Control,                  U},
        {46, I, 1,                  &RxConfigToInt.Output,              &OutputSelectControl,             U},
        {47, I, 1,                  &EnableToInt.Output,                &AdaptStartDelay.Trigger,         U},
        {48, F, 1,                  &DecisionToFloat.Output,            &DecisionScale.Input,             U},
        {49, D, 1,                  &DecisionToDouble.Output,           &OutputSelect.Input[0],           U},
        {50, D, 1,                  &EqualizedFork.Output[0],           &EOM.Input,                       U},
        {51, D, 1,                  &EqualizedFork.Output[1],           &OutputSelect.Input[1],           U},
        {52, D, 1,                  &EqualizedFork.Output[2],           &detector.DetectorDataIn,         U},
        {53, I, kRearmDelayFirings, &AdaptFeedbackFork.Output[0],       &Adapt.Rearm,                     Z},
        {54, I, 1,                  &AdaptFeedbackFork.Output[1],       &EOM.Restart,                     U},
        {55, D, 1,                  &EnableConst.Output,                &EnableToInt.Input,               U},
        {56, D, 1,                  &RxConfigConst.Output,              &RxConfigToInt.Input,             U},
        {57, F, 1,                  &DecisionScale.Output,              &DecisionToDouble.Input,          U},
        {58, I, 1,                  &ClockFork.Output[0],               &DFE.Clock,                       U},
        {59, I, 1,                  &ClockFork.Output[1],               &AdaptStartDelay.Clock,           U},
        {60, I, 1,                  &ClockFork.Output[2],               &ClockTimeRecorder.ClockInput,    U},
        {61, I, 1,                  &ClockFork.Output[3],               &EOM.Clock,                       U},
        // clang-format on
    }};
}

namespace {

// Arc memory of `items` items of the connection's type, value-initialised,
// so that even an item read before its first write is a defined 0.
void* AllocateItems(Rx::ItemType type, size_t items) {
    switch (type) {
        case Rx::ItemType::Int:
            return new int[items]();
        case Rx::ItemType::Float:
            return new float[items]();
        case Rx::ItemType::Double:
        default:
            return new double[items]();
    }
}

void FreeItems(Rx::ItemType type, void* items) {
    switch (type) {
        case Rx::ItemType::Int:
            delete[] static_cast<int*>(items);
            break;
        case Rx::ItemType::Float:
            delete[] static_cast<float*>(items);
            break;
        case Rx::ItemType::Double:
        default:
            delete[] static_cast<double*>(items);
            break;
    }
}

}  // namespace

void Rx::CreateConnection(const Connection& connection) {
    ArcMemoryRecord& memory = m_ArcMemory[connection.number - 1];
    memory.items = AllocateItems(connection.type, connection.items);
    memory.type = connection.type;
    connection.producer->SetBuffer(memory.items, connection.items, 1, 0);
    if (connection.consumer != nullptr) {
        connection.consumer->SetBuffer(memory.items, connection.items, 1, 0);
        if (connection.initial == Initial::Zeroed) {
            connection.consumer->Zero(0, connection.items);
        }
    }
}

const void* Rx::ArcMemory(int number) const {
    if (number < 1 || number > kNumConnections) {
        return nullptr;
    }
    return m_ArcMemory[number - 1].items;
}

bool Rx::Initialize() {
    DeleteBuffers();
    for (const Connection& connection : Connections()) {
        CreateConnection(connection);
    }
    m_bConnected = true;
    m_bDetectorOutputsCopied = false;

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
    return ok;
}

// ---------------------------------------------------------------------------
// Firing

// Run checks once that the connections exist; the connection numbers and
// item types used below are those of the table, which the comparison with
// the straightforward firing in the tests holds them to.
template <typename T>
T& Rx::Item(int number) {
    return *static_cast<T*>(m_ArcMemory[number - 1].items);
}

// One firing of the whole schematic, in this fixed order. A block fired
// before the producer of one of its inputs reads that producer's item of the
// previous firing: so the equalised signal reaches the monitor, the output
// selector and the phase detector one sample late, and the oscillator is
// steered by the previous firing's control voltage. A failing block does not
// stop the order; the result is false if any of them failed.
//
// The fan-outs, gains and type converters are expanded in place: their one
// line each reads and writes the items of their connections (numbered as in
// the connection table) directly; the rounding converters remember their
// last result. Every other block is fired through its own
// Run; the blocks whose inputs and outputs are fields get them copied in and
// out around the firing.
bool Rx::Run() {
    if (!m_bConnected) {
        return false;  // no arc memory (before Initialize or after Finalize)
    }
    Subnetwork_Subnetwork1& ctle = Subnetwork1;
    Subnetwork_Subnetwork2& loop = Subnetwork2;
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    bool ok = true;

    // 1. WaveIn to WaveInInternal.
    const double received = Item<double>(1) = WaveIn[0];
    // 2. Subnetwork1.InputFork: 1 to 42 (C4) and 43 (C1).
    Item<double>(42) = received;
    Item<double>(43) = received;
    // 3. Subnetwork1.DwdmConst, then DwdmToInt: 41 to 36.
    Fire(ctle.DwdmConst);
    const int ctleChoice = Item<int>(36) = m_DwdmRound(Item<double>(41));
    // The CTLE banks take this firing's sample now, and the selected one
    // forms its output with the response in force; at step 19 they only
    // rebuild and form it again if the response has changed. With that
    // output the limiter's work is done here too, and used at step 21 if the
    // selector passes that very value. Nothing observable moves: this only
    // lets the filter's and the limiter's long computations overlap the
    // clock recovery's.
    ctle.C1.OutputNeeded = ctleChoice == kC1Input;
    ctle.C4.OutputNeeded = ctleChoice == kC4Input;
    ctle.C1.TakeSampleAhead();
    ctle.C4.TakeSampleAhead();
    const CustomFIR_select_inp* selectedBank =
        ctleChoice == kC4Input ? &ctle.C4 : ctleChoice == kC1Input ? &ctle.C1 : nullptr;
    const LimiterResult limiterAhead =
        selectedBank != nullptr ? Limit(selectedBank->OutputFormedAhead()) : LimiterResult();
    // 4. EnableConst, then EnableToInt: 55 to 47.
    Fire(EnableConst);
    Item<int>(47) = m_EnableRound(Item<double>(55));
    // 5. EqualizedFork: 5 (the DFE output of the previous firing) to 50, 51, 52.
    const double equalized = Item<double>(5);
    Item<double>(50) = equalized;
    Item<double>(51) = equalized;
    Item<double>(52) = equalized;
    // 6. Subnetwork2.Vco: control 20, outputs 7 and 8.
    ok &= Fire(loop.Vco);
    // 7. Subnetwork2.VcoFork: 7 to 18, 19; PhaseDetector.ClockPhaseFork: 18 to 15, 16.
    const double vco = Item<double>(18) = Item<double>(19) = Item<double>(7);
    Item<double>(15) = vco;
    Item<double>(16) = vco;
    // 8. PhaseDetector.Quadrature: 15 in, its Output field to 10. The
    // detector reads it only at a data transition, so only then is it formed.
    const bool transition = detector.Detector.SeesTransition(equalized);
    detector.Quadrature.OutputNeeded = transition;
    ok &= Fire(detector.Quadrature);
    Item<double>(10) = detector.Quadrature.Output;
    // 9. PhaseDetector.Detector: fields from 16, 10, 52; to 11, 12, 13.
    // 10. PhaseDetector.PhaseSum: 11 + 13 to 14; Subnetwork2.PhaseToDouble: 14 to 17.
    // Without a data transition the detector changes nothing, so its output
    // connections and the sum's already hold what these steps would write;
    // they are fired at transitions, and once after Initialize to bring the
    // detector's outputs (which Initialize does not reset) to its new
    // connections.
    if (transition || !m_bDetectorOutputsCopied) {
        ok &= FireDetector();
        Fire(detector.PhaseSum);
        Item<double>(17) = static_cast<double>(Item<int>(14));
        m_bDetectorOutputsCopied = true;
    }
    const double pump = Item<double>(17);
    // 11. Subnetwork2.Filter: field from 17, to 9.
    loop.Filter.PumpInput = pump;
    ok &= Fire(loop.Filter);
    const double control = Item<double>(9) = loop.Filter.ControlVoltage;
    // 12. Subnetwork2.ControlFork: 9 to 20, 21.
    Item<double>(20) = control;
    Item<double>(21) = control;
    // 13. ClockFork: 8 to 58 (DFE), 59 (AdaptStartDelay), 60 (ClockTimeRecorder), 61 (EOM).
    const int clock = Item<int>(8);
    Item<int>(58) = clock;
    Item<int>(59) = clock;
    Item<int>(60) = clock;
    Item<int>(61) = clock;
    // 14. AdaptStartDelay.
    ok &= Fire(AdaptStartDelay);
    // 15. Adapt, then its Rearm view of the delay line 53 moves on.
    ok &= Fire(Adapt);
    Adapt.Rearm.Advance();
    // 16. AdaptFeedbackFork: 26 to 53 (at its current position) and 54; then
    // its view of 53 moves on.
    const int restart = Item<int>(54) = Item<int>(26);
    AdaptFeedbackFork.Output[0][0] = restart;
    AdaptFeedbackFork.Output[0].Advance();
    // 17. EOM.
    ok &= Fire(EOM);
    // 18. Subnetwork1.CtleControlFork: 25 to 44 (C4) and 45 (C1).
    const int response = Item<int>(44) = Item<int>(45) = Item<int>(25);
    // 19. Subnetwork1.C1, then C4, each with its control. Both follow every
    // change of the response, but only the one passed on forms an output.
    ctle.C1.Control = response;
    ok &= Fire(ctle.C1);
    ctle.C4.Control = response;
    ok &= Fire(ctle.C4);
    // 20. Subnetwork1.CtleSelect with its control (36): 34 or 35 to 37.
    ctle.CtleSelect.Control = ctleChoice;
    ok &= Fire(ctle.CtleSelect);
    // 21. Subnetwork1.LimiterInGain: 37 to 39; Limiter: 39 to 38; LimiterOutGain: 38 to 40.
    const LimiterResult limited =
        limiterAhead.SameInput(Item<double>(37)) ? limiterAhead : Limit(Item<double>(37));
    Item<double>(39) = limited.scaled;
    Item<double>(38) = limited.saturated;
    Item<double>(40) = limited.output;
    // 22. DFE.
    ok &= Fire(DFE);
    // 23. ClockTimeRecorder.
    ok &= Fire(ClockTimeRecorder);
    // 24. DecisionToFloat: 4 to 48; DecisionScale: 48 to 57; DecisionToDouble: 57 to 49.
    const float decision = Item<float>(48) = static_cast<float>(Item<int>(4));
    const float scaled = Item<float>(57) = DecisionScale.Factor * decision;
    Item<double>(49) = static_cast<double>(scaled);
    // 25. RxConfigConst, then RxConfigToInt: 56 to 46.
    Fire(RxConfigConst);
    const int outputChoice = Item<int>(46) = m_RxConfigRound(Item<double>(56));
    // 26. OutputSelect with its control (46): 49 or 51 to 3.
    OutputSelect.Control = outputChoice;
    ok &= Fire(OutputSelect);
    // 27. ClockOutInternal to ClockOut, WaveOutInternal to WaveOut.
    ClockOut[0] = Item<double>(2);
    WaveOut[0] = Item<double>(3);
    return ok;
}

bool Rx::FireDetector() {
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    PFD& pfd = detector.Detector;
    pfd.ClockI = Item<double>(16);
    pfd.ClockQ = Item<double>(10);
    pfd.DataIn = Item<double>(52);
    const bool ok = Fire(pfd);
    Item<int>(11) = pfd.BitI;
    Item<int>(12) = pfd.BitQ;
    Item<int>(13) = pfd.UpDown;
    return ok;
}

// The soft limiter expanded: LimiterInGain, the Limiter's tanh (it has no
// domain guard and always succeeds), LimiterOutGain.
Rx::LimiterResult Rx::Limit(double input) const {
    LimiterResult result;
    result.input = input;
    result.scaled = Subnetwork1.LimiterInGain.Factor * input;
    result.saturated = std::tanh(result.scaled);
    result.output = Subnetwork1.LimiterOutGain.Factor * result.saturated;
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
    for (ArcMemoryRecord& memory : m_ArcMemory) {
        if (memory.items != nullptr) {
            FreeItems(memory.type, memory.items);
            memory.items = nullptr;
        }
    }
}

double Orvex_RX_AMI_05272013::LongestResponseSeconds() {
    const double c4 = C4_Time_Stamps[kCtleTimePoints - 1] - C4_Time_Stamps[0];
    const double c1 = C1_Time_Stamps[kCtleTimePoints - 1] - C1_Time_Stamps[0];
    return c4 > c1 ? c4 : c1;
}
