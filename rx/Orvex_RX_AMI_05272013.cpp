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

// The retimed output is half the decision.
const float kDecisionScale = 0.5f;

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
    LimiterInGain.Factor = LookAhead::kLimiterInGain;
    LimiterOutGain.Factor = LookAhead::kLimiterOutGain;
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
    DecisionScale.Factor = kDecisionScale;

    UseOneItemPerFiring(WaveIn);
    UseOneItemPerFiring(ClockOut);
    UseOneItemPerFiring(WaveOut);

    return loopOk && ctleOk && dfeOk && startOk && eomOk && adaptOk && outputSelectOk;
}

namespace {
typedef Rx::Arc A;
// The connections in the order of the table below; their numbers are the
// order of creation, 1 to 61.
#define ORVEX_RX_ARC_IN_ORDER(name, type, items, producer, consumer, initial) A::name,
constexpr A kArcsInTableOrder[] = {ORVEX_RX_CONNECTIONS(ORVEX_RX_ARC_IN_ORDER)};
#undef ORVEX_RX_ARC_IN_ORDER
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
#define ORVEX_RX_CONNECTION_ROW(name, type, items, producer, consumer, initial) \
    {A::name, type, items, producer, consumer, initial},
    return {{ORVEX_RX_CONNECTIONS(ORVEX_RX_CONNECTION_ROW)}};
#undef ORVEX_RX_CONNECTION_ROW
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
    m_iRearmWrite = 0;
    m_LookAhead.Withdraw();
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
// inputs fire through their own FireWith, which skips the work between
// edges; the two CTLE banks filter one shared input history, and the
// selected one's output is formed ahead (LookAhead).
bool Rx::Run() {
    if (!m_bConnected) {
        return false;  // no arc memory (before Initialize or after Finalize)
    }
    bool ok = true;
    // 1, 2. WaveIn, the input fork and the banks' delay lines.
    TakeReceivedSample();
    // 3, 4 (and 25). The constants and their converters.
    SettleConstants();
    // Ahead of the clock recovery, so that its long computations overlap it:
    // the selected bank's output and the limiter's work on it, which steps
    // 20 and 21 use unless the response changes at step 19.
    const int ctleChoice = Item<int>(Arc::CtleChoice);
    Bank* const selectedBank = SelectedBank(ctleChoice);
    m_LookAhead.Form(selectedBank != nullptr && selectedBank->ready ? selectedBank->block : nullptr, m_CtleHistory);
    // 5. EqualizedFork: the DFE output of the previous firing.
    const double equalized = Item<double>(Arc::Equalized);
    // 6. Vco: its waveform is formed only where the phase detector reads it.
    ok &= Subnetwork2.Vco.RunClockOnly();
    // 7 to 10. VcoFork, ClockPhaseFork, Quadrature, Detector, PhaseSum, PhaseToDouble.
    ok &= FirePhaseDetector(equalized);
    // 11, 12. Filter, ControlFork (only the oscillator's branch has a reader).
    ok &= Subnetwork2.Filter.FireWith(Item<double>(Arc::PumpCommand), Item<double>(Arc::VcoControl));
    // 13. ClockFork.
    const int clock = ForkClock();
    // 14. AdaptStartDelay.
    ok &= AdaptStartDelay.FireWith(clock, Item<int>(Arc::AdaptStartTrigger));
    // 15, 16. Adapt, AdaptFeedbackFork and the Restart-to-Rearm delay line.
    bool adaptFired = false;
    ok &= Adapt.FireWith(Item<int>(Arc::AdaptStart), Item<int>(Arc::MeasureDone), adaptFired);
    const int restart = Item<int>(Arc::Restart);
    FeedRearmDelayLine(restart);
    // 17. EOM.
    ok &= EOM.FireWith(clock, restart, equalized);
    // 18, 19. CtleControlFork, C1, C4.
    const int response = Item<int>(Arc::CtleResponse);
    ok &= FireBank(m_C1, response);
    ok &= FireBank(m_C4, response);
    // 20. CtleSelect.
    ok &= FireCtleSelect(ctleChoice, selectedBank);
    // 21. LimiterInGain, Limiter, LimiterOutGain.
    const double limited = m_LookAhead.Limited(Item<double>(Arc::CtleSelected));
    // 22. DFE: the taps change only where the adaptation fired.
    ok &= DFE.FireWith(clock, limited, !adaptFired);
    // 23. ClockTimeRecorder.
    double clockTime = -1.0;
    ok &= ClockTimeRecorder.FireWith(clock, clockTime);
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
inline void Rx::TakeReceivedSample() {
    const double received = WaveIn[0];
    m_CtleHistory.Push(received);
    m_LookAhead.Follow(received);
}

void Rx::OfferUpcoming(const double* upcoming, size_t count) { m_LookAhead.Offer(upcoming, count); }

// Replaces steps 3, 4 and 25 after the first firing: the three constants
// and their rounding converters write the same items in every firing once
// the constants' initial delays have passed (Setup gives them none), so
// from then on their connections simply keep those items.
inline void Rx::SettleConstants() {
    if (!m_bConstantsSettled) {
        FireConstants();
    }
}

void Rx::FireConstants() {
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
inline Rx::Bank* Rx::SelectedBank(int ctleChoice) {
    if (ctleChoice == kC4Input) {
        return &m_C4;
    }
    return ctleChoice == kC1Input ? &m_C1 : nullptr;
}

// Replaces steps 7 to 10. The oscillator's forks are left out: the
// quadrature delay and the detector, which changes nothing without a data
// transition, get their clocks and data straight from the values, and the
// detector and the sum after it are fired only at transitions (and once
// after Initialize, to bring the detector's outputs, which Initialize does
// not reset, to its new connections). The oscillator's waveform and the
// quadrature clock are formed only then; the quadrature delay is told the
// waveform of the firing before, which it would have remembered.
inline bool Rx::FirePhaseDetector(double equalized) {
    const bool transition = Subnetwork2.PhaseDetector.Detector.SeesTransition(equalized);
    return transition || !m_bDetectorOutputsCopied ? FirePhaseDetectorAt(transition, equalized) : true;
}

bool Rx::FirePhaseDetectorAt(bool transition, double equalized) {
    Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& detector = Subnetwork2.PhaseDetector;
    const Tessel::VCO& oscillator = Subnetwork2.Vco;
    const double clockI = oscillator.Waveform();
    const double previous = oscillator.HasPreviousWaveform() ? oscillator.PreviousWaveform() : 0.0;
    double clockQ = 0.0;
    const bool ok = detector.Quadrature.FireAfterSkipped(oscillator.HasPreviousWaveform() ? &previous : nullptr,
                                                         clockI, transition, clockQ);
    const PFD::Outputs bits = detector.Detector.FireWith(clockI, clockQ, equalized);
    Item<int>(Arc::BitI) = bits.bitI;
    Item<int>(Arc::BitQ) = bits.bitQ;
    Item<int>(Arc::UpDown) = bits.upDown;
    Fire(detector.PhaseSum);
    Item<double>(Arc::PumpCommand) = static_cast<double>(Item<int>(Arc::PhaseSum));
    m_bDetectorOutputsCopied = true;
    return ok;
}

// Replaces step 13: the clock fork's four connections change only when the
// clock does, so they are written only then.
inline int Rx::ForkClock() {
    const int clock = Item<int>(Arc::VcoClock);
    if (clock != Item<int>(Arc::ClockToDfe)) {
        Item<int>(Arc::ClockToDfe) = clock;
        Item<int>(Arc::ClockToStartDelay) = clock;
        Item<int>(Arc::ClockToRecorder) = clock;
        Item<int>(Arc::ClockToMonitor) = clock;
    }
    return clock;
}

// Replaces step 16: the feedback fork's branch into the delay line, which
// takes Restart and moves on in every firing, as the adaptation's Rearm
// does. The monitor's branch is handed to the monitor at step 17.
inline void Rx::FeedRearmDelayLine(int restart) {
    (&Item<int>(Arc::RearmDelayLine))[m_iRearmWrite] = restart;
    m_iRearmWrite = m_iRearmWrite + 1 == kRearmDelayFirings ? 0 : m_iRearmWrite + 1;
}

// Replaces a bank's firing at step 19 (its control copy included): the bank
// follows a change of response, but filters nothing of its own; the shared
// history is filtered for the selected bank at step 20. A bank that cannot
// filter is fired the ordinary way, which posts why and fails.
inline bool Rx::FireBank(Bank& bank, int control) {
    bool ok = bank.block->FollowControl(control, bank.rebuilt);
    if (bank.rebuilt) {
        bank.ready = bank.block->CanFilter();
    }
    if (!bank.ready) {
        ok = Fire(*bank.block) && ok;
    }
    return ok;
}

// Replaces step 20, CtleSelect with the filtering of the selected bank's
// firing: the selected bank's output (as formed ahead, unless its taps were
// rebuilt at step 19) is passed on; a bank that cannot filter leaves its
// output as it was. A choice the selector refuses fires it the plain way,
// which fails.
inline bool Rx::FireCtleSelect(int ctleChoice, const Bank* selectedBank) {
    Subnetwork1.CtleSelect.Select(ctleChoice);
    if (selectedBank == nullptr) {
        return Fire(Subnetwork1.CtleSelect);
    }
    const Arc bankOutput = ctleChoice == kC4Input ? Arc::C4Output : Arc::C1Output;
    if (selectedBank->ready) {
        Item<double>(bankOutput) = m_LookAhead.Output(*selectedBank->block, selectedBank->rebuilt, m_CtleHistory);
    }
    Item<double>(Arc::CtleSelected) = Item<double>(bankOutput);
    return true;
}

// Replaces steps 24 to 26: the decision path (DecisionToFloat,
// DecisionScale, DecisionToDouble) and OutputSelect, expanded; a control out
// of range fails the selector, which leaves its output as it was.
inline bool Rx::FireOutputSelect(double equalized) {
    const int outputChoice = Item<int>(Arc::OutputChoice);
    OutputSelect.Select(outputChoice);
    if (outputChoice == 0) {
        const float decision = static_cast<float>(Item<int>(Arc::Decision));
        Item<double>(Arc::WaveOut) = static_cast<double>(kDecisionScale * decision);
    } else if (outputChoice == 1) {
        Item<double>(Arc::WaveOut) = equalized;
    } else {
        return Fire(OutputSelect);
    }
    return true;
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
    m_LookAhead.Withdraw();
    m_Arcs.DeleteAll();
}

double Orvex_RX_AMI_05272013::LongestResponseSeconds() {
    const double c4 = C4_Time_Stamps[kCtleTimePoints - 1] - C4_Time_Stamps[0];
    const double c1 = C1_Time_Stamps[kCtleTimePoints - 1] - C1_Time_Stamps[0];
    return c4 > c1 ? c4 : c1;
}
