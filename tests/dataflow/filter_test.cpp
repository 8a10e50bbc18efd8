// Biquad cascade and the s-domain IIR filter, against independent references:
// H(s) evaluated directly from gain, poles and zeros at s = K(1 - 1/z)/(1 + 1/z),
// and a direct form I recursion of the realised sections.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "sdomain_iir.h"
#include "wiring.h"

using namespace Tarvessa;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testsupport::Wire;
using C = std::complex<double>;

namespace {

constexpr double kPi = 3.141592653589793;

struct Prototype {
    double gain;
    std::vector<double> realPoles, realZeros;
    std::vector<C> complexPoles, complexZeros;
};

template <class E>
void Fill(Matrix<E>& m, const std::vector<E>& values) {
    const auto n = static_cast<std::uint32_t>(values.size());
    m.Reshape({1, n});
    if (n > 0) m.Assign(values.data(), n);
}

struct FilterRig {
    double in = 0, out = 0;
    SDomainIIR filter;
    explicit FilterRig(const Prototype& p, double rate, int unit = 0) {
        filter.SampleRate = rate;
        filter.GainConstant = p.gain;
        Fill(filter.RealPoles, p.realPoles);
        Fill(filter.RealZeros, p.realZeros);
        Fill(filter.ComplexPoles, p.complexPoles);
        Fill(filter.ComplexZeros, p.complexZeros);
        filter.FrequencyUnit = unit;
        Wire(filter.Input, &in);
        Wire(filter.Outputs.Element(0), &out);
    }
    double Step(double x) {
        in = x;
        filter.Run();
        return out;
    }
};

// H(s) from its factors; every complex root stands with its conjugate.
C AnalogResponse(const Prototype& p, C s) {
    C h = p.gain;
    for (double z : p.realZeros) h *= s - z;
    for (C z : p.complexZeros) h *= (s - z) * (s - std::conj(z));
    for (double q : p.realPoles) h /= s - q;
    for (C q : p.complexPoles) h /= (s - q) * (s - std::conj(q));
    return h;
}

C RealisedResponse(const double* taps, int count, C z) {
    const C zi = 1.0 / z;
    C h = 1.0;
    for (int k = 0; k < count; k += 6) {
        const double* t = taps + k;
        h *= (t[0] + t[1] * zi + t[2] * zi * zi) / (t[3] + t[4] * zi + t[5] * zi * zi);
    }
    return h;
}

void ExpectMatchesBilinearImage(const Prototype& p, double rate, int unit = 0) {
    FilterRig rig(p, rate, unit);
    ASSERT_TRUE(rig.filter.Initialize());
    const double scale = unit == 1 ? 6.283185307179586 : 1.0;
    Prototype radians = p;
    for (double& v : radians.realPoles) v *= scale;
    for (double& v : radians.realZeros) v *= scale;
    for (C& v : radians.complexPoles) v *= scale;
    for (C& v : radians.complexZeros) v *= scale;
    const double K = 2.0 / (1.0 / rate);
    std::vector<C> want, got;
    double peak = 0;
    for (int k = 0; k < 64; ++k) {
        const C z = std::polar(1.0, kPi * k / 64.0);
        const C s = K * (1.0 - 1.0 / z) / (1.0 + 1.0 / z);
        want.push_back(AnalogResponse(radians, s));
        got.push_back(RealisedResponse(rig.filter.Taps, rig.filter.TapCount, z));
        peak = std::max(peak, std::abs(want.back()));
    }
    for (int k = 0; k < 64; ++k) {
        if (std::abs(want[k]) > 1e-6 * peak) {
            EXPECT_LE(std::abs(got[k] - want[k]) / std::abs(want[k]), 1e-9) << "k=" << k;
        }
    }
}

const Prototype kButterworth{
    1.1616128054708951e+29,
    {-650148.0708064173},
    {},
    {{-200906.8027392695, 618327.5592971661}, {-525980.8381424781, 382147.44782641466}},
    {}};
const Prototype kTransmitterPole{1.25e11, {-1.25e11}, {}, {}, {}};

}  // namespace

