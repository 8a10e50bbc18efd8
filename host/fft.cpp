#include "fft.h"

#include <kiss_fftr.h>

#include <new>
#include <stdexcept>

namespace amihost {

RealFft::RealFft(std::size_t n)
    : n_(n),
      forward_(kiss_fftr_alloc(static_cast<int>(n), 0, nullptr, nullptr)),
      inverse_(kiss_fftr_alloc(static_cast<int>(n), 1, nullptr, nullptr)),
      realBuffer_(n),
      complexBuffer_(2 * (n / 2 + 1)) {
    if (n % 2 != 0 || forward_ == nullptr || inverse_ == nullptr) {
        kiss_fftr_free(forward_);
        kiss_fftr_free(inverse_);
        throw std::bad_alloc();
    }
}

RealFft::~RealFft() {
    kiss_fftr_free(forward_);
    kiss_fftr_free(inverse_);
}

void RealFft::Forward(const double* time, std::vector<std::complex<double>>& bins) {
    for (std::size_t k = 0; k < n_; ++k) realBuffer_[k] = static_cast<float>(time[k]);
    auto* out = reinterpret_cast<kiss_fft_cpx*>(complexBuffer_.data());
    kiss_fftr(static_cast<kiss_fftr_cfg>(forward_), realBuffer_.data(), out);
    bins.resize(n_ / 2 + 1);
    for (std::size_t k = 0; k < bins.size(); ++k) bins[k] = {out[k].r, out[k].i};
}

void RealFft::Inverse(const std::vector<std::complex<double>>& bins, double* time) {
    auto* in = reinterpret_cast<kiss_fft_cpx*>(complexBuffer_.data());
    for (std::size_t k = 0; k < n_ / 2 + 1; ++k) {
        in[k].r = static_cast<float>(bins[k].real());
        in[k].i = static_cast<float>(bins[k].imag());
    }
    kiss_fftri(static_cast<kiss_fftr_cfg>(inverse_), in, realBuffer_.data());
    const double scale = 1.0 / static_cast<double>(n_);
    for (std::size_t k = 0; k < n_; ++k) time[k] = realBuffer_[k] * scale;
}

}  // namespace amihost
