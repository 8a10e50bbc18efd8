// The transmitter block itself: coefficient mapping, graph and wiring.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

#include "alloc_counter.h"
#include "model_instance.h"
#include "tx_model.h"
#include "tx_rig.h"

namespace {

struct Mapped {
    int pre, post, diff, pvt;
    double preWeight, postWeight, mainWeight, swing;
};

// A model set up and initialised with port storage, for direct firing.
struct Rig : TxRig {
    using TxRig::TxRig;
    double TapSumOutput() const { return *static_cast<double*>(model.TapSum.Output.Data); }
};

}  // namespace

TEST(ComputeCoefficients, should_map_codes_by_tables_and_fallback_formulas) {
    const Mapped cases[] = {
        {0, 0, 15, 0, 0.0, -0.0002, 0.9998, 1.0969},
        {3, 5, 15, 0, -0.0353, -0.0597, 1.0 - 0.0353 - 0.0597, 1.0969},
        {20, 31, 0, 2, -0.2445, -0.3831, 1.0 - 0.2445 - 0.3831, 0.22},
        {25, 0, 15, 1, -0.2445, -0.0002, 1.0 - 0.2445 - 0.0002, 1.026},
        {-2, -1, 15, 3, 0.02375, 0.0115625, 1.0 + 0.02375 + 0.0115625, 0.99995},
        {0, 32, 16, 0, 0.0, -0.37, 1.0 - 0.37, 1.05138},
        {0, 33, -1, 0, 0.0, -0.3815625, 1.0 - 0.3815625, 0.17707},
    };
    for (const Mapped& c : cases) {
        varnok_meridel_qlx_ami_tx m;
        m.TXPRECURSOR = c.pre;
        m.TXPOSTCURSOR = c.post;
        m.TXDIFFCTRL = c.diff;
        m.TX_PVT = c.pvt;
        m.ComputeCoefficients();
        EXPECT_NEAR(m.PreWeight, c.preWeight, 1e-15) << c.pre;
        EXPECT_NEAR(m.PostWeight, c.postWeight, 1e-15) << c.post;
        EXPECT_NEAR(m.MainWeight, c.mainWeight, 1e-15);
        EXPECT_NEAR(m.Swing, c.swing, 1e-14) << c.diff << "/" << c.pvt;
    }
    varnok_meridel_qlx_ami_tx m;
    m.BitTime = 1e-10;
    m.SamplesPerBit = 32;
    m.TXPRECURSOR = INT_MIN;
    m.TXPOSTCURSOR = INT_MIN;
    m.TXDIFFCTRL = INT_MAX;
    m.ComputeCoefficients();
    EXPECT_EQ(m.ModelSampleRate, 3.2e11);
    EXPECT_NEAR(m.PreWeight, 2147483648.0 * 0.0125 * 0.95, 1e-3);
    EXPECT_TRUE(std::isfinite(m.Swing));
}

TEST(TxModel, should_set_up_inner_blocks_from_the_codes) {
    Rig rig(64);
    ASSERT_TRUE(rig.model.Setup());
    EXPECT_EQ(rig.model.TapSum.Inputs.Size, 3u);
    EXPECT_EQ(rig.model.MidFork.Outputs.Size, 2u);
    EXPECT_EQ(rig.model.InputFork.Outputs.Size, 2u);
    EXPECT_EQ(rig.model.OutputGain.Factor, 2.0);
    EXPECT_EQ(rig.model.SwingGain.Factor, 0.5 * 1.0969);
    EXPECT_EQ(rig.model.BitDelay1.MaxDelay, 64);
    EXPECT_EQ(rig.model.BitDelay1Const.Value, 64.0);
    EXPECT_EQ(rig.model.OutputFilter.SampleRate, 6.4e11);
    EXPECT_EQ(rig.model.Saturation.Coefficients.Size, 12u);
    EXPECT_EQ(rig.model.Saturation.Coefficients[11], -0.0215);
    EXPECT_EQ(rig.model.AllocatedStores(), 0);
}

TEST(TxModel, should_keep_exactly_nineteen_stores_across_initializations) {
    Rig rig(8);
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.model.AllocatedStores(), 19);
    ASSERT_TRUE(rig.model.Initialize());
    EXPECT_EQ(rig.model.AllocatedStores(), 19);
    ASSERT_TRUE(rig.model.Finalize());
    EXPECT_EQ(rig.model.AllocatedStores(), 0);
}

