// A small receiver model for testing the host: a continuous-time linear
// equaliser (the input plus `boost` times its difference from a one-pole
// low-pass of one unit interval) that reports a clock time at the middle of
// every unit interval. Parameters: (ctle (boost B)), default 1.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
struct Ctle {
    double boost = 1.0, alpha = 0.0, low = 0.0, dt = 0.0, bitTime = 0.0;
    long long samples = 0;
};
}  // namespace

extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double*, long, long, double sample_interval,
                                                     double bit_time, char* params, char**,
                                                     void** handle, char** msg) {
    static char text[] = "ctle ready";
    auto* c = new Ctle;
    if (params != nullptr) {
        const char* b = std::strstr(params, "(boost ");
        if (b != nullptr) c->boost = std::atof(b + 7);
    }
    c->dt = sample_interval;
    c->bitTime = bit_time;
    c->alpha = 1.0 - std::exp(-sample_interval / bit_time);
    *handle = c;
    *msg = text;
    return sample_interval > 0 && bit_time > 0 ? 1 : 0;
}
__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char**, void* handle) {
    auto* c = static_cast<Ctle*>(handle);
    long clocks = 0;
    const long perBit = static_cast<long>(std::lround(c->bitTime / c->dt));
    for (long i = 0; i < size; ++i) {
        c->low += c->alpha * (wave[i] - c->low);
        wave[i] = wave[i] + c->boost * (wave[i] - c->low);
        if (perBit > 0 && (c->samples + i) % perBit == perBit / 2)
            clock[clocks++] = static_cast<double>(c->samples + i) * c->dt;
    }
    c->samples += size;
    clock[clocks] = -1.0;
    return 1;
}
__attribute__((visibility("default"))) long AMI_Close(void* handle) {
    delete static_cast<Ctle*>(handle);
    return 1;
}
}
