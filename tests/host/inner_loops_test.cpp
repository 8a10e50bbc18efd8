// The vectorised inner loops against plain loops written from their
// definitions: the same bits, whatever instruction set the machine picks.
#include "link/inner_loops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace amihost;

namespace {

std::vector<double> Random(std::size_t n, std::mt19937& rng, double zeros = 0.0) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v) x = u(rng) < zeros ? 0.0 : u(rng) * 2 - 0.5;
    return v;
}

TEST(Kernels, should_convolve_to_the_same_bits_as_the_plain_double_loop) {
    std::mt19937 rng(11);
    for (std::size_t hn : {1u, 7u, 2047u, 2048u, 2049u, 5000u}) {
        for (std::size_t xn : {1u, 3u, 40u, 300u}) {
            const std::vector<double> x = Random(xn, rng, 0.2), h = Random(hn, rng);
            for (std::size_t first : {std::size_t{0}, xn / 3}) {
                const std::size_t last = xn - xn / 4;
                std::vector<double> want(xn + hn - 1, 0.0), got(want.size(), 0.0);
                for (std::size_t i = first; i < last; ++i) {
                    if (x[i] == 0) continue;
                    for (std::size_t k = 0; k < hn; ++k)
                        want[i + k] = std::fma(x[i], h[k], want[i + k]);
                }
                ConvolveAccumulate(x.data(), first, last, h.data(), hn, got.data());
                ASSERT_EQ(got, want) << "h " << hn << " x " << xn << " from " << first;
                // And within the rounding of its terms of the exact sum (in
                // long double): at most one rounding per term, 2^-53 of the
                // sum of their magnitudes each.
                for (std::size_t n = 0; n < want.size(); ++n) {
                    long double exact = 0, magnitude = 0;
                    std::size_t terms = 0;
                    for (std::size_t i = first; i < last && i <= n; ++i)
                        if (n - i < hn) {
                            exact += static_cast<long double>(x[i]) * h[n - i];
                            magnitude += std::fabs(static_cast<long double>(x[i]) * h[n - i]);
                            ++terms;
                        }
                    const long double bound =
                        magnitude * static_cast<long double>(terms) * 0x1p-53L;
                    ASSERT_LE(std::fabs(static_cast<long double>(got[n]) - exact), bound)
                        << "output " << n;
                }
            }
        }
    }
}

TEST(Kernels, should_convolve_with_a_padded_response_to_the_same_bits) {
    // Against the plain loop and the unpadded kernel, in every build this
    // machine has: responses shorter and longer than a block, pulses that
    // start anywhere, outputs that already hold values.
    std::mt19937 rng(15);
    for (std::size_t hn : {1u, 5u, 8u, 31u, 64u, 65u, 200u, 4099u}) {
        const std::vector<double> h = Random(hn, rng);
        const PaddedResponse padded(h.data(), hn);
        ASSERT_EQ(padded.size(), hn);
        for (std::int64_t s = -PaddedResponse::kPad; s <= static_cast<std::int64_t>(hn); ++s)
            for (std::int64_t j = 0; j < 8; ++j) {
                const std::int64_t k = s + j;
                ASSERT_EQ(padded.At(s)[j],
                          k >= 0 && k < static_cast<std::int64_t>(hn) ? h[k] : 0.0);
            }
        for (std::size_t xn : {1u, 2u, 9u, 70u, 161u}) {
            const std::vector<double> x = Random(xn, rng, 0.1);
            for (std::size_t first : {std::size_t{0}, xn / 2}) {
                const std::size_t last = xn - xn / 5;
                if (first >= last) continue;
                std::vector<double> start(xn + hn - 1, 0.0);
                for (std::size_t k = 0; k < start.size(); k += 3) start[k] = 0.25 * double(k % 7);
                std::vector<double> want = start, plain = start;
                for (std::size_t i = first; i < last; ++i)
                    for (std::size_t k = 0; k < hn; ++k)
                        want[i + k] = std::fma(x[i], h[k], want[i + k]);
                ConvolveAccumulate(x.data(), first, last, h.data(), hn, plain.data());
                ASSERT_EQ(plain, want) << "h " << hn << " x " << xn << " from " << first;
                for (KernelBuild build :
                     {KernelBuild::Best, KernelBuild::Avx2, KernelBuild::Plain}) {
                    std::vector<double> got = start;
                    ConvolvePadded(x.data(), first, last, padded, got.data(), build);
                    ASSERT_EQ(got, want) << "h " << hn << " x " << xn << " from " << first
                                         << " build " << static_cast<int>(build);
                }
            }
        }
    }
}