TEST(BiquadCascade, should_reject_bad_tap_counts_with_the_exact_message) {
    for (int count : {0, -6, 7}) {
        BiquadCascade b;
        std::vector<double> taps(12, 1.0);
        b.Taps = taps.data();
        b.TapCount = count;
        CaptureStderr();
        EXPECT_FALSE(b.Initialize());
        EXPECT_EQ(GetCapturedStderr(),
                  "The number of parameter taps must not be zero and must be a multiple of 6 "
                  "taps. There are currently " +
                      std::to_string(count) + " taps.\n");
        EXPECT_EQ(b.BiquadCount, 0u);
    }
}

TEST(BiquadCascade, should_reject_zero_or_subnormal_d0_naming_the_section) {
    for (double d0 : {0.0, 1e-310, -0.0}) {
        std::vector<double> taps = {2, 0, 0, 2, -1, 0, 1, 0, 0, d0, 0, 0};
        BiquadCascade b;
        b.Taps = taps.data();
        b.TapCount = 12;
        CaptureStderr();
        EXPECT_FALSE(b.Initialize());
        EXPECT_EQ(GetCapturedStderr(), "The D0 coefficient for biquad number 2 cannot be zero. \n");
        EXPECT_EQ(taps[3], 1.0);  // the first section is already normalised
        double in = 1, out = 42;
        Wire(b.Input, &in);
        b.Outputs.SetSize(1);
        Wire(b.Outputs.Element(0), &out);
        b.Run();  // a firing of a block that is not ready writes nothing
        EXPECT_EQ(out, 42);
    }
}

TEST(BiquadCascade, should_normalise_and_run_direct_form_two) {
    std::vector<double> taps = {2, 0, 0, 2, -1, 0};
    BiquadCascade b;
    b.Taps = taps.data();
    b.TapCount = 6;
    double in = 0, out = 0;
    b.Outputs.SetSize(1);
    Wire(b.Input, &in);
    Wire(b.Outputs.Element(0), &out);
    ASSERT_TRUE(b.Initialize());
    EXPECT_EQ(taps, (std::vector<double>{1, 0, 0, 1, -0.5, 0}));
    std::vector<double> ys;
    for (double x : {1.0, 0.0, 0.0, 0.0}) {
        in = x;
        b.Run();
        ys.push_back(out);
    }
    EXPECT_EQ(ys, (std::vector<double>{1, 0.5, 0.25, 0.125}));
    // A second Initialize restarts from a zero state.
    ASSERT_TRUE(b.Initialize());
    in = 1;
    b.Run();
    EXPECT_EQ(out, 1.0);
}

TEST(BiquadCascade, should_feed_outputs_from_the_last_sections) {
    // Section k multiplies by k + 2, so each output identifies its sections.
    std::vector<double> taps = {2, 0, 0, 1, 0, 0, 3, 0, 0, 1, 0, 0, 4, 0, 0, 1, 0, 0};
    double in = 1, outs[4] = {};
    BiquadCascade b;
    b.Taps = taps.data();
    b.TapCount = 18;
    b.Outputs.SetSize(3);
    Wire(b.Input, &in);
    for (std::uint32_t p = 0; p < 3; ++p) Wire(b.Outputs.Element(p), &outs[p]);
    ASSERT_TRUE(b.Initialize());
    b.Run();
    EXPECT_EQ(outs[0], 24.0);  // all three sections
    EXPECT_EQ(outs[1], 6.0);   // sections 0 and 1
    EXPECT_EQ(outs[2], 2.0);   // section 0 alone

    b.Outputs.SetSize(0);
    ASSERT_TRUE(b.Initialize());
    EXPECT_TRUE(b.Run());

    b.Outputs.SetSize(4);
    for (std::uint32_t p = 0; p < 4; ++p) Wire(b.Outputs.Element(p), &outs[p]);
    CaptureStderr();
    EXPECT_FALSE(b.Initialize());
    EXPECT_EQ(GetCapturedStderr(),
              "The number of outputs must be less than or equal to the number of biquads in the "
              "cascade.  Currently, there are 4 outputs and 3 biquads.\n");
    ASSERT_NE(b.Delay1, nullptr);
    EXPECT_EQ(b.Delay1[2], 0.0);
    // Not ready after that failure: a firing runs no section, writes nothing.
    outs[0] = outs[3] = 7;
    EXPECT_TRUE(b.Run());
    EXPECT_EQ(outs[0], 7.0);
    EXPECT_EQ(outs[3], 7.0);
    EXPECT_EQ(b.Delay1[0], 0.0);
}

