#include "KitTables.h"

#include "Orvex_RX_AMI_05272013_Tables.h"
#include "Orvex_TX_AMI_01142014_Tables.h"

namespace kitsheet {

namespace {

// Column `column` of a column-major table whose dimension record holds
// rows, then columns; the time stamps are evenly spaced.
TabulatedResponse Column(const double* table, const unsigned long long* dimensions, const double* timeStamps,
                         size_t column) {
    const size_t rows = size_t(dimensions[0]);
    TabulatedResponse response;
    response.sampleInterval = timeStamps[1] - timeStamps[0];
    response.impulse.assign(table + rows * column, table + rows * (column + 1));
    return response;
}

CtleBank Bank(int dwdmMode, const char* name, const double* table, const unsigned long long* dimensions,
              const double* timeStamps) {
    CtleBank bank;
    bank.dwdmMode = dwdmMode;
    bank.name = name;
    for (size_t column = 0; column < size_t(dimensions[1]); ++column) {
        bank.levels.push_back(Column(table, dimensions, timeStamps, column));
    }
    return bank;
}

}  // namespace

std::vector<CtleBank> CtleBanks() {
    return {Bank(0, "sixteen-response bank", C4_Response_Matrix, C4_Response_Matrix_Dimensions, C4_Time_Stamps),
            Bank(1, "five-response bank", C1_Response_Matrix, C1_Response_Matrix_Dimensions, C1_Time_Stamps)};
}

TabulatedResponse TransmitterResponse(int de, int vod, int deRange) {
    const size_t column = size_t(64 * deRange + 8 * de + vod);
    return Column(Orvex_TX_AMI_01142014_Response_Matrix, Orvex_TX_AMI_01142014_Response_Matrix_Dimensions,
                  Orvex_TX_AMI_01142014_Time_Stamps, column);
}

}  // namespace kitsheet
