#include "Adapt_custom.h"

#include <climits>
#include <fstream>
#include <locale>

#include "LogicSignal.h"

namespace {
const char* const kLogFileName = "adapt.txt";

// Tap limits in steps of TapStep: the first tap reaches further than the rest.
const int kFirstTapLimitSteps = 32;
const int kOtherTapLimitSteps = 16;

// With DWDM_mode 1 the receiver uses its five-response CTLE bank.
const int kDwdmCtleCandidates = 5;
const int kDefaultCtleCandidates = 16;
}  // namespace

Adapt_custom::Adapt_custom()
    : DFEAdapt(0),
      CTLEAdapt(0),
      DWDM_mode(0),
      EQ_Level(0),
      DFEtap1(0),
      DFEtap2(0),
      DFEtap3(0),
      DFEtap4(0),
      DFEtap5(0),
      Finalized(false) {
    ResetSearch();
}

Adapt_custom::~Adapt_custom() {}

bool Adapt_custom::Setup() {
    DFE_Taps.Initialize(kNumTaps);
    LogicSignal::UseOneItemPerFiring({&Start, &MeasureDone, &EyeWidth, &EyeHeight, &Rearm});
    for (int k = 0; k < kNumTaps; ++k) {
        LogicSignal::UseOneItemPerFiring({&DFE_Taps[k]});
    }
    LogicSignal::UseOneItemPerFiring({&CTLE_Select, &Restart, &CTLE_Done, &Port10});
    UpdateFixedTaps();
    return true;
}

bool Adapt_custom::Initialize() {
    ResetSearch();
    Finalized = false;
    m_bFiredSinceInitialize = false;
    return true;
}

void Adapt_custom::ResetSearch() {
    for (int k = 0; k < kMaxCtleCandidates; ++k) {
        CtleHeight[k] = 0.0;
        CtleWidth[k] = 0.0;
        CtleScore[k] = 0.0;
    }
    NumCtle = 0;
    BestScore = 0.0;
    CtleDone = 0;
    TapStep = 0.008;
    for (int k = 0; k < kNumTaps; ++k) {
        const int limitSteps = k == 0 ? kFirstTapLimitSteps : kOtherTapLimitSteps;
        TapMax[k] = limitSteps * TapStep;
        TapMin[k] = -limitSteps * TapStep;
        TapValue[k] = 0.0;
        TapDirection[k] = 1;
        DirectionDecided[k] = 0;
    }
    DfeDone = 0;
    TapIndex = 0;
    Metric = 0.0;
    PreviousMetric = 0.0;
    PreviousRearm = 0;
    PreviousMeasureDone = 0;
    PreviousStart = 0;
    FirstStep = 1;
    RestartLevel = 1;
    CtleIndex = 0;
    Adapting = 0;
    UpdateFixedTaps();
}

void Adapt_custom::UpdateFixedTaps() {
    const int codes[kNumTaps] = {DFEtap1, DFEtap2, DFEtap3, DFEtap4, DFEtap5};
    for (int k = 0; k < kNumTaps; ++k) {
        m_dFixedTapValue[k] = codes[k] * TapStep;
    }
}

// CtleIndex + 1 without overflowing: a fixed EQ_Level may be any int.
int Adapt_custom::SelectedCtle() const { return CtleIndex < INT_MAX ? CtleIndex + 1 : INT_MAX; }

bool Adapt_custom::Run() {
    if (Finalized) {
        return false;
    }
    const int start = Start[0];
    const int measureDone = MeasureDone[0];
    const int rearm = Rearm[0];

    if (CTLEAdapt == 0) {
        CtleIndex = EQ_Level;
    }
    if (DFEAdapt == 0) {
        for (int k = 0; k < kNumTaps; ++k) {
            TapValue[k] = m_dFixedTapValue[k];
        }
    }
    if (LogicSignal::IsRisingEdge(PreviousStart, start)) {
        BeginAdaptation();
    }
    if (LogicSignal::IsRisingEdge(PreviousMeasureDone, measureDone)) {
        const double eyeWidth = EyeWidth[0];
        const double eyeHeight = EyeHeight[0];
        AppendLogLine(eyeWidth, eyeHeight);
        // One measurement serves one stage: the edge that completes the CTLE
        // search takes no DFE step.
        if (CtleDone == 0 && CTLEAdapt == 1) {
            TakeCtleMeasurement(eyeWidth, eyeHeight);
        } else if (CtleDone == 1 && DfeDone == 0 && DFEAdapt == 1) {
            TakeDfeStep(eyeWidth, eyeHeight);
        }
    }
    if (LogicSignal::IsRisingEdge(PreviousRearm, rearm)) {
        RestartLevel = Adapting == 1 ? 0 : 1;
    }

    Restart[0] = RestartLevel;
    CTLE_Done[0] = CtleDone;
    CTLE_Select[0] = SelectedCtle();
    for (int k = 0; k < kNumTaps; ++k) {
        DFE_Taps[k][0] = TapValue[k];
    }

    PreviousStart = start;
    PreviousMeasureDone = measureDone;
    PreviousRearm = rearm;
    PreviousMetric = Metric;
    m_bFiredSinceInitialize = true;
    return true;
}

