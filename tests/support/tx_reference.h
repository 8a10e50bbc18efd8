// An independent closed-form reference of the transmitter: the three-tap sum,
// a first-order section derived from the pole at the model's sample rate, and
// the compression polynomial. Shares no code with the model.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace txref {

struct Codes {
    int pre = 0, post = 0, diff = 15, pvt = 0;
};

struct Weights {
    double pre, main, post, swing;
};

inline Weights WeightsFor(const Codes& c) {
    static const double pre[] = {0.0,     -0.0116, -0.0238, -0.0353, -0.048,  -0.0598, -0.0719,
                                 -0.0836, -0.0968, -0.1085, -0.1208, -0.1326, -0.1456, -0.1576,
                                 -0.1699, -0.182,  -0.1949, -0.208,  -0.22,   -0.2325, -0.2445};
    static const double post[] = {-0.0002, -0.0119, -0.0234, -0.0351, -0.048,  -0.0597, -0.0716,
                                  -0.0832, -0.0968, -0.1089, -0.1208, -0.1328, -0.1456, -0.1577,
                                  -0.1696, -0.1817, -0.1955, -0.2076, -0.2199, -0.2319, -0.2452,
                                  -0.2573, -0.2696, -0.2818, -0.2957, -0.308,  -0.3203, -0.3326,
                                  -0.346,  -0.3584, -0.3706, -0.3831};
    static const double swing[3][16] = {
        {0.1767, 0.2562, 0.3322, 0.4065, 0.4803, 0.5503, 0.6174, 0.6828, 0.7433, 0.8043, 0.8619,
         0.9169, 0.9698, 1.0171, 1.0593, 1.0969},
        {0.148, 0.218, 0.282, 0.35, 0.416, 0.482, 0.542, 0.608, 0.672, 0.73, 0.786, 0.846, 0.894,
         0.946, 0.988, 1.026},
        {0.22, 0.316, 0.404, 0.488, 0.564, 0.636, 0.712, 0.78, 0.844, 0.904, 0.968, 1.018, 1.072,
         1.114, 1.152, 1.182}};
    Weights w;
    w.pre = c.pre < 0 ? -c.pre * 0.0125 * 0.95 : pre[c.pre > 20 ? 20 : c.pre];
    w.post = (c.post < 0 || c.post > 31) ? -c.post * 0.0125 * 0.925 : post[c.post];
    w.main = 1.0 + w.pre + w.post;
    const bool table = c.pvt >= 0 && c.pvt <= 2 && c.diff >= 0 && c.diff <= 15;
    w.swing = table ? swing[c.pvt][c.diff] : c.diff * 0.05143 + 0.2285;
    return w;
}

inline double Compress(double u) {
    const double u2 = u * u;
    return u * (1 - u2 * (0.5623 - u2 * (0.3717 - u2 * (0.2232 - u2 * (0.0983 - u2 * 0.0215)))));
}

// The output waveform for input x at N samples per bit of length bitTime.
inline std::vector<double> Transmit(const std::vector<double>& x, const Codes& c, int N,
                                    double bitTime) {
    const Weights w = WeightsFor(c);
    const double fs = N / bitTime, a = 1.25e11;
    // Bilinear image of a/(s + a): b (1 + 1/z) / (1 + d/z).
    const double K = 2 * fs, b = a / (K + a), d = (a - K) / (K + a);
    std::vector<double> y(x.size());
    double ePrev = 0, fPrev = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        auto at = [&](std::size_t back) { return n >= back ? x[n - back] : 0.0; };
        const double e =
            w.pre * x[n] + w.main * at(std::size_t(N)) + w.post * at(2 * std::size_t(N));
        const double f = b * (e + ePrev) - d * fPrev;
        ePrev = e;
        fPrev = f;
        y[n] = 2.0 * Compress(0.5 * w.swing * f);
    }
    return y;
}

// PRBS7 (x^7 + x^6 + 1) as NRZ levels, N samples per bit.
inline std::vector<double> Prbs7(int bits, int N, double level = 0.5, std::uint32_t seed = 0x7F) {
    std::vector<double> x;
    std::uint32_t s = seed & 0x7F;
    for (int k = 0; k < bits; ++k) {
        const std::uint32_t bit = ((s >> 6) ^ (s >> 5)) & 1u;
        s = ((s << 1) | bit) & 0x7F;
        x.insert(x.end(), static_cast<std::size_t>(N), bit ? level : -level);
    }
    return x;
}

}  // namespace txref
