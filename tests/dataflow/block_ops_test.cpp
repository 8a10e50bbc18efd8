// Each block's block operation against its own one-token Run over the same
// tokens: the same bits, and the shared state left where Run leaves it.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "basic_blocks.h"
#include "const_source.h"
#include "polynomial.h"
#include "sdomain_iir.h"
#include "type_converter.h"
#include "var_delay.h"
#include "waves.h"
#include "wiring.h"

using namespace Tarvessa;
using testsupport::AwkwardWave;
using testsupport::SameBits;
using testsupport::Specials;
using testsupport::Wire;

namespace {

// Block sizes that cut a stream: single tokens, odd sizes, a large block.
const std::uint32_t kCuts[] = {1, 7, 2, 256, 33, 1, 1000, 3};

// The transmitter's kind of output filter: one real pole, unity DC gain.
void MakeSinglePole(SDomainIIR& f, double sampleRate) {
    const double pole = -1.25e11;
    f.SampleRate = sampleRate;
    f.GainConstant = 1.25e11;
    f.RealPoles.Reshape({1, 1});
    f.RealPoles.Assign(&pole, 1);
    f.ComplexPoles.Reshape({0, 0});
}

// Feeds `x` to `block` token by token through one-element ports.
template <class Block>
std::vector<double> ByRun(Block& block, CircularBufferE<double>& in, CircularBufferE<double>& out,
                          const std::vector<double>& x) {
    double a = 0, b = 0;
    Wire(in, &a);
    Wire(out, &b);
    std::vector<double> y;
    for (double v : x) {
        a = v;
        block.Run();
        y.push_back(b);
    }
    return y;
}

// Feeds `x` through `fire(in, out, n)` in blocks cut by kCuts.
template <class Fire>
std::vector<double> ByBlocks(const std::vector<double>& x, Fire fire) {
    std::vector<double> y(x.size());
    std::size_t at = 0;
    for (std::size_t c = 0; at < x.size(); ++c) {
        const std::uint32_t n = static_cast<std::uint32_t>(
            std::min<std::size_t>(kCuts[c % (sizeof kCuts / sizeof kCuts[0])], x.size() - at));
        fire(x.data() + at, y.data() + at, n);
        at += n;
    }
    return y;
}

}  // namespace

TEST(BlockOps, gain_add_fork_and_converter_should_match_their_run) {
    const std::vector<double> x = AwkwardWave(3000, 1, Specials::All);
    Gain<double> g1, g2;
    g1.Factor = g2.Factor = -0.37;
    const auto byRun = ByRun(g1, g1.Input, g1.Output, x);
    EXPECT_TRUE(SameBits(byRun, ByBlocks(x, [&](const double* in, double* out, std::uint32_t n) {
                             g2.RunBlock(in, out, n);
                         })));

    // Add with three inputs, summing into its first input's array.
    Add<double> add;
    add.Inputs.SetSize(3);
    std::vector<double> a = x, b = AwkwardWave(3000, 2), c = AwkwardWave(3000, 3);
    std::vector<double> expected(x.size());
    double ia = 0, ib = 0, ic = 0, out = 0;
    Wire(add.Inputs.Element(0), &ia);
    Wire(add.Inputs.Element(1), &ib);
    Wire(add.Inputs.Element(2), &ic);
    Wire(add.Output, &out);
    for (std::size_t i = 0; i < x.size(); ++i) {
        ia = a[i], ib = b[i], ic = c[i];
        add.Run();
        expected[i] = out;
    }
    const double* ins[3] = {a.data(), b.data(), c.data()};
    add.RunBlock(ins, a.data(), 1001);
    const double* rest[3] = {a.data() + 1001, b.data() + 1001, c.data() + 1001};
    add.RunBlock(rest, a.data() + 1001, 1999);
    EXPECT_TRUE(SameBits(expected, a));

    Fork<CircularBuffer<double>> fork;
    fork.Outputs.SetSize(2);
    std::vector<double> f0(x.size(), 9.0);
    double* outs[2] = {f0.data(), const_cast<double*>(x.data())};
    fork.RunBlock(x.data(), outs, static_cast<std::uint32_t>(x.size()));
    EXPECT_TRUE(SameBits(f0, x));

    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> convert;
    const std::vector<double> r = {2.5, -2.5, 1e300, -1e300, std::nan(""), -0.0, 2147483646.5};
    std::vector<int> byBlock(r.size()), byOne(r.size());
    convert.RunBlock(r.data(), byBlock.data(), static_cast<std::uint32_t>(r.size()));
    for (std::size_t i = 0; i < r.size(); ++i) TypeConverterRound::Convert(r[i], byOne[i]);
    EXPECT_EQ(byBlock, byOne);
}

