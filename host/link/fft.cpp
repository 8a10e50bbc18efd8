#include "link/fft.h"

#include <kiss_fftr.h>

#include <kissfft.hh>
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

std::vector<double> InverseRealDouble(const std::vector<std::complex<double>>& bins,
                                      std::size_t n) {
    std::vector<std::complex<double>> full(n), out(n);
    for (std::size_t k = 0; k <= n / 2 && k < bins.size(); ++k) {
        full[k] = bins[k];
        if (k > 0 && k < n - k) full[n - k] = std::conj(bins[k]);
    }
    full[n / 2] = {full[n / 2].real(), 0.0};  // the Nyquist bin of a real signal
    full[0] = {full[0].real(), 0.0};
    kissfft<double>(n, true).transform(full.data(), out.data());
    std::vector<double> x(n);
    const double scale = 1.0 / static_cast<double>(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = out[k].real() * scale;
    return x;
}

std::vector<std::complex<double>> ForwardRealDouble(const std::vector<double>& x, std::size_t n) {
    std::vector<std::complex<double>> in(n), out(n);
    for (std::size_t k = 0; k < n && k < x.size(); ++k) in[k] = x[k];
    kissfft<double>(n, false).transform(in.data(), out.data());
    out.resize(n / 2 + 1);
    return out;
}

}  // namespace amihost
