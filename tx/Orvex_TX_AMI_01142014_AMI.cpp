// The transmitter library's IBIS-AMI entry points.
#include "Orvex_TX_AMI_01142014.h"
#include "TesselExport.h"
#include "TxEntryPoints.h"

namespace {
typedef Orvex::TxEntryPoints<Orvex_TX_AMI_01142014> Transmitter;
}

AMI_EXPORT long AMI_Init(double* impulse_matrix, long row_size, long aggressors, double sample_interval,
                         double bit_time, char* AMI_parameters_in, char** AMI_parameters_out,
                         void** AMI_memory_handle, char** msg) {
    return Transmitter::Init(impulse_matrix, row_size, aggressors, sample_interval, bit_time, AMI_parameters_in,
                             AMI_parameters_out, AMI_memory_handle, msg);
}

AMI_EXPORT long AMI_Close(void* AMI_memory) { return Transmitter::Close(AMI_memory); }