TEST(BlockOps, polynomial_should_match_run_with_zero_coefficients_skipped) {
    // Odd and even curves with signed zeros, a +0.0 followed by a zero, and a
    // constant polynomial: every skipping rule and its exceptions.
    const std::vector<std::vector<double>> curves = {
        {-0.0, 1.0, 0.0, -0.5623, -0.0, 0.3717, 0.0, -0.2232, -0.0, 0.0983, 0.0, -0.0215},
        {0.0, 0.0, -0.0, 2.0, 0.0},
        {0.5},
        {0.0, 1.0},
        {1.0, -0.0, 0.0, 0.0, 3.0, 0.0, -0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
         0.5},
    };
    for (std::size_t c = 0; c < curves.size(); ++c) {
        Polynomial<double, 0> p1, p2;
        for (auto* p : {&p1, &p2}) {
            p->Coefficients.Reshape({1, static_cast<std::uint32_t>(curves[c].size())});
            p->Coefficients.Assign(curves[c].data(), static_cast<std::uint32_t>(curves[c].size()));
        }
        const std::vector<double> x =
            AwkwardWave(2000, 10 + static_cast<std::uint32_t>(c), Specials::All);
        const auto byRun = ByRun(p1, p1.Input, p1.Output, x);
        EXPECT_TRUE(SameBits(byRun, ByBlocks(x, [&](const double* in, double* out,
                                                    std::uint32_t n) { p2.RunBlock(in, out, n); })))
            << "curve " << c;
    }
}

TEST(BlockOps, var_delay_should_match_run_with_changing_and_fixed_control) {
    const std::vector<double> x = AwkwardWave(2500, 4, Specials::All);
    for (int maxDelay : {0, 1, 5, 64}) {
        VarDelay<CircularBuffer<double>> byOne, byBlock;
        double in = 0, out = 0;
        int control = 0;
        Wire(byOne.Input, &in);
        Wire(byOne.Output, &out);
        Wire(byOne.DelayControl, &control);
        byOne.MaxDelay = byBlock.MaxDelay = maxDelay;
        // A history grown by an earlier, longer delay keeps its larger ring.
        byBlock.MaxDelay = maxDelay + 9;
        ASSERT_TRUE(byBlock.Initialize());
        byBlock.MaxDelay = maxDelay;
        ASSERT_TRUE(byOne.Initialize() && byBlock.Initialize());
        byOne.History.Resize(byBlock.History.Capacity, true, nullptr);
        // Control per token: a value that changes within blocks, out of range
        // both ways, then long stretches of one value.
        std::vector<int> controls(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            controls[i] = i < 900 ? static_cast<int>(i % 13) - 3 : (i < 1700 ? maxDelay : 2);
        }
        std::vector<double> expected, got(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            in = x[i];
            control = controls[i];
            byOne.Run();
            expected.push_back(out);
        }
        std::size_t at = 0;
        for (std::size_t c = 0; at < x.size(); ++c) {
            const auto n =
                static_cast<std::uint32_t>(std::min<std::size_t>(kCuts[c % 8], x.size() - at));
            bool uniform = true;
            for (std::uint32_t k = 1; k < n; ++k)
                uniform = uniform && controls[at + k] == controls[at];
            if (uniform && c % 2 == 0) {
                byBlock.RunBlock(x.data() + at, controls[at], got.data() + at, n);
            } else {
                byBlock.RunBlock(x.data() + at, controls.data() + at, got.data() + at, n);
            }
            at += n;
        }
        EXPECT_TRUE(SameBits(expected, got)) << "MaxDelay " << maxDelay;
        EXPECT_EQ(byOne.CurrentDelay, byBlock.CurrentDelay);
    }

    // A disabled control port keeps the delay of Initialize (MaxDelay).
    VarDelay<CircularBuffer<double>> off;
    off.MaxDelay = 3;
    off.DelayControl.Enabled = false;
    ASSERT_TRUE(off.Initialize());
    const double ramp[6] = {1, 2, 3, 4, 5, 6};
    double y[6];
    off.RunBlock(ramp, 0, y, 6);
    EXPECT_EQ(std::vector<double>(y, y + 6), (std::vector<double>{0, 0, 0, 1, 2, 3}));
}

