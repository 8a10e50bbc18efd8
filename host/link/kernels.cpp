#include "link/kernels.h"

#include <algorithm>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
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
    // level cache while every x[i] passes over it.
    constexpr std::size_t kTile = 2048;
    const std::size_t end = last + hn - 1;
    for (std::size_t n0 = first; n0 < end; n0 += kTile) {
        const std::size_t n1 = std::min(end, n0 + kTile);
        for (std::size_t i = first; i < last && i < n1; ++i) {
            const double v = x[i];
            if (v == 0) continue;
            // k = n - i over n in [n0, n1), within [0, hn).
            const std::size_t k0 = n0 > i ? n0 - i : 0;
            const std::size_t k1 = std::min(hn, n1 - i);
            if (k0 >= k1) continue;
            double* target = y + i;
            for (std::size_t k = k0; k < k1; ++k) target[k] += v * h[k];
        }
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
void ConvolveSparse(const double* p, std::size_t n, const double* g, std::size_t gn, double* q) {
    for (std::size_t i = 0; i < n; ++i) {
        const double m = p[i];
        if (m == 0) continue;
        double* target = q + i;
        for (std::size_t j = 0; j < gn; ++j) target[j] += m * g[j];
    }
}

}  // namespace amihost
