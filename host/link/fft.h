// FFTs for the channel: a thin, owning wrapper of KissFFT's real transforms
// (single precision inside; values in and out are doubles) for the streaming
// convolution, and double-precision transforms for impulse responses and
// whole convolutions.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace amihost {

class RealFft {
public:
    explicit RealFft(std::size_t n);  // n even
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;
    std::size_t Size() const { return n_; }
    // n real samples to n/2 + 1 bins.
    void Forward(const double* time, std::vector<std::complex<double>>& bins);
    // n/2 + 1 bins to n real samples, scaled by 1/n (so Inverse(Forward(x)) = x).
    void Inverse(const std::vector<std::complex<double>>& bins, double* time);

private:
    std::size_t n_;
    void* forward_;
    void* inverse_;
    std::vector<float> realBuffer_;
    std::vector<float> complexBuffer_;  // interleaved re, im
};

// Double precision, any even n: n real samples from their n/2 + 1 bins
// (Hermitian symmetry), scaled by 1/n.
std::vector<double> InverseRealDouble(const std::vector<std::complex<double>>& bins, std::size_t n);
// Double precision: the n/2 + 1 bins of n real samples (x zero-padded to n).
std::vector<std::complex<double>> ForwardRealDouble(const std::vector<double>& x, std::size_t n);

}  // namespace amihost
