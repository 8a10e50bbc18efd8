#include "biquad_cascade.h"

#include <cmath>
#include <cstdio>

namespace Tarvessa {

namespace {
constexpr double kSmallestNormal = 2.2250738585072014e-308;
}

bool BiquadCascade::Initialize() {
    ReadySections = 0;
    if (TapCount < 1 || TapCount % 6 != 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The number of parameter taps must not be zero and must be a multiple of "
                      "6 taps. There are currently %d taps.",
                      static_cast<int>(TapCount));
        ReportError(this, text);
        return false;
    }
    BiquadCount = static_cast<std::uint32_t>(TapCount / 6);
    for (std::uint32_t k = 0; k < BiquadCount; ++k) {
        double* t = Taps + 6 * std::size_t{k};
        if (std::fabs(t[3]) < kSmallestNormal) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "The D0 coefficient for biquad number %lu cannot be zero. ",
                          static_cast<unsigned long>(k) + 1);
            ReportError(this, text);
            return false;
        }
        const double d0 = t[3];
        t[0] /= d0;
        t[1] /= d0;
        t[2] /= d0;
        t[4] /= d0;
        t[5] /= d0;
        t[3] = 1.0;
    }
    delete[] Delay1;
    delete[] Delay2;
    Delay1 = nullptr;
    Delay2 = nullptr;
    Delay1 = new double[BiquadCount]();
    Delay2 = new double[BiquadCount]();
    if (Outputs.Size > BiquadCount) {
        char text[192];
        std::snprintf(text, sizeof text,
                      "The number of outputs must be less than or equal to the number of biquads "
                      "in the cascade.  Currently, there are %lu outputs and %lu biquads.",
                      static_cast<unsigned long>(Outputs.Size),
                      static_cast<unsigned long>(BiquadCount));
        ReportError(this, text);
        return false;
    }
    // Only a fully successful Initialize makes the cascade ready to fire.
    ReadySections = BiquadCount;
    return true;
}

BiquadCascade::~BiquadCascade() {
    delete[] Delay1;
    delete[] Delay2;
}

}  // namespace Tarvessa