TEST(BlockOps, const_source_should_end_its_initial_delay_inside_a_block) {
    ConstUnTimed<double> byOne, byBlock;
    double port = 0;
    Wire(byOne.Output, &port);
    double blockPort = 0;
    Wire(byBlock.Output, &blockPort);
    for (auto* s : {&byOne, &byBlock}) {
        s->Value = 32;
        s->InitialDelay = 5;
        ASSERT_TRUE(s->Initialize());
    }
    std::vector<double> expected, got(12);
    for (int i = 0; i < 12; ++i) {
        byOne.Run();
        expected.push_back(port);
    }
    EXPECT_FALSE(byBlock.RunBlockSteady(4));  // still inside the delay: nothing taken
    EXPECT_EQ(byBlock.FiringCount, 0u);
    byBlock.RunBlock(got.data(), 7);  // the delay ends after the fifth token
    EXPECT_TRUE(byBlock.RunBlockSteady(3));
    std::fill(got.begin() + 7, got.begin() + 10, byBlock.Value);
    byBlock.RunBlock(got.data() + 10, 2);
    EXPECT_EQ(expected, got);
    EXPECT_EQ(byBlock.FiringCount, byOne.FiringCount);

    // The firing count wraps as in Run, and the delay starts again after it.
    byBlock.FiringCount = 0xFFFFFFFEu;
    EXPECT_FALSE(byBlock.RunBlockSteady(3));
    EXPECT_TRUE(byBlock.RunBlockSteady(2));
    EXPECT_EQ(byBlock.FiringCount, 0u);
    byBlock.InitialDelay = 0;
    EXPECT_TRUE(byBlock.RunBlockSteady(0xFFFFFFFFu));
}

TEST(BlockOps, filters_should_match_run_through_every_section_and_output) {
    // The default fifth-order cascade with three outputs, and the first-order
    // section of the transmitter at two sample rates (its shortened path and
    // the fallback to the full section on awkward values).
    struct Case {
        double rate;
        bool firstOrder;
        std::uint32_t outputs;
        Specials specials;
    };
    const Case cases[] = {{1e6 * 4, false, 3, Specials::Finite},
                          {3.2e11, true, 1, Specials::Finite},
                          {3.2e11, true, 1, Specials::All},
                          {6.4e12, true, 1, Specials::Finite}};
    for (const Case& c : cases) {
        SDomainIIR byOne, byBlock;
        for (auto* f : {&byOne, &byBlock}) {
            f->SampleRate = c.rate;
            f->Outputs.SetSize(c.outputs);
            if (c.firstOrder) MakeSinglePole(*f, c.rate);
        }
        double in = 0;
        std::vector<double> outs(c.outputs);
        Wire(byOne.Input, &in);
        for (std::uint32_t p = 0; p < c.outputs; ++p) Wire(byOne.Outputs.Element(p), &outs[p]);
        ASSERT_TRUE(byOne.Initialize() && byBlock.Initialize());

        const std::vector<double> x = AwkwardWave(5000, 7, c.specials);
        std::vector<std::vector<double>> expected(c.outputs),
            got(c.outputs, std::vector<double>(x.size()));
        for (double v : x) {
            in = v;
            byOne.Run();
            for (std::uint32_t p = 0; p < c.outputs; ++p) expected[p].push_back(outs[p]);
        }
        std::size_t at = 0;
        for (std::size_t k = 0; at < x.size(); ++k) {
            const auto n =
                static_cast<std::uint32_t>(std::min<std::size_t>(kCuts[k % 8], x.size() - at));
            std::vector<double*> o;
            for (std::uint32_t p = 0; p < c.outputs; ++p) o.push_back(got[p].data() + at);
            byBlock.RunBlock(x.data() + at, o.data(), n);
            at += n;
        }
        for (std::uint32_t p = 0; p < c.outputs; ++p) {
            EXPECT_EQ(testsupport::FirstDifference(expected[p], got[p]), x.size())
                << "rate " << c.rate << " output " << p;
        }
    }
}

