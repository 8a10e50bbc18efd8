// Elementary blocks, the block contract and a small composite.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "basic_blocks.h"
#include "const_source.h"
#include "type_converter.h"
#include "var_delay.h"
#include "wiring.h"

using namespace Tarvessa;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testsupport::Wire;

TEST(DFModel, should_default_every_step_to_true) {
    DFModel block;
    EXPECT_TRUE(block.Setup());
    EXPECT_TRUE(block.Initialize());
    EXPECT_TRUE(block.Run());
    EXPECT_TRUE(block.Finalize());
    EXPECT_TRUE(block.CheckParameters());
}

TEST(ElementaryBlocks, should_compute_gain_sum_and_fork) {
    double in = 0.25, out = 0, a = 1, b = 2, c = 3, sum = 99, f0 = 0, f1 = 0;
    Gain<double> gain;
    gain.Factor = -1;
    Wire(gain.Input, &in);
    Wire(gain.Output, &out);
    EXPECT_TRUE(gain.Run());
    EXPECT_EQ(out, -0.25);

    Add<double> add;
    Wire(add.Output, &sum);
    EXPECT_TRUE(add.Run());
    EXPECT_EQ(sum, 0.0);  // no inputs
    add.Inputs.SetSize(3);
    Wire(add.Inputs.Element(0), &a);
    Wire(add.Inputs.Element(1), &b);
    Wire(add.Inputs.Element(2), &c);
    add.Run();
    EXPECT_EQ(sum, 6.0);
    // Summed first input first: (1e16 + 1) + -1e16 loses the 1.
    a = 1e16, b = 1, c = -1e16;
    add.Run();
    EXPECT_EQ(sum, (1.0 + 1e16) + -1e16);

    Fork<CircularBuffer<double>> fork;
    fork.Outputs.SetSize(2);
    Wire(fork.Input, &in);
    Wire(fork.Outputs.Element(0), &f0);
    Wire(fork.Outputs.Element(1), &f1);
    fork.Run();
    EXPECT_EQ(f0, 0.25);
    EXPECT_EQ(f1, 0.25);
}

TEST(ConstUnTimed, should_emit_zero_during_initial_delay_and_restart_on_initialize) {
    double out = -1;
    ConstUnTimed<double> source;
    EXPECT_EQ(source.Value, 0.0);
    Wire(source.Output, &out);
    source.Value = 64;
    source.InitialDelay = 2;
    ASSERT_TRUE(source.Initialize());
    std::vector<double> seen;
    for (int k = 0; k < 4; ++k) {
        source.Run();
        seen.push_back(out);
    }
    EXPECT_EQ(seen, (std::vector<double>{0, 0, 64, 64}));
    ASSERT_TRUE(source.Initialize());
    source.Run();
    EXPECT_EQ(out, 0.0);

    source.InitialDelay = -1;
    CaptureStderr();
    EXPECT_FALSE(source.Initialize());
    EXPECT_EQ(GetCapturedStderr(), "InitialDelay must be >= 0\n");
    EXPECT_EQ(source.FiringCount, 0u);
}

namespace {
struct DelayRig {
    double in = 0, out = 0;
    int control = 0;
    VarDelay<CircularBuffer<double>> delay;
    DelayRig(int maxDelay, int ctl) {
        Wire(delay.Input, &in);
        Wire(delay.Output, &out);
        Wire(delay.DelayControl, &control);
        delay.MaxDelay = maxDelay;
        control = ctl;
    }
    std::vector<double> Feed(std::vector<double> xs) {
        std::vector<double> ys;
        for (double x : xs) {
            in = x;
            delay.Run();
            ys.push_back(out);
        }
        return ys;
    }
};
}  // namespace