// The search position (CtleIndex, TapIndex, the done flags) is not reset:
// only Initialize starts the search over.
void Adapt_custom::BeginAdaptation() {
    if (CTLEAdapt == 1 || DFEAdapt == 1) {
        Adapting = 1;
    }
    if (CTLEAdapt == 0) {
        CtleDone = 1;
    }
    if (DFEAdapt == 0) {
        DfeDone = 1;
    }
    RestartLevel = 0;
    NumCtle = DWDM_mode == 1 ? kDwdmCtleCandidates : kDefaultCtleCandidates;
    BestScore = 0.0;
}

void Adapt_custom::TakeCtleMeasurement(double eyeWidth, double eyeHeight) {
    // Only a candidate of a started search is recorded: before the start
    // edge there are no candidates, and a CtleIndex left over from a fixed
    // EQ_Level may lie anywhere.
    if (CtleIndex < 0 || CtleIndex >= NumCtle) {
        return;
    }
    CtleHeight[CtleIndex] = eyeHeight;
    CtleWidth[CtleIndex] = eyeWidth;
    ++CtleIndex;
    RestartLevel = 1;
    if (CtleIndex == NumCtle) {
        ChooseBestCtle();
    }
}

// Ties go to the later candidate; with every score 0 the last one wins.
void Adapt_custom::ChooseBestCtle() {
    CtleDone = 1;
    for (int k = 0; k < NumCtle; ++k) {
        CtleScore[k] = EyeScore(CtleWidth[k], CtleHeight[k]);
        if (CtleScore[k] >= BestScore) {
            CtleIndex = k;
            BestScore = CtleScore[k];
        }
    }
}

void Adapt_custom::TakeDfeStep(double eyeWidth, double eyeHeight) {
    Metric = EyeScore(eyeWidth, eyeHeight);
    const int k = TapIndex;
    if (k < 0 || k >= kNumTaps) {
        return;
    }
    const double step = TapDirection[k] * TapStep;
    RestartLevel = 1;
    if (FirstStep == 1) {
        // Trial step of a new tap.
        FirstStep = 0;
        TapValue[k] += step;
    } else if (DirectionDecided[k] == 0) {
        // If the trial made the eye worse, this step takes it back and the
        // search goes the other way.
        if (PreviousMetric > Metric) {
            TapDirection[k] = -TapDirection[k];
        }
        DirectionDecided[k] = 1;
        TapValue[k] += TapDirection[k] * TapStep;
    } else if (Metric >= PreviousMetric) {
        TapValue[k] += step;
        if (TapValue[k] > TapMax[k]) {
            TapValue[k] = TapMax[k];
            FinishTap();
        } else if (TapValue[k] < TapMin[k]) {
            TapValue[k] = TapMin[k];
            FinishTap();
        }
    } else {
        // Worse than before: undo the last step. Only this way of finishing
        // the fifth tap ends the adaptation.
        TapValue[k] -= step;
        FinishTap();
        if (TapIndex == kNumTaps) {
            DfeDone = 1;
            Adapting = 0;
        }
    }
}

void Adapt_custom::FinishTap() {
    ++TapIndex;
    FirstStep = 1;
}

// The values logged are those in force while the monitor measured, i.e. the
// ones this block drove in its previous firing: nothing since then has
// changed CtleIndex or TapValue.
void Adapt_custom::AppendLogLine(double eyeWidth, double eyeHeight) const {
    std::ofstream log(kLogFileName, std::ios::out | std::ios::app);
    if (!log) {
        return;  // the adaptation goes on without its log
    }
    // Numbers as a default stream writes them, whatever locale the host set.
    log.imbue(std::locale::classic());
    log << SelectedCtle() << '\t';
    for (int k = 0; k < kNumTaps; ++k) {
        log << TapValue[k] << '\t';
    }
    log << eyeWidth << '\t' << eyeHeight << '\n';
}

bool Adapt_custom::Finalize() {
    DeleteBuffers();
    Finalized = true;
    return true;
}
