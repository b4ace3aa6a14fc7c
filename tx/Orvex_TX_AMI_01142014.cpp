#include "Orvex_TX_AMI_01142014.h"

#include <climits>
#include <cstddef>

#include "Orvex_TX_AMI_01142014_Tables.h"
#include "TimeResponseFIR.h"

namespace {

// The table's dimension records, in the matrix's own type.
void LoadTable(Tessel::Matrix<double>& matrix, const unsigned long long (&dimensions)[2], const double* values) {
    const size_t shape[2] = {static_cast<size_t>(dimensions[0]), static_cast<size_t>(dimensions[1])};
    matrix.ResizeMultidimensional(2, shape);
    matrix.CopyFrom(values, matrix.NumElements());
}

}  // namespace

int Orvex_TX_AMI_01142014::ControlForResponseIndex(double responseIndex) {
    // Converting a double outside the int range is undefined; such numbers
    // (and not-a-number) select the first response like any other number
    // outside the table.
    if (!(responseIndex > static_cast<double>(INT_MIN) - 1.0 && responseIndex < static_cast<double>(INT_MAX) + 1.0)) {
        return 0;
    }
    return static_cast<int>(responseIndex);
}

double Orvex_TX_AMI_01142014::LongestResponseSeconds() {
    const size_t last = static_cast<size_t>(Orvex_TX_AMI_01142014_Time_Stamps_Dimensions[0]) - 1;
    return Orvex_TX_AMI_01142014_Time_Stamps[last] - Orvex_TX_AMI_01142014_Time_Stamps[0];
}

bool Orvex_TX_AMI_01142014::Setup() {
    // In floating point throughout, so that no setting can overflow an int.
    ResponseIndex = DE_range * 64.0 + 8.0 * DE + VOD + 1.0;

    ResponseSelector.ResponseType = Tessel::TimeResponseFIR::kImpulseResponse;
    LoadTable(ResponseSelector.Response_Matrix, Orvex_TX_AMI_01142014_Response_Matrix_Dimensions,
              Orvex_TX_AMI_01142014_Response_Matrix);
    LoadTable(ResponseSelector.Time_Stamps, Orvex_TX_AMI_01142014_Time_Stamps_Dimensions,
              Orvex_TX_AMI_01142014_Time_Stamps);
    ResponseSelector.Num_Time_Points = static_cast<int>(Orvex_TX_AMI_01142014_Time_Stamps_Dimensions[0]);
    ResponseSelector.SampleRate = SamplesPerBit / BitTime;
    ResponseSelector.Num_Responses = static_cast<double>(Orvex_TX_AMI_01142014_Response_Matrix_Dimensions[1]);
    ResponseSelector.Control = ControlForResponseIndex(ResponseIndex);
    const bool selectorOk = ResponseSelector.Setup();

    OutputGain.Factor = gain;
    const bool gainOk = OutputGain.Setup();

    // One item per firing; SetRate raises a history depth below 1.
    WaveIn.SetRate(1);
    WaveOut.SetRate(1);
    return selectorOk && gainOk;
}

bool Orvex_TX_AMI_01142014::Initialize() {
    DeleteBuffers();
    for (const Connection& connection : m_Connections) {
        m_Arcs.Create<double>(connection.arc, 1, {connection.producer, connection.consumer});
    }
    const bool selectorOk = ResponseSelector.Initialize();
    const bool gainOk = OutputGain.Initialize();
    return selectorOk && gainOk;
}

bool Orvex_TX_AMI_01142014::Run() {
    WaveIn.Copy(0, &m_FromWaveIn, 0, 1);
    const bool selectorOk = ResponseSelector.Run();
    const bool gainOk = OutputGain.Run();
    m_ToWaveOut.Copy(0, &WaveOut, 0, 1);
    return selectorOk && gainOk;
}

bool Orvex_TX_AMI_01142014::Finalize() {
    const bool selectorOk = ResponseSelector.Finalize();
    const bool gainOk = OutputGain.Finalize();
    DeleteBuffers();
    return selectorOk && gainOk;
}

Orvex_TX_AMI_01142014::~Orvex_TX_AMI_01142014() { DeleteBuffers(); }

// Detaches every view before its memory goes, so that none is left
// pointing at freed memory.
void Orvex_TX_AMI_01142014::DeleteBuffers() {
    for (const Connection& connection : m_Connections) {
        connection.producer->SetBuffer(nullptr, 0, 0, 0);
        connection.consumer->SetBuffer(nullptr, 0, 0, 0);
    }
    m_Arcs.DeleteAll();
}
