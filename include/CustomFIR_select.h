// The response-selecting FIR that both models are built around.
//
// A selector holds a family of tabulated time responses as the columns of
// one matrix and filters its input with the one that Control (1-based) puts
// in force. It does no convolution of its own: it lends the selected column
// and the time stamps to an embedded TimeResponseFIR, lets that resample
// them into taps, and fires it once per firing of its own.
//
// This class holds everything the two models' selectors share: the members,
// Setup, Initialize, Finalize, the column copy and the firing of the
// embedded filter. The models differ in the type of Num_Responses (an int
// in the receiver, a double in the transmitter), in Control's starting value
// and in when Run rebuilds the taps, so Run is theirs: each builds it from
// ReloadSelectedColumn and FireFilter.
//
// The tables are parameters: they are read in Setup and again only when the
// selection is rebuilt. Assign them before Setup.
#ifndef TESSEL_CUSTOM_FIR_SELECT_H
#define TESSEL_CUSTOM_FIR_SELECT_H

#include <cstddef>

#include "CircularBuffer.h"
#include "DFModel.h"
#include "Matrix.h"
#include "TimeResponseFIR.h"

namespace Tessel {

template <typename TResponseCount>
class CustomFIR_select : public DFModel {
public:
    CustomFIR_select();
    ~CustomFIR_select() override;
    // The lent arrays and the one-sample storages are owned.
    CustomFIR_select(const CustomFIR_select&) = delete;
    CustomFIR_select& operator=(const CustomFIR_select&) = delete;

    // Lends the selected column and the time stamps to ResponseFIR and
    // builds its taps; false (with the filter's messages) when they cannot
    // be built.
    bool Setup() override;
    // Fresh one-sample storages between the ports and ResponseFIR, and a
    // zeroed delay line.
    bool Initialize() override;
    // Frees the delay line, the storages and the lent arrays; the taps stay.
    bool Finalize() override;

    void DeleteBuffers();
    void DeleteArrayParameters();

    // The 0-based column that Control selects: Control - 1 when
    // 1 <= Control <= Num_Responses (compared in the type of Num_Responses),
    // otherwise column 0.
    size_t SelectedColumn() const;

    CircularBuffer<double> Input;
    CircularBuffer<double> Output;

    int ResponseType = TimeResponseFIR::kImpulseResponse;  // of every column
    Matrix<double> Response_Matrix;  // one time response per column
    Matrix<double> Time_Stamps;      // seconds, shared by all columns
    double SampleRate = 1e11;        // hertz; the taps' grid
    int Num_Time_Points = 500;       // rows of a column, and time stamps, used
    TResponseCount Num_Responses = 1;
    // Set out of range at construction, so that a Setup before the first
    // assignment selects column 0.
    int Control = 0;
    TimeResponseFIR ResponseFIR;

protected:
    // Copies the selected column into the array lent to ResponseFIR and
    // rebuilds the taps from it. The delay line is left as it is.
    bool ReloadSelectedColumn();
    // One firing: the sample at Input through ResponseFIR to Output. False,
    // touching nothing, when the filter has no taps or no delay line. With
    // formOutput false the sample only enters the delay line and Output keeps
    // its value, for a firing whose output nobody reads.
    bool FireFilter(bool formOutput = true);

    // The column the taps were last built from, and whether that worked.
    bool TapsBuiltFrom(size_t iColumn) const { return m_bColumnBuilt && m_iBuiltColumn == iColumn; }
    bool LastBuildSucceeded() const { return m_bLastBuildOk; }

    // Setup and Initialize have given the filter taps, a delay line and its
    // ports: it can be fired.
    bool FilterReady() const;

private:
    bool TablesHoldTheSelection(size_t iColumn);

    double* m_pResponse = nullptr;    // lent to ResponseFIR
    double* m_pTimeStamps = nullptr;  // lent to ResponseFIR, rebased by it
    size_t m_iLentCount = 0;          // values in each lent array
    double* m_pFilterInputItem = nullptr;
    double* m_pFilterOutputItem = nullptr;
    CircularBuffer<double> m_FilterInput;   // shares memory with ResponseFIR.Input
    CircularBuffer<double> m_FilterOutput;  // shares memory with ResponseFIR.Output

    size_t m_iBuiltColumn = 0;
    bool m_bColumnBuilt = false;
    bool m_bLastBuildOk = false;
};

extern template class CustomFIR_select<int>;
extern template class CustomFIR_select<double>;

}  // namespace Tessel

#endif
