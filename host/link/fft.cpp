#include "link/fft.h"

#define POCKETFFT_NO_MULTITHREADING
#include <pocketfft_hdronly.h>

#include <algorithm>

#include "link/memory.h"

namespace amihost {

std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

struct RealFft::Plan {
    explicit Plan(std::size_t n) : fft(n) {}
    pocketfft::detail::pocketfft_r<float> fft;
};

RealFft::RealFft(std::size_t n) : n_(n), plan_(std::make_unique<Plan>(n)) {}

RealFft::~RealFft() = default;

void RealFft::Forward(float* data) const { plan_->fft.exec(data, 1.0f, true); }

void RealFft::Inverse(float* data) const {
    plan_->fft.exec(data, 1.0f / static_cast<float>(n_), false);
}

void MultiplyPacked(float* a, const float* b, std::size_t n) {
    a[0] *= b[0];
    for (std::size_t k = 1; k + 1 < n; k += 2) {
        const float re = a[k] * b[k] - a[k + 1] * b[k + 1];
        const float im = a[k] * b[k + 1] + a[k + 1] * b[k];
        a[k] = re;
        a[k + 1] = im;
    }
    if (n % 2 == 0) a[n - 1] *= b[n - 1];
}

std::vector<double> InverseRealDouble(const std::vector<std::complex<double>>& bins,
                                      std::size_t n) {
    // Packed: r0, r1, i1, ..., r(n/2); the imaginary parts of bins 0 and n/2
    // of a real signal are zero.
    std::vector<double> x;
    ReserveLarge(x, n);
    x.assign(n, 0.0);
    if (n == 0) return x;
    if (!bins.empty()) x[0] = bins[0].real();
    for (std::size_t k = 1; k < (n + 1) / 2 && k < bins.size(); ++k) {
        x[2 * k - 1] = bins[k].real();
        x[2 * k] = bins[k].imag();
    }
    if (n % 2 == 0 && n / 2 < bins.size() && n >= 2) x[n - 1] = bins[n / 2].real();
    pocketfft::detail::pocketfft_r<double>(n).exec(x.data(), 1.0 / static_cast<double>(n), false);
    return x;
}

std::vector<std::complex<double>> ForwardRealDouble(const std::vector<double>& x, std::size_t n) {
    std::vector<double> packed(n, 0.0);
    std::copy_n(x.begin(), std::min(n, x.size()), packed.begin());
    std::vector<std::complex<double>> bins(n / 2 + 1);
    if (n == 0) return bins;
    pocketfft::detail::pocketfft_r<double>(n).exec(packed.data(), 1.0, true);
    bins[0] = {packed[0], 0.0};
    for (std::size_t k = 1; k < (n + 1) / 2; ++k) bins[k] = {packed[2 * k - 1], packed[2 * k]};
    if (n % 2 == 0 && n >= 2) bins[n / 2] = {packed[n - 1], 0.0};
    return bins;
}

}  // namespace amihost