TEST(BiquadCascade, should_pass_identity_sections_through) {
    std::vector<double> taps;
    for (int k = 0; k < 5; ++k) taps.insert(taps.end(), {1, 0, 0, 1, 0, 0});
    BiquadCascade b;
    b.Taps = taps.data();
    b.TapCount = 30;
    b.Outputs.SetSize(1);
    double in = 0, out = 0;
    Wire(b.Input, &in);
    Wire(b.Outputs.Element(0), &out);
    ASSERT_TRUE(b.Initialize());
    for (double x : {0.3, -7.0, 1e-300}) {
        in = x;
        b.Run();
        EXPECT_EQ(out, x);
    }
}

TEST(SDomainIIR, should_refuse_a_sample_rate_that_is_not_positive) {
    for (double rate : {0.0, -1.0, std::nan("")}) {
        SDomainIIR f;
        f.SampleRate = rate;
        CaptureStderr();
        EXPECT_FALSE(f.Initialize());
        EXPECT_EQ(GetCapturedStderr(), "SampleRate must be positive.\n");
        EXPECT_EQ(f.Taps, nullptr);
    }
}

TEST(SDomainIIR, should_match_the_bilinear_image_of_h_of_s) {
    ExpectMatchesBilinearImage(kButterworth, 1e6);
    ExpectMatchesBilinearImage(kTransmitterPole, 3.2e11);
    ExpectMatchesBilinearImage(kTransmitterPole, 6.4e12);
    ExpectMatchesBilinearImage({6e15, {-1e5, -2e5, -3e5}, {}, {}, {}}, 1e6);
    ExpectMatchesBilinearImage({2.0, {-1e5}, {}, {}, {{-3e4, 2e5}, {-1e4, 5e5}}}, 1e6);
    ExpectMatchesBilinearImage({4e5, {-1e5, -2e5}, {-5e4}, {}, {}}, 1e6);
    ExpectMatchesBilinearImage({1e3, {-1000}, {}, {}, {}}, 1e5, 1);
    // A negative gain over several sections keeps the overall response.
    ExpectMatchesBilinearImage({-6e15, {-1e5, -2e5, -3e5}, {}, {}, {}}, 1e6);
}

TEST(SDomainIIR, should_order_factors_as_complex_pairs_odd_then_fillers) {
    const double rate = 1e6, T = 1.0 / rate, K = 2.0 / T;
    FilterRig defaults(kButterworth, rate);
    ASSERT_TRUE(defaults.filter.Initialize());
    ASSERT_EQ(defaults.filter.TapCount, 18);
    const double* t = defaults.filter.Taps;
    // Fillers (1,2,1), (1,2,1), (1,1,0) keep their shapes through the scaling.
    EXPECT_DOUBLE_EQ(t[1] / t[0], 2.0);
    EXPECT_DOUBLE_EQ(t[7] / t[6], 2.0);
    EXPECT_DOUBLE_EQ(t[13] / t[12], 1.0);
    EXPECT_EQ(t[14], 0.0);
    EXPECT_EQ(t[17], 0.0);  // the real pole is first order, in the last section
    // Section 0 holds the first complex pole: D1 = 2(A - C)/(A + C - B).
    const double s = -200906.8027392695, w = 618327.5592971661;
    const double A = s * s + w * w, B = 4 * s / T, Cc = 4 / (T * T);
    EXPECT_NEAR(t[4], 2 * (A - Cc) / (A + (Cc - B)), 1e-14);

    FilterRig three({6e15, {-1e5, -2e5, -3e5}, {}, {}, {}}, rate);
    ASSERT_TRUE(three.filter.Initialize());
    ASSERT_EQ(three.filter.TapCount, 12);
    const double r = -3e5;  // section 1: first-order factor of the third pole
    EXPECT_NEAR(three.filter.Taps[10], -(K + r) / (K - r), 1e-15);
    EXPECT_EQ(three.filter.Taps[11], 0.0);

    FilterRig mixed({2.0, {-1e5}, {}, {}, {{-3e4, 2e5}, {-1e4, 5e5}}}, rate);
    ASSERT_TRUE(mixed.filter.Initialize());
    ASSERT_EQ(mixed.filter.TapCount, 12);
    // Pole side: second-order form of the real pole, then the filler (1,2,1).
    EXPECT_NEAR(mixed.filter.Taps[4], -2 * -1e5 / (K + 1e5), 1e-15);
    EXPECT_DOUBLE_EQ(mixed.filter.Taps[10], 2.0);
    EXPECT_DOUBLE_EQ(mixed.filter.Taps[11], 1.0);

    FilterRig zero({4e5, {-1e5, -2e5}, {-5e4}, {}, {}}, rate);
    ASSERT_TRUE(zero.filter.Initialize());
    // Zero side (K - r, -2r, -(K + r)), scaled: N1/N0 = -2r/(K - r).
    EXPECT_NEAR(zero.filter.Taps[1] / zero.filter.Taps[0], 1e5 / (K + 5e4), 1e-15);
}

