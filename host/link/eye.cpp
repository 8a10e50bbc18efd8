#include "link/eye.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "link/memory.h"

namespace amihost {

namespace {
constexpr int kBinsPerSample = 64;
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

EyeAccumulator::EyeAccumulator(int N, std::uint64_t skipBits, std::int64_t delay, BitFn bit,
                               std::size_t calibration)
    : N_(N > 0 ? N : 1),
      skipBits_(skipBits),
      origin_(delay - (N > 0 ? N : 1) / 2),
      bit_(std::move(bit)),
      calibration_(std::max<std::size_t>(calibration, 1)) {
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
    densityBitsEnd_ = skipBits_ + kDensityBits;
    density_.width = width;
    density_.height = height;
    density_.hits.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

int EyeAccumulator::PhaseOf(std::uint64_t sample) const {
    const std::int64_t u = static_cast<std::int64_t>(sample) - origin_;
    return static_cast<int>(((u % N_) + N_) % N_);
}

double EyeAccumulator::HeightAt(int phase) const {
    const auto p = static_cast<std::size_t>(((phase % N_) + N_) % N_);
    return ones_[p] == 0 || zeros_[p] == 0 ? NAN : minOne_[p] - maxZero_[p];
}

std::uint64_t EyeAccumulator::OldestBitNeeded() const {
    const std::uint64_t sample = calibrated_ || pending_.empty() ? lastSample_ : pendingStart_;
    const std::int64_t u = static_cast<std::int64_t>(sample) - origin_;
    return u <= 0 ? 0 : static_cast<std::uint64_t>(u) / static_cast<std::uint64_t>(N_);
}

void EyeAccumulator::Add(const double* y, std::size_t n, std::uint64_t at) {
    if (n == 0) return;
    lastSample_ = at + n - 1;
    // The first analysed sample: the start of the window of bit skipBits_.
    const std::int64_t first = origin_ + static_cast<std::int64_t>(skipBits_) * N_;
    std::size_t i = 0;
    if (static_cast<std::int64_t>(at) < first) {
        const auto skip = static_cast<std::uint64_t>(first - static_cast<std::int64_t>(at));
        if (skip >= n) return;
        i = static_cast<std::size_t>(skip);
    }
    if (!calibrated_) {
        if (pending_.empty()) {
            pendingStart_ = at + i;
            ReserveLarge(pending_, calibration_);
        }
        const std::size_t take = std::min(n - i, calibration_ - pending_.size());
        pending_.insert(pending_.end(), y + i, y + i + take);
        i += take;
        if (pending_.size() < calibration_) return;
        Calibrate();
    }
    Feed(y + i, n - i, at + i);
}

void EyeAccumulator::Calibrate() {
    calibrated_ = true;
    if (pending_.empty()) return;
    const auto [lo, hi] = std::minmax_element(pending_.begin(), pending_.end());
    lo_ = *lo;
    hi_ = *hi;
    // The decision level: halfway between the median output while a 1 was
    // sent and while a 0 was sent (medians ignore the edges, so a symmetric
    // waveform gets a threshold exactly in its middle). Without both, halfway
    // between the medians of the samples above and below the mean.
    // The samples while a 1 was sent, then those while a 0 was sent, in one
    // buffer.
    std::vector<double> sorted;
    ReserveLarge(sorted, pending_.size());
    sorted.resize(pending_.size());
    std::size_t ones = 0, zeros = 0;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const std::int64_t u = static_cast<std::int64_t>(pendingStart_ + i) - origin_;
        if (u < 0) continue;
        const int b = bit_(static_cast<std::uint64_t>(u) / static_cast<std::uint64_t>(N_));
        if (b == 1) sorted[ones++] = pending_[i];
    }
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const std::int64_t u = static_cast<std::int64_t>(pendingStart_ + i) - origin_;
        if (u < 0) continue;
        const int b = bit_(static_cast<std::uint64_t>(u) / static_cast<std::uint64_t>(N_));
        if (b == 0) sorted[ones + zeros++] = pending_[i];
    }
    auto median = [](double* first, double* last) {
        double* mid = first + (last - first) / 2;
        std::nth_element(first, mid, last);
        return *mid;
    };
    if (ones > 0 && zeros > 0) {
        threshold_ = 0.5 * (median(sorted.data() + ones, sorted.data() + ones + zeros) +
                            median(sorted.data(), sorted.data() + ones));
    } else {
        double mean = 0;
        for (double v : pending_) mean += v;
        mean /= static_cast<double>(pending_.size());
        std::size_t upper = 0, lower = pending_.size();
        for (double v : pending_) {
            if (v >= mean) {
                sorted[upper++] = v;
            } else {
                sorted[--lower] = v;
            }
        }
        threshold_ = upper == 0 || lower == pending_.size()
                         ? mean
                         : 0.5 * (median(sorted.data(), sorted.data() + upper) +
                                  median(sorted.data() + lower, sorted.data() + pending_.size()));
    }
    const double margin = std::max(0.12 * (hi_ - lo_), 1e-6);
    density_.v0 = lo_ - margin;
    density_.v1 = hi_ + margin;
    xScale_ = density_.width / (2.0 * N_);
    yScale_ = density_.height / (density_.v1 - density_.v0);
    const std::vector<double> samples = std::move(pending_);
    pending_.clear();
    Feed(samples.data(), samples.size(), pendingStart_);
}

void EyeAccumulator::Feed(const double* y, std::size_t n, std::uint64_t k) {
    // Window by window: the bit sent is looked up once per unit interval and
    // the per-phase statistics run over contiguous phases. Every statistic
    // sees its samples in the order they came, so the result does not depend
    // on how the stream was cut into blocks.
    const auto N = static_cast<std::int64_t>(N_);
    std::size_t i = 0;
    while (i < n) {
        const std::int64_t u = static_cast<std::int64_t>(k + i) - origin_;  // >= 0 here
        const auto b = static_cast<std::uint64_t>(u / N);
        const auto p0 = static_cast<std::size_t>(u % N);
        const std::size_t run = std::min(n - i, static_cast<std::size_t>(N_) - p0);
        const double* v = y + i;
        const int sent = bit_(b);
        if (sent >= 0) {
            firstBit_ = std::min(firstBit_, b);
            lastBit_ = std::max(lastBit_, b);
        }
        double lo = lo_, hi = hi_;
        for (std::size_t j = 0; j < run; ++j) {
            lo = std::min(lo, v[j]);
            hi = std::max(hi, v[j]);
        }
        lo_ = lo;
        hi_ = hi;
        if (sent == 1) {
            for (std::size_t j = 0; j < run; ++j) {
                minOne_[p0 + j] = std::min(minOne_[p0 + j], v[j]);
                sumOne_[p0 + j] += v[j];
                ++ones_[p0 + j];
            }
        } else if (sent == 0) {
            for (std::size_t j = 0; j < run; ++j) {
                maxZero_[p0 + j] = std::max(maxZero_[p0 + j], v[j]);
                sumZero_[p0 + j] += v[j];
                ++zeros_[p0 + j];
            }
        }
        // Threshold crossings between each sample and the one before (which
        // lies in a window when u >= 1).
        double last = last_;
        bool haveLast = haveLast_;
        for (std::size_t j = 0; j < run; ++j) {
            const std::int64_t uj = u + static_cast<std::int64_t>(j);
            if (haveLast && uj >= 1) {
                const double a = last - threshold_, c = v[j] - threshold_;
                // (A sample that is no number crosses nothing: the model's
                // contract checks report it.)
                if ((a < 0) != (c < 0) && std::isfinite(a) && std::isfinite(c)) {
                    // Crossing phase within the UI window, by linear interpolation.
                    const double before = j > 0    ? static_cast<double>(p0 + j - 1)
                                          : p0 > 0 ? static_cast<double>(p0 - 1)
                                                   : static_cast<double>(N - 1);
                    const double phase = before + a / (a - c);
                    const double wrapped =
                        phase >= static_cast<double>(N) ? phase - static_cast<double>(N) : phase;
                    auto bin = static_cast<std::size_t>(wrapped * kBinsPerSample);
                    bin = std::min(bin, binMin_.size() - 1);
                    binMin_[bin] = std::min(binMin_[bin], wrapped);
                    binMax_[bin] = std::max(binMax_[bin], wrapped);
                    ++crossings_;
                }
            }
            last = v[j];
            haveLast = true;
        }
        // The picture: the first kDensityBits unit intervals analysed (a
        // longer run only saturates it; every number uses every sample).
        if (trackDensity_ && b < densityBitsEnd_) {
            // The previous sample's place in the two unit intervals drawn:
            // (u - 1) modulo 2N.
            const std::size_t twoN = 2 * static_cast<std::size_t>(N_);
            std::size_t position = (b % 2) * static_cast<std::size_t>(N_) + p0;
            position = position == 0 ? twoN - 1 : position - 1;
            for (std::size_t j = 0; j < run; ++j) {
                const std::int64_t uj = u + static_cast<std::int64_t>(j);
                if (haveLast_ && uj >= 1) Draw(last_, v[j], position);
                last_ = v[j];
                haveLast_ = true;
                position = position + 1 == twoN ? 0 : position + 1;
            }
        }
        last_ = last;
        haveLast_ = haveLast;
        i += run;
    }
}

void EyeAccumulator::Draw(double from, double to, std::size_t position) {
    // The segment from the previous sample, in steps of at most one pixel
    // along each axis; `position` is the previous sample's place in the two
    // unit intervals drawn.
    // A sample that is no number is drawn nowhere (the model's contract
    // checks report it); a segment far taller than the picture is drawn in
    // at most 16 (w + h) steps.
    if (!std::isfinite(from) || !std::isfinite(to)) return;
    const int w = density_.width, h = density_.height;
    const double rise = std::min(std::fabs(to - from) * yScale_, 16.0 * (w + h));
    const int sub = std::max(1, static_cast<int>(std::ceil(std::max(rise, xScale_))));
    const auto start = static_cast<double>(position);
    const double step = 1.0 / sub;
    std::uint32_t* hits = density_.hits.data();
    for (int s = 0; s < sub; ++s) {
        const double f = s * step;
        const int px = std::min(static_cast<int>((start + f) * xScale_), w - 1);
        // Rows 0 to h - 1 (truncated toward zero), converted only when inside.
        const double y = (density_.v1 - (from + f * (to - from))) * yScale_;
        if (y > -1.0 && y < h) ++hits[static_cast<std::size_t>(static_cast<int>(y) * w + px)];
    }
}

EyeMetrics EyeAccumulator::Finish() {
    if (!calibrated_) Calibrate();
    EyeMetrics m;
    m.threshold = threshold_;
    m.peakToPeak = hi_ > lo_ ? hi_ - lo_ : 0.0;
    m.crossings = crossings_;
    m.bits = firstBit_ == UINT64_MAX ? 0 : lastBit_ - firstBit_ + 1;
    std::uint64_t anyOne = 0, anyZero = 0;
    for (std::size_t p = 0; p < ones_.size(); ++p) {
        anyOne += ones_[p];
        anyZero += zeros_[p];
    }
    if (anyOne == 0 || anyZero == 0) {
        m.note = m.bits == 0 ? "no eye: no bits after the ignored ones"
                             : "no eye: " + std::to_string(m.bits) +
                                   " bits after the ignored ones, not both a 1 and a 0";
        return m;
    }
    // The open region: the widest circular gap between threshold crossings.
    std::vector<double> points;
    for (std::size_t b = 0; b < binMin_.size(); ++b) {
        if (binMin_[b] == kInf) continue;
        points.push_back(binMin_[b]);
        points.push_back(binMax_[b]);
    }
    const double N = N_;
    double gap = N, centre = -1;
    if (!points.empty()) {
        std::sort(points.begin(), points.end());
        gap = points.front() + N - points.back();
        centre = points.back() + 0.5 * gap;
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            if (points[i + 1] - points[i] > gap) {
                gap = points[i + 1] - points[i];
                centre = points[i] + 0.5 * gap;
            }
        }
        centre = std::fmod(centre, N);
    }
    // The sampling phase: the middle of the open region (the phase with both
    // bits nearest to it), or without crossings the most open phase.
    double best = -kInf, nearest = kInf;
    for (std::size_t p = 0; p < ones_.size(); ++p) {
        if (ones_[p] == 0 || zeros_[p] == 0) continue;
        if (centre >= 0) {
            double d = std::fabs(static_cast<double>(p) - centre);
            d = std::min(d, N - d);
            if (d < nearest) {
                nearest = d;
                m.bestPhase = static_cast<int>(p);
            }
        } else if (minOne_[p] - maxZero_[p] > best) {
            best = minOne_[p] - maxZero_[p];
            m.bestPhase = static_cast<int>(p);
        }
    }
    if (nearest == kInf && best == -kInf) {
        m.note = "no eye: no sampling phase saw both a 1 and a 0";
        return m;
    }
    const auto chosen = static_cast<std::size_t>(m.bestPhase);
    m.height = minOne_[chosen] - maxZero_[chosen];
    m.highLevel = sumOne_[chosen] / static_cast<double>(ones_[chosen]);
    m.lowLevel = sumZero_[chosen] / static_cast<double>(zeros_[chosen]);
    m.widthUi = m.height > 0 ? gap / N : 0.0;
    m.valid = true;
    return m;
}

EyeMetrics MeasureEye(const std::vector<double>& y, int N, std::size_t skipBits, std::int64_t delay,
                      const std::vector<int>& bits) {
    EyeAccumulator eye(
        N, skipBits, delay,
        [&bits](std::uint64_t b) { return b < bits.size() ? (bits[b] ? 1 : 0) : -1; },
        y.size() + 1);
    eye.Add(y.data(), y.size(), 0);
    return eye.Finish();
}

}  // namespace amihost
