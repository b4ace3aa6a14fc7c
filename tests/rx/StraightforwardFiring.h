// The receiver's firing written out plainly, as the design describes it:
// every block fired through its own Run in the fixed order, every connection
// read and written through the ports, the field copies made around the
// blocks that have fields, both CTLE banks filtering through their own delay
// lines and forming their outputs, and the quadrature delay formed in every
// firing. The schematic's own Run takes shortcuts (blocks expanded in place,
// blocks fired in full only at edges of their inputs, one input history for
// both banks, outputs nobody reads left out); whatever it does must give
// exactly what this gives. The dot products are summed in the same order on
// both sides.
#ifndef TESTS_RX_STRAIGHTFORWARD_FIRING_H
#define TESTS_RX_STRAIGHTFORWARD_FIRING_H

#include "Orvex_RX_AMI_05272013.h"

// Before Initialize: the plain way for the blocks the schematic speeds up.
inline void UseStraightforwardBlocks(Orvex_RX_AMI_05272013& rx) {
    for (CustomFIR_select_inp* bank : {&rx.Subnetwork1.C4, &rx.Subnetwork1.C1}) {
        bank->OutputNeeded = true;
    }
    rx.Subnetwork2.PhaseDetector.Quadrature.OutputNeeded = true;
}

inline bool StraightforwardRun(Orvex_RX_AMI_05272013& rx) {
    Orvex_RX_AMI_05272013::Subnetwork_Subnetwork1& ctle = rx.Subnetwork1;
    Orvex_RX_AMI_05272013::Subnetwork_Subnetwork2& loop = rx.Subnetwork2;
    Orvex_RX_AMI_05272013::Subnetwork_Subnetwork2::Subnetwork_Subnetwork2_Subnetwork1& pd = loop.PhaseDetector;
    bool ok = true;
    rx.WaveIn.Copy(0, &rx.WaveInInternal, 0, 1);
    ctle.InputFork.Run();
    ctle.DwdmConst.Run();
    ctle.DwdmToInt.Run();
    rx.EnableConst.Run();
    rx.EnableToInt.Run();
    rx.EqualizedFork.Run();
    ok = loop.Vco.Run() && ok;
    loop.VcoFork.Run();
    pd.ClockPhaseFork.Run();
    ok = pd.Quadrature.Run() && ok;
    pd.QuadratureOut[0] = pd.Quadrature.Output;
    pd.Detector.ClockI = pd.DetectorClockI[0];
    pd.Detector.ClockQ = pd.DetectorClockQ[0];
    pd.Detector.DataIn = pd.DetectorDataIn[0];
    ok = pd.Detector.Run() && ok;
    pd.DetectorBitI[0] = pd.Detector.BitI;
    pd.DetectorBitQ[0] = pd.Detector.BitQ;
    pd.DetectorUpDown[0] = pd.Detector.UpDown;
    pd.PhaseSum.Run();
    loop.PhaseToDouble.Run();
    loop.Filter.PumpInput = loop.FilterIn[0];
    ok = loop.Filter.Run() && ok;
    loop.FilterOut[0] = loop.Filter.ControlVoltage;
    loop.ControlFork.Run();
    rx.ClockFork.Run();
    ok = rx.AdaptStartDelay.Run() && ok;
    ok = rx.Adapt.Run() && ok;
    rx.Adapt.Rearm.Advance();
    rx.AdaptFeedbackFork.Run();
    rx.AdaptFeedbackFork.Output[0].Advance();
    ok = rx.EOM.Run() && ok;
    ctle.CtleControlFork.Run();
    ctle.C1.Control = ctle.C1Control[0];
    ok = ctle.C1.Run() && ok;
    ctle.C4.Control = ctle.C4Control[0];
    ok = ctle.C4.Run() && ok;
    ctle.CtleSelect.Control = ctle.CtleSelectControl[0];
    ok = ctle.CtleSelect.Run() && ok;
    ctle.LimiterInGain.Run();
    ok = ctle.Limiter.Run() && ok;
    ctle.LimiterOutGain.Run();
    ok = rx.DFE.Run() && ok;
    ok = rx.ClockTimeRecorder.Run() && ok;
    rx.DecisionToFloat.Run();
    rx.DecisionScale.Run();
    rx.DecisionToDouble.Run();
    rx.RxConfigConst.Run();
    rx.RxConfigToInt.Run();
    rx.OutputSelect.Control = rx.OutputSelectControl[0];
    ok = rx.OutputSelect.Run() && ok;
    rx.ClockOutInternal.Copy(0, &rx.ClockOut, 0, 1);
    rx.WaveOutInternal.Copy(0, &rx.WaveOut, 0, 1);
    return ok;
}

#endif
