#include "metrics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace amihost {

namespace {
constexpr int kBinsPerSample = 64;
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

EyeAccumulator::EyeAccumulator(int N, std::uint64_t skip, std::size_t calibration)
    : N_(N > 0 ? N : 1), skip_(skip), calibration_(std::max<std::size_t>(calibration, 1)) {
    const auto n = static_cast<std::size_t>(N_);
    minOne_.assign(n, kInf);
    maxZero_.assign(n, -kInf);
    sumOne_.assign(n, 0);
    sumZero_.assign(n, 0);
    ones_.assign(n, 0);
    zeros_.assign(n, 0);
    binMin_.assign(n * kBinsPerSample, kInf);
    binMax_.assign(n * kBinsPerSample, -kInf);
}

void EyeAccumulator::TrackDensity(int width, int height) {
    trackDensity_ = width > 0 && height > 0;
    density_.width = width;
    density_.height = height;
    density_.hits.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

void EyeAccumulator::Add(const double* y, std::size_t n, std::uint64_t at) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t k = at + i;
        if (k < skip_) continue;
        if (!calibrated_) {
            if (pending_.empty()) pendingStart_ = k;
            pending_.push_back(y[i]);
            if (pending_.size() >= calibration_) Calibrate();
            continue;
        }
        Process(y[i], k);
    }
}

void EyeAccumulator::Calibrate() {
    calibrated_ = true;
    if (pending_.empty()) return;
    const auto [lo, hi] = std::minmax_element(pending_.begin(), pending_.end());
    lo_ = *lo;
    hi_ = *hi;
    // Two-level split: halfway between the medians of the samples above and
    // below the mean. Medians ignore the few samples on the edges, so a
    // symmetric waveform gets a threshold exactly in its middle.
    double mean = 0;
    for (double v : pending_) mean += v;
    mean /= static_cast<double>(pending_.size());
    std::vector<double> upper, lower;
    for (double v : pending_) (v >= mean ? upper : lower).push_back(v);
    auto median = [](std::vector<double>& v) {
        const auto mid = v.begin() + static_cast<long>(v.size() / 2);
        std::nth_element(v.begin(), mid, v.end());
        return *mid;
    };
    threshold_ = upper.empty() || lower.empty() ? mean : 0.5 * (median(upper) + median(lower));
    const double margin = std::max(0.12 * (hi_ - lo_), 1e-6);
    density_.v0 = lo_ - margin;
    density_.v1 = hi_ + margin;
    const std::vector<double> samples = std::move(pending_);
    pending_.clear();
    for (std::size_t i = 0; i < samples.size(); ++i) Process(samples[i], pendingStart_ + i);
}

void EyeAccumulator::Process(double v, std::uint64_t k) {
    const auto N = static_cast<std::uint64_t>(N_);
    const auto p = static_cast<std::size_t>(k % N);
    lo_ = std::min(lo_, v);
    hi_ = std::max(hi_, v);
    if (v >= threshold_) {
        minOne_[p] = std::min(minOne_[p], v);
        sumOne_[p] += v;
        ++ones_[p];
    } else {
        maxZero_[p] = std::max(maxZero_[p], v);
        sumZero_[p] += v;
        ++zeros_[p];
    }
    if (haveLast_) {
        const double a = last_ - threshold_, b = v - threshold_;
        if ((a < 0) != (b < 0)) {
            // Crossing phase within the unit interval, by linear interpolation.
            const double phase = static_cast<double>((k - 1) % N) + a / (a - b);
            const double wrapped =
                phase >= static_cast<double>(N) ? phase - static_cast<double>(N) : phase;
            auto bin = static_cast<std::size_t>(wrapped * kBinsPerSample);
            bin = std::min(bin, binMin_.size() - 1);
            binMin_[bin] = std::min(binMin_[bin], wrapped);
            binMax_[bin] = std::max(binMax_[bin], wrapped);
            ++crossings_;
        }
        if (trackDensity_) {
            // The segment from the previous sample, in sub-steps, at positions
            // modulo two unit intervals.
            const int w = density_.width, h = density_.height;
            const double span = 2.0 * N_;
            // Enough sub-steps that neither a slow nor a steep segment leaves gaps.
            const double rise = std::fabs(v - last_) / (density_.v1 - density_.v0) * h;
            const int sub = std::max(
                2, 2 * static_cast<int>(std::ceil(std::max(rise, static_cast<double>(w) / span))));
            const double start = static_cast<double>((k - 1) % (2 * N));
            for (int s = 0; s < sub; ++s) {
                const double f = static_cast<double>(s) / sub;
                const double value = last_ + f * (v - last_);
                const int px = static_cast<int>((start + f) / span * w) % w;
                const int py =
                    static_cast<int>((density_.v1 - value) / (density_.v1 - density_.v0) * h);
                if (py >= 0 && py < h) ++density_.hits[static_cast<std::size_t>(py * w + px)];
            }
        }
    }
    last_ = v;
    haveLast_ = true;
}

