// FFTs for the channel, over the vendored header-only pocketfft: a single
// precision real transform in place for the streaming convolution, and
// double-precision transforms for impulse responses and whole convolutions.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace amihost {

// The least power of two at or above n (1 for 0).
std::size_t PowerOfTwoAtLeast(std::size_t n);

// A real transform of n points (n even) in place, in the packed order
// r0, r1, i1, r2, i2, ..., r(n/2): the n/2 + 1 bins of a real signal in n
// numbers (the imaginary parts of bins 0 and n/2 are zero and left out).
class RealFft {
public:
    explicit RealFft(std::size_t n);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;
    std::size_t Size() const { return n_; }
    void Forward(float* data) const;
    // Scaled by 1/n, so that Inverse(Forward(x)) = x.
    void Inverse(float* data) const;

private:
    struct Plan;
    std::size_t n_;
    std::unique_ptr<Plan> plan_;
};

// a *= b, bin by bin, for two packed spectra of n points.
void MultiplyPacked(float* a, const float* b, std::size_t n);

// Double precision, any even n: n real samples from their n/2 + 1 bins
// (Hermitian symmetry), scaled by 1/n.
std::vector<double> InverseRealDouble(const std::vector<std::complex<double>>& bins, std::size_t n);
// Double precision: the n/2 + 1 bins of n real samples (x zero-padded to n).
std::vector<std::complex<double>> ForwardRealDouble(const std::vector<double>& x, std::size_t n);

}  // namespace amihost
