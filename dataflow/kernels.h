// The arithmetic of the blocks, apart from their ports, so that each rule can
// be checked on its own against an independent reference.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>

namespace Tarvessa::kernels {

// Rounds half away from zero: floor(x + 0.5) for x >= 0, ceil(x - 0.5) below,
// with the half added in double before floor or ceil.
inline double RoundHalfAway(double x) {
    return x >= 0.0 ? std::floor(x + 0.5) : std::ceil(x - 0.5);
}

// RoundHalfAway as a 32-bit int, saturating beyond the int range; NaN gives 0.
inline int RoundToInt(double x) {
    const double r = RoundHalfAway(x);
    if (!(r == r)) {
        return 0;
    }
    if (r >= 2147483647.0) {
        return std::numeric_limits<int>::max();
    }
    if (r <= -2147483648.0) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(r);
}

// Horner's rule from the highest coefficient down: c[n-1] first, then
// acc = acc * x + c[k] for k = n-2 .. 0. With no coefficients the result is 0.
template <class T>
T Horner(const T* c, std::uint32_t n, T x) {
    if (n == 0) {
        return T{};
    }
    T acc = c[n - 1];
    for (std::uint32_t k = n - 1; k-- > 0;) {
        acc = acc * x + c[k];
    }
    return acc;
}

// Integer Horner wraps modulo 2^32 (computed in unsigned arithmetic, so an
// overflowing polynomial never is undefined behaviour).
template <>
inline int Horner<int>(const int* c, std::uint32_t n, int x) {
    if (n == 0) {
        return 0;
    }
    const auto ux = static_cast<std::uint32_t>(x);
    auto acc = static_cast<std::uint32_t>(c[n - 1]);
    for (std::uint32_t k = n - 1; k-- > 0;) {
        acc = acc * ux + static_cast<std::uint32_t>(c[k]);
    }
    return static_cast<int>(acc);
}

// One direct form II biquad section with D0 = 1: taps are N0 N1 N2 D0 D1 D2.
// Updates the section's two delayed node values and returns its output.
inline double BiquadSection(const double* taps, double& delay1, double& delay2, double x) {
    const double w = x - taps[4] * delay1 - taps[5] * delay2;
    const double y = taps[0] * w + taps[1] * delay1 + taps[2] * delay2;
    delay2 = delay1;
    delay1 = w;
    return y;
}

}  // namespace Tarvessa::kernels
