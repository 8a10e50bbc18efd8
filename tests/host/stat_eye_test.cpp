// The statistical eye and the link's responses, against references that do
// not share their code: exhaustive enumeration of bit patterns, the worst
// case, a complete PRBS, the Gaussian tail, and the real model behind real
// channels (the built-in line and measured Touchstone files).
#include "link/stat_eye.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "channel_source.h"
#include "link/eye.h"
#include "link/fft.h"
#include "link/responses.h"
#include "session.h"
#include "stimulus.h"

using namespace amihost;
namespace fs = std::filesystem;

namespace {

// The transmitter's responses at the given codes, from the real model.
Responses TxResponses(const std::map<std::string, std::string>& codes,
                      const StatEyeOptions& options = {},
                      const std::string& library = TX_MODEL_LIBRARY,
                      const std::string& params = "") {
    CommonOptions o;
    o.library = library;
    if (params.empty()) {
        o.amiFile = TX_PACKAGE_AMI;
    } else {
        o.parameters = params;
        o.ignoreBits = 3;
        o.ignoreBitsGiven = true;
    }
    o.quiet = true;
    Setup setup;
    EXPECT_EQ(Prepare(o, setup, codes), 0);
    return MeasureResponses(setup, o, options);
}

Channel Line(double db) { return LineChannel(db, 5e9, 1e-10 / 32, 1e-10); }

// Exact opening of deciding a 1 (main + sum) against a 0 (sum) over every
// pattern of `isi` (each equally likely), at BER `target`: the longest run of
// decision levels where 0.5 P(one below) + 0.5 P(zero above) <= target.
double BruteForceHeight(double main, const std::vector<double>& isi, double target) {
    const std::size_t n = isi.size(), patterns = std::size_t{1} << n;
    std::vector<double> sums(patterns);
    for (std::size_t b = 0; b < patterns; ++b) {
        double s = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (b >> i & 1) s += isi[i];
        sums[b] = s;
    }
    std::sort(sums.begin(), sums.end());
    // Candidate decision levels: every zero level and every one level.
    std::vector<double> cuts;
    for (double s : sums) {
        cuts.push_back(s);
        cuts.push_back(s + main);
    }
    std::sort(cuts.begin(), cuts.end());
    const double p = 1.0 / static_cast<double>(patterns);
    double best = 0, runStart = 0;
    bool inRun = false;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        const double v = 0.5 * (cuts[k] + cuts[k + 1]);
        const auto onesBelow = static_cast<double>(
            std::lower_bound(sums.begin(), sums.end(), v - main) - sums.begin());
        const auto zerosAbove =
            static_cast<double>(sums.end() - std::upper_bound(sums.begin(), sums.end(), v));
        const double ber = 0.5 * p * (onesBelow + zerosAbove);
        if (ber <= target && cuts[k + 1] > cuts[k]) {
            if (!inRun) runStart = cuts[k], inRun = true;
            best = std::max(best, cuts[k + 1] - runStart);
        } else if (cuts[k + 1] > cuts[k]) {
            inRun = false;
        }
    }
    return best;
}

}  // namespace

TEST(StatEye, should_bound_every_pattern_within_the_stated_grid_error) {
    // Random cursors of mixed signs and sizes, nowhere near a grid: every
    // pattern's exact sum must lie within `error` of mass the distribution
    // holds, checked through the cumulative distribution at every sum.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int trial = 0; trial < 5; ++trial) {
        std::vector<double> cursors;
        for (int i = 0; i < 14; ++i)
            cursors.push_back(u(rng) * std::pow(10.0, -4 * std::fabs(u(rng))));
        const IsiDistribution d = ComputeIsi(cursors, StatEyeOptions{}.gridBins);
        std::vector<double> sums;
        for (int b = 0; b < (1 << 14); ++b) {
            double s = 0;
            for (int i = 0; i < 14; ++i)
                if (b >> i & 1) s += cursors[static_cast<std::size_t>(i)];
            sums.push_back(s);
        }
        std::sort(sums.begin(), sums.end());
        double total = 0;
        for (double p : d.p) total += p;
        EXPECT_NEAR(total, 1.0, 1e-12);
        for (std::size_t k = 0; k < sums.size(); k += 97) {
            const double exact =
                static_cast<double>(k + 1) / static_cast<double>(sums.size());  // P(X <= sums[k])
            double below = 0,
                   above =
                       0;  // computed mass at or below sums[k] + error, and below sums[k] - error
            for (std::size_t i = 0; i < d.p.size(); ++i) {
                if (d.Level(i) <= sums[k] + d.error + 1e-15) below += d.p[i];
                if (d.Level(i) < sums[k] - d.error - 1e-15) above += d.p[i];
            }
            EXPECT_GE(below + 1e-12, exact) << trial << " " << k;
            EXPECT_LE(above,
                      static_cast<double>(std::upper_bound(sums.begin(), sums.end(), sums[k]) -
                                          sums.begin()) /
                              static_cast<double>(sums.size()) +
                          1e-12)
                << trial << " " << k;
        }
        EXPECT_LT(
            d.error, 1e-3 * [&] {
                double r = 0;
                for (double c : cursors) r += std::fabs(c);
                return r;
            }());
    }
}