TEST(SDomainIIR, should_be_a_pure_gain_without_poles_or_zeros) {
    FilterRig rig({3.0, {}, {}, {}, {}}, 1e6);
    ASSERT_TRUE(rig.filter.Initialize());
    ASSERT_EQ(rig.filter.TapCount, 6);
    EXPECT_EQ(std::vector<double>(rig.filter.Taps, rig.filter.Taps + 6),
              (std::vector<double>{3, 0, 0, 1, 0, 0}));
    EXPECT_EQ(rig.Step(2.0), 6.0);
}

TEST(SDomainIIR, should_give_the_closed_form_single_pole_taps) {
    const double a = 1.25e11;
    for (double rate : {3.2e11, 6.4e12, 1e10}) {
        FilterRig rig(kTransmitterPole, rate);
        ASSERT_TRUE(rig.filter.Initialize());
        const double K = 2.0 / (1.0 / rate);
        const double* t = rig.filter.Taps;
        const double n0 = a / (K + a), d1 = (a - K) / (K + a);
        EXPECT_LE(std::fabs(t[0] - n0), 2 * std::nextafter(n0, 1.0) - 2 * n0) << rate;
        EXPECT_EQ(t[1], t[0]);
        EXPECT_EQ(t[2], 0.0);
        EXPECT_EQ(t[3], 1.0);
        EXPECT_LE(std::fabs(t[4] - d1), 2 * std::fabs(std::nextafter(d1, 2.0) - d1)) << rate;
        EXPECT_EQ(t[5], 0.0);
        // DC gain (N0 + N1)/(1 + D1) within a few ulps of 1.
        EXPECT_NEAR((t[0] + t[1]) / (1.0 + t[4]), 1.0, 4 * 2.220446049250313e-16);
    }
}

TEST(SDomainIIR, should_settle_a_step_at_unity) {
    for (auto [proto, rate] : {std::pair{kButterworth, 1e6}, std::pair{kTransmitterPole, 3.2e11}}) {
        FilterRig rig(proto, rate);
        ASSERT_TRUE(rig.filter.Initialize());
        // DC gain from the coefficient sums of every section: z = 1.
        double dc = 1.0;
        for (int k = 0; k < rig.filter.TapCount; k += 6) {
            const double* t = rig.filter.Taps + k;
            dc *= (t[0] + t[1] + t[2]) / (t[3] + t[4] + t[5]);
        }
        EXPECT_NEAR(dc, 1.0, 8 * 2.220446049250313e-16) << rate;
        double y = 0;
        for (int n = 0; n < 20000; ++n) y = rig.Step(1.0);
        EXPECT_NEAR(y, 1.0, 1e-13);
    }
}

