// The statistical eye against exhaustive enumeration of bit patterns, against
// the time-domain eye of a pattern that holds every short pattern, and against
// the Gaussian tail for noise.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "metrics.h"
#include "stat_eye.h"
#include "stimulus.h"

using namespace amihost;

TEST(StatEye, should_match_an_exhaustive_enumeration_of_patterns) {
    // Cursors on grid points (step 1 mV), so no mass is split between bins.
    const std::vector<double> cursors = {0.120, -0.045, 0.031, -0.007, 0.002};
    const double v0 = -0.2, v1 = 0.2;
    const int bins = 401;
    const std::vector<double> pdf = IsiDistribution(cursors, v0, v1, bins);
    std::vector<double> exact(static_cast<std::size_t>(bins), 0.0);
    for (int pattern = 0; pattern < (1 << cursors.size()); ++pattern) {
        double sum = 0;
        for (std::size_t i = 0; i < cursors.size(); ++i)
            if (pattern >> i & 1) sum += cursors[i];
        exact[static_cast<std::size_t>(std::lround((sum - v0) / 0.001))] += 1.0 / (1 << cursors.size());
    }
    for (int k = 0; k < bins; ++k) EXPECT_NEAR(pdf[static_cast<std::size_t>(k)], exact[static_cast<std::size_t>(k)], 1e-12) << k;
}

TEST(StatEye, should_agree_with_the_time_domain_eye_of_a_complete_pattern) {
    // A pulse response four unit intervals long; PRBS9 holds every 9-bit
    // pattern, so its time-domain eye is the worst case, as the statistical
    // eye's opening at a vanishing BER.
    const int N = 8;
    std::vector<double> pulse(static_cast<std::size_t>(6 * N), 0.0);
    for (int k = 0; k < 4 * N; ++k)
        pulse[static_cast<std::size_t>(k + N)] = 0.6 * std::sin(3.141592653589793 * k / (4.0 * N)) * std::exp(-k / 5.0);
    std::size_t peak = 0;
    for (std::size_t k = 0; k < pulse.size(); ++k)
        if (pulse[k] > pulse[peak]) peak = k;
    StatEyeOptions o;
    o.targetBer = 1e-30;
    o.levels = 4001;
    const StatEye stat = ComputeStatEye(pulse, 0.0, N, static_cast<std::int64_t>(peak), o);
    ASSERT_TRUE(stat.valid);
    const std::vector<int> bits = PrbsBits(9, 511 * 2);
    std::vector<double> y(bits.size() * N, 0.0);
    for (std::size_t b = 0; b < bits.size(); ++b)
        if (bits[b])
            for (std::size_t k = 0; k < pulse.size() && b * N + k < y.size(); ++k) y[b * N + k] += pulse[k];
    // The time-domain eye at the statistical eye's phase.
    const EyeMetrics td = MeasureEye(y, N, 64 * N, static_cast<std::int64_t>(peak), bits);
    ASSERT_TRUE(td.valid);
    const double step = (stat.v1 - stat.v0) / (o.levels - 1);
    double worstOne = 1e9, worstZero = -1e9;
    const std::int64_t t = static_cast<std::int64_t>(peak) - N / 2 + stat.bestPhase;
    for (std::size_t b = 64; b + 8 < bits.size(); ++b) {
        const double v = y[b * N + static_cast<std::size_t>(t)];
        (bits[b] ? worstOne : worstZero) = bits[b] ? std::min(worstOne, v) : std::max(worstZero, v);
    }
    // Each cursor's shift lands between grid levels and is split between
    // them: at most one level of error per cursor.
    EXPECT_NEAR(stat.heightAtTarget, worstOne - worstZero, 6 * step);
    EXPECT_GT(td.height, 0.0);
}

TEST(StatEye, should_follow_the_gaussian_tail_for_noise) {
    const int N = 4;
    std::vector<double> pulse(static_cast<std::size_t>(3 * N), 0.0);
    for (int k = N; k < 2 * N; ++k) pulse[static_cast<std::size_t>(k)] = 1.0;  // no ISI at all
    StatEyeOptions o;
    o.noiseRms = 0.05;
    o.levels = 2001;
    const StatEye e = ComputeStatEye(pulse, 0.0, N, N + N / 2, o);
    ASSERT_TRUE(e.valid);
    // 0.5 Q(x) = 1e-12 at x = 6.934 noise units from each level.
    EXPECT_NEAR(e.heightAtTarget, 1.0 - 2 * 6.934 * 0.05, 0.01);
    EXPECT_NEAR(e.thresholdAtBest, 0.5, 0.01);
    // Random jitter never opens the eye wider.
    StatEyeOptions jitter = o;
    jitter.jitterRms = 0.1;
    EXPECT_LE(ComputeStatEye(pulse, 0.0, N, N + N / 2, jitter).widthAtTarget, e.widthAtTarget);
}