TEST(StatEye, should_match_an_enumeration_of_every_pattern_of_the_real_link) {
    // The real model at its optimised codes behind the 18 dB line; the pulse
    // response kept to 16 unit intervals around the main cursor so that every
    // pattern can be enumerated (2^15 per phase), at BERs 1e-3 to 1e-12.
    const Responses tx = TxResponses({{"TXPRECURSOR", "6"}, {"TXPOSTCURSOR", "26"}});
    ASSERT_TRUE(tx.ok);
    const Channel line = Line(18);
    const ProbeResponses ch =
        ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, StatEyeOptions{});
    ASSERT_TRUE(ch.ok);
    const int N = 32;
    const std::int64_t centre = static_cast<std::int64_t>(ch.start) + ch.delaySamples;
    std::vector<double> pulse(ch.pulse.size(), 0.0);
    for (std::int64_t k = centre - 3 * N - N / 2; k < centre + 12 * N + N / 2; ++k)
        pulse[static_cast<std::size_t>(k)] = ch.pulse[static_cast<std::size_t>(k)];
    for (double target : {1e-3, 1e-6, 1e-9, 1e-12}) {
        StatEyeOptions o;
        o.targetBer = target;
        const StatEye e = ComputeStatEye(pulse, ch.low, N, centre, o);
        ASSERT_TRUE(e.valid);
        for (int phase : {4, 10, 16, 22, 28}) {
            const std::int64_t t = centre - N / 2 + phase;
            std::vector<double> isi;
            for (int u = -3; u <= 12; ++u)
                if (u != 0) isi.push_back(pulse[static_cast<std::size_t>(t + u * N)]);
            const double exact = BruteForceHeight(pulse[static_cast<std::size_t>(t)], isi, target);
            EXPECT_NEAR(e.heights[static_cast<std::size_t>(phase)], exact, 2 * e.gridError + 1e-12)
                << "BER " << target << " phase " << phase;
        }
        EXPECT_LE(e.gridError, 1e-3 * 0.5);  // within 0.1 % of the swing
    }
}

TEST(StatEye, should_never_lie_below_the_worst_case_behind_real_channels) {
    // Without noise no BER can close the eye beyond the worst case; and no
    // time-domain eye of a pattern (PRBS7 here) is more closed than it.
    const Responses tx = TxResponses({{"TXPRECURSOR", "6"}, {"TXPOSTCURSOR", "26"}});
    ASSERT_TRUE(tx.ok);
    for (double db : {10.0, 18.0, 30.0}) {
        const Channel line = Line(db);
        const ProbeResponses ch =
            ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, StatEyeOptions{});
        ASSERT_TRUE(ch.ok && ch.stat.valid);
        for (int p = 0; p < 32; ++p) {
            double sumAbs = 0;
            const std::int64_t t = static_cast<std::int64_t>(ch.start) + ch.delaySamples - 16 + p;
            for (std::int64_t s = t % 32; s < static_cast<std::int64_t>(ch.pulse.size()); s += 32)
                if (s != t) sumAbs += std::fabs(ch.pulse[static_cast<std::size_t>(s)]);
            const double worst = ch.pulse[static_cast<std::size_t>(t)] - sumAbs;
            EXPECT_GE(ch.stat.heights[static_cast<std::size_t>(p)], worst - 1e-12)
                << db << " dB, phase " << p;
        }
        EXPECT_GE(ch.stat.heightAtTarget, ch.stat.peakDistortionHeight);
    }
}

