// An AMI model that breaks the contract in every way the host checks: it
// changes the impulse matrix, writes past the wave and the clock-time array,
// leaves no -1 terminator and returns 0 from AMI_GetWave and AMI_Close.
extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double* impulse, long rows, long, double,
                                                     double, char*, char**, void** handle, char**) {
    if (rows > 0) impulse[0] *= 2.0;
    static int state = 0;
    *handle = &state;
    return 1;
}
__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char**, void*) {
    for (long i = 0; i < size + 3; ++i) wave[i] = 1.0;  // three samples too many
    for (long i = 0; i < size + 8; ++i)
        clock[i] = 1e-12 * static_cast<double>(i);  // no -1, and too far
    return 0;
}
__attribute__((visibility("default"))) long AMI_Close(void*) { return 0; }
}