TEST(BlockOps, first_order_section_should_keep_every_signed_zero_of_the_full_section) {
    // States and inputs at which a shortened section would differ: a -0.0
    // input against a tiny negative state, a tiny negative input against a
    // -0.0 state (the output then sums two -0.0 products), and states or
    // inputs beyond the finite range (an infinite state reaches d2 two
    // samples later).
    const double tiny = 4.9e-324, inf = std::numeric_limits<double>::infinity();
    struct Start {
        double d1, d2, x0, x1;
    };
    const Start starts[] = {{-tiny, -1.0, -0.0, 0.5}, {-0.0, 1.0, -tiny, 0.5},
                            {-0.0, -1.0, -tiny, 0.0}, {-1e-310, 2.0, -0.0, -tiny},
                            {1e308, 1.0, 1e308, 0.0}, {0.0, inf, 1.0, 1.0},
                            {-0.0, -0.0, -0.0, -0.0}, {0.0, 0.0, std::nan(""), 1.0},
                            {0.0, 0.0, 1.0, -inf},    {1.0, 0.0, inf, -inf}};
    for (const Start& s : starts) {
        SDomainIIR byOne, byBlock;
        for (auto* f : {&byOne, &byBlock}) {
            MakeSinglePole(*f, 3.2e11);
            ASSERT_TRUE(f->Initialize());
            f->Delay1[0] = s.d1;
            f->Delay2[0] = s.d2;
        }
        double in = 0, out = 0;
        Wire(byOne.Input, &in);
        Wire(byOne.Outputs.Element(0), &out);
        const std::vector<double> x = {s.x0, s.x1, 0.25, -0.5};
        std::vector<double> expected, got(x.size());
        for (double v : x) {
            in = v;
            byOne.Run();
            expected.push_back(out);
        }
        double* o = got.data();
        byBlock.RunBlock(x.data(), &o, static_cast<std::uint32_t>(x.size()));
        EXPECT_TRUE(SameBits(expected, got)) << s.d1 << " " << s.d2 << " " << s.x0;
        EXPECT_EQ(std::memcmp(byOne.Delay1, byBlock.Delay1, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(byOne.Delay2, byBlock.Delay2, sizeof(double)), 0);
    }
}

TEST(BlockOps, filter_should_hand_every_token_on_in_order_and_again_after_a_redo) {
    // A follower that copies what it is handed must end with the block's
    // output, for any count, whether the fast path holds or is redone (a tiny
    // negative first input from a zero state gives a -0.0 product).
    for (const double special : {0.5, -4.9e-324}) {
        for (const std::uint32_t count : {0u, 1u, 7u, 8u, 23u, 24u, 25u, 256u}) {
            SDomainIIR byArrays, byFollower;
            for (auto* f : {&byArrays, &byFollower}) {
                MakeSinglePole(*f, 3.2e11);
                ASSERT_TRUE(f->Initialize());
            }
            std::vector<double> x(count, 0.25), expected(count), out(count), copy(count, 7.0);
            if (count > 0) x[0] = special;
            double* e = expected.data();
            byArrays.RunBlock(x.data(), &e, count);
            std::uint32_t reach = 0;  // tokens [0, reach) handed on so far
            bool redone = false;
            byFollower.RunBlock(
                x.data(), out.data(), count, [&](std::uint32_t at, std::uint32_t n) {
                    EXPECT_TRUE(at == reach || at == 0) << at << " " << reach;
                    redone = redone || (at == 0 && reach > 0);
                    if (n > 0) std::memcpy(copy.data() + at, out.data() + at, n * sizeof(double));
                    reach = at + n;
                });
            EXPECT_EQ(reach, count);
            EXPECT_TRUE(SameBits(expected, copy)) << count << " " << special;
            EXPECT_EQ(std::memcmp(byArrays.Delay1, byFollower.Delay1, sizeof(double)), 0);
            EXPECT_EQ(redone, special < 0.0 && count >= 24) << count;  // 24: a group handed first
        }
    }
}