TEST(StatEye, should_group_only_a_tail_that_moves_no_height) {
    // Counting every one of the line's thousands of cursors exactly, and only
    // the largest 128 with the rest as a group, give the same eye within 1 mV
    // at every phase and BER.
    const Responses tx = TxResponses({{"TXPRECURSOR", "6"}, {"TXPOSTCURSOR", "26"}});
    ASSERT_TRUE(tx.ok);
    for (double db : {10.0, 18.0, 30.0}) {
        const Channel line = Line(db);
        StatEyeOptions grouped, exact;
        exact.exactCursors = 1 << 20;
        for (double target : {1e-6, 1e-12}) {
            grouped.targetBer = exact.targetBer = target;
            const ProbeResponses a =
                ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, grouped);
            const ProbeResponses b = ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, exact);
            ASSERT_TRUE(a.ok && b.ok);
            EXPECT_GT(a.stat.groupedCursors, 0);
            EXPECT_EQ(b.stat.groupedCursors, 0);
            for (int p = 0; p < 32; ++p)
                EXPECT_NEAR(a.stat.heights[static_cast<std::size_t>(p)],
                            b.stat.heights[static_cast<std::size_t>(p)], 1e-3)
                    << db << " dB, BER " << target << ", phase " << p;
        }
    }
}

TEST(StatEye, should_open_fully_without_intersymbol_interference) {
    // One tap of 1.5: the channel's pulse is the transmitter's, scaled; the
    // eye at 1e-12 is the main cursor's whole swing and a whole unit interval.
    const Responses tx = TxResponses({});
    ASSERT_TRUE(tx.ok);
    const ProbeResponses ch = ThroughChannel(tx.probe, {1.5}, 1.5, 32, StatEyeOptions{});
    ASSERT_TRUE(ch.ok && ch.stat.valid);
    const double swing = 1.5 * (tx.probe.high - tx.probe.low);
    EXPECT_NEAR(ch.stat.heightAtTarget, swing, 1e-3 * swing);
    EXPECT_DOUBLE_EQ(ch.stat.widthAtTarget, 1.0);
    EXPECT_NEAR(ch.high - ch.low, swing, 1e-12);
}

TEST(StatEye, should_refuse_a_channel_that_is_not_finite_wherever_it_is_so) {
    // Early or late in the response, with a pulse or with none: never a
    // statistical eye from it, always the channel named.
    const Responses tx = TxResponses({});
    ASSERT_TRUE(tx.ok);
    ProbeResponses silent = tx.probe;
    std::fill(silent.pulse.begin(), silent.pulse.end(), 0.0);
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        for (std::size_t at : {std::size_t{0}, std::size_t{2999}}) {
            std::vector<double> h(3000, 1e-4);
            h[at] = bad;
            for (const ProbeResponses* in :
                 {&tx.probe, static_cast<const ProbeResponses*>(&silent)}) {
                const ProbeResponses r = ThroughChannel(*in, h, 0.3, 32, StatEyeOptions{});
                EXPECT_FALSE(r.ok);
                EXPECT_FALSE(r.stat.valid);
                EXPECT_EQ(r.note, "the channel's response is not finite") << bad << " at " << at;
            }
        }
}

TEST(StatEye, should_ignore_a_start_up_transient_in_the_ignored_bits) {
    // A pass-through model whose first 40 samples are 0 V (or 3 V) instead of
    // the settled -0.5 V: responses, cursors and the statistical eye behind the
    // line are those of the same model without it.
    const Channel line = Line(18);
    auto behindLine = [&](const std::string& params) {
        const Responses r = TxResponses({}, StatEyeOptions{}, TX_MISCHIEF_MODEL, params);
        EXPECT_TRUE(r.ok) << params;
        return ThroughChannel(r.probe, line.impulse, line.dcGain, 32, StatEyeOptions{});
    };
    const ProbeResponses clean = behindLine("(mischief (mode pass))");
    ASSERT_TRUE(clean.ok && clean.stat.valid);
    for (const char* params : {"(mischief (mode startup) (samples 40) (value 0))",
                               "(mischief (mode startup) (samples 40) (value 3))"}) {
        const ProbeResponses dirty = behindLine(params);
        ASSERT_TRUE(dirty.ok && dirty.stat.valid);
        EXPECT_EQ(dirty.cursors.values, clean.cursors.values) << params;
        EXPECT_EQ(dirty.stat.heightAtTarget, clean.stat.heightAtTarget) << params;
        EXPECT_EQ(dirty.stat.widthAtTarget, clean.stat.widthAtTarget) << params;
        EXPECT_EQ(dirty.low, clean.low);
        // Without a channel: the whole 1 V swing of the levels, whatever the first samples were.
        const Responses r = TxResponses({}, StatEyeOptions{}, TX_MISCHIEF_MODEL, params);
        ASSERT_TRUE(r.ok && r.probe.stat.valid);
        EXPECT_DOUBLE_EQ(r.probe.stat.heightAtTarget, 1.0) << params;
        EXPECT_DOUBLE_EQ(r.probe.stat.widthAtTarget, 1.0) << params;
        EXPECT_EQ(r.probe.cursors.values, (std::vector<double>{0, 0, 1, 0, 0, 0, 0, 0})) << params;
    }
}

