#include "DFE_custom.h"

#include "LogicSignal.h"

DFE_custom::DFE_custom()
    : PreviousClock(0.0), Equalized(0.0), Decisions{0, 0, 0, 0, 0, 0}, Finalized(false) {}

DFE_custom::~DFE_custom() {}

bool DFE_custom::Setup() {
    Taps.Initialize(kNumTaps);
    LogicSignal::UseOneItemPerFiring({&Clock, &Input});
    for (int k = 0; k < kNumTaps; ++k) {
        LogicSignal::UseOneItemPerFiring({&Taps[k]});
    }
    LogicSignal::UseOneItemPerFiring({&Decision, &Output});
    return true;
}

bool DFE_custom::Initialize() {
    for (int& decision : Decisions) {
        decision = 0;
    }
    PreviousClock = 0.0;
    Equalized = 0.0;
    Finalized = false;
    m_bFiredSinceInitialize = false;
    m_bFeedbackCurrent = false;
    return true;
}

// The feedback sum is accumulated from the newest decision to the oldest,
// starting from the first product itself so that even the sign of a zero
// sum is that of the plain left-to-right sum.
double DFE_custom::FeedbackSum() {
    double feedback = static_cast<double>(Decisions[1]) * Taps[0][0];
    for (int k = 1; k < kNumTaps; ++k) {
        feedback += static_cast<double>(Decisions[k + 1]) * Taps[k][0];
    }
    m_dFeedback = feedback;
    m_bFeedbackCurrent = true;
    return feedback;
}

bool DFE_custom::Run() {
    if (Finalized) {
        return false;
    }
    const double clock = Clock[0];
    Equalized = Input[0] - FeedbackSum();

    if (LogicSignal::IsRisingEdge(PreviousClock, clock)) {
        Decisions[0] = Equalized > 0.0 ? 1 : -1;
    }
    if (LogicSignal::IsFallingEdge(PreviousClock, clock)) {
        for (int k = kNumTaps; k > 0; --k) {
            Decisions[k] = Decisions[k - 1];
        }
        m_bFeedbackCurrent = false;
    }
    PreviousClock = clock;
    m_bFiredSinceInitialize = true;

    Decision[0] = Decisions[0];
    Output[0] = Equalized;
    return true;
}

bool DFE_custom::FireAtEdge(double input) {
    if (Finalized) {
        return false;
    }
    Input[0] = input;
    return DFE_custom::Run();
}

bool DFE_custom::Finalize() {
    DeleteBuffers();
    Finalized = true;
    return true;
}