TEST(VarDelay, should_delay_by_the_clamped_control_value) {
    DelayRig one(3, 1);
    ASSERT_TRUE(one.delay.Initialize());
    EXPECT_EQ(one.delay.History.Capacity, 4u);
    EXPECT_EQ(one.delay.History.Depth, 4u);
    EXPECT_EQ(one.Feed({1, 2, 3, 4}), (std::vector<double>{0, 1, 2, 3}));

    DelayRig high(3, 7);
    ASSERT_TRUE(high.delay.Initialize());
    EXPECT_EQ(high.Feed({1, 2, 3, 4, 5}), (std::vector<double>{0, 0, 0, 1, 2}));
    DelayRig low(3, -2);
    ASSERT_TRUE(low.delay.Initialize());
    EXPECT_EQ(low.Feed({1, 2, 3}), (std::vector<double>{1, 2, 3}));
    DelayRig none(0, 0);
    ASSERT_TRUE(none.delay.Initialize());
    EXPECT_EQ(none.delay.History.Capacity, 1u);
    EXPECT_EQ(none.Feed({5, 6}), (std::vector<double>{5, 6}));
}

TEST(VarDelay, should_follow_control_changes_and_ignore_a_disabled_port) {
    DelayRig rig(4, 2);
    ASSERT_TRUE(rig.delay.Initialize());
    EXPECT_EQ(rig.delay.CurrentDelay, 4u);  // before the first firing
    rig.Feed({1, 2, 3});
    rig.control = 0;
    EXPECT_EQ(rig.Feed({4}), (std::vector<double>{4}));
    rig.control = 3;
    EXPECT_EQ(rig.Feed({5}), (std::vector<double>{2}));
    rig.delay.DelayControl.Enabled = false;
    rig.control = 0;
    EXPECT_EQ(rig.Feed({6}), (std::vector<double>{3}));
}

TEST(VarDelay, should_keep_history_across_a_second_initialize) {
    DelayRig rig(2, 2);
    ASSERT_TRUE(rig.delay.Initialize());
    rig.Feed({1, 2, 3});
    ASSERT_TRUE(rig.delay.Initialize());  // same size: storage and contents stay
    EXPECT_EQ(rig.Feed({4, 5}), (std::vector<double>{2, 3}));
    rig.delay.MaxDelay = 4;  // growth keeps the order seen back from Position
    rig.control = 4;
    ASSERT_TRUE(rig.delay.Initialize());
    EXPECT_EQ(rig.delay.History.Capacity, 5u);
    EXPECT_EQ(rig.Feed({6, 7, 8, 9, 10}), (std::vector<double>{0, 0, 4, 5, 6}));
}

TEST(VarDelay, should_reject_a_negative_max_delay_without_changes) {
    DelayRig rig(-1, 0);
    CaptureStderr();
    EXPECT_FALSE(rig.delay.Initialize());
    EXPECT_EQ(GetCapturedStderr(), "MaxDelay must be >= 0\n");
    EXPECT_EQ(rig.delay.History.Capacity, 0u);
}

TEST(TypeConverterRound, should_round_halves_away_from_zero) {
    struct Case {
        double in;
        int out;
    };
    const double belowHalf = std::nextafter(0.5, 0.0);
    const Case cases[] = {{0.5, 1}, {-0.5, -1},     {1.49, 1},   {-1.5, -2},
                          {2.5, 3}, {-2.5, -3},     {2.4999, 2}, {-0.4, 0},
                          {0.0, 0}, {belowHalf, 1}, {64.0, 64},  {-0.0, 0}};
    double in = 0;
    int out = -7;
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> conv;
    Wire(conv.Input, &in);
    Wire(conv.Output, &out);
    for (const Case& c : cases) {
        in = c.in;
        conv.Run();
        EXPECT_EQ(out, c.out) << c.in;
    }
    EXPECT_EQ(TypeConverterRound::Rounded(-2.5), -3.0);
}

TEST(TypeConverterRound, should_saturate_out_of_range_and_map_nan_to_zero) {
    const double inf = std::numeric_limits<double>::infinity();
    const int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    const std::pair<double, int> cases[] = {
        {std::nan(""), 0}, {inf, hi},          {-inf, lo},          {3e9, hi},
        {-3e9, lo},        {2147483646.6, hi}, {-2147483648.4, lo}, {2147483646.4, hi - 1}};
    for (auto [x, want] : cases) {
        int out = 1;
        TypeConverterRound::Convert(x, out);
        EXPECT_EQ(out, want) << x;
    }
}

namespace {
// A composite of five blocks on capacity-one stores: source -> fork -> two
// gains -> add. `Order` chooses whether gain 2 fires before the fork.
class SmallComposite final : public DFModel {
public:
    ConstUnTimed<double> Source;
    Fork<CircularBuffer<double>> Split;
    Gain<double> Twice;
    Gain<double> Thrice;
    Add<double> Sum;
    double Stores[6] = {};
    bool ThriceFirst = false;
    std::vector<std::string> Calls;

