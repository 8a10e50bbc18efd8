#include "link/inner_loops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define AMIHOST_X86_KERNELS 1
#endif

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
#define AMIHOST_CLONES __attribute__((target_clones("avx512f", "arch=haswell", "default")))
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
        for (std::size_t k = k0; k < k1; ++k) target[k] = std::fma(v, h[k], target[k]);
    };
    // y[n] for n in [from, to) of the products of x[i .. i + 3] that reach it.
    auto edge = [&](std::size_t i, std::size_t from, std::size_t to) {
        for (std::size_t n = from; n < to; ++n)
            for (std::size_t j = 0; j < 4; ++j)
                if (n >= i + j && n - (i + j) < hn) y[n] = std::fma(x[i + j], h[n - i - j], y[n]);
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
                yi[k] = std::fma(
                    a3, h[k - 3],
                    std::fma(a2, h[k - 2], std::fma(a1, h[k - 1], std::fma(a0, h[k], yi[k]))));
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

PaddedResponse::PaddedResponse(const double* h, std::size_t n)
    : n_(n), padded_(n + 2 * static_cast<std::size_t>(kPad), 0.0) {
    std::copy(h, h + n, padded_.begin() + kPad);
}

namespace {

// x between `pad` zeros on each side: x[i] at index i - first + pad.
std::vector<double> PaddedPulse(const double* x, std::size_t first, std::size_t last,
                                std::size_t pad) {
    std::vector<double> xp(last - first + 2 * pad, 0.0);
    std::copy(x + first, x + last, xp.begin() + static_cast<std::ptrdiff_t>(pad));
    return xp;
}

// y[n] for n in [from, to), one at a time (the end of the output).
void ConvolvePaddedTail(const double* x, std::size_t first, std::size_t last,
                        const PaddedResponse& h, double* y, std::size_t from, std::size_t to) {
    const std::size_t hn = h.size();
    for (std::size_t n = from; n < to; ++n) {
        const std::size_t lo = std::max(first, n + 1 > hn ? n + 1 - hn : 0);
        const std::size_t hi = std::min(last, n + 1);
        double v = y[n];
        for (std::size_t i = lo; i < hi; ++i)
            v = std::fma(x[i], *h.At(static_cast<std::int64_t>(n - i)), v);
        y[n] = v;
    }
}

// Blocks of R vectors of `lanes` outputs from n0 = first. Output vector r
// holds n0 + lanes r + l; x[i] reaches it through h[s .. s + lanes) with
// s = n0 + lanes r - i. Walking s downwards, each h vector is read once and
// given to every r (x[i] for i = n0 + lanes r - s, zero beyond [first,
// last)), and each output receives its products in increasing i: the
// plain loop's fused operations in its order (a zero product adds nothing,
// y is never -0). The s where no lane meets h are skipped.
struct BlockRange {
    std::int64_t sHi, sLo;
};
inline BlockRange RangeOf(std::size_t n0, std::size_t first, std::size_t last, std::size_t hn,
                          std::int64_t span) {
    const auto n = static_cast<std::int64_t>(n0);
    return {
        std::min(n + span - static_cast<std::int64_t>(first), static_cast<std::int64_t>(hn) - 1),
        std::max(n - static_cast<std::int64_t>(last) + 1, -PaddedResponse::kPad + 1)};
}

#if defined(AMIHOST_X86_KERNELS)
__attribute__((target("avx512f"))) std::size_t ConvolvePaddedAvx512(
    const double* x, std::size_t first, std::size_t last, const PaddedResponse& h, double* y) {
    constexpr std::size_t kLanes = 8, kBlock = 64;
    constexpr std::int64_t kSpan = kBlock - kLanes;  // lanes * (R - 1)
    const std::vector<double> xp = PaddedPulse(x, first, last, kSpan);
    const std::size_t end = last + h.size() - 1;
    std::size_t n0 = first;
    for (; n0 + kBlock <= end; n0 += kBlock) {
        double* out = y + n0;
        __m512d a[8];
        for (int r = 0; r < 8; ++r) a[r] = _mm512_loadu_pd(out + kLanes * r);
        const BlockRange range = RangeOf(n0, first, last, h.size(), kSpan);
        // x[i] for r = 0 at xs[-s]: i - first + pad with i = n0 - s.
        const double* xs = xp.data() + static_cast<std::int64_t>(n0 - first) + kSpan;
        for (std::int64_t s = range.sHi; s >= range.sLo; --s) {
            const __m512d w = _mm512_loadu_pd(h.At(s));
            const double* xi = xs - s;
            for (int r = 0; r < 8; ++r)
                a[r] = _mm512_fmadd_pd(_mm512_set1_pd(xi[kLanes * r]), w, a[r]);
        }
        for (int r = 0; r < 8; ++r) _mm512_storeu_pd(out + kLanes * r, a[r]);
    }
    return n0;
}

__attribute__((target("avx2,fma"))) std::size_t ConvolvePaddedAvx2(
    const double* x, std::size_t first, std::size_t last, const PaddedResponse& h, double* y) {
    constexpr std::size_t kLanes = 4, kBlock = 32;
    constexpr std::int64_t kSpan = kBlock - kLanes;
    const std::vector<double> xp = PaddedPulse(x, first, last, kSpan);
    const std::size_t end = last + h.size() - 1;
    std::size_t n0 = first;
    for (; n0 + kBlock <= end; n0 += kBlock) {
        double* out = y + n0;
        __m256d a[8];
        for (int r = 0; r < 8; ++r) a[r] = _mm256_loadu_pd(out + kLanes * r);
        const BlockRange range = RangeOf(n0, first, last, h.size(), kSpan);
        const double* xs = xp.data() + static_cast<std::int64_t>(n0 - first) + kSpan;
        for (std::int64_t s = range.sHi; s >= range.sLo; --s) {
            const __m256d w = _mm256_loadu_pd(h.At(s));
            const double* xi = xs - s;
            for (int r = 0; r < 8; ++r)
                a[r] = _mm256_fmadd_pd(_mm256_set1_pd(xi[kLanes * r]), w, a[r]);
        }
        for (int r = 0; r < 8; ++r) _mm256_storeu_pd(out + kLanes * r, a[r]);
    }
    return n0;
}
#endif

}  // namespace

void ConvolvePadded(const double* x, std::size_t first, std::size_t last, const PaddedResponse& h,
                    double* y, KernelBuild build) {
    if (first >= last || h.size() == 0) return;
    const std::size_t end = last + h.size() - 1;
    std::size_t done = first;
#if defined(AMIHOST_X86_KERNELS)
    if (build == KernelBuild::Best && __builtin_cpu_supports("avx512f"))
        done = ConvolvePaddedAvx512(x, first, last, h, y);
    else if (build != KernelBuild::Plain && __builtin_cpu_supports("avx2") &&
             __builtin_cpu_supports("fma"))
        done = ConvolvePaddedAvx2(x, first, last, h, y);
#else
    (void)build;
#endif
    // Elsewhere (and at the end) one output at a time, the same fused
    // operations in the same order.
    ConvolvePaddedTail(x, first, last, h, y, done, end);
}

}  // namespace amihost
