// A linear equaliser for testing the host's flows, usable as transmitter or
// receiver: a three-tap FIR (taps a unit interval apart) or a CTLE, the
// bilinear transform of H(s) = (1 + s/wz) / (1 + s/wp), its state kept
// from block to block. Parameters: (lin (ctle 0|1) (init 0|1)); with
// init 1 AMI_Init applies the same filter to the impulse response
// (Init_Returns_Impulse True), with init 0 it leaves it alone. Built
// without AMI_GetWave (LINEAR_INIT_ONLY) it is an Init-only model. With
// (dc 1) AMI_Init returns (DC_Offset 0.1) in AMI_parameters_out.
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTaps[3] = {-0.1, 0.75, -0.15};  // pre-cursor, main, post-cursor
constexpr double kZeroHz = 1.0e9, kPoleHz = 4.0e9;

struct Linear {
    bool ctle = false;
    long perBit = 1;
    std::vector<double> history;  // FIR: the last 2 * perBit inputs
    double b0 = 1, b1 = 0, a1 = 0, x1 = 0, y1 = 0;

    double Step(double x) {
        if (ctle) {
            const double y = b0 * x + b1 * x1 - a1 * y1;
            x1 = x;
            y1 = y;
            return y;
        }
        // history[k] is x[n - 1 - k].
        const double y = kTaps[0] * x + kTaps[1] * history[static_cast<std::size_t>(perBit - 1)] +
                         kTaps[2] * history[static_cast<std::size_t>(2 * perBit - 1)];
        for (std::size_t k = history.size() - 1; k > 0; --k) history[k] = history[k - 1];
        history[0] = x;
        return y;
    }
    void Reset() {
        history.assign(static_cast<std::size_t>(2 * perBit), 0.0);
        x1 = y1 = 0;
    }
};

bool Has(const char* params, const char* text) {
    return params != nullptr && std::strstr(params, text) != nullptr;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double* impulse, long rows, long,
                                                     double sample_interval, double bit_time,
                                                     char* params, char** params_out, void** handle,
                                                     char** msg) {
    static char text[] = "linear model ready";
    static char offset[] = "(lin (DC_Offset 0.1))";
    if (Has(params, "(dc 1)")) *params_out = offset;
    auto* m = new Linear;
    *handle = m;
    *msg = text;
    if (!(sample_interval > 0) || !(bit_time > 0)) return 0;
    m->ctle = Has(params, "(ctle 1)");
    m->perBit = std::lround(bit_time / sample_interval);
    // Bilinear transform: s = K (1 - 1/z) / (1 + 1/z), K = 2 / T.
    const double K = 2.0 / sample_interval, wz = 2 * kPi * kZeroHz, wp = 2 * kPi * kPoleHz;
    const double d0 = 1 + K / wp;
    m->b0 = (1 + K / wz) / d0;
    m->b1 = (1 - K / wz) / d0;
    m->a1 = (1 - K / wp) / d0;
    m->Reset();
    if (Has(params, "(init 1)")) {
        for (long k = 0; k < rows; ++k) impulse[k] = m->Step(impulse[k]);
        m->Reset();
    }
    return 1;
}
#ifndef LINEAR_INIT_ONLY
__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char**, void* handle) {
    auto* m = static_cast<Linear*>(handle);
    for (long i = 0; i < size; ++i) wave[i] = m->Step(wave[i]);
    clock[0] = -1.0;
    return 1;
}
#endif
__attribute__((visibility("default"))) long AMI_Close(void* handle) {
    delete static_cast<Linear*>(handle);
    return 1;
}
}