TEST(Kernels, should_add_a_fair_bit_and_halve_the_grid_as_the_definitions_say) {
    std::mt19937 rng(12);
    for (std::size_t n : {1u, 2u, 5u, 64u, 1001u}) {
        const std::vector<double> p = Random(n, rng, 0.3);
        auto at = [&](std::size_t k, std::size_t shift) {
            return k >= shift && k - shift < n ? p[k - shift] : 0.0;
        };
        for (std::size_t a : {1u, 2u, 3u, 63u, 64u, 65u, 2000u}) {
            std::vector<double> want(n + a), got(n + a);
            for (std::size_t k = 0; k < n + a; ++k) {
                const bool x = k < n, y = k >= a && k - a < n;
                want[k] = x && y ? 0.5 * (at(k, 0) + at(k, a))
                          : x    ? 0.5 * at(k, 0)
                          : y    ? 0.5 * at(k, a)
                                 : 0.0;
            }
            HalfShiftAdd(p.data(), n, a, got.data());
            ASSERT_EQ(got, want) << "n " << n << " a " << a;
        }
        if (n % 2 == 1) {
            // Each odd level's mass split between its neighbours, in order.
            const std::size_t m = n / 2;
            std::vector<double> want(m + 1, 0.0), got(m + 1);
            for (std::size_t j = 0; 2 * j < n; ++j) {
                want[j] += p[2 * j];
                if (2 * j + 1 < n) {
                    want[j] += 0.5 * p[2 * j + 1];
                    want[j + 1] += 0.5 * p[2 * j + 1];
                }
            }
            HalveLevels(p.data(), m, got.data());
            ASSERT_EQ(got, want) << "n " << n;
        }
    }
}

TEST(Kernels, should_spread_each_level_by_a_kernel_as_the_plain_loop) {
    std::mt19937 rng(13);
    for (std::size_t n : {1u, 9u, 700u}) {
        for (std::size_t gn : {1u, 2u, 33u, 129u}) {
            const std::vector<double> p = Random(n, rng, 0.4), g = Random(gn, rng);
            std::vector<double> want(n + gn - 1, 0.0), got(want.size(), 0.0);
            for (std::size_t i = 0; i < n; ++i) {
                if (p[i] == 0) continue;
                for (std::size_t j = 0; j < gn; ++j)
                    want[i + j] = std::fma(p[i], g[j], want[i + j]);
            }
            ConvolveAccumulate(p.data(), 0, n, g.data(), gn, got.data());
            ASSERT_EQ(got, want) << "n " << n << " g " << gn;
        }
    }
}

TEST(Kernels, should_find_the_first_largest_value_as_a_plain_scan) {
    std::mt19937 rng(14);
    constexpr double inf = std::numeric_limits<double>::infinity();
    auto plain = [](const std::vector<double>& v, double offset) {
        std::size_t at = v.size();
        double best = -inf;
        for (std::size_t i = 0; i < v.size(); ++i)
            if (v[i] - offset > best) best = v[i] - offset, at = i;
        return at;
    };
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 100u, 66000u}) {
        std::vector<double> v = Random(n, rng, 0.5);
        for (double offset : {0.0, 0.25})
            EXPECT_EQ(FirstLargest(v.data(), n, offset), plain(v, offset));
        if (n < 9) continue;
        // Ties go to the first; NaN is never the largest; an infinity is.
        v[n / 2] = v[n - 1] = 2.0;
        EXPECT_EQ(FirstLargest(v.data(), n, 0.0), n / 2);
        v[0] = std::numeric_limits<double>::quiet_NaN();
        v[n - 3] = 2.0;
        EXPECT_EQ(FirstLargest(v.data(), n, 0.0), n / 2);
        v[n - 2] = inf;
        EXPECT_EQ(FirstLargest(v.data(), n, 0.0), n - 2);
    }
    const std::vector<double> nothing(5, -inf),
        noNumbers(12, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(FirstLargest(nothing.data(), 5, 0.0), 0u);  // -inf itself: the caller's to refuse
    EXPECT_EQ(FirstLargest(noNumbers.data(), 12, 0.0), 12u);
}

}  // namespace

TEST(Kernels, should_find_any_value_that_is_not_finite_wherever_it_lies) {
    std::vector<double> v(1000, 1.5);
    EXPECT_TRUE(AllFinite(v.data(), v.size()));
    EXPECT_TRUE(AllFinite(v.data(), 0));
    v[3] = std::numeric_limits<double>::max();
    v[4] = -std::numeric_limits<double>::denorm_min();
    EXPECT_TRUE(AllFinite(v.data(), v.size()));
    for (double bad :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()})
        for (std::size_t at : {std::size_t{0}, std::size_t{7}, std::size_t{999}}) {
            std::vector<double> w = v;
            w[at] = bad;
            EXPECT_FALSE(AllFinite(w.data(), w.size())) << bad << " at " << at;
            EXPECT_TRUE(AllFinite(w.data(), at)) << "before " << at;
        }
}
