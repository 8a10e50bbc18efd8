// A tiny, well-behaved AMI model for testing the host: halves the wave.
#include <new>

extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double*, long, long, double, double, char*,
                                                     char**, void** handle, char** msg) {
    static char text[] = "scale model ready";
    *handle = new int(0);
    *msg = text;
    return 1;
}
__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char**, void*) {
    for (long i = 0; i < size; ++i) wave[i] *= 0.5;
    clock[0] = -1.0;
    return 1;
}
__attribute__((visibility("default"))) long AMI_Close(void* handle) {
    delete static_cast<int*>(handle);
    return 1;
}
}
