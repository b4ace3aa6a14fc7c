#include "EOM_custom.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "DFErrorHandler.h"
#include "LogicSignal.h"

namespace {
// The rows that straddle the decision threshold (bins 127 and 128 meet at
// 0 V): six rows, about 22 mV of amplitude.
const int kFirstThresholdRow = 125;
const int kLastThresholdRow = 130;
const int kBinAboveThreshold = 128;
const int kBinBelowThreshold = 127;

// A closed eye is reported as zero width and height.
const double kMinimumHeightBins = 4.0;
const double kMinimumWidthFraction = 0.05;
}  // namespace

EOM_custom::EOM_custom()
    : EOM_window(0),
      SamplesPerBit(0),
      Histogram(),
      Range(0.4),
      PeriodCount(0),
      PreviousRestart(0),
      Collecting(0),
      PreviousClock(0),
      Phase(0),
      DoneLevel(0.0),
      Width(0.0),
      Height(0.0),
      Finalized(false),
      m_iPhaseColumns(0) {}

EOM_custom::~EOM_custom() {}

int EOM_custom::AmplitudeBin(double sample, double range) {
    const double scaled = 128.0 * sample / range;
    // Limit before converting: a double beyond the int range has no int
    // value. Anything past +-129 lands in an outermost bin anyway.
    if (!(scaled > -200.0)) {
        return 0;  // far below the range, or not a number
    }
    if (scaled > 200.0) {
        return kNumAmplitudeBins - 1;
    }
    const int bin = static_cast<int>(scaled) + 127;  // truncates toward zero
    if (bin < 0) {
        return 0;
    }
    return bin > kNumAmplitudeBins - 1 ? kNumAmplitudeBins - 1 : bin;
}

bool EOM_custom::Setup() {
    LogicSignal::UseOneItemPerFiring({&Clock, &Input, &Restart, &Done, &EyeWidth, &EyeHeight});
    if (SamplesPerBit < 1 || SamplesPerBit > kNumPhases) {
        m_iPhaseColumns = 0;
        Tessel::DFErrorHandler::PostError(this, "SamplesPerBit must be between 1 and 256.");
        return false;
    }
    m_iPhaseColumns = SamplesPerBit;
    return true;
}

bool EOM_custom::Initialize() {
    Clear();
    PreviousRestart = 0;
    PreviousClock = 0;
    Range = 0.4;
    Finalized = false;
    m_bFiredSinceInitialize = false;
    return true;
}

void EOM_custom::Clear() {
    std::memset(Histogram, 0, sizeof(Histogram));
    Phase = 0;
    DoneLevel = 0.0;
    Width = 0.0;
    Height = 0.0;
    PeriodCount = 0;
    Collecting = 0;
}

bool EOM_custom::Run() {
    if (Finalized) {
        return false;
    }
    const int clock = Clock[0];
    const int restart = Restart[0];

    if (LogicSignal::IsFallingEdge(PreviousClock, clock)) {
        if (PeriodCount == 0 && restart < 0.5) {
            Phase = 0;
            Collecting = 1;
            PeriodCount = 1;
        } else if (Collecting == 1 && PeriodCount < INT_MAX) {
            ++PeriodCount;
        }
    }
    if (LogicSignal::IsFallingEdge(PreviousRestart, restart)) {
        PeriodCount = 0;
    }
    if (LogicSignal::IsRisingEdge(PreviousRestart, restart)) {
        Clear();
    } else {
        Collect(Input[0]);
        if (PeriodCount > EOM_window && Collecting == 1) {
            Evaluate();
            DoneLevel = 1.0;
            Collecting = 0;
        }
    }

    EyeWidth[0] = Width;
    EyeHeight[0] = Height;
    Done[0] = static_cast<int>(DoneLevel);
    PreviousClock = clock;
    PreviousRestart = restart;
    m_bFiredSinceInitialize = true;
    return true;
}

// A measurement evaluates in the firing in which its count passes the
// window, at an edge, and stops collecting then: so between edges it never
// evaluates. Without a valid column count (Setup refused SamplesPerBit)
// nothing is collected, so no phase can leave the histogram.
bool EOM_custom::FireAtEdge(int restart, double input) {
    if (Finalized) {
        return false;
    }
    Input[0] = input;
    Restart[0] = restart;
    return EOM_custom::Run();
}

// The widest of the row's first kMaxOpeningsPerRow openings (in order of
// their start column) wins, the first one found among equally wide ones.
// Later openings are ignored: the monitor keeps a record of that many per
// row, which only a row folded over more than 40 samples per bit can exceed.
EOM_custom::RowOpening EOM_custom::WidestOpening(int bin) const {
    const int columns = m_iPhaseColumns;
    RowOpening widest = {0, 0};
    bool anyOpening = false;
    int openings = 0;
    for (int p = 0; p < columns && openings < kMaxOpeningsPerRow; ++p) {
        const int before = p == 0 ? columns - 1 : p - 1;
        if (!HasHits(before, bin) || HasHits(p, bin)) {
            continue;
        }
        // An opening starts at p; it cannot wrap back onto its own start,
        // since the column before it has hits.
        int length = 0;
        for (int q = p; length < columns && !HasHits(q, bin); q = q + 1 == columns ? 0 : q + 1) {
            ++length;
        }
        ++openings;
        if (!anyOpening || length > widest.width) {
            widest.width = length;
            widest.start = p;
            anyOpening = true;
        }
    }
    if (!anyOpening) {
        // No hit-to-empty step: either the whole row is empty or it is full.
        widest.width = HasHits(0, bin) ? 0 : columns;
        widest.start = 0;
    }
    return widest;
}

int EOM_custom::EmptyBinsAroundThreshold(int phase) const {
    int empty = 0;
    for (int b = kBinAboveThreshold; b < kNumAmplitudeBins && !HasHits(phase, b); ++b) {
        ++empty;
    }
    for (int b = kBinBelowThreshold; b >= 0 && !HasHits(phase, b); --b) {
        ++empty;
    }
    return empty;
}

void EOM_custom::Evaluate() {
    const int columns = m_iPhaseColumns;
    double widthSum = 0.0;
    double heightSum = 0.0;
    int rowsCounted = 0;
    for (int bin = kFirstThresholdRow; bin <= kLastThresholdRow; ++bin) {
        const RowOpening opening = WidestOpening(bin);
        if (opening.width <= 0) {
            continue;
        }
        int centre = static_cast<int>(opening.start + opening.width * 0.5);
        if (centre > columns - 1) {
            centre -= columns;
        }
        widthSum += opening.width;
        heightSum += EmptyBinsAroundThreshold(centre);
        ++rowsCounted;
    }

    Width = 0.0;
    Height = 0.0;
    if (rowsCounted == 0) {
        return;
    }
    const double averageHeight = heightSum / rowsCounted;
    const double averageWidth = widthSum / rowsCounted;
    if (averageHeight < kMinimumHeightBins || averageWidth < kMinimumWidthFraction * columns) {
        return;
    }
    Width = averageWidth / columns;
    Height = averageHeight * (1.0 / 256) * Range * 2;
}

bool EOM_custom::Finalize() {
    DeleteBuffers();
    Finalized = true;
    return true;
}
