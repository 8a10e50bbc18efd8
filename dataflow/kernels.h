// The arithmetic of the blocks, apart from their ports, so that each rule can
// be checked on its own against an independent reference.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__GNUC__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// ---------------------------------------------------------------------------
// Block kernels: each one-token rule above applied to `count` consecutive
// tokens held in contiguous arrays, in token order, every token with exactly
// the operations of its one-token rule (no reassociation, no contraction), so
// a block of tokens gives the same bits as the same tokens one at a time.
// Vectors are two doubles wide: SSE2, which every x86 target of this project
// has, computes each lane exactly as the scalar instruction would.

#if defined(__GNUC__) && defined(__SSE2__)
#define TX_KERNEL_INLINE inline __attribute__((always_inline))
typedef double Double2 __attribute__((vector_size(16)));
TX_KERNEL_INLINE Double2 Load2(const double* p) {
    Double2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
TX_KERNEL_INLINE void Store2(double* p, Double2 v) { std::memcpy(p, &v, sizeof v); }
// A broadcast by initialiser list keeps the sign of a zero.
TX_KERNEL_INLINE Double2 Splat2(double s) { return Double2{s, s}; }
#define TX_HAVE_DOUBLE2 1
#else
#define TX_KERNEL_INLINE inline
#define TX_HAVE_DOUBLE2 0
#endif

// out[i] = in[i] * factor. `out` may be `in`.
template <class T>
void ScaleBlock(const T* in, T factor, T* out, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = in[i] * factor;
    }
}

#if TX_HAVE_DOUBLE2
template <>
inline void ScaleBlock<double>(const double* in, double factor, double* out, std::uint32_t count) {
    const Double2 f = Splat2(factor);
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Double2 a = Load2(in + i) * f;
        const Double2 b = Load2(in + i + 2) * f;
        Store2(out + i, a);
        Store2(out + i + 2, b);
    }
    for (; i < count; ++i) {
        out[i] = in[i] * factor;
    }
}
#endif

// out[i] = in[n-1][i] + (... + (in[0][i] + T{})): the sum of one Add firing.
// `out` may be any of the inputs.
template <class T>
void SumBlock(const T* const* in, std::uint32_t inputs, T* out, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        T acc{};
        for (std::uint32_t k = 0; k < inputs; ++k) {
            acc = in[k][i] + acc;
        }
        out[i] = acc;
    }
}

#if TX_HAVE_DOUBLE2
namespace detail {
// SumBlock for a fixed number of inputs, so the input loop unrolls.
template <std::uint32_t N>
void SumFixed(const double* const* in, double* out, std::uint32_t count) {
    std::uint32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        Double2 acc = Splat2(0.0);
        for (std::uint32_t k = 0; k < N; ++k) {
            acc = Load2(in[k] + i) + acc;
        }
        Store2(out + i, acc);
    }
    for (; i < count; ++i) {
        double acc = 0.0;
        for (std::uint32_t k = 0; k < N; ++k) {
            acc = in[k][i] + acc;
        }
        out[i] = acc;
    }
}
}  // namespace detail

template <>
inline void SumBlock<double>(const double* const* in, std::uint32_t inputs, double* out,
                             std::uint32_t count) {
    switch (inputs) {
        case 1:
            return detail::SumFixed<1>(in, out, count);
        case 2:
            return detail::SumFixed<2>(in, out, count);
        case 3:
            return detail::SumFixed<3>(in, out, count);
        default:
            for (std::uint32_t i = 0; i < count; ++i) {
                double acc = 0.0;
                for (std::uint32_t k = 0; k < inputs; ++k) {
                    acc = in[k][i] + acc;
                }
                out[i] = acc;
            }
    }
}
#endif

// RoundToInt of every token.
inline void RoundToIntBlock(const double* in, int* out, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = RoundToInt(in[i]);
    }
}

// Horner over a block. With double coefficients, an addition that provably
// changes no bit is skipped: adding -0.0 never changes a sum; adding +0.0
// changes only a -0.0 sum (to +0.0), and that sign is lost in the next step
// when the next coefficient is not zero (+-0 * x + c gives the same bits for
// either zero). Eight tokens advance together so that their chains overlap.
template <class T>
void HornerBlock(const T* c, std::uint32_t n, const T* in, T* out, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = Horner(c, n, in[i]);
    }
}

