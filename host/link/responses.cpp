#include "link/responses.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "link/fft.h"
#include "link/inner_loops.h"

namespace amihost {

Cursors PulseCursors(const std::vector<double>& y, double baseline, int N, int pre, int post,
                     std::size_t from) {
    Cursors c;
    if (y.empty() || N <= 0 || from >= y.size()) return c;
    const std::size_t peak = from + FirstLargest(y.data() + from, y.size() - from, baseline);
    if (peak >= y.size() || !(y[peak] - baseline > -std::numeric_limits<double>::infinity()))
        return c;
    c.peakIndex = static_cast<int>(peak);
    c.first = -pre;
    for (int k = -pre; k <= post; ++k) {
        const long at = c.peakIndex + static_cast<long>(k) * N;
        c.values.push_back(at >= 0 && at < static_cast<long>(y.size())
                               ? y[static_cast<std::size_t>(at)] - baseline
                               : 0.0);
    }
    return c;
}

std::optional<double> RiseTime2080(const std::vector<double>& y, std::size_t start,
                                   std::size_t window, double* low, double* high,
                                   std::optional<double> settled, double* t20At, double* t80At) {
    if (start == 0 || start >= y.size()) return std::nullopt;
    const std::size_t from = window == 0 || window > start ? 0 : start - window;
    double before = 0;
    for (std::size_t k = from; k < start; ++k) before += y[k];
    before /= static_cast<double>(start - from);
    const double after = settled ? *settled : y.back();
    if (low) *low = before;
    if (high) *high = after;
    const double span = after - before;
    if (!(span != 0) || !std::isfinite(span)) return std::nullopt;
    const double sign = span > 0 ? 1 : -1;
    auto crossing = [&](double fraction) {
        const double level = before + fraction * span;
        if ((y[start] - level) * sign >= 0) return static_cast<double>(start);
        for (std::size_t k = start; k + 1 < y.size(); ++k) {
            const double a = (y[k] - level) * sign, b = (y[k + 1] - level) * sign;
            if (a < 0 && b >= 0) return static_cast<double>(k) + a / (a - b);
        }
        return -1.0;
    };
    const double t20 = crossing(0.2), t80 = crossing(0.8);
    if (t20 < 0 || t80 < 0) return std::nullopt;
    if (t20At) *t20At = t20;
    if (t80At) *t80At = t80;
    return t80 - t20;
}

void AlignPulse(const std::vector<double>& pulse, double baseline, std::size_t start, int N,
                Cursors& cursors, std::int64_t& delay) {
    delay = 0;
    cursors = Cursors{};
    if (start >= pulse.size()) return;
    cursors = PulseCursors(pulse, baseline, N, 2, 5, start);
    if (cursors.peakIndex < 0) return;
    // The middle of the pulse at half its height (where a slow output stage
    // leaves the eye most open), from the start of the bit.
    const auto peak = static_cast<std::size_t>(cursors.peakIndex);
    const double half = 0.5 * (pulse[peak] - baseline);
    std::size_t up = peak, down = peak;
    while (up > start && pulse[up - 1] - baseline > half) --up;
    while (down + 1 < pulse.size() && pulse[down + 1] - baseline > half) ++down;
    delay = static_cast<std::int64_t>((up + down + 1) / 2) - static_cast<std::int64_t>(start);
}

namespace {

bool AllFinite(const std::vector<double>& v) { return amihost::AllFinite(v.data(), v.size()); }

// The rise time, cursors, delay and statistical eye of responses whose
// pulse, step and levels are set.
void Complete(ProbeResponses& r, int N, const StatEyeOptions& options) {
    if (!AllFinite(r.pulse) || !AllFinite(r.step) || !std::isfinite(r.low) ||
        !std::isfinite(r.high)) {
        r.note = "the responses hold values that are not finite";
        return;
    }
    double low = 0, high = 0;
    // From the level before the step to the probe's settled level: the same
    // definition at every probe, whatever the length of its runs.
    r.riseSamples = RiseTime2080(r.step, r.start, static_cast<std::size_t>(N), &low, &high,
                                 r.high - r.low, &r.rise20, &r.rise80);
    AlignPulse(r.pulse, 0.0, r.start, N, r.cursors, r.delaySamples);
    if (r.cursors.peakIndex < 0) {
        r.note = "no pulse response";
        return;
    }
    // The statistical eye's unit interval is centred where the eye's is: on
    // the middle of the pulse at half its height.
    if (options.enabled)
        r.stat = ComputeStatEye(r.pulse, r.low, N,
                                static_cast<std::int64_t>(r.start) + r.delaySamples, options);
    r.ok = true;
}

}  // namespace

ProbeResponses AnalyseResponses(const std::vector<double>& zeros, const std::vector<double>& pulse,
                                const std::vector<double>& step, std::size_t start, int N,
                                const StatEyeOptions& options) {
    ProbeResponses r;
    r.start = start;
    if (N <= 0 || start == 0 || zeros.size() <= start || pulse.size() != zeros.size() ||
        step.size() != zeros.size()) {
        r.note = "the response runs are too short";
        return r;
    }
    r.pulse.resize(zeros.size());
    r.step.resize(zeros.size());
    for (std::size_t k = 0; k < zeros.size(); ++k) {
        // Before the bit the runs are the same run: any difference there is
        // the model's own (not deterministic), and it is kept.
        r.pulse[k] = pulse[k] - zeros[k];
        r.step[k] = step[k] - zeros[k];
    }
    r.low = zeros.back();
    r.high = step.back();
    Complete(r, N, options);
    return r;
}

std::vector<double> ConvolveFull(const std::vector<double>& x, const std::vector<double>& h,
                                 const PaddedResponse* padded) {
    if (x.empty() || h.empty()) return {};
    const std::size_t out = x.size() + h.size() - 1;
    std::vector<double> y(out, 0.0);
    // The stretch of x worth convolving: its first and last values above
    // 1e-17 of its largest (what is left out is below a double's rounding).
    double peak = 0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    if (peak == 0) return y;
    std::size_t first = 0, last = x.size();
    while (first < last && std::fabs(x[first]) <= 1e-17 * peak) ++first;
    while (last > first && std::fabs(x[last - 1]) <= 1e-17 * peak) --last;
    const double direct = static_cast<double>(last - first) * static_cast<double>(h.size());
    std::size_t n = 1;
    while (n < out) n <<= 1;
    const double fft = 3.0 * 8.0 * static_cast<double>(n) * std::log2(static_cast<double>(n));
    if (direct <= fft) {
        // Padding h costs far less than the convolution gains by it.
        if (padded != nullptr && padded->size() == h.size()) {
            ConvolvePadded(x.data(), first, last, *padded, y.data());
        } else {
            const PaddedResponse local(h.data(), h.size());
            ConvolvePadded(x.data(), first, last, local, y.data());
        }
        return y;
    }
    std::vector<std::complex<double>> X = ForwardRealDouble(x, n);
    const std::vector<std::complex<double>> H = ForwardRealDouble(h, n);
    for (std::size_t k = 0; k < X.size(); ++k) X[k] *= H[k];
    std::vector<double> full = InverseRealDouble(X, n);
    std::copy(full.begin(), full.begin() + static_cast<long>(out), y.begin());
    return y;
}

ProbeResponses ThroughChannel(const ProbeResponses& in, const std::vector<double>& h, double dcGain,
                              int N, const StatEyeOptions& options, bool withStep,
                              const PaddedResponse* padded) {
    ProbeResponses r;
    r.start = in.start;
    // A value of h that is not finite reaches the pulse through the channel
    // through every sample of the pulse that is not zero: h is checked first
    // only when there is none, and otherwise only when the pulse is found
    // not finite.
    const bool anyPulse =
        std::any_of(in.pulse.begin(), in.pulse.end(), [](double v) { return v != 0; });
    const char* badChannel = "the channel's response is not finite";
    if (!in.ok || h.empty() || (!anyPulse && !AllFinite(h)) || !std::isfinite(dcGain)) {
        r.note = in.ok ? badChannel : in.note;
        return r;
    }
    r.pulse = ConvolveFull(in.pulse, h, padded);
    if (withStep) {
        // The step beyond the end of its run: settled at its last value.
        const std::size_t length = r.pulse.size();
        const double settled = in.step.back();
        std::vector<double> transient(in.step.size());
        for (std::size_t k = 0; k < in.step.size(); ++k)
            transient[k] = in.step[k] - (k >= in.start ? settled : 0.0);
        r.step = ConvolveFull(transient, h);
        r.step.resize(length, 0.0);
        double cumulative = 0;
        for (std::size_t k = in.start; k < length; ++k) {
            const std::size_t j = k - in.start;
            if (j < h.size()) cumulative += h[j];
            r.step[k] += settled * cumulative;
        }
    }
    r.low = in.low * dcGain;
    r.high = in.high * dcGain;
    Complete(r, N, options);
    if (!r.ok && !AllFinite(h)) {
        r = ProbeResponses{};
        r.start = in.start;
        r.note = badChannel;
    }
    return r;
}

ResponseInputs InputsFrom(const ProbeResponses& r, std::size_t length) {
    ResponseInputs in;
    in.zeros.assign(length, r.low);
    in.pulse.assign(length, r.low);
    in.step.assign(length, r.low);
    // Past the end of the step response: its settled level (what a
    // response cut short would still creep towards).
    for (std::size_t k = 0; k < length; ++k) {
        in.pulse[k] += k < r.pulse.size() ? r.pulse[k] : 0.0;
        in.step[k] += k < r.step.size() ? r.step[k] : r.high - r.low;
    }
    return in;
}

}  // namespace amihost
