// Test waveforms for comparing two ways of computing the same samples: bit
// level levels with noise, long zero runs, and every awkward double (signed
// zeros, subnormals, huge values, infinities, NaN) at random places.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace testsupport {

enum class Specials { None, Finite, All };

// Finite specials: signed zeros, subnormals and 1e305. All adds the largest
// doubles, infinities and NaN, which leave a recursive filter not finite for
// good, so the generator puts them only into the last eighth.
inline std::vector<double> AwkwardWave(std::size_t n, std::uint32_t seed,
                                       Specials specials = Specials::Finite) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    const double lim = std::numeric_limits<double>::max();
    const double odd[] = {0.0,
                          -0.0,
                          4.9e-324,
                          -4.9e-324,
                          1e-310,
                          -1e-310,
                          1e305,
                          -1e305,
                          lim,
                          -lim,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    const std::size_t finiteOdd = 8;
    const std::size_t allOdd = sizeof odd / sizeof odd[0];
    std::vector<double> x(n);
    double level = 0.5;
    for (std::size_t i = 0; i < n; ++i) {
        const auto r = static_cast<std::uint32_t>(rng() % 1000);
        if (r < 20) level = -level;
        x[i] = level + noise(rng);
        if (r >= 990 && i + 800 < n) {  // a long idle stretch: states decay to subnormals
            for (std::size_t k = 0; k < 800; ++k) x[i + k] = (r & 1) ? 0.0 : -0.0;
            i += 799;
        } else if (specials != Specials::None && r >= 985) {
            const bool late = specials == Specials::All && i >= n - n / 8;
            x[i] = odd[rng() % (late ? allOdd : finiteOdd)];
        }
    }
    return x;
}

// The same bit pattern, or NaN on both sides: which NaN an operation on two
// NaN operands returns depends on the operand order a compiler picks, so NaN
// only has to stand at the same samples.
inline bool SameSample(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b);
}

// The first index at which two waves differ in that sense, or the size.
inline std::size_t FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (!SameSample(a[i], b[i])) return i;
    }
    return a.size() < b.size() ? a.size() : b.size();
}

inline bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && FirstDifference(a, b) == a.size();
}

}  // namespace testsupport