TEST(StatEye, should_agree_with_the_time_domain_eye_of_a_complete_pattern) {
    // A pulse four unit intervals long; PRBS9 holds every 9-bit pattern, so
    // its time-domain eye is the worst case, as is the statistical eye at any
    // BER below 2^-9 (fewer cursors than that make every pattern likelier).
    const int N = 8;
    std::vector<double> pulse(static_cast<std::size_t>(6 * N), 0.0);
    for (int k = 0; k < 4 * N; ++k)
        pulse[static_cast<std::size_t>(k + N)] =
            0.6 * std::sin(3.141592653589793 * k / (4.0 * N)) * std::exp(-k / 5.0);
    std::size_t peak = 0;
    for (std::size_t k = 0; k < pulse.size(); ++k)
        if (pulse[k] > pulse[peak]) peak = k;
    StatEyeOptions o;
    o.targetBer = 1e-12;
    const StatEye stat = ComputeStatEye(pulse, 0.0, N, static_cast<std::int64_t>(peak), o);
    ASSERT_TRUE(stat.valid);
    const std::vector<int> bits = PrbsBits(9, 511 * 2);
    std::vector<double> y(bits.size() * N, 0.0);
    for (std::size_t b = 0; b < bits.size(); ++b)
        if (bits[b])
            for (std::size_t k = 0; k < pulse.size() && b * N + k < y.size(); ++k)
                y[b * N + k] += pulse[k];
    for (int phase = 0; phase < N; ++phase) {
        double worstOne = 1e9, worstZero = -1e9;
        const std::int64_t t = static_cast<std::int64_t>(peak) - N / 2 + phase;
        for (std::size_t b = 64; b + 8 < bits.size(); ++b) {
            const double v = y[b * N + static_cast<std::size_t>(t)];
            if (bits[b])
                worstOne = std::min(worstOne, v);
            else
                worstZero = std::max(worstZero, v);
        }
        EXPECT_NEAR(stat.heights[static_cast<std::size_t>(phase)],
                    std::max(0.0, worstOne - worstZero), 1e-12)
            << phase;
    }
}

TEST(StatEye, should_follow_the_gaussian_tail_for_noise) {
    const int N = 4;
    std::vector<double> pulse(static_cast<std::size_t>(3 * N), 0.0);
    for (int k = N; k < 2 * N; ++k) pulse[static_cast<std::size_t>(k)] = 1.0;  // no ISI at all
    StatEyeOptions o;
    o.noiseRms = 0.05;
    const StatEye e = ComputeStatEye(pulse, 0.0, N, N + N / 2, o);
    ASSERT_TRUE(e.valid);
    // 0.5 Q(x) = 1e-12 at x = 6.934 noise units from each level.
    EXPECT_NEAR(e.heightAtTarget, 1.0 - 2 * 6.934 * 0.05, 0.005);
    EXPECT_NEAR(e.thresholdAtBest, 0.5, 0.005);
    // Random jitter never opens the eye wider.
    StatEyeOptions jitter = o;
    jitter.jitterRms = 0.1;
    EXPECT_LE(ComputeStatEye(pulse, 0.0, N, N + N / 2, jitter).widthAtTarget, e.widthAtTarget);
}

TEST(Channel, should_keep_the_line_causal_and_its_cut_tail_stated) {
    // The line's response comes from a grid eight times longer than it keeps:
    // computing it from a longer one changes no kept sample by more than
    // 1e-7 of the DC gain; the kept area plus the stated cut is 1.
    const double dt = 1e-10 / 32;
    for (double db : {10.0, 18.0, 30.0}) {
        const Channel c = LineChannel(db, 5e9, dt, 1e-10);
        double kept = 0;
        for (double v : c.impulse) kept += v;
        EXPECT_NEAR(kept + c.cutArea, 1.0, 1e-9) << db;
        EXPECT_LT(c.cutArea, 0.05) << db;
        EXPECT_EQ(c.dcGain, 1.0);
        std::vector<std::complex<double>> bins(8 * c.impulse.size() + 1);
        const std::size_t n = 16 * c.impulse.size();
        for (std::size_t k = 0; k < bins.size(); ++k)
            bins[k] = LineResponse(static_cast<double>(k) / (static_cast<double>(n) * dt), db, 5e9);
        const std::vector<double> longer = InverseRealDouble(bins, n);
        double worst = 0;
        for (std::size_t k = 0; k < c.impulse.size(); ++k)
            worst = std::max(worst, std::fabs(longer[k] - c.impulse[k]));
        EXPECT_LT(worst, 1e-7 * c.dcGain) << db;
    }
}