    bool Setup() override {
        Split.Outputs.SetSize(2);
        Sum.Inputs.SetSize(2);
        Twice.Factor = 2;
        Thrice.Factor = 3;
        // Every block's Setup runs, in order, whatever an earlier one returned.
        bool ok = true;
        for (bool step :
             {Source.Setup(), Split.Setup(), Twice.Setup(), Thrice.Setup(), Sum.Setup()})
            ok = ok && step;
        return ok;
    }
    bool Initialize() override {
        Wire(Source.Output, &Stores[0]);
        Wire(Split.Input, &Stores[0]);
        Wire(Split.Outputs.Element(0), &Stores[1]);
        Wire(Twice.Input, &Stores[1]);
        Wire(Split.Outputs.Element(1), &Stores[2]);
        Wire(Thrice.Input, &Stores[2]);
        Wire(Twice.Output, &Stores[3]);
        Wire(Sum.Inputs.Element(0), &Stores[3]);
        Wire(Thrice.Output, &Stores[4]);
        Wire(Sum.Inputs.Element(1), &Stores[4]);
        Wire(Sum.Output, &Stores[5]);
        bool ok = true;
        ok = Source.Initialize() && ok;  // never short-circuits the call
        ok = Split.Initialize() && ok;
        ok = Twice.Initialize() && ok;
        ok = Thrice.Initialize() && ok;
        ok = Sum.Initialize() && ok;
        return ok;
    }
    bool Run() override {
        bool ok = Source.Run();
        if (ThriceFirst) ok = Thrice.Run() && ok;
        ok = Split.Run() && ok;
        ok = Twice.Run() && ok;
        if (!ThriceFirst) ok = Thrice.Run() && ok;
        ok = Sum.Run() && ok;
        return ok;
    }
};
}  // namespace

TEST(Composite, should_deliver_current_token_after_writer_and_previous_before) {
    SmallComposite after;
    after.Source.Value = 1;
    after.Source.InitialDelay = 1;
    ASSERT_TRUE(after.Setup());
    ASSERT_TRUE(after.Initialize());
    after.Run();
    EXPECT_EQ(after.Stores[5], 0.0);
    after.Run();
    EXPECT_EQ(after.Stores[5], 5.0);  // 2*1 + 3*1 in the same pass

    SmallComposite before;
    before.ThriceFirst = true;
    before.Source.Value = 1;
    before.Source.InitialDelay = 1;
    before.Setup();
    before.Initialize();
    before.Run();
    before.Run();
    EXPECT_EQ(before.Stores[5], 2.0);  // Thrice still saw last pass's 0
    before.Run();
    EXPECT_EQ(before.Stores[5], 5.0);
}

TEST(Composite, should_call_every_block_and_report_a_failure_once) {
    SmallComposite c;
    c.Setup();
    c.Source.InitialDelay = -3;
    CaptureStderr();
    EXPECT_FALSE(c.Initialize());
    EXPECT_EQ(GetCapturedStderr(), "InitialDelay must be >= 0\n");
    // Blocks after the failing one were still initialised and wired.
    EXPECT_EQ(c.Sum.Output.Data, &c.Stores[5]);
}

TEST(Ports, should_leave_connection_storage_alone_when_destroyed) {
    auto* store = new double[1]{4.0};
    {
        Gain<double> g;
        Wire(g.Input, store);
        Wire(g.Output, store);
    }
    EXPECT_EQ(store[0], 4.0);
    delete[] store;
}

TEST(ElementaryBlocks, should_not_allocate_while_firing) {
    SmallComposite c;
    c.Source.Value = 2;
    c.Setup();
    c.Initialize();
    DelayRig rig(8, 3);
    rig.delay.Initialize();
    double in = 1.5;
    int out = 0;
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> conv;
    Wire(conv.Input, &in);
    Wire(conv.Output, &out);
    testsupport::NoAllocationScope scope;
    for (int k = 0; k < 100; ++k) {
        c.Run();
        rig.delay.Run();
        conv.Run();
    }
    EXPECT_EQ(scope.Count(), 0);
}