namespace detail {
inline bool IsNegativeZero(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits == 0x8000000000000000ull;
}
}  // namespace detail

// Which steps of Horner's rule over c[0..n) add their coefficient (bit k for
// the step of coefficient k, k = n-2 .. 0), worked out once for many blocks.
// Planned for 2 <= n <= 32 coefficients; other counts take the scalar rule.
struct HornerPlan {
    const double* c = nullptr;
    std::uint32_t n = 0;
    std::uint32_t keep = 0;
    bool planned = false;
};

inline HornerPlan PlanHorner(const double* c, std::uint32_t n) {
    HornerPlan plan;
    plan.c = c;
    plan.n = n;
    plan.planned = n >= 2 && n <= 32;
    if (plan.planned) {
        for (std::uint32_t k = 0; k + 1 < n; ++k) {
            const bool neutral =
                detail::IsNegativeZero(c[k]) || (c[k] == 0.0 && k > 0 && c[k - 1] != 0.0);
            plan.keep |= neutral ? 0u : 1u << k;
        }
    }
    return plan;
}

#if TX_HAVE_DOUBLE2
// Eight tokens of a planned Horner, their chains advancing together so that
// they overlap. `out` may be `in`.
TX_KERNEL_INLINE void HornerGroup8(const HornerPlan& plan, const double* in, double* out) {
    const double* c = plan.c;
    const Double2 top = Splat2(c[plan.n - 1]);
    const Double2 x0 = Load2(in), x1 = Load2(in + 2), x2 = Load2(in + 4), x3 = Load2(in + 6);
    Double2 a0 = top, a1 = top, a2 = top, a3 = top;
    for (std::uint32_t k = plan.n - 1; k-- > 0;) {
        a0 = a0 * x0;
        a1 = a1 * x1;
        a2 = a2 * x2;
        a3 = a3 * x3;
        if (plan.keep & (1u << k)) {
            const Double2 ck = Splat2(c[k]);
            a0 = a0 + ck;
            a1 = a1 + ck;
            a2 = a2 + ck;
            a3 = a3 + ck;
        }
    }
    Store2(out, a0);
    Store2(out + 2, a1);
    Store2(out + 4, a2);
    Store2(out + 6, a3);
}
#endif

// HornerBlock with a plan made beforehand.
inline void HornerBlock(const HornerPlan& plan, const double* in, double* out,
                        std::uint32_t count) {
    std::uint32_t i = 0;
#if TX_HAVE_DOUBLE2
    if (plan.planned) {
        for (; i + 8 <= count; i += 8) {
            HornerGroup8(plan, in + i, out + i);
        }
    }
#endif
    for (; i < count; ++i) {
        out[i] = Horner(plan.c, plan.n, in[i]);
    }
}

template <>
inline void HornerBlock<double>(const double* c, std::uint32_t n, const double* in, double* out,
                                std::uint32_t count) {
    HornerBlock(PlanHorner(c, n), in, out, count);
}

// BiquadSection over a block: `out` may be `in`.
inline void BiquadSectionBlock(const double* taps, double& delay1, double& delay2, const double* in,
                               double* out, std::uint32_t count) {
    double d1 = delay1, d2 = delay2;
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = BiquadSection(taps, d1, d2, in[i]);
    }
    delay1 = d1;
    delay2 = d2;
}

