#include "link/stat_eye.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "link/inner_loops.h"

namespace amihost {

namespace {

// Mass-preserving halving of the grid: bin 2j stays at j, the mass of bin
// 2j + 1 is split between j and j + 1 (its level moves by one old step).
void Coarsen(IsiDistribution& d) {
    if (d.lo % 2 != 0) {
        d.p.insert(d.p.begin(), 0.0);
        --d.lo;
    }
    if (d.p.size() % 2 == 0) d.p.push_back(0.0);
    const std::size_t m = d.p.size() / 2;
    std::vector<double> q(m + 1);
    HalveLevels(d.p.data(), m, q.data());
    while (q.size() > 1 && q.back() == 0) q.pop_back();
    d.error += d.step;
    d.step *= 2;
    d.lo /= 2;
    d.p.swap(q);
}

std::vector<double> Gaussian(double sigmaBins) {
    const int half = static_cast<int>(std::ceil(8 * sigmaBins));
    std::vector<double> g(static_cast<std::size_t>(2 * half + 1));
    double sum = 0;
    for (int k = -half; k <= half; ++k)
        sum += g[static_cast<std::size_t>(k + half)] =
            std::exp(-0.5 * k * k / (sigmaBins * sigmaBins));
    for (double& v : g) v /= sum;
    return g;
}

// The mass of one bounded term on the sample grid, from -half to +half.
std::vector<double> TermMass(const JitterTerm& t, int N) {
    if (t.kind == JitterTerm::Table) {
        long half = 0;
        double total = 0;
        for (const auto& [offset, p] : t.table) {
            half = std::max(half, std::labs(std::lround(offset * N)));
            total += p;
        }
        std::vector<double> m(static_cast<std::size_t>(2 * half + 1), 0.0);
        for (const auto& [offset, p] : t.table)
            m[static_cast<std::size_t>(std::lround(offset * N) + half)] += p / total;
        return m;
    }
    const double a = std::fabs(t.amplitude) * N;  // samples
    const auto half = static_cast<long>(std::ceil(a)) + 1;
    std::vector<double> m(static_cast<std::size_t>(2 * half + 1), 0.0);
    auto put = [&](double x, double mass) {  // split between floor(x) and floor(x) + 1
        const double f = std::floor(x);
        const double w = x - f;
        m[static_cast<std::size_t>(static_cast<long>(f) + half)] += mass * (1 - w);
        m[static_cast<std::size_t>(static_cast<long>(f) + half + 1)] += mass * w;
    };
    if (t.kind == JitterTerm::DualDirac || a == 0) {
        // At the nearest sample: the phases lie half a sample off the ideal
        // edges, so an edge moved by a closes the phases nearer than a just
        // as one moved by a rounded does.
        put(-std::round(a), 0.5);
        put(std::round(a), 0.5);
        return m;
    }
    // Arcsine: CDF 1/2 + asin(x / a) / pi; each sample holds the mass of the
    // half-sample on either side of it.
    auto cdf = [a](double x) {
        return 0.5 + std::asin(std::clamp(x / a, -1.0, 1.0)) / 3.141592653589793;
    };
    for (long k = -half; k <= half; ++k)
        m[static_cast<std::size_t>(k + half)] =
            cdf(static_cast<double>(k) + 0.5) - cdf(static_cast<double>(k) - 0.5);
    return m;
}

}  // namespace

bool HasJitter(const StatEyeOptions& options) {
    if (options.jitterRms > 0) return true;
    for (const JitterTerm& t : options.jitter)
        if (t.amplitude != 0 || !t.table.empty()) return true;
    return false;
}

std::vector<double> JitterDistribution(const StatEyeOptions& options, int N) {
    std::vector<double> d =
        options.jitterRms > 0 ? Gaussian(options.jitterRms * N) : std::vector<double>{1.0};
    for (const JitterTerm& t : options.jitter) {
        if (t.amplitude == 0 && t.table.empty()) continue;
        const std::vector<double> m = TermMass(t, N);
        std::vector<double> out(d.size() + m.size() - 1, 0.0);
        for (std::size_t i = 0; i < d.size(); ++i)
            for (std::size_t k = 0; k < m.size(); ++k) out[i + k] += d[i] * m[k];
        d.swap(out);
    }
    return d;
}

namespace {

// The distribution plus Gaussian noise of `sigma` volts, on a grid of at
// least sixteen levels per sigma (widened by eight sigma on each side).
void AddNoise(IsiDistribution& d, double sigma) {
    if (!(sigma > 0)) return;
    if (sigma / d.step < 16) {
        // Finer levels: every existing level stays one of them.
        const auto k = static_cast<std::size_t>(std::ceil(16 * d.step / sigma));
        std::vector<double> fine((d.p.size() - 1) * k + 1, 0.0);
        for (std::size_t i = 0; i < d.p.size(); ++i) fine[i * k] = d.p[i];
        d.p.swap(fine);
        d.lo *= static_cast<std::int64_t>(k);
        d.step /= static_cast<double>(k);
    }
    const std::vector<double> g = Gaussian(sigma / d.step);
    const std::size_t half = g.size() / 2;
    std::vector<double> out(d.p.size() + 2 * half, 0.0);
    ConvolveAccumulate(d.p.data(), 0, d.p.size(), g.data(), g.size(), out.data());
    d.lo -= static_cast<std::int64_t>(half);
    d.p.swap(out);
    d.error += d.step;  // the Gaussian, sampled on the levels
}

struct Opening {
    double height = 0;     // the longest run of decision levels with BER <= target
    double middle = 0;     // its middle, relative to the baseline
    double bestBer = 0.5;  // the lowest BER over all levels
    double bestLevel = 0;  // where it is reached
};

// Deciding bit 0 (levels X) against bit 1 (levels main + X): the BER is
// piecewise constant between the levels, so walking them in order gives the
// exact opening of the distribution as computed.
Opening OpeningOf(const IsiDistribution& d, double main, double target) {
    const std::size_t n = d.p.size();
    std::vector<double> zeroAbove(n + 1, 0.0);  // mass of zeros at index >= i
    for (std::size_t i = n; i-- > 0;) zeroAbove[i] = zeroAbove[i + 1] + d.p[i];
    Opening o;
    std::size_t i = 0, j = 0;  // next zero level, next one level
    double oneBelow = 0;
    double cur = -std::numeric_limits<double>::infinity();
    bool inRun = false;
    double runStart = 0;
    auto segment = [&](double from, double to) {
        const double ber = 0.5 * oneBelow + 0.5 * zeroAbove[i];
        if (ber < o.bestBer && std::isfinite(from) && std::isfinite(to)) {
            o.bestBer = ber;
            o.bestLevel = 0.5 * (from + to);
        }
        if (ber <= target && std::isfinite(from) && std::isfinite(to)) {
            if (!inRun) {
                inRun = true;
                runStart = from;
            }
            if (to - runStart > o.height) {
                o.height = to - runStart;
                o.middle = 0.5 * (runStart + to);
            }
        } else {
            inRun = false;
        }
    };
    while (i < n || j < n) {
        const double a = i < n ? d.Level(i) : std::numeric_limits<double>::infinity();
        const double b = j < n ? d.Level(j) + main : std::numeric_limits<double>::infinity();
        const double e = std::min(a, b);
        segment(cur, e);
        if (a == e) ++i;
        if (b == e) oneBelow += d.p[j++];
        cur = e;
    }
    return o;
}

// Bounds that need no distribution. For the K largest cursors (in
// magnitude) with 2^(K+1) * target < 1/2, every pattern of them is more
// likely than the errors allowed, so an opening at the target lies inside
// all of them: height <= main - sum of their magnitudes. And with none open:
// pairing patterns s, s' of the largest k cursors with s - s' > main (the
// zeros of one above the ones of the other), each pair errs at any level
// with probability at least 2^-k / 2, whatever the other cursors do.
struct PhaseBounds {
    double upper = 0;         // the height
    std::vector<double> top;  // the largest cursors, signed, largest first
};

// The cursors of one phase: pulse[first + k N] for first + k N < size, but
// `skip` (its main), in increasing time.
struct CursorView {
    const double* pulse = nullptr;
    std::int64_t first = 0, step = 1, size = 0, skip = -1;
};

// What the statistical eye holds of one sampling phase while it is computed.
struct Phase {
    bool present = false;   // its sample lies within the pulse
    bool computed = false;  // its distribution (and, without jitter, its opening) computed
    CursorView cursors;
    double main = 0;  // its main cursor, less twice the receiver's sensitivity
    IsiDistribution isi;
    double pd = -std::numeric_limits<double>::infinity();  // the worst-case opening
    double pdMiddle = 0;                                   // the middle of the worst-case opening
    double middle = 0;                                     // the decision threshold of its opening
    double upper = -std::numeric_limits<double>::infinity();  // a bound on its height
};

// Every phase's bounds in one pass over the pulse, a row of N samples at a
// time (the phase of residue t mod N in lane t mod N): each phase's K largest
// magnitudes in a heap whose top is the smallest of them, offered its cursors
// in increasing time. Most rows are the line's small tail, where no lane
// beats its heap's top: they are passed over with one vectorised test.
std::vector<PhaseBounds> BoundsOf(const std::vector<Phase>& phases, double target) {
    const std::size_t N = phases.size();
    std::vector<PhaseBounds> bounds(N);
    std::size_t K = 0;
    while (std::ldexp(target, static_cast<int>(K) + 2) < 0.5) ++K;
    std::vector<std::vector<std::pair<double, double>>> heaps(N);
    std::vector<std::size_t> phaseOf(N, N);  // by lane; N: no phase
    // By lane: what a magnitude must beat to be offered (-1 while the heap
    // fills, infinity for lanes of no phase).
    std::vector<double> beat(N, std::numeric_limits<double>::infinity());
    const double* pulse = nullptr;
    std::int64_t size = 0, own0 = std::numeric_limits<std::int64_t>::max(), own1 = 0;
    for (std::size_t p = 0; p < N; ++p) {
        if (!phases[p].present) continue;
        const CursorView& v = phases[p].cursors;
        phaseOf[static_cast<std::size_t>(v.first)] = p;
        if (K > 0) beat[static_cast<std::size_t>(v.first)] = -1.0;
        heaps[p].reserve(K);
        pulse = v.pulse;
        size = v.size;
        own0 = std::min(own0, v.skip);
        own1 = std::max(own1, v.skip + 1);
    }
    auto smaller = [](const std::pair<double, double>& a, const std::pair<double, double>& b) {
        return a.first > b.first;
    };
    auto offer = [&](std::size_t lane, double c) {
        const double a = std::fabs(c);
        if (!(a > beat[lane])) return;
        auto& heap = heaps[phaseOf[lane]];
        if (heap.size() < K) {
            heap.emplace_back(a, c);
            std::push_heap(heap.begin(), heap.end(), smaller);
        } else {
            std::pop_heap(heap.begin(), heap.end(), smaller);
            heap.back() = {a, c};
            std::push_heap(heap.begin(), heap.end(), smaller);
        }
        if (heap.size() == K) beat[lane] = heap.front().first;
    };
    const auto n = static_cast<std::int64_t>(N);
    for (std::int64_t row = 0; pulse != nullptr && row < size; row += n) {
        const std::int64_t m = std::min(n, size - row);
        const double* v = pulse + row;
        if (row + m <= own0 || row >= own1) {
            bool any = false;
            for (std::int64_t j = 0; j < m; ++j) any |= std::fabs(v[j]) > beat[j];
            if (!any) continue;
            for (std::int64_t j = 0; j < m; ++j) offer(static_cast<std::size_t>(j), v[j]);
        } else {
            for (std::int64_t j = 0; j < m; ++j)
                if (row + j < own0 || row + j >= own1) offer(static_cast<std::size_t>(j), v[j]);
        }
    }
    for (std::size_t p = 0; p < N; ++p) {
        if (!phases[p].present) continue;
        auto& heap = heaps[p];
        std::sort(heap.begin(), heap.end(), smaller);  // largest first
        double sum = 0;
        for (const auto& entry : heap) sum += entry.first;
        bounds[p].upper = phases[p].main - sum;
        for (std::size_t k = 0; k < heap.size() && k < 10; ++k)
            bounds[p].top.push_back(heap[k].second);
    }
    return bounds;
}

// The bound from the `k` largest cursors of `top` (sorted pattern sums built
// by merging; `a` and `b` are reused buffers).
double LowestBerBound(const std::vector<double>& top, std::size_t k, double main,
                      std::vector<double>& a, std::vector<double>& b) {
    a.assign(1, 0.0);
    for (std::size_t c = 0; c < k && c < top.size(); ++c) {
        const std::size_t n = a.size();
        a.resize(2 * n);
        for (std::size_t i = 0; i < n; ++i) a[n + i] = a[i] + top[c];
        b.resize(2 * n);
        // Merged without branches (which of two sums is smaller is a coin
        // toss a predictor cannot learn).
        const double* x = a.data();
        const double* y = a.data() + n;
        std::size_t i = 0, j = 0, to = 0;
        while (i < n && j < n) {
            const bool second = y[j] < x[i];
            b[to++] = second ? y[j] : x[i];
            j += second;
            i += !second;
        }
        while (i < n) b[to++] = x[i++];
        while (j < n) b[to++] = y[j++];
        a.swap(b);
    }
    std::size_t pairs = 0;
    for (std::size_t i = 0, j = 0; i < a.size() && j < a.size(); ++i) {
        while (j < a.size() && !(a[j] - a[i] > main)) ++j;
        if (j < a.size()) {
            ++pairs;
            ++j;
        }
    }
    return 0.5 * static_cast<double>(pairs) / static_cast<double>(a.size());
}

// Computes (by compute(p), which sets heights[p] and bathtub[p]) only the
// phases that can hold the best opening or, with none open, the lowest BER;
// the others are NaN. Each phase's `upper` receives its bound on its height.
template <class Compute>
void ComputeBestPhases(std::vector<Phase>& phases, double target, Compute&& compute,
                       std::vector<double>& heights, std::vector<double>& bathtub) {
    const std::size_t count = phases.size();
    const int N = static_cast<int>(count);
    const std::vector<PhaseBounds> bounds = BoundsOf(phases, target);
    std::vector<int> rank(count, 0);  // the order of preference: N/2, N/2 - 1, N/2 + 1, ...
    for (int k = 0; k < N; ++k) {
        const int p = N / 2 + (k + 1) / 2 * (k % 2 == 1 ? -1 : 1);
        if (p >= 0 && p < N) rank[static_cast<std::size_t>(p)] = k;
    }
    std::vector<std::size_t> openable, rest;
    for (std::size_t p = 0; p < count; ++p) {
        if (!phases[p].present) continue;
        phases[p].upper = bounds[p].upper;
        heights[p] = bathtub[p] = std::numeric_limits<double>::quiet_NaN();
        (phases[p].upper > 0 ? openable : rest).push_back(p);
    }
    // The phases that may open, most promising first, while one can still
    // match the best opening found.
    std::sort(openable.begin(), openable.end(), [&](std::size_t a, std::size_t b) {
        const double ua = phases[a].upper, ub = phases[b].upper;
        return ua != ub ? ua > ub : rank[a] < rank[b];
    });
    double bestHeight = 0, bestBer = 2;
    for (std::size_t p : openable) {
        if (phases[p].upper < bestHeight) break;
        compute(p);
        bestHeight = std::max(bestHeight, heights[p]);
        bestBer = std::min(bestBer, bathtub[p]);
    }
    if (bestHeight > 0) return;
    // None open: the lowest BER, while a phase's bound can still reach it:
    // phases in the order of a quick bound (six cursors), each first tried
    // against a sharper one (ten).
    std::vector<double> lowest(count, 0.0), a, b;
    for (std::size_t p : rest) lowest[p] = LowestBerBound(bounds[p].top, 6, phases[p].main, a, b);
    std::sort(rest.begin(), rest.end(), [&](std::size_t x, std::size_t y) {
        return lowest[x] != lowest[y] ? lowest[x] < lowest[y] : x < y;
    });
    for (std::size_t p : rest) {
        if (lowest[p] > bestBer) break;
        if (LowestBerBound(bounds[p].top, 10, phases[p].main, a, b) > bestBer) continue;
        compute(p);
        bestBer = std::min(bestBer, bathtub[p]);
    }
}

}  // namespace

IsiDistribution ComputeIsi(const std::vector<double>& cursors, int maxBins, int exact) {
    IsiDistribution d;
    d.p = {1.0};
    std::vector<double> c;
    c.reserve(cursors.size());
    for (double v : cursors)
        if (v != 0 && std::isfinite(v)) c.push_back(v);
    // The largest `exact` first (in order); the rest form the group.
    const std::size_t keep = std::min(c.size(), static_cast<std::size_t>(std::max(exact, 0)));
    auto larger = [](double x, double y) { return std::fabs(x) > std::fabs(y); };
    if (keep < c.size())
        std::nth_element(c.begin(), c.begin() + static_cast<long>(keep), c.end(), larger);
    std::sort(c.begin(), c.begin() + static_cast<long>(keep), larger);
    double groupMean = 0, groupVariance = 0, groupLo = 0, groupHi = 0, largest = 0;
    for (std::size_t k = keep; k < c.size(); ++k) {
        const double v = c[k];
        groupMean += 0.5 * v;
        groupVariance += 0.25 * v * v;
        if (v < 0)
            groupLo += v;
        else
            groupHi += v;
        largest = std::max(largest, std::fabs(v));
    }
    if (keep < c.size()) {
        d.grouped = static_cast<int>(c.size() - keep);
        d.largestGrouped = largest;
    }
    c.resize(keep);
    double range = groupHi - groupLo;
    for (double v : c) range += std::fabs(v);
    const auto bins = static_cast<std::size_t>(std::max(maxBins, 64));
    d.step = range > 0 ? range / static_cast<double>(bins) * 0x1p-30 : 1.0;
    // Smallest first: the small cursors land on fine grids, and the grid
    // coarsens only as the distribution widens.
    std::reverse(c.begin(), c.end());
    std::vector<double> q;
    q.reserve(2 * bins + 2);
    d.p.reserve(2 * bins + 2);
    for (double v : c) {
        while (d.p.size() + static_cast<std::size_t>(std::llround(std::fabs(v) / d.step)) > bins)
            Coarsen(d);
        const std::int64_t s = std::llround(v / d.step);
        d.error += std::fabs(v - static_cast<double>(s) * d.step);
        if (s == 0) continue;
        // The bit at 0 keeps each level; at 1 it moves it by s. On indices
        // from the new lowest level both are q[k] = (p[k] + p[k - a]) / 2,
        // with p zero outside its range.
        const std::size_t a = static_cast<std::size_t>(s > 0 ? s : -s);
        const std::size_t n = d.p.size();
        q.resize(n + a);
        HalfShiftAdd(d.p.data(), n, a, q.data());
        if (s < 0) d.lo += s;
        d.p.swap(q);
    }
    if (d.grouped > 0) {
        // The group on the levels of the grid: a Gaussian of its mean and
        // variance over the levels from its least to its most (nine sigma at
        // most from the mean), or its mean split between two levels when
        // narrower than a level.
        while (d.p.size() + static_cast<std::size_t>(std::ceil((groupHi - groupLo) / d.step)) + 2 >
               2 * bins)
            Coarsen(d);
        const double sigma = std::sqrt(groupVariance);
        const double from = std::max(groupLo, groupMean - 9 * sigma),
                     to = std::min(groupHi, groupMean + 9 * sigma);
        const auto first = static_cast<std::int64_t>(std::ceil(from / d.step));
        const auto last = static_cast<std::int64_t>(std::floor(to / d.step));
        std::vector<double> g;
        std::int64_t g0 = first;
        if (sigma < d.step || last < first) {
            const double x = groupMean / d.step;
            g0 = static_cast<std::int64_t>(std::floor(x));
            g = {1 - (x - std::floor(x)), x - std::floor(x)};
        } else {
            double sum = 0;
            for (std::int64_t k = first; k <= last; ++k) {
                const double z = (static_cast<double>(k) * d.step - groupMean) / sigma;
                g.push_back(std::exp(-0.5 * z * z));
                sum += g.back();
            }
            for (double& v : g) v /= sum;
        }
        q.assign(d.p.size() + g.size() - 1, 0.0);
        ConvolveAccumulate(d.p.data(), 0, d.p.size(), g.data(), g.size(), q.data());
        d.lo += g0;
        d.p.swap(q);
        d.error += d.step;
    }
    return d;
}

namespace {

// One statistical eye in steps over one record per phase: the phases' cursors
// and worst cases, their distributions and openings, the BER map, jitter,
// and the best phase.
class EyeWork {
public:
    EyeWork(const std::vector<double>& pulse, double baseline, int N, std::int64_t main,
            const StatEyeOptions& options, StatEye& e)
        : pulse_(pulse),
          size_(static_cast<std::int64_t>(pulse.size())),
          baseline_(baseline),
          N_(N),
          main_(main),
          options_(options),
          e_(e),
          // Receiver sensitivity S: a decision at level u is right only for a
          // 1 above u + S and a 0 below u - S. That is the plain decision at
          // u - S with every 1 moved down by 2 S: the main cursor less 2 S,
          // and the levels found S higher.
          S_(std::max(0.0, options.sensitivity)),
          jittered_(HasJitter(options)),
          noiseless_(!(options.noiseRms > 0) && !jittered_),
          phases_(static_cast<std::size_t>(N)) {}