EyeMetrics EyeAccumulator::Finish() {
    if (!calibrated_) Calibrate();
    EyeMetrics m;
    m.threshold = threshold_;
    m.peakToPeak = hi_ - lo_;
    m.crossings = crossings_;
    double best = -kInf;
    for (std::size_t p = 0; p < ones_.size(); ++p) {
        if (ones_[p] == 0 || zeros_[p] == 0) continue;
        const double h = minOne_[p] - maxZero_[p];
        if (h > best) {
            best = h;
            m.bestPhase = static_cast<int>(p);
        }
    }
    if (best == -kInf) return m;
    const auto bp = static_cast<std::size_t>(m.bestPhase);
    m.height = std::max(best, 0.0);
    m.highLevel = sumOne_[bp] / static_cast<double>(ones_[bp]);
    m.lowLevel = sumZero_[bp] / static_cast<double>(zeros_[bp]);
    // Crossings relative to the edge half a unit interval from the best phase,
    // wrapped to [-0.5, 0.5) UI; the eye is what their spread leaves open.
    double earliest = kInf, latest = -kInf;
    for (std::size_t b = 0; b < binMin_.size(); ++b) {
        if (binMin_[b] == kInf) continue;
        for (double phase : {binMin_[b], binMax_[b]}) {
            double e = (phase - m.bestPhase) / N_ - 0.5;
            e -= std::floor(e + 0.5);
            earliest = std::min(earliest, e);
            latest = std::max(latest, e);
        }
    }
    m.widthUi = crossings_ == 0 ? 1.0 : std::max(0.0, 1.0 - (latest - earliest));
    if (m.height <= 0) m.widthUi = 0.0;
    // The eye's middle lies half a unit interval from the middle of the edges.
    const double edge = crossings_ == 0 ? 0.0 : 0.5 * (earliest + latest);
    m.centrePhase = std::fmod(m.bestPhase + (edge + 1.0) * N_, static_cast<double>(N_));
    // Among phases as open as the best (a flat-topped eye), sample nearest the middle.
    const double tie = 1e-9 * std::max(m.peakToPeak, 1e-300);
    double nearest = kInf;
    for (std::size_t p = 0; p < ones_.size(); ++p) {
        if (ones_[p] == 0 || zeros_[p] == 0 || minOne_[p] - maxZero_[p] < best - tie) continue;
        double d = std::fabs(static_cast<double>(p) - m.centrePhase);
        d = std::min(d, N_ - d);
        if (d < nearest) {
            nearest = d;
            m.bestPhase = static_cast<int>(p);
        }
    }
    const auto chosen = static_cast<std::size_t>(m.bestPhase);
    m.height = std::max(minOne_[chosen] - maxZero_[chosen], 0.0);
    m.highLevel = sumOne_[chosen] / static_cast<double>(ones_[chosen]);
    m.lowLevel = sumZero_[chosen] / static_cast<double>(zeros_[chosen]);
    m.valid = true;
    return m;
}

EyeMetrics MeasureEye(const std::vector<double>& y, int N, std::size_t skip) {
    EyeAccumulator eye(N, skip, y.size());
    eye.Add(y.data(), y.size(), 0);
    return eye.Finish();
}

double RiseTime2080(const std::vector<double>& y, std::size_t start, std::size_t window,
                    double* low, double* high) {
    if (start == 0 || start >= y.size()) return -1;
    const std::size_t from = window == 0 || window > start ? 0 : start - window;
    double before = 0;
    for (std::size_t k = from; k < start; ++k) before += y[k];
    before /= static_cast<double>(start - from);
    const double after = y.back();
    if (low) *low = before;
    if (high) *high = after;
    const double span = after - before;
    if (span == 0) return -1;
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
    if (t20 < 0 || t80 < 0) return -1;
    return t80 - t20;
}

Cursors PulseCursors(const std::vector<double>& y, double baseline, int N, int pre, int post) {
    Cursors c;
    if (y.empty() || N <= 0) return c;
    double peak = -1;
    for (std::size_t k = 0; k < y.size(); ++k) {
        if (std::fabs(y[k] - baseline) > peak) {
            peak = std::fabs(y[k] - baseline);
            c.peakIndex = static_cast<int>(k);
        }
    }
    c.first = -pre;
    for (int k = -pre; k <= post; ++k) {
        const long at = c.peakIndex + static_cast<long>(k) * N;
        c.values.push_back(at >= 0 && at < static_cast<long>(y.size())
                               ? y[static_cast<std::size_t>(at)] - baseline
                               : 0.0);
    }
    return c;
}

}  // namespace amihost
