#include "link/init_filter.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "link/channel.h"
#include "link/fft.h"

namespace amihost {

namespace {

// The only non-zero sample of `v`, or v.size() when there are none or several.
std::size_t SingleSample(const std::vector<double>& v) {
    std::size_t at = v.size();
    for (std::size_t k = 0; k < v.size(); ++k) {
        if (v[k] == 0.0) continue;
        if (at != v.size()) return v.size();
        at = k;
    }
    return at;
}

constexpr int kRefinements = 2;

// Without the taps at the end below 1e-13 of the largest: nothing a
// waveform would see, and a shorter filter runs directly.
std::vector<double> Trimmed(std::vector<double> f) {
    double largest = 0;
    for (double v : f) largest = std::max(largest, std::fabs(v));
    while (f.size() > 1 && std::fabs(f.back()) <= 1e-13 * largest) f.pop_back();
    return f;
}

std::vector<double> Deconvolve(const std::vector<double>& in, const std::vector<double>& out) {
    if (in.empty() || out.empty()) return {};
    const std::size_t single = SingleSample(in);
    if (single < in.size()) {
        // A delayed, scaled unit impulse: the filter is out, moved and scaled back.
        std::vector<double> f;
        for (std::size_t k = single; k < out.size(); ++k) f.push_back(out[k] / in[single]);
        return f;
    }
    const std::size_t n = PowerOfTwoAtLeast(2 * std::max(in.size(), out.size()));
    const std::vector<std::complex<double>> X = ForwardRealDouble(in, n);
    double largest = 0;
    for (const auto& x : X) largest = std::max(largest, std::norm(x));
    if (!(largest > 0) || !std::isfinite(largest)) return {0.0};  // nothing came in
    // Tikhonov: R / X becomes R conj(X) / (|X|^2 + lambda), Y / X wherever
    // |X| is well above 1e-12 of its largest (a response computed in double
    // precision is exact that far down), fading to 0 where it is not.
    const double lambda = 1e-24 * largest;
    auto step = [&](const std::vector<double>& residual) {
        std::vector<std::complex<double>> R = ForwardRealDouble(residual, n);
        for (std::size_t k = 0; k < R.size(); ++k)
            R[k] = R[k] * std::conj(X[k]) / (std::norm(X[k]) + lambda);
        std::vector<double> d = InverseRealDouble(R, n);
        d.resize(out.size());
        return d;
    };
    // The taps kept (out.size()) cannot hold what the transform puts beyond
    // them, which matters where the channel passes nothing: refined until
    // in * f, cut to out's length, gives out back (what a waveform through
    // the channel needs).
    std::vector<double> f = step(out);
    for (int pass = 0; pass < kRefinements; ++pass) {
        const std::vector<std::complex<double>> F = ForwardRealDouble(f, n);
        std::vector<std::complex<double>> P(F.size());
        for (std::size_t k = 0; k < F.size(); ++k) P[k] = F[k] * X[k];
        const std::vector<double> made = InverseRealDouble(P, n);
        std::vector<double> residual(out.size());
        for (std::size_t k = 0; k < out.size(); ++k) residual[k] = out[k] - made[k];
        const std::vector<double> d = step(residual);
        for (std::size_t k = 0; k < f.size(); ++k) f[k] += d[k];
    }
    return f;
}

}  // namespace

std::vector<double> FilterFromInit(const std::vector<double>& in, const std::vector<double>& out) {
    return Trimmed(Deconvolve(in, out));
}

std::vector<double> ImpulseOfStep(const std::vector<double>& step, double height) {
    std::vector<double> h(step.size());
    for (std::size_t k = 0; k < step.size(); ++k)
        h[k] = (step[k] - (k > 0 ? step[k - 1] : 0.0)) / height;
    return h;
}

LinearFilter::LinearFilter(std::vector<double> taps) : taps_(std::move(taps)) {
    if (taps_.empty()) taps_.push_back(0.0);
    if (taps_.size() <= kDirectTaps) {
        history_.assign(taps_.size() - 1, 0.0);
        return;
    }
    fft_ = std::make_unique<Convolver>(taps_, [this](const double* y, std::size_t count) {
        std::copy_n(y, count, out_);
        out_ += count;
    });
}

LinearFilter::~LinearFilter() = default;

void LinearFilter::Apply(double* x, std::size_t n) {
    if (fft_) {
        // Every block whole at once: pushed, then finished.
        work_.assign(x, x + n);
        out_ = x;
        fft_->Push(work_.data(), n);
        fft_->Finish();
        return;
    }
    const std::size_t m = taps_.size();
    work_.resize(m - 1 + n);
    std::copy(history_.begin(), history_.end(), work_.begin());
    std::copy_n(x, n, work_.begin() + static_cast<long>(m - 1));
    for (std::size_t j = 0; j < n; ++j) {
        // work_[m - 1 + j] is x[j]; tap k meets x[j - k].
        const double* w = &work_[m - 1 + j];
        double y = 0;
        for (std::size_t k = 0; k < m; ++k) y = std::fma(taps_[k], *(w - k), y);
        x[j] = y;
    }
    std::copy(work_.end() - static_cast<long>(m - 1), work_.end(), history_.begin());
}

}  // namespace amihost
