// The receiver library's IBIS-AMI entry points.
#include "Orvex_RX_AMI_05272013.h"
#include "RxEntryPoints.h"
#include "TesselExport.h"

namespace {
typedef Orvex::RxEntryPoints<Orvex_RX_AMI_05272013> Receiver;
}

AMI_EXPORT long AMI_Init(double* impulse_matrix, long row_size, long aggressors, double sample_interval,
                         double bit_time, char* AMI_parameters_in, char** AMI_parameters_out,
                         void** AMI_memory_handle, char** msg) {
    return Receiver::Init(impulse_matrix, row_size, aggressors, sample_interval, bit_time, AMI_parameters_in,
                          AMI_parameters_out, AMI_memory_handle, msg);
}

AMI_EXPORT long AMI_GetWave(double* wave, long wave_size, double* clock_times, char** AMI_parameters_out,
                            void* AMI_memory) {
    return Receiver::GetWave(wave, wave_size, clock_times, AMI_parameters_out, AMI_memory);
}

AMI_EXPORT long AMI_Close(void* AMI_memory) { return Receiver::Close(AMI_memory); }
