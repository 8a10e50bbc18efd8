#include "link/kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

// The thread sanitizer's runtime is not ready when the loader runs the
// resolvers that pick a build: under it, the baseline build alone.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define AMIHOST_NO_CLONES 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define AMIHOST_NO_CLONES 1
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(AMIHOST_NO_CLONES)
#define AMIHOST_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define AMIHOST_CLONES
#endif

namespace amihost {

AMIHOST_CLONES
void ConvolveAccumulate(const double* x, std::size_t first, std::size_t last, const double* h,
                        std::size_t hn, double* y) {
    if (first >= last || hn == 0) return;
    // Output tiles small enough that their stretch of y stays in the first
    // level cache while every x[i] passes over it; within a tile, four x[i]
    // at a time, each y[n] loaded once and given their products in order of
    // i. Adding the product of a zero x[i] changes no y[n] (y is never -0),
    // so only groups of four zeros are skipped.
    constexpr std::size_t kTile = 2048;
    const std::size_t end = last + hn - 1;
    auto one = [&](std::size_t i, std::size_t n0, std::size_t n1) {
        const double v = x[i];
        if (v == 0) return;
        const std::size_t k0 = n0 > i ? n0 - i : 0;
        const std::size_t k1 = std::min(hn, n1 > i ? n1 - i : 0);
        double* target = y + i;
        for (std::size_t k = k0; k < k1; ++k) target[k] += v * h[k];
    };
    // y[n] for n in [from, to) of the products of x[i .. i + 3] that reach it.
    auto edge = [&](std::size_t i, std::size_t from, std::size_t to) {
        for (std::size_t n = from; n < to; ++n)
            for (std::size_t j = 0; j < 4; ++j)
                if (n >= i + j && n - (i + j) < hn) y[n] += x[i + j] * h[n - i - j];
    };
    for (std::size_t n0 = first; n0 < end; n0 += kTile) {
        const std::size_t n1 = std::min(end, n0 + kTile);
        const std::size_t stop = std::min(last, n1);
        std::size_t i = first;
        for (; i + 4 <= stop; i += 4) {
            const double a0 = x[i], a1 = x[i + 1], a2 = x[i + 2], a3 = x[i + 3];
            if (a0 == 0 && a1 == 0 && a2 == 0 && a3 == 0) continue;
            // Where all four reach: n in [i + 3, i + hn).
            const std::size_t lo = std::max(n0, i + 3), hi = std::min(n1, i + hn);
            if (lo >= hi) {
                edge(i, std::max(n0, i), std::min(n1, i + 3 + hn));
                continue;
            }
            edge(i, std::max(n0, i), lo);
            double* yi = y + i;
            for (std::size_t k = lo - i; k < hi - i; ++k)
                yi[k] = (((yi[k] + a0 * h[k]) + a1 * h[k - 1]) + a2 * h[k - 2]) + a3 * h[k - 3];
            edge(i, hi, std::min(n1, i + 3 + hn));
        }
        for (; i < stop; ++i) one(i, n0, n1);
    }
}

AMIHOST_CLONES
void HalfShiftAdd(const double* p, std::size_t n, std::size_t a, double* out) {
    const std::size_t both = std::min(a, n);
    for (std::size_t k = 0; k < both; ++k) out[k] = 0.5 * p[k];
    for (std::size_t k = both; k < a; ++k) out[k] = 0.0;
    for (std::size_t k = a; k < n; ++k) out[k] = 0.5 * (p[k] + p[k - a]);
    for (std::size_t k = std::max(a, n); k < n + a; ++k) out[k] = 0.5 * p[k - a];
}

AMIHOST_CLONES
void HalveLevels(const double* p, std::size_t m, double* q) {
    if (m == 0) {
        q[0] = p[0];
        return;
    }
    q[0] = p[0] + 0.5 * p[1];
    for (std::size_t j = 1; j < m; ++j) q[j] = (0.5 * p[2 * j - 1] + p[2 * j]) + 0.5 * p[2 * j + 1];
    q[m] = 0.5 * p[2 * m - 1] + p[2 * m];
}

AMIHOST_CLONES
bool AllFinite(const double* v, std::size_t n) {
    // An infinity or a NaN has every exponent bit set. No early exit, and
    // integers only, so the loop vectorises.
    constexpr std::uint64_t kExponent = 0x7FF0000000000000u;
    std::uint64_t bad = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, v + i, sizeof bits);
        bad |= static_cast<std::uint64_t>((bits & kExponent) == kExponent);
    }
    return bad == 0;
}

AMIHOST_CLONES
std::size_t FirstLargest(const double* v, std::size_t n, double offset) {
    // The largest value eight lanes at a time (no early exit, so the loop
    // vectorises), then the first place it is reached.
    constexpr std::size_t kLanes = 8;
    double lane[kLanes];
    for (double& m : lane) m = -std::numeric_limits<double>::infinity();
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        for (std::size_t j = 0; j < kLanes; ++j) {
            const double x = v[i + j] - offset;
            lane[j] = x > lane[j] ? x : lane[j];
        }
    double largest = -std::numeric_limits<double>::infinity();
    for (double m : lane) largest = m > largest ? m : largest;
    for (; i < n; ++i) largest = v[i] - offset > largest ? v[i] - offset : largest;
    for (i = 0; i < n; ++i)
        if (v[i] - offset == largest) return i;
    return n;
}

}  // namespace amihost
