#include "CustomFIR_select.h"

#include <locale>
#include <sstream>

#include "DFErrorHandler.h"
#include "ResponseSelectorDefaults.h"

namespace Tessel {

namespace {

const size_t kDefaultTableShape[2] = {500, 1};

void FillMatrix(Matrix<double>& matrix, const size_t (&shape)[2], const double* values) {
    matrix.ResizeMultidimensional(2, shape);
    matrix.CopyFrom(values, matrix.NumElements());
}

void Attach(CircularBuffer<double>& buffer, double* item) { buffer.SetBuffer(item, 1, 1, 0); }
void Detach(CircularBuffer<double>& buffer) { buffer.SetBuffer(nullptr, 0, 0, 0); }

}  // namespace

template <typename TResponseCount>
CustomFIR_select<TResponseCount>::CustomFIR_select() {
    FillMatrix(Response_Matrix, kDefaultTableShape, Response_Matrix_default);
    FillMatrix(Time_Stamps, kDefaultTableShape, Time_Stamps_default);
}

template <typename TResponseCount>
CustomFIR_select<TResponseCount>::~CustomFIR_select() {
    DeleteBuffers();
    DeleteArrayParameters();
}

template <typename TResponseCount>
size_t CustomFIR_select<TResponseCount>::SelectedColumn() const {
    // Control meets Num_Responses in Num_Responses' own type.
    if (1 <= Control && Control <= Num_Responses) {
        return static_cast<size_t>(Control - 1);
    }
    return 0;
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::Setup() {
    DeleteArrayParameters();
    ResponseFIR.ResponseType = ResponseType;
    Input.SetRate(1);
    Output.SetRate(1);

    const size_t column = SelectedColumn();
    if (!TablesHoldTheSelection(column)) {
        m_bColumnBuilt = false;
        m_bLastBuildOk = false;
        return false;
    }
    // A count below 4 is lent as it is (with no arrays behind it): the
    // filter rejects it with its own message.
    const size_t count = Num_Time_Points > 0 ? static_cast<size_t>(Num_Time_Points) : 0;
    if (count > 0) {
        m_pResponse = new double[count];
        m_pTimeStamps = new double[count];
        MatrixUtilities::Copy(Time_Stamps.Data(), m_pTimeStamps, count);
    }
    m_iLentCount = count;
    ResponseFIR.m_pResponse = m_pResponse;
    ResponseFIR.m_iNumResponseValues = Num_Time_Points;
    ResponseFIR.ResponseTimeStamps = m_pTimeStamps;
    ResponseFIR.m_iNumTimeStamps = Num_Time_Points;
    ResponseFIR.SampleRate = SampleRate;
    return ReloadSelectedColumn();
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::ReloadSelectedColumn() {
    const size_t column = SelectedColumn();
    if (!TablesHoldTheSelection(column)) {
        m_bColumnBuilt = false;
        m_bLastBuildOk = false;
        return false;
    }
    if (m_iLentCount > 0) {
        const double* first = Response_Matrix.Data() + Response_Matrix.NumRows() * column;
        MatrixUtilities::Copy(first, m_pResponse, m_iLentCount);
    }
    m_bLastBuildOk = ResponseFIR.Setup();
    m_iBuiltColumn = column;
    m_bColumnBuilt = true;
    return m_bLastBuildOk;
}

// What the filter would read must lie inside the tables: the first
// Num_Time_Points rows of the selected column, and as many time stamps.
template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::TablesHoldTheSelection(size_t iColumn) {
    if (Num_Time_Points <= 0) {
        return true;
    }
    const size_t count = static_cast<size_t>(Num_Time_Points);
    const size_t rows = Response_Matrix.NumRows();
    const size_t columns = rows > 0 ? Response_Matrix.NumElements() / rows : 0;
    std::ostringstream text;
    text.imbue(std::locale::classic());
    if (count > rows) {
        text << "Num_Time_Points (" << count << ") exceeds the " << rows << " rows of Response_Matrix";
    } else if (iColumn >= columns) {
        text << "Control " << Control << " selects response " << iColumn + 1 << ", but Response_Matrix holds "
             << columns << " responses";
    } else if (count > Time_Stamps.NumElements()) {
        text << "Num_Time_Points (" << count << ") exceeds the " << Time_Stamps.NumElements()
             << " values of Time_Stamps";
    } else {
        return true;
    }
    DFErrorHandler::PostError(this, text.str().c_str());
    return false;
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::Initialize() {
    DeleteBuffers();
    m_pFilterInputItem = new double[1]();
    m_pFilterOutputItem = new double[1]();
    Attach(m_FilterInput, m_pFilterInputItem);
    Attach(ResponseFIR.Input, m_pFilterInputItem);
    Attach(ResponseFIR.Output, m_pFilterOutputItem);
    Attach(m_FilterOutput, m_pFilterOutputItem);
    return ResponseFIR.Initialize();
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::FilterReady() const {
    const CircularBuffer<double>& history = ResponseFIR.m_History;
    return m_pFilterInputItem != nullptr && ResponseFIR.m_pTaps != nullptr &&
           ResponseFIR.m_pHistoryBuffer != nullptr && history.GetSize() == history.GetHistoryDepth() &&
           Input.GetBufferMemory() != nullptr && Output.GetBufferMemory() != nullptr;
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::FireFilter(bool formOutput) {
    if (!FilterReady()) {
        DFErrorHandler::PostError(this, "The response filter runs only after a successful Setup and Initialize");
        return false;
    }
    m_FilterInput[0] = Input[0];
    if (!formOutput) {
        return ResponseFIR.RunWithoutOutput();
    }
    const bool ok = ResponseFIR.Run();
    Output[0] = m_FilterOutput[0];
    return ok;
}

template <typename TResponseCount>
bool CustomFIR_select<TResponseCount>::Finalize() {
    const bool ok = ResponseFIR.Finalize();
    DeleteBuffers();
    DeleteArrayParameters();
    return ok;
}

template <typename TResponseCount>
void CustomFIR_select<TResponseCount>::DeleteBuffers() {
    Detach(m_FilterInput);
    Detach(ResponseFIR.Input);
    Detach(ResponseFIR.Output);
    Detach(m_FilterOutput);
    delete[] m_pFilterInputItem;
    delete[] m_pFilterOutputItem;
    m_pFilterInputItem = nullptr;
    m_pFilterOutputItem = nullptr;
}

// The filter is left holding no pointer into the freed arrays.
template <typename TResponseCount>
void CustomFIR_select<TResponseCount>::DeleteArrayParameters() {
    ResponseFIR.m_pResponse = nullptr;
    ResponseFIR.ResponseTimeStamps = nullptr;
    ResponseFIR.m_iNumResponseValues = 0;
    ResponseFIR.m_iNumTimeStamps = 0;
    delete[] m_pResponse;
    delete[] m_pTimeStamps;
    m_pResponse = nullptr;
    m_pTimeStamps = nullptr;
    m_iLentCount = 0;
}

template class CustomFIR_select<int>;
template class CustomFIR_select<double>;

}  // namespace Tessel
