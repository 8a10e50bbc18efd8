// The streaming eye and the streaming convolution on the real pipeline (the
// model's PRBS output, behind the built-in lossy line), against plain
// references written here: per-phase extremes and means by direct loops, a
// threshold-crossing count, a direct convolution; and the same numbers
// whether the stream comes whole, sample by sample or cut at random.
#include "link/eye.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "link/channel.h"
#include "runner.h"
#include "stimulus.h"

using namespace amihost;

namespace {

constexpr int kN = 32;
constexpr double kBitTime = 1e-10;

// The model's output for `bits` (1 V / 0 V NRZ), from the real library.
std::vector<double> ModelOutput(const std::vector<int>& bits) {
    Library lib;
    EXPECT_TRUE(lib.Open(TX_MODEL_LIBRARY).ok());
    RunConfig config;
    config.parameters = "(varnok_meridel_qlx_ami_tx (TXPOSTCURSOR 6))";
    config.bitTime = kBitTime;
    config.samplesPerBit = kN;
    const Stimulus s = Nrz(bits, kN, 1.0, 0.0);
    RunResult r = RunModel(lib, config, s.samples);
    EXPECT_TRUE(r.Ok());
    return r.output;
}

struct Naive {
    std::vector<double> minOne, maxZero, meanOne, meanZero;
    std::uint64_t crossings = 0;
};

// Direct loops over the analysed samples (sample k is in the window of bit
// (k - origin) / N at phase (k - origin) % N; analysed from bit `skip` on).
Naive NaiveEye(const std::vector<double>& y, const std::vector<int>& bits, std::int64_t delay,
               std::uint64_t skip, double threshold) {
    Naive n;
    n.minOne.assign(kN, INFINITY);
    n.maxZero.assign(kN, -INFINITY);
    std::vector<double> sumOne(kN, 0), sumZero(kN, 0), countOne(kN, 0), countZero(kN, 0);
    const std::int64_t origin = delay - kN / 2;
    bool haveLast = false;
    double last = 0;
    for (std::size_t k = 0; k < y.size(); ++k) {
        const std::int64_t u = static_cast<std::int64_t>(k) - origin;
        if (u < static_cast<std::int64_t>(skip) * kN) continue;
        const auto b = static_cast<std::size_t>(u / kN);
        const auto p = static_cast<std::size_t>(u % kN);
        if (b < bits.size()) {
            if (bits[b] == 1) {
                n.minOne[p] = std::min(n.minOne[p], y[k]);
                sumOne[p] += y[k];
                countOne[p] += 1;
            } else {
                n.maxZero[p] = std::max(n.maxZero[p], y[k]);
                sumZero[p] += y[k];
                countZero[p] += 1;
            }
        }
        if (haveLast && u >= 1 && ((last < threshold) != (y[k] < threshold))) ++n.crossings;
        last = y[k];
        haveLast = true;
    }
    for (int p = 0; p < kN; ++p) {
        n.meanOne.push_back(sumOne[p] / countOne[p]);
        n.meanZero.push_back(sumZero[p] / countZero[p]);
    }
    return n;
}

EyeAccumulator MakeEye(const std::vector<int>& bits, std::int64_t delay, std::uint64_t skip) {
    EyeAccumulator eye(
        kN, skip, delay, [&bits](std::uint64_t b) { return b < bits.size() ? bits[b] : -1; }, 4096);
    eye.TrackDensity(64, 48);
    return eye;
}

bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectIdentical(const EyeMetrics& a, const EyeMetrics& b) {
    EXPECT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.bestPhase, b.bestPhase);
    EXPECT_TRUE(Same(a.height, b.height)) << a.height << " vs " << b.height;
    EXPECT_TRUE(Same(a.widthUi, b.widthUi));
    EXPECT_TRUE(Same(a.threshold, b.threshold));
    EXPECT_TRUE(Same(a.highLevel, b.highLevel));
    EXPECT_TRUE(Same(a.lowLevel, b.lowLevel));
    EXPECT_TRUE(Same(a.peakToPeak, b.peakToPeak));
    EXPECT_EQ(a.bits, b.bits);
    EXPECT_EQ(a.crossings, b.crossings);
}

}  // namespace

