// The statistical eye's and the pulse convolution's inner loops, each built
// for AVX-512, for AVX2 with FMA and for the baseline instruction set, and
// chosen when the program loads (the padded convolution: when it is
// called). Every build does the same operations in the same order, every
// product and sum of the convolutions as one fused multiply-add (exactly
// rounded once, by the instruction or by the C library's fma on a machine
// without it), so they give the same bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace amihost {

// y[i + k] = fma(x[i], h[k], y[i + k]) for i in [first, last) with x[i] != 0
// and k in [0, hn), each y summed over i in increasing order; y holds last + hn - 1
// values.
void ConvolveAccumulate(const double* x, std::size_t first, std::size_t last, const double* h,
                        std::size_t hn, double* y);

// One fair bit of weight a > 0 levels on a distribution of n levels:
// out[k] = (p[k] + p[k - a]) / 2 for k in [0, n + a), p zero outside [0, n).
void HalfShiftAdd(const double* p, std::size_t n, std::size_t a, double* out);

// The grid halved, mass preserved: from 2m + 1 levels p, the m + 1 levels
// q[j] = (p[2j - 1] / 2 + p[2j]) + p[2j + 1] / 2 (terms outside p left out),
// the bits of splitting each odd level's mass between its two neighbours in
// increasing order.
void HalveLevels(const double* p, std::size_t m, double* q);

// A response h with zeros on both sides, so that any eight consecutive
// values h[s .. s + 8) for s in [-8, size()] can be read as one vector: what
// a convolution reads again and again (a channel's response, convolved with
// every candidate's pulse), prepared once.
class PaddedResponse {
public:
    explicit PaddedResponse(const double* h, std::size_t n);
    std::size_t size() const { return n_; }
    const double* At(std::int64_t s) const { return padded_.data() + kPad + s; }
    static constexpr std::int64_t kPad = 8;

private:
    std::size_t n_ = 0;
    std::vector<double> padded_;
};

// As ConvolveAccumulate (the same bits) with the response padded: blocks of
// outputs in registers, each vector of h read once per block and given to
// every output vector it reaches. `build` picks the instruction set (tests
// run each this machine has); one it lacks falls back to the next.
enum class KernelBuild { Best, Avx2, Plain };
void ConvolvePadded(const double* x, std::size_t first, std::size_t last, const PaddedResponse& h,
                    double* y, KernelBuild build = KernelBuild::Best);

// Whether every value is finite (no infinity, no NaN).
bool AllFinite(const double* v, std::size_t n);

// The first i with v[i] - offset the largest of all (NaN never is one), or n
// when there is none.
std::size_t FirstLargest(const double* v, std::size_t n, double offset);

}  // namespace amihost
