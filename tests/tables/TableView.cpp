#include "TableView.h"

#include "Orvex_RX_AMI_05272013_Tables.h"
#include "Orvex_TX_AMI_01142014_Tables.h"
#include "ResponseSelectorDefaults.h"

TableView C4Table() {
    return {"C4", C4_Response_Matrix, 500, 16, 1e-12};
}

TableView C1Table() {
    return {"C1", C1_Response_Matrix, 500, 5, 1e-12};
}

TableView SelectorDefaultTable() {
    return {"default", Response_Matrix_default, 500, 1, 1e-12};
}

TableView TransmitterTable() {
    return {"transmitter", Orvex_TX_AMI_01142014_Response_Matrix, 751, 128, 2e-12};
}

std::vector<TableView> EqualiserBanks() {
    return {C4Table(), C1Table()};
}