TEST(StreamingEye, MatchesDirectLoopsBehindTheLineAndIgnoresHowTheStreamIsCut) {
    const std::vector<int> bits = PrbsBits(9, 3000);
    const std::vector<double> tx = ModelOutput(bits);
    const Channel line = LineChannel(18, 5e9, kBitTime / kN, kBitTime);
    std::vector<double> y;
    Convolver conv(line.impulse,
                   [&y](const double* v, std::size_t n) { y.insert(y.end(), v, v + n); });
    conv.Push(tx.data(), tx.size());
    conv.Finish();
    ASSERT_EQ(y.size(), tx.size());

    for (const auto& [wave, delay] :
         {std::pair{&tx, std::int64_t{20}},
          std::pair<const std::vector<double>*, std::int64_t>{&y, 70}}) {
        const std::uint64_t skip = 5;
        EyeAccumulator whole = MakeEye(bits, delay, skip);
        whole.Add(wave->data(), wave->size(), 0);
        const EyeMetrics m = whole.Finish();
        ASSERT_TRUE(m.valid) << m.note;

        const Naive n = NaiveEye(*wave, bits, delay, skip, m.threshold);
        const auto p = static_cast<std::size_t>(m.bestPhase);
        EXPECT_DOUBLE_EQ(m.height, n.minOne[p] - n.maxZero[p]);
        EXPECT_NEAR(m.highLevel, n.meanOne[p], 1e-12);  // volts; sums in the same order
        EXPECT_NEAR(m.lowLevel, n.meanZero[p], 1e-12);
        EXPECT_EQ(m.crossings, n.crossings);
        // From the first analysed window to the last one the stream reaches.
        const auto lastWindow = static_cast<std::uint64_t>(
            (static_cast<std::int64_t>(wave->size()) - 1 - (delay - kN / 2)) / kN);
        EXPECT_EQ(m.bits, std::min<std::uint64_t>(lastWindow, bits.size() - 1) - skip + 1);
        for (int q = 0; q < kN; ++q)
            EXPECT_DOUBLE_EQ(whole.HeightAt(q), n.minOne[static_cast<std::size_t>(q)] -
                                                    n.maxZero[static_cast<std::size_t>(q)]);

        // Sample by sample, and in random blocks: bit for bit the same.
        EyeAccumulator single = MakeEye(bits, delay, skip);
        for (std::size_t k = 0; k < wave->size(); ++k) single.Add(wave->data() + k, 1, k);
        ExpectIdentical(single.Finish(), m);
        EXPECT_EQ(single.Density().hits, whole.Density().hits);
        std::mt19937 rng(7);
        EyeAccumulator split = MakeEye(bits, delay, skip);
        for (std::size_t at = 0; at < wave->size();) {
            const std::size_t n1 = std::min<std::size_t>(1 + rng() % 200, wave->size() - at);
            split.Add(wave->data() + at, n1, at);
            at += n1;
        }
        ExpectIdentical(split.Finish(), m);
        EXPECT_EQ(split.Density().hits, whole.Density().hits);
    }
}

// A model's sample that is no number (its contract checks report it) crosses
// the threshold nowhere: the crossings of the samples on either side of it
// are the only ones the eye loses.
TEST(StreamingEye, ShouldCountNoCrossingAtASampleThatIsNoNumber) {
    const std::vector<int> bits = PrbsBits(9, 3000);
    std::vector<double> tx = ModelOutput(bits);
    EyeAccumulator clean = MakeEye(bits, 20, 5);
    clean.Add(tx.data(), tx.size(), 0);
    const EyeMetrics m = clean.Finish();
    ASSERT_TRUE(m.valid) << m.note;
    const auto below = [&m](double v) { return v - m.threshold < 0; };
    std::size_t k = 10000;  // past the calibration, at a crossing
    while (below(tx[k - 1]) == below(tx[k])) ++k;
    const std::uint64_t lost = 1 + (below(tx[k]) != below(tx[k + 1]) ? 1 : 0);
    tx[k] = std::nan("");
    EyeAccumulator holed = MakeEye(bits, 20, 5);
    holed.Add(tx.data(), tx.size(), 0);
    EXPECT_EQ(holed.Finish().crossings, m.crossings - lost);
    // A sample far outside the picture is drawn as far as the picture goes.
    tx[k] = 1e300;
    EyeAccumulator spike = MakeEye(bits, 20, 5);
    spike.Add(tx.data(), tx.size(), 0);
    EXPECT_TRUE(spike.Finish().valid);
}

TEST(StreamingConvolution, MatchesDirectSumsWithinSinglePrecisionWhateverTheBlocks) {
    const std::vector<int> bits = PrbsBits(7, 2000);
    const std::vector<double> tx = ModelOutput(bits);
    const Channel line = LineChannel(18, 5e9, kBitTime / kN, kBitTime);
    const std::vector<double>& h = line.impulse;
    ASSERT_GT(h.size(), 1000u);
    double scale = 0;  // the largest output magnitude possible: sum |h| max |x|
    for (double v : h) scale += std::fabs(v);
    // The direct sums at spread indices.
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k < tx.size(); k += 997) at.push_back(k);
    at.push_back(tx.size() - 1);
    std::vector<double> direct;
    for (std::size_t k : at) {
        double sum = 0;
        for (std::size_t j = 0; j < h.size() && j <= k; ++j) sum += h[j] * tx[k - j];
        direct.push_back(sum);
    }
    std::vector<double> whole;
    Convolver a(h, [&](const double* v, std::size_t n) { whole.insert(whole.end(), v, v + n); });
    a.Push(tx.data(), tx.size());
    a.Finish();
    ASSERT_EQ(whole.size(), tx.size());
    for (std::size_t i = 0; i < at.size(); ++i)
        EXPECT_NEAR(whole[at[i]], direct[i], 2e-6 * scale) << "sample " << at[i];

    // Cut at random: the same outputs within single-precision rounding (the
    // transform blocks fall elsewhere), and exactly as many.
    std::vector<double> split;
    Convolver b(h, [&](const double* v, std::size_t n) { split.insert(split.end(), v, v + n); });
    std::mt19937 rng(3);
    for (std::size_t k = 0; k < tx.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 5000, tx.size() - k);
        b.Push(tx.data() + k, n);
        k += n;
    }
    b.Finish();
    ASSERT_EQ(split.size(), tx.size());
    double worst = 0;
    for (std::size_t k = 0; k < tx.size(); ++k)
        worst = std::max(worst, std::fabs(split[k] - whole[k]));
    EXPECT_LT(worst, 2e-6 * scale);
}