TEST(Channel, should_follow_real_touchstone_channels) {
    const fs::path shared = fs::path(TX_SHARED_DIR) / "touchstone";
    if (!fs::exists(shared / "MSL200.s2p")) GTEST_SKIP() << "SKIPPED: " << shared << " is not here";
    const Responses tx = TxResponses({});
    ASSERT_TRUE(tx.ok);
    struct Case {
        const char* file;
        const char* ports;
    };
    for (const Case& c :
         {Case{"CPWG200.s2p", "1,3,2,4"}, Case{"MSL200.s2p", "1,3,2,4"},
          Case{"diff_dut.s4p", "1,2,3,4"}, Case{"diff_2xthru_with_connectors.s4p", "1,2,3,4"}}) {
        const Expected<PortOrder> ports = ParsePortOrder(c.ports);
        ASSERT_TRUE(ports);
        const Expected<Channel> loaded =
            LoadChannel((shared / c.file).string(), 1e-10 / 32, 1e-10, *ports);
        ASSERT_TRUE(loaded) << c.file << ": " << loaded.error();
        const Channel& ch = *loaded;
        // Through lines and fixtures: most of the DC level gets through.
        EXPECT_GT(ch.dcGain, 0.8) << c.file;
        const ProbeResponses r =
            ThroughChannel(tx.probe, ch.impulse, ch.dcGain, 32, StatEyeOptions{});
        ASSERT_TRUE(r.ok && r.stat.valid) << c.file;
        EXPECT_GE(r.stat.heightAtTarget, r.stat.peakDistortionHeight) << c.file;
        // The PRBS7 eye (every 7-bit pattern) of the same pulse, by superposition.
        const std::vector<int> bits = PrbsBits(7, 127 * 3);
        const std::size_t N = 32, length = bits.size() * N;
        std::vector<double> y(length, r.low);
        for (std::size_t b = 0; b < bits.size(); ++b)
            if (bits[b])
                for (std::size_t k = 0; k < r.pulse.size() && b * N + k < length; ++k)
                    y[b * N + k] += r.pulse[k];
        const EyeMetrics prbs =
            MeasureEye(y, 32, 127, static_cast<std::int64_t>(r.start) + r.delaySamples, bits);
        ASSERT_TRUE(prbs.valid) << c.file;
        EXPECT_LE(r.stat.heightAtTarget, prbs.height + 2 * r.stat.gridError + 1e-9) << c.file;
    }
    // SDD21 follows the port order: pairing the wrong ports gives no through path.
    const Expected<PortOrder> crossed = ParsePortOrder("1,3,2,4");
    ASSERT_TRUE(crossed);
    const Expected<Channel> wrong =
        LoadChannel((shared / "diff_dut.s4p").string(), 1e-10 / 32, 1e-10, *crossed);
    ASSERT_TRUE(wrong) << wrong.error();
    EXPECT_LT(std::fabs(wrong->dcGain), 0.05);
    for (const char* bad : {"1,1,2,3", "1,3,2", "0,1,2,3", "1,3,2,4,", "1,3,2,5"})
        EXPECT_NE(ParsePortOrder(bad).error().find("four different ports"), std::string::npos)
            << bad;
}