TEST(SDomainIIR, should_match_a_direct_form_one_recursion) {
    FilterRig rig(kButterworth, 1e6);
    ASSERT_TRUE(rig.filter.Initialize());
    const std::vector<double> taps(rig.filter.Taps, rig.filter.Taps + 18);
    std::vector<double> signal(200, 0.0);
    signal[0] = 1.0;
    signal[50] = -0.5;
    std::vector<double> ref = signal;
    for (int k = 0; k < 3; ++k) {  // y[n] = N.x - D1 y[n-1] - D2 y[n-2], section by section
        const double* t = &taps[6 * k];
        std::vector<double> y(ref.size());
        for (std::size_t n = 0; n < ref.size(); ++n) {
            const double x1 = n >= 1 ? ref[n - 1] : 0, x2 = n >= 2 ? ref[n - 2] : 0;
            const double y1 = n >= 1 ? y[n - 1] : 0, y2 = n >= 2 ? y[n - 2] : 0;
            y[n] = t[0] * ref[n] + t[1] * x1 + t[2] * x2 - t[4] * y1 - t[5] * y2;
        }
        ref = y;
    }
    double peak = 0;
    for (double v : ref) peak = std::max(peak, std::fabs(v));
    for (std::size_t n = 0; n < signal.size(); ++n) {
        EXPECT_NEAR(rig.Step(signal[n]), ref[n], 1e-12 * peak) << n;
    }
}

TEST(SDomainIIR, should_scale_hertz_in_place_on_every_initialize) {
    FilterRig rig({1e3, {-1000}, {}, {}, {}}, 1e5, 1);
    ASSERT_TRUE(rig.filter.Initialize());
    EXPECT_EQ(rig.filter.RealPoles[0], -1000 * 6.283185307179586);
    ASSERT_TRUE(rig.filter.Initialize());
    EXPECT_EQ(rig.filter.RealPoles[0], -1000 * 6.283185307179586 * 6.283185307179586);
}

TEST(SDomainIIR, should_refuse_a_root_at_the_bilinear_singularity) {
    const double rate = 1e6, K = 2.0 / (1.0 / rate);
    FilterRig pole({1.0, {K}, {}, {}, {}}, rate);
    CaptureStderr();
    EXPECT_FALSE(pole.filter.Initialize());
    EXPECT_EQ(GetCapturedStderr(),
              "The pole factor for biquad number 1 has a zero leading coefficient. A pole must "
              "not lie at 2*SampleRate, where the bilinear transform is undefined.\n");
    pole.in = 1;
    pole.out = 9;
    pole.filter.Run();
    EXPECT_EQ(pole.out, 9.0);

    FilterRig zero({1.0, {-1.0, -2.0}, {}, {}, {{K, 0.0}}}, rate);
    CaptureStderr();
    EXPECT_FALSE(zero.filter.Initialize());
    EXPECT_NE(GetCapturedStderr().find("The zero factor for biquad number 1"), std::string::npos);
}

TEST(SDomainIIR, should_write_nothing_after_a_failed_second_initialize) {
    FilterRig rig(kTransmitterPole, 3.2e11);
    ASSERT_TRUE(rig.filter.Initialize());
    rig.Step(1.0);
    const double* taps = rig.filter.Taps;
    const double t0 = taps[0];
    rig.filter.SampleRate = -1.0;
    CaptureStderr();
    EXPECT_FALSE(rig.filter.Initialize());
    EXPECT_EQ(GetCapturedStderr(), "SampleRate must be positive.\n");
    EXPECT_EQ(rig.filter.Taps, taps);  // the taps stay as they were
    EXPECT_EQ(rig.filter.Taps[0], t0);
    rig.out = 5;
    const double state = rig.filter.Delay1[0];
    EXPECT_TRUE(rig.filter.Run());
    EXPECT_EQ(rig.out, 5.0);
    EXPECT_EQ(rig.filter.Delay1[0], state);
}

TEST(SDomainIIR, should_write_nothing_when_fired_after_finalize) {
    FilterRig rig(kTransmitterPole, 3.2e11);
    ASSERT_TRUE(rig.filter.Initialize());
    rig.Step(1.0);
    ASSERT_TRUE(rig.filter.Finalize());
    EXPECT_EQ(rig.filter.Taps, nullptr);
    EXPECT_EQ(rig.filter.TapCount, 6);  // Finalize hands the taps over, not the count
    rig.out = 5;
    EXPECT_TRUE(rig.filter.Run());
    EXPECT_EQ(rig.out, 5.0);
    ASSERT_TRUE(rig.filter.Initialize());  // usable again, from a zero state
    FilterRig fresh(kTransmitterPole, 3.2e11);
    ASSERT_TRUE(fresh.filter.Initialize());
    EXPECT_EQ(rig.Step(1.0), fresh.Step(1.0));
}
