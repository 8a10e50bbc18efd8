// Real FFTs for the channel: a thin, owning wrapper of KissFFT's real
// transforms (single precision inside; values in and out are doubles).
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

}  // namespace amihost