TEST(StatEye, should_let_optimize_pick_what_an_exact_ranking_picks) {
    // A small grid behind the 18 dB line, ranked by optimize (2048 levels,
    // the tail grouped) and here with every cursor exact on 16384 levels.
    const std::string csv =
        (fs::temp_directory_path() / ("amihost-rank-" + std::to_string(::getpid()) + ".csv"))
            .string();
    const std::string command =
        std::string(AMIHOST_EXE) + " optimize -q -l " + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
        " --channel line:18@5e9 --grid TXPRECURSOR=0,2,6 --grid TXPOSTCURSOR=20,26,31" +
        " --confirm 0 --heatmap '' --csv " + csv;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(csv);
    std::string line, best;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const std::size_t last = line.rfind(','), before = line.rfind(',', last - 1);
        if (line.substr(before + 1, last - before - 1) == "1") best = line;
    }
    std::remove(csv.c_str());
    const Channel line18 = Line(18);
    StatEyeOptions exact;
    exact.exactCursors = 1 << 20;
    exact.gridBins = 16384;
    double bestHeight = -1;
    std::string bestCodes;
    for (const char* pre : {"0", "2", "6"})
        for (const char* post : {"20", "26", "31"}) {
            StatEyeOptions none;
            none.enabled = false;
            const Responses tx = TxResponses({{"TXPRECURSOR", pre}, {"TXPOSTCURSOR", post}}, none);
            const ProbeResponses r =
                ThroughChannel(tx.probe, line18.impulse, line18.dcGain, 32, exact);
            ASSERT_TRUE(r.ok && r.stat.valid);
            if (r.stat.heightAtTarget > bestHeight) {
                bestHeight = r.stat.heightAtTarget;
                bestCodes = std::string(pre) + "," + post + ",";
            }
        }
    // The row begins with the index, then TXPRECURSOR and TXPOSTCURSOR.
    EXPECT_EQ(best.substr(best.find(',') + 1, bestCodes.size()), bestCodes) << best;
}

TEST(StatEye, should_rank_from_the_phases_that_can_win_as_from_all_of_them) {
    // Behind lines that leave the eye open, nearly closed and closed, with and
    // without noise: computing only the phases the bounds cannot rule out
    // gives the same best phase, height, width, BER and threshold as
    // computing every phase, and leaves phases out.
    int left = 0, cases = 0, closed = 0;
    for (double db : {8.0, 18.0, 30.0}) {
        const Channel line = Line(db);
        for (const char* pre : {"0", "6"})
            for (const char* post : {"0", "16", "31"})
                for (double noise : {0.0, 0.004}) {
                    StatEyeOptions none;
                    none.enabled = false;
                    const Responses tx =
                        TxResponses({{"TXPRECURSOR", pre}, {"TXPOSTCURSOR", post}}, none);
                    StatEyeOptions all;
                    all.gridBins = 2048;
                    all.berMap = false;
                    all.noiseRms = noise;
                    StatEyeOptions best = all;
                    best.bestOnly = true;
                    const StatEye a =
                        ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, all, false).stat;
                    const StatEye b =
                        ThroughChannel(tx.probe, line.impulse, line.dcGain, 32, best, false).stat;
                    const std::string what = std::to_string(db) + " dB, pre " + pre + ", post " +
                                             post + ", noise " + std::to_string(noise);
                    ASSERT_TRUE(a.valid && b.valid) << what;
                    EXPECT_EQ(b.bestPhase, a.bestPhase) << what;
                    EXPECT_EQ(b.heightAtTarget, a.heightAtTarget) << what;
                    EXPECT_EQ(b.widthAtTarget, a.widthAtTarget) << what;
                    EXPECT_EQ(b.thresholdAtBest, a.thresholdAtBest) << what;
                    EXPECT_EQ(b.bathtub[static_cast<std::size_t>(b.bestPhase)],
                              a.bathtub[static_cast<std::size_t>(a.bestPhase)])
                        << what;
                    EXPECT_EQ(b.peakDistortionHeight, a.peakDistortionHeight) << what;
                    EXPECT_LE(b.gridError, a.gridError) << what;
                    for (double h : b.heights) left += std::isnan(h);
                    closed += a.heightAtTarget == 0;
                    ++cases;
                }
    }
    EXPECT_GT(closed, 0);             // the closed eyes' lowest-BER search ran
    EXPECT_LT(closed, cases);         // and the open eyes' widest-opening one
    EXPECT_GT(left, cases * 32 / 2);  // more than half the phases left out
}

