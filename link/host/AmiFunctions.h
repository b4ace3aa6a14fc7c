/* The three functions an IBIS-AMI model library exports, as a host calls
   them: AMI_Init on the impulse response (processed in place), AMI_GetWave
   on blocks of waveform, AMI_Close once. Declared here once for the link
   simulator, the tests, the benchmarks and the Windows tests. */
#ifndef LINK_AMI_FUNCTIONS_H
#define LINK_AMI_FUNCTIONS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef long (*AmiInitFunction)(double* impulseMatrix, long rowSize, long aggressors, double sampleInterval,
                                double bitTime, char* parametersIn, char** parametersOut, void** memoryHandle,
                                char** message);
typedef long (*AmiGetWaveFunction)(double* wave, long waveSize, double* clockTimes, char** parametersOut,
                                   void* memory);
typedef long (*AmiCloseFunction)(void* memory);

#ifdef __cplusplus
}
#endif

#endif