// The graph as declared: the firing order holds each of the sixteen blocks
// once, and after Initialize each connection's two ports share store k, of
// the element its row declares (the delay controls' integers, doubles
// elsewhere: a wrong size would show as a wrong value below).
TEST(TxModel, should_wire_the_declared_graph) {
    using Graph = varnok_meridel_qlx_ami_tx::Graph;
    Rig rig(8);
    ASSERT_TRUE(rig.Start());
    std::set<const Tarvessa::DFModel*> declared, fired;
    Graph::Blocks::Each(rig.model, [&](Tarvessa::DFModel& b) { declared.insert(&b); });
    Graph::FiringOrder::Each(rig.model, [&](Tarvessa::DFModel& b) { fired.insert(&b); });
    EXPECT_EQ(declared.size(), 16u);
    EXPECT_EQ(fired, declared);
    int ints = 0;
    for (int k = 0; k < varnok_meridel_qlx_ami_tx::kStoreCount; ++k) {
        const Graph::Connection& c = Graph::kConnections[k];
        EXPECT_EQ(c.producer(rig.model).Data, rig.model.Store(k)) << k;
        EXPECT_EQ(c.consumer(rig.model).Data, rig.model.Store(k)) << k;
        ints += c.element == Graph::Element::Int;
    }
    EXPECT_EQ(ints, 2);
    EXPECT_EQ(rig.model.BitDelay1.DelayControl.Data, rig.model.Store(4));
    EXPECT_EQ(rig.model.BitDelay2.DelayControl.Data, rig.model.Store(5));
    ASSERT_TRUE(rig.model.Run());
    EXPECT_EQ(*static_cast<int*>(rig.model.Store(4)), 8);  // the rounded delay amount
}

TEST(TxModel, should_deliver_the_taps_to_the_filter_at_zero_n_and_two_n) {
    Rig rig(64);
    rig.model.TXPRECURSOR = 4;
    rig.model.TXPOSTCURSOR = 9;
    ASSERT_TRUE(rig.Start());
    for (int n = 0; n <= 130; ++n) {
        rig.in = n == 0 ? 1.0 : 0.0;
        ASSERT_TRUE(rig.model.Run());
        const double e = rig.TapSumOutput();
        if (n == 0)
            EXPECT_EQ(e, rig.model.PreWeight);
        else if (n == 64)
            EXPECT_EQ(e, rig.model.MainWeight);
        else if (n == 128)
            EXPECT_EQ(e, rig.model.PostWeight);
        else
            EXPECT_EQ(e, 0.0) << n;
    }
}

TEST(TxModel, should_build_a_step_one_tap_at_a_time) {
    Rig rig(4);
    rig.model.TXPRECURSOR = 2;
    rig.model.TXPOSTCURSOR = 3;
    ASSERT_TRUE(rig.Start());
    const double pre = rig.model.PreWeight, main = rig.model.MainWeight,
                 post = rig.model.PostWeight;
    for (int n = 0; n < 12; ++n) {
        rig.in = 1.0;
        rig.model.Run();
        const double want = n < 4 ? pre : n < 8 ? main + pre : post + (main + pre);
        EXPECT_EQ(rig.TapSumOutput(), want) << n;
    }
}

TEST(TxModel, should_not_allocate_while_firing) {
    Rig rig(32);
    ASSERT_TRUE(rig.Start());
    testsupport::NoAllocationScope scope;
    for (int n = 0; n < 1000; ++n) {
        rig.in = (n / 32) % 2 ? 0.5 : -0.5;
        rig.model.Run();
    }
    EXPECT_EQ(scope.Count(), 0);
}

TEST(SamplesPerUnitInterval, should_round_half_up_and_refuse_what_has_no_int) {
    EXPECT_EQ(SamplesPerUnitInterval(1e-12, 6.4e-11), 64);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, 16.5), 17);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, 16.49), 16);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, -3.7), -3);
    EXPECT_EQ(SamplesPerUnitInterval(0.0, 1e-10), 0);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, std::nan("")), 0);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, 3e9), 0);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, 2147483646.0), 2147483646);
    EXPECT_EQ(SamplesPerUnitInterval(1.0, -2147483648.0), -2147483647);
}