    void SetUpPhases();
    void WorstCases();
    void ComputePhases();
    void FillMap();
    void Jitter();
    // The phase of the widest opening (ties: nearest the middle of the UI);
    // with none open, the phase of the lowest BER; -1 with no phase at all.
    int BestPhase();
    void Summarise(int best);

private:
    void ComputePhase(std::size_t p);
    // A phase's row of the map: the BER of deciding at each level.
    void FillRow(const IsiDistribution& d, double mainValue, double* row) const;
    // The smeared map's openings, phase by phase.
    void JitteredOpenings();
    // Whether a phase is open: from its opening; else from the bounds (the
    // worst case open, or the bound closed); else computed now.
    bool Open(int q);

    const std::vector<double>& pulse_;
    const std::int64_t size_;
    const double baseline_;
    const int N_;
    const std::int64_t main_;
    const StatEyeOptions& options_;
    StatEye& e_;
    const double S_;
    const bool jittered_, noiseless_;
    std::vector<Phase> phases_;
    double lo_ = 0, hi_ = 0;  // the levels any phase's distribution reaches
    int L_ = 0;               // levels of the map
    double dv_ = 0;           // their spacing
    std::vector<double> gathered_;
};

// Each phase's cursors are the samples of its residue t mod N but t itself.
void EyeWork::SetUpPhases() {
    for (std::size_t p = 0; p < phases_.size(); ++p) {
        const std::int64_t t = main_ - N_ / 2 + static_cast<std::int64_t>(p);
        if (t < 0 || t >= size_) continue;
        Phase& ph = phases_[p];
        ph.present = true;
        ph.main = pulse_[static_cast<std::size_t>(t)] - 2 * S_;
        ph.cursors = CursorView{pulse_.data(), t % N_, N_, size_, t};
    }
}

// The worst cases: the cursors' sums per residue in one pass over the pulse,
// a row of N samples at a time, each residue's in increasing time. The
// phases' own samples (the N from main - N/2) are left out.
void EyeWork::WorstCases() {
    const auto count = static_cast<std::size_t>(N_);
    std::vector<double> sumAbs(count, 0.0), sumPos(count, 0.0);  // by residue
    const std::int64_t own0 = main_ - N_ / 2, own1 = own0 + N_;
    for (std::int64_t row = 0; row < size_; row += N_) {
        const std::int64_t n = std::min<std::int64_t>(N_, size_ - row);
        const double* v = pulse_.data() + row;
        if (row + n <= own0 || row >= own1) {
            for (std::int64_t j = 0; j < n; ++j) {
                sumAbs[j] += std::fabs(v[j]);
                sumPos[j] += std::max(0.0, v[j]);
            }
        } else {
            for (std::int64_t j = 0; j < n; ++j) {
                if (row + j >= own0 && row + j < own1) continue;
                sumAbs[j] += std::fabs(v[j]);
                sumPos[j] += std::max(0.0, v[j]);
            }
        }
    }
    for (Phase& ph : phases_) {
        if (!ph.present) continue;
        const auto r = static_cast<std::size_t>(ph.cursors.first);
        ph.pd = ph.main - sumAbs[r];
        ph.pdMiddle = sumPos[r] + 0.5 * ph.pd;
    }
}

// One phase's distribution and, without jitter, its opening.
void EyeWork::ComputePhase(std::size_t p) {
    Phase& ph = phases_[p];
    const CursorView& v = ph.cursors;
    gathered_.clear();
    for (std::int64_t s = v.first; s < v.size; s += v.step)
        if (s != v.skip) gathered_.push_back(v.pulse[s]);
    ph.isi = ComputeIsi(gathered_, options_.gridBins, options_.exactCursors);
    e_.gridError = std::max(e_.gridError, ph.isi.error);
    e_.groupedCursors = std::max(e_.groupedCursors, ph.isi.grouped);
    e_.largestGrouped = std::max(e_.largestGrouped, ph.isi.largestGrouped);
    AddNoise(ph.isi, options_.noiseRms);
    lo_ = std::min(lo_, ph.isi.Level(0));
    hi_ = std::max(hi_, ph.isi.Level(ph.isi.p.size() - 1) + ph.main);
    ph.computed = true;
    if (jittered_) return;
    const Opening o = OpeningOf(ph.isi, ph.main, options_.targetBer);
    e_.bathtub[p] = o.bestBer;
    e_.heights[p] = o.height;
    ph.middle = baseline_ + S_ + (o.height > 0 ? o.middle : o.bestLevel);
    // Without noise no pattern lies outside the worst case: the opening is at
    // least the peak-distortion one (which the grid's rounding could
    // otherwise shave).
    if (noiseless_ && ph.pd > e_.heights[p]) {
        e_.heights[p] = ph.pd;
        e_.bathtub[p] = 0.0;
        ph.middle = baseline_ + S_ + ph.pdMiddle;
    }
}

void EyeWork::ComputePhases() {
    const bool prune =
        options_.bestOnly && !options_.berMap && !jittered_ && options_.targetBer < 0.25;
    if (!prune) {
        for (std::size_t p = 0; p < phases_.size(); ++p)
            if (phases_[p].present) ComputePhase(p);
    } else {
        ComputeBestPhases(
            phases_, options_.targetBer, [this](std::size_t p) { ComputePhase(p); }, e_.heights,
            e_.bathtub);
    }
}

void EyeWork::FillRow(const IsiDistribution& d, double mainValue, double* row) const {
    const std::size_t n = d.p.size();
    std::vector<double> below(n + 1, 0.0), above(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) below[i + 1] = below[i] + d.p[i];
    for (std::size_t i = n; i-- > 0;) above[i] = above[i + 1] + d.p[i];
    // Levels strictly below x: indices < ceil(x / step) - lo.
    auto countBelow = [&](double x) {
        const double f = std::ceil(x / d.step) - static_cast<double>(d.lo);
        return static_cast<std::size_t>(std::clamp(f, 0.0, static_cast<double>(n)));
    };
    auto firstAbove = [&](double x) {
        const double f = std::floor(x / d.step) + 1 - static_cast<double>(d.lo);
        return static_cast<std::size_t>(std::clamp(f, 0.0, static_cast<double>(n)));
    };
    for (int k = 0; k < L_; ++k) {
        const double u = e_.v0 + k * dv_ - baseline_ - S_;
        row[k] = 0.5 * below[countBelow(u - mainValue)] + 0.5 * above[firstAbove(u)];
    }
}

// The BER map for the picture (and, with jitter, for the openings).
void EyeWork::FillMap() {
    L_ = std::max(options_.levels, 16);
    e_.levels = L_;
    const double margin = 0.1 * (hi_ - lo_) + 1e-9;
    e_.v0 = baseline_ + lo_ - margin;
    e_.v1 = baseline_ + hi_ + margin;
    dv_ = (e_.v1 - e_.v0) / (L_ - 1);
    // Without jitter the openings come from the distributions themselves:
    // the map is only for pictures.
    if (!options_.berMap && !jittered_) return;
    e_.ber.assign(phases_.size() * static_cast<std::size_t>(L_), 0.5);
    for (std::size_t p = 0; p < phases_.size(); ++p)
        if (phases_[p].computed)
            FillRow(phases_[p].isi, phases_[p].main, &e_.ber[p * static_cast<std::size_t>(L_)]);
}

// Jitter: each phase's BER averaged over the distribution of sampling
// instants. An instant jittered past the unit interval's edge samples there:
// bit 0's pulse at that time is the main value and every other bit's sample
// there its cursor (the neighbouring bit's main among them), not a phase of
// this interval wrapped round.
void EyeWork::Jitter() {
    if (!jittered_) return;
    const int N = N_, L = L_;
    const std::vector<double> g = JitterDistribution(options_, N);
    const long half = static_cast<long>(g.size() / 2);
    const auto rowSize = static_cast<std::size_t>(L);
    std::vector<double> extended((static_cast<std::size_t>(N + 2 * half)) * rowSize, 0.5);
    for (long q = -half; q < N + half; ++q) {
        double* row = &extended[static_cast<std::size_t>(q + half) * rowSize];
        if (q >= 0 && q < N) {
            if (phases_[static_cast<std::size_t>(q)].computed)
                std::copy_n(&e_.ber[static_cast<std::size_t>(q) * rowSize], L, row);
            continue;
        }
        const std::int64_t t = main_ - N / 2 + q;
        const std::int64_t residue = ((t % N) + N) % N;
        gathered_.clear();
        for (std::int64_t s = residue; s < size_; s += N)
            if (s != t) gathered_.push_back(pulse_[static_cast<std::size_t>(s)]);
        IsiDistribution d = ComputeIsi(gathered_, options_.gridBins, options_.exactCursors);
        AddNoise(d, options_.noiseRms);
        e_.gridError = std::max(e_.gridError, d.error);
        FillRow(d, (t >= 0 && t < size_ ? pulse_[static_cast<std::size_t>(t)] : 0.0) - 2 * S_, row);
    }
    std::vector<double> smeared(e_.ber.size(), 0.0);
    for (long p = 0; p < N; ++p)
        for (long d = -half; d <= half; ++d)
            for (int k = 0; k < L; ++k)
                smeared[static_cast<std::size_t>(p * L + k)] +=
                    g[static_cast<std::size_t>(d + half)] *
                    extended[static_cast<std::size_t>(p + d + half) * rowSize +
                             static_cast<std::size_t>(k)];
    e_.ber.swap(smeared);
    e_.gridError += dv_;
    JitteredOpenings();
}

void EyeWork::JitteredOpenings() {
    const auto L = static_cast<std::size_t>(L_);
    for (std::size_t p = 0; p < phases_.size(); ++p) {
        int run = 0, bestRun = 0, bestEnd = -1;
        double best = 2;
        for (int k = 0; k < L_; ++k) {
            const double b = e_.ber[p * L + static_cast<std::size_t>(k)];
            if (b < best) {
                best = b;
                phases_[p].middle = e_.v0 + k * dv_;
            }
            run = b <= options_.targetBer ? run + 1 : 0;
            if (run > bestRun) bestRun = run, bestEnd = k;
        }
        e_.bathtub[p] = best;
        if (bestRun > 0) {
            e_.heights[p] = (bestRun - 1) * dv_;
            phases_[p].middle = e_.v0 + (bestEnd - 0.5 * (bestRun - 1)) * dv_;
        }
    }
}

bool EyeWork::Open(int q) {
    const auto k = static_cast<std::size_t>(q);
    const Phase& ph = phases_[k];
    if (!ph.present) return false;
    if (!ph.computed) {
        if (noiseless_ && ph.pd > 0) return true;
        if (ph.upper <= 0) return false;
        ComputePhase(k);
    }
    return e_.heights[k] > 0;
}

int EyeWork::BestPhase() {
    int best = -1;
    double bestHeight = 0;
    for (int k = 0; k < N_; ++k) {
        // N/2, N/2 - 1, N/2 + 1, N/2 - 2, ...
        const int offset = (k + 1) / 2 * (k % 2 == 1 ? -1 : 1);
        const int p = N_ / 2 + offset;
        if (p < 0 || p >= N_ || !phases_[static_cast<std::size_t>(p)].present) continue;
        if (e_.heights[static_cast<std::size_t>(p)] > bestHeight) {
            bestHeight = e_.heights[static_cast<std::size_t>(p)];
            best = p;
        }
    }
    if (best >= 0) {
        int left = best, right = best;
        while (left > 0 && Open(left - 1)) --left;
        while (right + 1 < N_ && Open(right + 1)) ++right;
        e_.widthAtTarget = static_cast<double>(right - left + 1) / N_;
        return best;
    }
    double lowest = 2;
    for (int p = 0; p < N_; ++p)
        if (phases_[static_cast<std::size_t>(p)].present &&
            e_.bathtub[static_cast<std::size_t>(p)] < lowest) {
            lowest = e_.bathtub[static_cast<std::size_t>(p)];
            best = p;
        }
    if (best >= 0) e_.widthAtTarget = 0;
    return best;
}

void EyeWork::Summarise(int best) {
    const auto b = static_cast<std::size_t>(best);
    e_.bestPhase = best;
    e_.heightAtTarget = e_.heights[b];
    e_.thresholdAtBest = phases_[b].middle;
    e_.peakDistortionHeight = phases_[b].pd;
    e_.peakDistortionBest = -std::numeric_limits<double>::infinity();
    int pdOpen = 0;
    for (int p = 0; p < N_; ++p) {
        const Phase& ph = phases_[static_cast<std::size_t>(p)];
        if (!ph.present) continue;
        pdOpen += ph.pd > 0;
        if (ph.pd > e_.peakDistortionBest) {
            e_.peakDistortionBest = ph.pd;
            e_.peakDistortionPhase = p;
        }
    }
    e_.peakDistortionWidth = static_cast<double>(pdOpen) / N_;
    e_.valid = true;
}

}  // namespace

StatEye ComputeStatEye(const std::vector<double>& pulse, double baseline, int N, std::int64_t main,
                       const StatEyeOptions& options) {
    StatEye e;
    const auto size = static_cast<std::int64_t>(pulse.size());
    if (pulse.empty() || N <= 0 || main < 0 || main >= size || !std::isfinite(baseline)) return e;
    if (!AllFinite(pulse.data(), pulse.size())) return e;
    e.N = N;
    e.heights.assign(static_cast<std::size_t>(N), 0.0);
    e.bathtub.assign(static_cast<std::size_t>(N), 0.5);
    EyeWork work(pulse, baseline, N, main, options, e);
    work.SetUpPhases();
    work.WorstCases();
    work.ComputePhases();
    work.FillMap();
    work.Jitter();
    const int best = work.BestPhase();
    if (best >= 0) work.Summarise(best);
    return e;
}

}  // namespace amihost
