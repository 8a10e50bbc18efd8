// An AMI model whose output depends on how the wave is cut into blocks: each
// call restarts a running sum. check-invariance must catch it.
extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double*, long, long, double, double, char*,
                                                     char**, void** handle, char**) {
    static int state = 0;
    *handle = &state;
    return 1;
}
__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char**, void*) {
    double sum = 0;
    for (long i = 0; i < size; ++i) {
        sum += wave[i];
        wave[i] = sum;
    }
    clock[0] = -1.0;
    return 1;
}
__attribute__((visibility("default"))) long AMI_Close(void*) { return 1; }
}