TEST(StatEye, should_move_a_jittered_sampling_instant_across_bits_as_the_closed_form_does) {
    // An ideal transmitter and no channel: the pulse is 1 V for one unit
    // interval. Sampled x from an edge with Gaussian jitter of sigma, the
    // instant lands in the neighbouring bit with probability Q(x / sigma),
    // and that bit differs half the time: BER(x) = Q(xl / s) / 2 + Q(xr / s) / 2.
    // At 1e-12 and 0.05 UI rms the eye is 1 - 2 * 0.05 * Qinv(2e-12) ~ 0.307 UI
    // wide (an instant wrapped round within its own interval would leave it 1 UI).
    const int N = 64;
    std::vector<double> pulse(40 * static_cast<std::size_t>(N), 0.0);
    const std::int64_t start = 20 * N;
    std::fill(pulse.begin() + start, pulse.begin() + start + N, 1.0);
    StatEyeOptions options;
    options.jitterRms = 0.05;
    const StatEye e = ComputeStatEye(pulse, -0.5, N, start + N / 2, options);
    ASSERT_TRUE(e.valid);
    const auto Q = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
    // Qinv(2e-12) by bisection of the closed form.
    double lo = 0, hi = 10;
    for (int i = 0; i < 200; ++i) (Q(0.5 * (lo + hi)) > 2e-12 ? lo : hi) = 0.5 * (lo + hi);
    const double expected = 1 - 2 * 0.05 * lo;
    EXPECT_NEAR(expected, 0.307, 0.001);
    EXPECT_NEAR(e.widthAtTarget, expected, 2.0 / N) << "width " << e.widthAtTarget;
    // The bathtub against the closed form, phase by phase (the instant's
    // distribution is sampled at whole samples: BER within a factor that the
    // discrete tail allows, where it is above 1e-15).
    for (int p = 0; p < N; ++p) {
        // Phase p samples at p - N/2 samples from the middle; the edges are
        // N/2 away from it.
        const double x = (p + 0.5) / N, sigma = 0.05;
        const double closed = 0.5 * Q(x / sigma) + 0.5 * Q((1 - x) / sigma);
        const double got = e.bathtub[static_cast<std::size_t>(p)];
        if (closed < 1e-15) {
            EXPECT_LT(got, 1e-13) << p;
            continue;
        }
        EXPECT_GT(got, closed / 3) << "phase " << p;
        EXPECT_LT(got, closed * 3) << "phase " << p;
    }
}

TEST(StatEye, should_follow_the_dual_dirac_and_sinusoidal_jitter_closed_forms) {
    // An ideal pulse of one unit interval, sampled x from its left edge and
    // 1 - x from its right: the instant crosses an edge when its offset is
    // beyond, and the bit there differs half the time. Dual-Dirac jitter of
    // +-D with Gaussian sigma: P(offset < -x) = Q((x - D)/s)/2 + Q((x + D)/s)/2
    // (the dual-Dirac bathtub); sinusoidal jitter of amplitude A alone: the
    // arcsine law, P(offset < -x) = 1/2 - asin(x / A) / pi for x < A, else 0.
    const int N = 64;
    std::vector<double> pulse(40 * static_cast<std::size_t>(N), 0.0);
    const std::int64_t start = 20 * N;
    std::fill(pulse.begin() + start, pulse.begin() + start + N, 1.0);
    const auto Q = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
    const double D = 0.1, sigma = 0.02, A = 0.15;
    auto dualDirac = [&](double x) { return 0.5 * Q((x - D) / sigma) + 0.5 * Q((x + D) / sigma); };
    auto arcsine = [&](double x) {
        return x >= A ? 0.0 : 0.5 - std::asin(std::max(x, -A) / A) / 3.141592653589793;
    };
    struct Case {
        StatEyeOptions options;
        std::function<double(double)> beyond;
        double width;
    };
    // The dual-Dirac width at 1e-12 by bisection of the closed form.
    double lo = 0, hi = 0.5;
    for (int i = 0; i < 200; ++i)
        (0.5 * dualDirac(0.5 * (lo + hi)) > 1e-12 ? lo : hi) = 0.5 * (lo + hi);
    std::vector<Case> cases(2);
    cases[0].options.jitterRms = sigma;
    cases[0].options.jitter = {{JitterTerm::DualDirac, D}};
    cases[0].beyond = dualDirac;
    cases[0].width = 1 - 2 * lo;
    cases[1].options.jitter = {{JitterTerm::Sinusoidal, A}};
    cases[1].beyond = arcsine;
    cases[1].width = 1 - 2 * A;
    EXPECT_NEAR(cases[0].width, 0.53, 0.01);
    for (const Case& c : cases) {
        const StatEye e = ComputeStatEye(pulse, -0.5, N, start + N / 2, c.options);
        ASSERT_TRUE(e.valid);
        EXPECT_NEAR(e.widthAtTarget, c.width, 2.0 / N);
        for (int p = 0; p < N; ++p) {
            // The instant's distribution is sampled at whole samples: the
            // closed form a sample nearer and a sample farther bracket it.
            auto closed = [&](double x) { return 0.5 * c.beyond(x) + 0.5 * c.beyond(1 - x); };
            const double x = (p + 0.5) / N, step = 1.0 / N;
            const double at = closed(x), far = std::min(closed(x - step), closed(x + step)),
                         near = std::max(closed(x - step), closed(x + step));
            const double got = e.bathtub[static_cast<std::size_t>(p)];
            if (near < 1e-15) {
                EXPECT_LT(got, 1e-12) << p;
                continue;
            }
            EXPECT_GE(got, far / 3) << "phase " << p << ", closed form " << at;
            EXPECT_LT(got, near * 3) << "phase " << p << ", closed form " << at;
        }
    }
}