// A first-order section (N2 and D2 both zero) over a block, with the two terms
// of the second delay left out: w = x - D1*d1, y = N0*w + N1*d1. While d2 is
// finite, "- D2*d2" and "+ N2*d2" are signed zeros, and leaving them out
// changes no bit unless a shortened sum is -0.0 (subtracting a zero from u
// gives u unless u is -0.0; adding a zero to s gives s unless s is -0.0).
// Two facts make that cheap to check:
// - with N0 positive, u = -0.0 gives p = N0*u = -0.0, and s = p + N1*d1 can
//   only be -0.0 when p is; so no p of -0.0 means no shortened sum was -0.0.
//   The loop keeps the minimum of the top 16 bits of every p as a signed
//   integer: it is 0x8000 only when some p was -0.0 or a negative subnormal
//   below 2^-1026 (a false alarm, which only costs the slow path);
// - once w is not finite it stays so (x - D1*w with w infinite or NaN is
//   infinite or NaN), so a finite last w means every w, and so every d2, was.
// When a check fails, the block is computed again with the full section from
// the saved state. `out` must not overlap `in`. Returns false, touching
// nothing, when the section is not first-order or its taps are outside the
// bounds this path is kept to.
// `next(at, n)` is handed each stretch [at, at + n) of `out` once it is
// written, in order, so that a caller can work on the output while the
// recurrence runs; when the block has to be computed again, the whole block
// is handed on again, so `next` must read `out` and not write it.
template <class Next>
bool FirstOrderSectionBlock(const double* taps, double& delay1, double& delay2, const double* in,
                            double* out, std::uint32_t count, Next&& next) {
    constexpr double kMax = std::numeric_limits<double>::max();
    const double n0 = taps[0], n1 = taps[1], d1c = taps[4];
    const bool firstOrder = taps[2] == 0.0 && taps[5] == 0.0;
    const bool bounded =
        n0 >= 1e-10 && n0 <= 10.0 && std::fabs(n1) <= 10.0 && std::fabs(d1c) <= 0.999999;
    if (!firstOrder || !bounded) {
        return false;
    }
    if (std::fabs(delay1) <= kMax && std::fabs(delay2) <= kMax) {
        // Tokens go to `next` in groups of kGroup, kLag groups behind the
        // recurrence: far enough that a group's scalar stores have left the
        // store buffer before `next` reads them back as vectors.
        constexpr std::uint32_t kGroup = 8, kLag = 2;
        const std::uint32_t groups = count / kGroup;
        std::uint32_t handed = 0;
#if TX_HAVE_DOUBLE2
        // Scalar SSE operations on the low lane.
        const __m128d c = _mm_set_sd(d1c), m0 = _mm_set_sd(n0), m1 = _mm_set_sd(n1);
        __m128d w = _mm_set_sd(delay1), previous = _mm_set_sd(delay2);
        __m128i lowest = _mm_set1_epi16(0x7fff);
        const auto step = [&](std::uint32_t i) {
            const __m128d x = _mm_load_sd(in + i);
            const __m128d nextW = _mm_sub_sd(x, _mm_mul_sd(c, w));
            const __m128d p = _mm_mul_sd(m0, nextW);
            _mm_store_sd(out + i, _mm_add_sd(p, _mm_mul_sd(m1, w)));
            lowest = _mm_min_epi16(lowest, _mm_castpd_si128(p));
            previous = w;
            w = nextW;
        };
#else
        double w = delay1, previous = delay2;
        bool negativeZero = false;
        const auto step = [&](std::uint32_t i) {
            const double nextW = in[i] - d1c * w;
            const double p = n0 * nextW;
            out[i] = p + n1 * w;
            negativeZero = negativeZero | detail::IsNegativeZero(p);
            previous = w;
            w = nextW;
        };
#endif
        std::uint32_t i = 0;
        for (std::uint32_t g = 0; g < groups; ++g) {
            for (std::uint32_t j = 0; j < kGroup; ++j) {
                step(i + j);
            }
            i += kGroup;
            if (g >= kLag) {
                next(handed, kGroup);
                handed += kGroup;
            }
        }
        for (; i < count; ++i) {
            step(i);
        }
#if TX_HAVE_DOUBLE2
        const double last = _mm_cvtsd_f64(w);
        const bool exact = _mm_extract_epi16(lowest, 3) != 0x8000 && std::fabs(last) <= kMax;
        const double before = _mm_cvtsd_f64(previous);
#else
        const double last = w;
        const bool exact = !negativeZero && std::fabs(last) <= kMax;
        const double before = previous;
#endif
        if (exact) {
            delay1 = last;
            delay2 = before;
            next(handed, count - handed);
            return true;
        }
    }
    BiquadSectionBlock(taps, delay1, delay2, in, out, count);
    next(0u, count);
    return true;
}

inline bool FirstOrderSectionBlock(const double* taps, double& delay1, double& delay2,
                                   const double* in, double* out, std::uint32_t count) {
    return FirstOrderSectionBlock(taps, delay1, delay2, in, out, count,
                                  [](std::uint32_t, std::uint32_t) {});
}

}  // namespace Tarvessa::kernels
