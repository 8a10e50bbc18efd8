#include "stat_eye.h"

#include <algorithm>
#include <cmath>

namespace amihost {

namespace {

// Adds mass `p` at voltage v, split linearly between the two nearest bins.
void Deposit(std::vector<double>& pdf, double v, double v0, double step, double p) {
    const double x = (v - v0) / step;
    const double f = std::floor(x);
    const auto bins = static_cast<long>(pdf.size());
    const long k = static_cast<long>(f);
    const double w = x - f;
    if (k >= 0 && k < bins) pdf[static_cast<std::size_t>(k)] += p * (1 - w);
    if (k + 1 >= 0 && k + 1 < bins) pdf[static_cast<std::size_t>(k + 1)] += p * w;
}

std::vector<double> Gaussian(double sigmaBins) {
    const int half = static_cast<int>(std::ceil(7 * sigmaBins));
    std::vector<double> g(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    for (int k = -half; k <= half; ++k) sum += g[static_cast<std::size_t>(k + half)] = std::exp(-0.5 * k * k / (sigmaBins * sigmaBins));
    for (double& v : g) v /= sum;
    return g;
}

std::vector<double> Smooth(const std::vector<double>& pdf, double sigmaBins) {
    if (!(sigmaBins > 0.05)) return pdf;
    const std::vector<double> g = Gaussian(sigmaBins);
    const long half = static_cast<long>(g.size() / 2), n = static_cast<long>(pdf.size());
    std::vector<double> out(pdf.size(), 0.0);
    for (long i = 0; i < n; ++i) {
        if (pdf[static_cast<std::size_t>(i)] == 0) continue;
        for (long k = -half; k <= half; ++k) {
            const long j = std::clamp(i + k, 0L, n - 1);
            out[static_cast<std::size_t>(j)] += pdf[static_cast<std::size_t>(i)] * g[static_cast<std::size_t>(k + half)];
        }
    }
    return out;
}

}  // namespace

std::vector<double> IsiDistribution(const std::vector<double>& cursors, double v0, double v1, int bins) {
    const double step = (v1 - v0) / (bins - 1);
    std::vector<double> pdf(static_cast<std::size_t>(bins), 0.0), next(pdf.size());
    Deposit(pdf, 0.0, v0, step, 1.0);
    // Cursors of two levels or more move the distribution by whole levels
    // (rounded), so that a long tail of them neither smears nor drifts it;
    // the small rest act together as a Gaussian of their mean and variance.
    double smallMean = 0, smallVariance = 0;
    for (double c : cursors) {
        if (std::fabs(c) < 2 * step) {
            smallMean += 0.5 * c;
            smallVariance += 0.25 * c * c;
            continue;
        }
        const long shift = std::lround(c / step);
        std::fill(next.begin(), next.end(), 0.0);
        const long n = static_cast<long>(pdf.size());
        for (long k = 0; k < n; ++k) {
            if (pdf[static_cast<std::size_t>(k)] == 0) continue;
            next[static_cast<std::size_t>(k)] += 0.5 * pdf[static_cast<std::size_t>(k)];
            const long to = std::clamp(k + shift, 0L, n - 1);
            next[static_cast<std::size_t>(to)] += 0.5 * pdf[static_cast<std::size_t>(k)];
        }
        pdf.swap(next);
    }
    if (smallMean != 0 || smallVariance > 0) {
        std::fill(next.begin(), next.end(), 0.0);
        for (std::size_t k = 0; k < pdf.size(); ++k)
            if (pdf[k] != 0) Deposit(next, v0 + static_cast<double>(k) * step + smallMean, v0, step, pdf[k]);
        pdf = Smooth(next, std::sqrt(smallVariance) / step);
    }
    return pdf;
}

StatEye ComputeStatEye(const std::vector<double>& pulse, double baseline, int N, std::int64_t main,
                       const StatEyeOptions& options) {
    StatEye e;
    if (pulse.empty() || N <= 0 || main < 0 || main >= static_cast<std::int64_t>(pulse.size())) return e;
    e.N = N;
    const int L = std::max(options.levels, 16);
    // The voltage range: every pattern's extremes at any phase, plus noise.
    double lo = 0, hi = 0;
    for (int phase = 0; phase < N; ++phase) {
        double sumLo = 0, sumHi = 0;
        const std::int64_t t = main - N / 2 + phase;
        for (std::int64_t s = ((t % N) + N) % N; s < static_cast<std::int64_t>(pulse.size()); s += N) {
            const double c = pulse[static_cast<std::size_t>(s)] - baseline;
            (c < 0 ? sumLo : sumHi) += c;
        }
        lo = std::min(lo, sumLo);
        hi = std::max(hi, sumHi);
    }
    const double margin = 0.1 * (hi - lo) + 6 * options.noiseRms + 1e-9;
    e.v0 = baseline + lo - margin;
    e.v1 = baseline + hi + margin;
    const double step = (e.v1 - e.v0) / (L - 1);
    e.ber.assign(static_cast<std::size_t>(N) * static_cast<std::size_t>(L), 0.5);
    for (int phase = 0; phase < N; ++phase) {
        const std::int64_t t = main - N / 2 + phase;
        if (t < 0 || t >= static_cast<std::int64_t>(pulse.size())) continue;
        const double main0 = pulse[static_cast<std::size_t>(t)] - baseline;
        std::vector<double> isi;
        for (std::int64_t s = ((t % N) + N) % N; s < static_cast<std::int64_t>(pulse.size()); s += N)
            if (s != t) isi.push_back(pulse[static_cast<std::size_t>(s)] - baseline);
        // ISI around 0 on a grid of the same step; then the levels of a sent 0
        // (baseline + ISI) and a sent 1 (baseline + main + ISI).
        std::vector<double> zero = IsiDistribution(isi, e.v0 - baseline, e.v1 - baseline, L);
        std::vector<double> one(static_cast<std::size_t>(L), 0.0);
        for (int k = 0; k < L; ++k) Deposit(one, e.v0 + k * step + main0, e.v0, step, zero[static_cast<std::size_t>(k)]);
        zero = Smooth(zero, options.noiseRms / step);
        one = Smooth(one, options.noiseRms / step);
        // BER at level v: a 1 below v or a 0 above it.
        std::vector<double> oneBelow(static_cast<std::size_t>(L)), zeroAbove(static_cast<std::size_t>(L));
        double acc = 0;
        for (int k = 0; k < L; ++k) oneBelow[static_cast<std::size_t>(k)] = acc, acc += one[static_cast<std::size_t>(k)];
        acc = 0;
        for (int k = L; k-- > 0;) acc += zero[static_cast<std::size_t>(k)], zeroAbove[static_cast<std::size_t>(k)] = acc;
        for (int k = 0; k < L; ++k)
            e.ber[static_cast<std::size_t>(phase) * L + k] =
                0.5 * oneBelow[static_cast<std::size_t>(k)] + 0.5 * zeroAbove[static_cast<std::size_t>(k)];
    }
    // Random jitter: each phase's BER averaged over a Gaussian of phases.
    if (options.jitterRms > 0) {
        const std::vector<double> g = Gaussian(options.jitterRms * N);
        const long half = static_cast<long>(g.size() / 2);
        std::vector<double> smeared(e.ber.size(), 0.0);
        for (int phase = 0; phase < N; ++phase)
            for (long d = -half; d <= half; ++d) {
                const long p = std::clamp(phase + d, 0L, static_cast<long>(N - 1));
                for (int k = 0; k < L; ++k)
                    smeared[static_cast<std::size_t>(phase) * L + k] +=
                        g[static_cast<std::size_t>(d + half)] * e.ber[static_cast<std::size_t>(p) * L + k];
            }
        e.ber.swap(smeared);
    }
    e.bathtub.assign(static_cast<std::size_t>(N), 0.5);
    double bestBer = 2;
    for (int phase = 0; phase < N; ++phase) {
        double best = 2;
        for (int k = 0; k < L; ++k) best = std::min(best, e.ber[static_cast<std::size_t>(phase) * L + k]);
        e.bathtub[static_cast<std::size_t>(phase)] = best;
        if (best < bestBer) {
            bestBer = best;
            e.bestPhase = phase;
        }
    }
    int open = 0;
    for (double b : e.bathtub) open += b <= options.targetBer;
    e.widthAtTarget = static_cast<double>(open) / N;
    // The open levels at the best phase: from the first to the last level
    // with BER at or below the target; the threshold is their middle (or,
    // with none open, the level of the lowest BER).
    int first = -1, last = -1;
    double bestLevel = 2;
    for (int k = 0; k < L; ++k) {
        const double b = e.ber[static_cast<std::size_t>(e.bestPhase) * L + k];
        if (b <= options.targetBer) {
            if (first < 0) first = k;
            last = k;
        }
        if (b < bestLevel) {
            bestLevel = b;
            e.thresholdAtBest = e.v0 + k * step;
        }
    }
    if (first >= 0) e.thresholdAtBest = e.v0 + 0.5 * (first + last) * step;
    e.heightAtTarget = first >= 0 ? (last - first) * step : 0.0;
    e.valid = true;
    return e;
}

}  // namespace amihost
