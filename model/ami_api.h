// The IBIS-AMI application interface of this model: the only three symbols the
// library exports, with C names and the C calling convention.
//
// Integer arguments and results are `long`, as in the IBIS-AMI standard's own
// prototypes: 32 bits on Windows (both bitnesses), 64 bits on 64-bit Linux.
#pragma once

#if defined(_WIN32)
#define AMI_EXPORT __declspec(dllexport)
#else
#define AMI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

AMI_EXPORT long AMI_Init(double* impulse_matrix, long row_size, long aggressors,
                         double sample_interval, double bit_time, char* AMI_parameters_in,
                         char** AMI_parameters_out, void** AMI_memory_handle, char** msg);

AMI_EXPORT long AMI_GetWave(double* wave, long wave_size, double* clock_times,
                            char** AMI_parameters_out, void* AMI_memory);

AMI_EXPORT long AMI_Close(void* AMI_memory);

#ifdef __cplusplus
}
#endif