TEST(StatEye, should_close_the_eye_by_twice_the_receiver_sensitivity) {
    // A decision at u is right for a 1 above u + S and a 0 below u - S:
    // every opening of a 1 V ideal pulse with ISI and noise, with or without
    // jitter, is 2 S less, centred where it was, and so is the worst case.
    const int N = 32;
    std::vector<double> pulse(20 * static_cast<std::size_t>(N), 0.0);
    const std::int64_t start = 8 * N;
    std::fill(pulse.begin() + start, pulse.begin() + start + N, 1.0);
    for (int k = 0; k < N; ++k) pulse[static_cast<std::size_t>(start + N + k)] = 0.2;
    for (double rj : {0.0, 0.02}) {
        StatEyeOptions plain;
        plain.noiseRms = 0.01;
        plain.jitterRms = rj;
        StatEyeOptions sensitive = plain;
        sensitive.sensitivity = 0.05;
        const StatEye a = ComputeStatEye(pulse, 0.0, N, start + N / 2, plain);
        const StatEye b = ComputeStatEye(pulse, 0.0, N, start + N / 2, sensitive);
        ASSERT_TRUE(a.valid && b.valid);
        const double grid = 2 * std::max(a.gridError, b.gridError);
        EXPECT_NEAR(b.heightAtTarget, a.heightAtTarget - 0.1, grid) << rj;
        EXPECT_NEAR(b.thresholdAtBest, a.thresholdAtBest, grid) << rj;
        EXPECT_NEAR(b.peakDistortionHeight, a.peakDistortionHeight - 0.1, 1e-12) << rj;
        EXPECT_LE(b.widthAtTarget, a.widthAtTarget) << rj;
    }
}

TEST(StatEye, should_bound_what_the_lines_cut_tail_takes_from_the_worst_case) {
    // The line's response is kept for 2^16 samples; about 1 % of its area
    // lies beyond. Computed on its whole grid (2^19 samples, two thirds of
    // that area), the worst-case eye is lower than with the kept response,
    // by no more than the stated bound and by a good part of it.
    for (const auto& codes :
         {std::map<std::string, std::string>{{"TXPOSTCURSOR", "20"}},
          std::map<std::string, std::string>{{"TXPRECURSOR", "2"}, {"TXPOSTCURSOR", "31"}}}) {
        const Responses tx = TxResponses(codes);
        ASSERT_TRUE(tx.ok);
        const Channel kept = Line(18);
        ASSERT_GT(kept.cutArea, 0.005);
        ASSERT_GE(kept.tailFirst, 0.0);
        Channel whole = kept;
        whole.impulse = LineImpulse(18, 5e9, 1e-10 / 32);
        const double bound = CutTailBound(kept, tx.probe.pulse, 32);
        const ProbeResponses a = ThroughChannel(tx.probe, kept.impulse, 1.0, 32, StatEyeOptions{});
        const ProbeResponses b = ThroughChannel(tx.probe, whole.impulse, 1.0, 32, StatEyeOptions{});
        ASSERT_TRUE(a.ok && b.ok);
        const double lost = a.stat.peakDistortionBest - b.stat.peakDistortionBest;
        std::printf("worst case lost %.4g V to the tail, bound %.4g V\n", lost, bound);
        EXPECT_GE(lost, 0.3 * bound) << "the bound " << bound << " is loose: " << lost;
        EXPECT_LE(lost, bound) << "the bound " << bound << " does not hold: " << lost;
        // The statistical eye is not moved by the tail (a slow drift that
        // shifts a sent 1 and a sent 0 alike).
        EXPECT_NEAR(a.stat.heightAtTarget, b.stat.heightAtTarget, 2e-3);
    }
}
