// The transmitter fired a block at a time against the same transmitter fired
// once per sample: the same bits for every code set, rate, cut and input.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "tx_model.h"
#include "tx_rig.h"
#include "waves.h"

using testsupport::AwkwardWave;
using testsupport::FirstDifference;
using testsupport::Specials;

namespace {

constexpr std::uint32_t kChunk = varnok_meridel_qlx_ami_tx::kBlockSize;

struct Codes {
    int pre, post, diff, pvt;
};

// A model with its two ports given storage, set up and initialised.
struct Tx : TxRig {
    Tx(const Codes& c, int spb) : TxRig(spb, 1e-10, TxCodes{c.pre, c.post, c.diff, c.pvt}) {}
    double RunOne(double x) {
        double y = 0;
        EXPECT_TRUE(Fire(x, y));
        return y;
    }
};

std::vector<double> PerSample(Tx& tx, const std::vector<double>& x) {
    std::vector<double> y;
    y.reserve(x.size());
    for (double v : x) y.push_back(tx.RunOne(v));
    return y;
}

// Fires `x` through RunBlock, in place, in pieces of the sizes `next()` gives
// (each at most one chunk).
template <class Next>
std::vector<double> Blocked(Tx& tx, std::vector<double> x, Next next) {
    for (std::size_t at = 0; at < x.size();) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(next(), x.size() - at));
        EXPECT_TRUE(tx.model.RunBlock(x.data() + at, x.data() + at, n));
        at += n;
    }
    return x;
}

const Codes kCodeSets[] = {
    {0, 0, 15, 0},
    {3, 5, 12, 1},
    {20, 31, 0, 2},
    {25, 40, 16, 3},
    {-2, -1, -1, 0},
    {7, 0, 15, 1},
    {INT_MAX, INT_MIN, INT_MAX, INT_MIN},
};

}  // namespace

TEST(BlockFiring, should_match_per_sample_firing_for_every_code_set_rate_and_cut) {
    std::mt19937 rng(17);
    const std::uint32_t fixedCuts[] = {1, kChunk - 1, kChunk, kChunk};
    for (int spb : {1, 2, 3, 32, 64, 255}) {
        for (const Codes& c : kCodeSets) {
            const auto specials = (spb + (c.pre & 7)) % 3 == 0 ? Specials::All : Specials::Finite;
            const std::vector<double> x =
                AwkwardWave(6000, static_cast<std::uint32_t>(spb), specials);
            Tx one(c, spb), random(c, spb), fixed(c, spb);
            ASSERT_TRUE(one.Start() && random.Start() && fixed.Start());
            const std::vector<double> expected = PerSample(one, x);
            std::size_t k = 0;
            const auto byRandom = Blocked(random, x, [&] { return 1 + rng() % kChunk; });
            const auto byFixed = Blocked(fixed, x, [&] { return fixedCuts[k++ % 4]; });
            EXPECT_EQ(FirstDifference(expected, byRandom), x.size())
                << "N " << spb << " codes " << c.pre << "/" << c.post << "/" << c.diff;
            EXPECT_EQ(FirstDifference(expected, byFixed), x.size()) << "N " << spb;
        }
    }
}

TEST(BlockFiring, should_mix_with_single_run_firings_on_one_instance) {
    const Codes c{4, 9, 11, 2};
    const std::vector<double> x = AwkwardWave(20000, 5);
    Tx one(c, 32), mixed(c, 32);
    ASSERT_TRUE(one.Start() && mixed.Start());
    const std::vector<double> expected = PerSample(one, x);
    std::vector<double> got(x);
    std::mt19937 rng(3);
    for (std::size_t at = 0; at < x.size();) {
        const auto n =
            static_cast<std::uint32_t>(std::min<std::size_t>(1 + rng() % 300, x.size() - at));
        if (rng() % 3 == 0) {
            for (std::uint32_t i = 0; i < n; ++i) got[at + i] = mixed.RunOne(x[at + i]);
        } else {
            const auto m = std::min(n, kChunk);
            ASSERT_TRUE(mixed.model.RunBlock(x.data() + at, got.data() + at, m));
            at += m;
            continue;
        }
        at += n;
    }
    EXPECT_EQ(FirstDifference(expected, got), x.size());
    // The ports hold the last tokens, as after Run.
    EXPECT_EQ(mixed.in, x.back());
    EXPECT_EQ(mixed.out, got.back());
}

TEST(BlockFiring, should_match_per_sample_firing_over_a_long_stream) {
    // 2^20 samples in whole chunks, as AMI_GetWave cuts a large call.
    const Codes c{2, 12, 9, 0};
    const std::vector<double> x = AwkwardWave(std::size_t{1} << 20, 8);
    Tx one(c, 32), block(c, 32);
    ASSERT_TRUE(one.Start() && block.Start());
    const auto expected = PerSample(one, x);
    EXPECT_EQ(FirstDifference(expected, Blocked(block, x, [] { return kChunk; })), x.size());
}

TEST(BlockFiring, should_keep_its_work_arrays_from_initialize_to_finalize) {
    Tx tx({0, 0, 15, 0}, 32);
    ASSERT_TRUE(tx.Start());
    std::vector<double> x(3 * kChunk, 0.5);
    ASSERT_TRUE(tx.model.RunBlock(x.data(), x.data(), kChunk));
    EXPECT_TRUE(tx.model.Finalize());
    EXPECT_EQ(tx.model.AllocatedStores(), 0);
    ASSERT_TRUE(tx.model.Initialize());  // a second life gets them again
    EXPECT_TRUE(tx.model.RunBlock(x.data(), x.data(), kChunk));
}
