// The two flows a simulator runs: every combination of a transmitter and a
// receiver offered GetWave-only, Init-only and both gives the same pulse
// response and statistical eye, and both match the cascade computed here
// on its own (a FIR, a channel, a bilinear CTLE); and the filter behind an
// impulse response AMI_Init returns, against closed forms.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "link/init_filter.h"
#include "run_amihost.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace amihost;

namespace {

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> y(a.size() + b.size() - 1, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t k = 0; k < b.size(); ++k) y[i + k] += a[i] * b[k];
    return y;
}

}  // namespace

TEST(InitFilter, should_recover_the_filter_exactly_from_a_unit_impulse_and_from_a_channel) {
    const std::vector<double> f = {0.3, -0.5, 2.0, 0.25, -0.125};
    // A unit impulse, delayed and scaled (what AMI_Init gets without a channel).
    std::vector<double> delta(40, 0.0);
    delta[3] = 7.0;
    std::vector<double> out = Convolve(delta, f);
    out.resize(delta.size());
    std::vector<double> got = FilterFromInit(delta, out);
    ASSERT_GE(got.size(), f.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k], k < f.size() ? f[k] : 0.0) << k;
    // An exponential channel with room after it: the same filter, but for
    // the regularisation's relative bias 1e-12 |X|max^2 / |X|^2, at most
    // 1e-12 / (0.1 / 1.9)^2 = 3.6e-10 here (|X| is 1 at DC, 0.1/1.9 at Nyquist).
    std::vector<double> h(200, 0.0);
    for (std::size_t k = 0; k < 100; ++k) h[k] = 0.1 * std::pow(0.9, static_cast<double>(k));
    out = Convolve(h, f);
    out.resize(h.size());
    got = FilterFromInit(h, out);
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], k < f.size() ? f[k] : 0.0, 2 * 3.6e-10 * 2.0) << k;
    // Nothing in (a channel of zeros): a filter of 0, not one of NaN.
    EXPECT_EQ(FilterFromInit(std::vector<double>(8, 0.0), std::vector<double>(8, 0.0)),
              std::vector<double>{0.0});
}

TEST(InitFilter, should_be_exact_where_the_channel_passes_signal) {
    // A Gaussian channel passes nothing near half the sample rate (its
    // magnitude there, e^-123, is below any double's precision): f there is
    // not knowable. A waveform that went through the channel is filtered as
    // by the true f all the same.
    const std::vector<double> f = {1.0, -0.6, 0.2};
    std::vector<double> h(128, 0.0);
    for (std::size_t k = 0; k < 64; ++k)
        h[k] = 0.08 * std::exp(-0.5 * std::pow((static_cast<double>(k) - 20.0) / 5.0, 2));
    std::vector<double> out = Convolve(h, f);
    out.resize(h.size());
    const std::vector<double> got = FilterFromInit(h, out);
    std::mt19937 rng(5);
    std::vector<double> x(600);
    for (std::size_t k = 0; k < x.size(); k += 8) std::fill_n(&x[k], 8, (rng() & 1) ? 1.0 : -1.0);
    const std::vector<double> atRx = Convolve(x, h);
    const std::vector<double> want = Convolve(atRx, f), have = Convolve(atRx, got);
    for (std::size_t k = 0; k < 550; ++k) EXPECT_NEAR(have[k], want[k], 1e-9) << k;
}

TEST(LinearFilter, should_give_the_same_output_whole_and_in_blocks_of_any_size) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1, 1);
    for (std::size_t taps : {std::size_t{1}, std::size_t{37}, LinearFilter::kDirectTaps + 300}) {
        std::vector<double> f(taps), x(5000);
        for (double& v : f) v = u(rng);
        for (double& v : x) v = u(rng);
        std::vector<double> want = Convolve(x, f);
        want.resize(x.size());
        LinearFilter whole(f), split(f);
        std::vector<double> a = x, b = x;
        whole.Apply(a.data(), a.size());
        for (std::size_t at = 0, n = 1; at < b.size(); at += n, n = 1 + rng() % 700) {
            n = std::min(n, b.size() - at);
            split.Apply(b.data() + at, n);
        }
        // The long filter runs by FFT in single precision.
        const double tolerance = taps > LinearFilter::kDirectTaps ? 2e-3 : 1e-12;
        for (std::size_t k = 0; k < x.size(); ++k) {
            EXPECT_NEAR(a[k], want[k], tolerance) << taps << " taps, sample " << k;
            EXPECT_NEAR(b[k], want[k], tolerance) << taps << " taps, sample " << k;
        }
    }
}

namespace {

constexpr int kN = 16;  // samples per unit interval
constexpr double kBitTime = 1e-10;

// The test's own cascade: an NRZ pulse of 1 V (from -0.5 to +0.5) through
// the FIR (taps a unit interval apart), the channel, and the bilinear CTLE.
std::vector<double> CascadePulse(const std::vector<double>& channel) {
    std::vector<double> pulse(kN, 1.0);
    std::vector<double> fir(2 * kN + 1, 0.0);
    fir[0] = -0.1, fir[kN] = 0.75, fir[2 * kN] = -0.15;
    std::vector<double> y = Convolve(Convolve(pulse, fir), channel);
    y.resize(y.size() + 64 * kN, 0.0);
    // H(s) = (1 + s/wz) / (1 + s/wp) by the bilinear transform, K = 2/T.
    const double T = kBitTime / kN, K = 2 / T, wz = 2 * M_PI * 1e9, wp = 2 * M_PI * 4e9;
    const double b0 = (1 + K / wz) / (1 + K / wp), b1 = (1 - K / wz) / (1 + K / wp),
                 a1 = (1 - K / wp) / (1 + K / wp);
    double x1 = 0, y1 = 0;
    for (double& v : y) {
        const double out = b0 * v + b1 * x1 - a1 * y1;
        x1 = v;
        y1 = out;
        v = out;
    }
    return y;
}

struct Variant {
    const char* name;
    bool initOnly, returnsImpulse, getWave;
};
constexpr Variant kVariants[3] = {{"getwave-only", false, false, true},
                                  {"init-only", true, true, false},
                                  {"both", false, true, true}};

// An .ami file `dir/stem.ami`: root `root`, AMI_Version, the two flow
// flags, the `reserved` lines given, and `specific` inside Model_Specific.
struct AmiSpec {
    std::string root = "lin";
    bool returnsImpulse = false, getWave = true;
    std::string reserved, specific, version = "7.0";
};
std::string WriteAmiFile(const fs::path& dir, const std::string& stem, const AmiSpec& a) {
    const fs::path path = dir / (stem + ".ami");
    std::ofstream(path)
        << "(" << a.root
        << "\n (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"" << a.version
        << "\"))\n  (Init_Returns_Impulse (Usage Info) (Type Boolean) "
        << "(Value " << (a.returnsImpulse ? "True" : "False")
        << "))\n  (GetWave_Exists (Usage Info) (Type Boolean) (Value "
        << (a.getWave ? "True" : "False") << "))\n"
        << a.reserved << ")\n (Model_Specific " << a.specific << "))\n";
    return path.string();
}

// The linear model's parameters: the CTLE or the FIR, its AMI_Init filtering or not.
std::string LinearParameters(bool ctle, bool init, const std::string& more = "") {
    return std::string("(ctle (Usage In) (Type Integer) (Value ") + (ctle ? "1" : "0") +
           "))\n  (init (Usage In) (Type Integer) (Value " + (init ? "1" : "0") + "))" + more;
}

std::string WriteAmi(const fs::path& dir, const std::string& stem, const Variant& v, bool ctle) {
    AmiSpec a;
    a.returnsImpulse = v.returnsImpulse;
    a.getWave = v.getWave;
    a.specific = LinearParameters(ctle, v.returnsImpulse);
    return WriteAmiFile(dir, stem, a);
}

// A GetWave model's .ami (Init_Returns_Impulse False) with `reserved` lines.
std::string WriteGetWaveAmi(const fs::path& dir, const std::string& stem, const std::string& root,
                            const std::string& reserved, const std::string& specific) {
    AmiSpec a;
    a.root = root;
    a.reserved = reserved;
    a.specific = specific;
    return WriteAmiFile(dir, stem, a);
}
const char kScaleParameters[] = "(gain (Usage In) (Type Integer) (Value 1))";

std::vector<double> Values(const json& cursors) {
    return cursors["values"].get<std::vector<double>>();
}

// The worst-case eye at its best phase: over the unit interval around the
// main cursor, the largest of a sample minus the magnitudes of every other
// sample of its phase.
double PeakDistortion(const std::vector<double>& p, std::size_t main) {
    double best = -1e300;
    for (std::size_t t = main - kN / 2; t < main + kN / 2; ++t) {
        double sum = 0;
        for (std::size_t k = t % kN; k < p.size(); k += kN)
            if (k != t) sum += std::fabs(p[k]);
        best = std::max(best, p[t] - sum);
    }
    return best;
}

}  // namespace

TEST(Flows, should_give_the_same_link_for_every_combination_of_init_and_getwave_models) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-flows-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The channel: a smooth exponential decay, its taps given as they are.
    std::vector<double> channel(40 * kN);
    for (std::size_t k = 0; k < channel.size(); ++k)
        channel[k] = 0.12 * std::exp(-static_cast<double>(k) / 8.0);
    {
        std::ofstream taps(dir / "channel.txt");
        taps.precision(17);
        for (double v : channel) taps << v << "\n";
    }
    const std::vector<double> want = CascadePulse(channel);
    std::size_t main = 0;
    for (std::size_t k = 0; k < want.size(); ++k)
        if (want[k] > want[main]) main = k;
    std::vector<double> wantCursors;
    for (long k = -2; k <= 5; ++k) {
        const long at = static_cast<long>(main) + k * kN;  // before the pulse: 0
        wantCursors.push_back(at >= 0 ? want[static_cast<std::size_t>(at)] : 0.0);
    }
    const double wantWorst = PeakDistortion(want, main);

    double firstHeight = NAN;
    for (const Variant& tx : kVariants) {
        for (const Variant& rx : kVariants) {
            const std::string name = std::string(tx.name) + " tx, " + rx.name + " rx";
            const fs::path out = dir / (std::string(tx.name) + "_" + rx.name);
            const std::string run =
                std::string("run -q --no-plots --bits 300 -n ") + std::to_string(kN) +
                " --bit-time 1e-10 --high 0.5 --low -0.5 --channel impulse:" +
                (dir / "channel.txt").string() + " -l " +
                (tx.initOnly ? TX_LINEAR_INIT_ONLY_MODEL : TX_LINEAR_MODEL) + " -a " +
                WriteAmi(dir, std::string("tx_") + tx.name, tx, false) + " --rx " +
                (rx.initOnly ? TX_LINEAR_INIT_ONLY_MODEL : TX_LINEAR_MODEL) + " --rx-ami " +
                WriteAmi(dir, std::string("rx_") + rx.name, rx, true) + " -o " + out.string();
            std::string output;
            ASSERT_EQ(RunAmihost(run, output), 0) << name << "\n" << output;
            const json s = json::parse(std::ifstream(out / "summary.json"));
            const json& atRx = s["rx_output"];
            // The time-domain flow at the receiver: the cascade's cursors.
            const std::vector<double> cursors = Values(atRx["pulse_cursors_V"]);
            ASSERT_EQ(cursors.size(), wantCursors.size()) << name;
            for (std::size_t k = 0; k < cursors.size(); ++k)
                EXPECT_NEAR(cursors[k], wantCursors[k], 2e-5) << name << ", cursor " << k;
            const json& stat = atRx["statistical_eye"];
            EXPECT_NEAR(stat["peak_distortion_best_height_V"].get<double>(), wantWorst, 1e-4)
                << name;
            const double height = stat["height_V_at_1e-12"].get<double>();
            if (std::isnan(firstHeight)) firstHeight = height;
            EXPECT_NEAR(height, firstHeight, 2e-3) << name;
            // The Init flow, where the receiver returns an impulse response:
            // the same cursors, and it says how far the two flows lie apart.
            const json& init = atRx["init_flow"];
            if (rx.returnsImpulse) {
                const std::vector<double> initCursors = Values(init["pulse_cursors_V"]);
                for (std::size_t k = 0; k < initCursors.size(); ++k)
                    EXPECT_NEAR(initCursors[k], wantCursors[k], 2e-5)
                        << name << ", Init flow " << k;
                EXPECT_LT(init["difference_from_time_domain_flow"]["pulse_max_abs_V"].get<double>(),
                          5e-5)
                    << name;
            } else {
                EXPECT_TRUE(init.contains("note")) << name;
            }
            EXPECT_EQ(s["flows"]["receiver"]["GetWave_Exists"].get<bool>(), rx.getWave) << name;
            EXPECT_EQ(s["flows"]["transmitter"]["Init_Returns_Impulse"].get<bool>(),
                      tx.returnsImpulse)
                << name;
        }
    }
    // Behind the built-in line (a channel that passes nothing at the top of
    // the band): an Init-only pair gives the GetWave-only pair's link.
    std::vector<json> line;
    for (const Variant* v : {&kVariants[0], &kVariants[1]}) {
        const fs::path out = dir / (std::string("line_") + v->name);
        const std::string library = v->initOnly ? TX_LINEAR_INIT_ONLY_MODEL : TX_LINEAR_MODEL;
        std::string output;
        ASSERT_EQ(
            RunAmihost("run -q --no-plots --bits 300 --channel line:18@5e9 -l " + library + " -a " +
                           WriteAmi(dir, "line_tx", *v, false) + " --rx " + library + " --rx-ami " +
                           WriteAmi(dir, "line_rx", *v, true) + " -o " + out.string(),
                       output),
            0)
            << output;
        line.push_back(json::parse(std::ifstream(out / "summary.json"))["rx_output"]);
    }
    const std::vector<double> a = Values(line[0]["pulse_cursors_V"]),
                              b = Values(line[1]["pulse_cursors_V"]);
    for (std::size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], b[k], 1e-5) << k;
    EXPECT_NEAR(line[0]["statistical_eye"]["height_V_at_1e-12"].get<double>(),
                line[1]["statistical_eye"]["height_V_at_1e-12"].get<double>(), 1e-3);
    fs::remove_all(dir);
}

TEST(ReservedJitter, should_apply_what_the_ami_declares_as_the_command_line_would) {
    // A model that halves the wave, with no channel: an ideal eye. Its .ami
    // declares random
    // jitter in unit intervals (Type UI) and deterministic jitter in seconds
    // (Type Float): the statistical eye is the one --rj-rms and --dj give,
    // and its width the dual-Dirac closed form 1 - 2 (D + s Qinv(4e-12)).
    const fs::path dir = fs::temp_directory_path() / ("amihost-rsvj-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    WriteGetWaveAmi(dir, "scale", "scale",
                    "  (Tx_Rj (Usage Info) (Type UI) (Value 0.02))\n"
                    "  (Tx_Dj (Usage Info) (Type Float) (Value 1e-11))",
                    kScaleParameters);
    const std::string common =
        std::string("run -q --no-plots --bits 200 -n 64 -l ") + TX_SCALE_MODEL;
    std::string output;
    ASSERT_EQ(RunAmihost(common + " -a " + (dir / "scale.ami").string() + " -o " +
                             (dir / "declared").string(),
                         output),
              0)
        << output;
    ASSERT_EQ(RunAmihost(common + " -p '(scale)' --ignore-bits 3 --rj-rms 0.02 --dj 0.1 -o " +
                             (dir / "given").string(),
                         output),
              0)
        << output;
    const json declared = json::parse(std::ifstream(dir / "declared/summary.json"));
    const json given = json::parse(std::ifstream(dir / "given/summary.json"));
    EXPECT_EQ(declared["reserved_jitter_and_noise_applied"],
              json({"Tx_Rj 0.02 UI rms", "Tx_Dj 0.1 UI"}));
    const double width = declared["statistical_eye"]["width_UI_at_1e-12"].get<double>();
    EXPECT_EQ(width, given["statistical_eye"]["width_UI_at_1e-12"].get<double>());
    const auto Q = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
    double lo = 0, hi = 10;
    for (int i = 0; i < 200; ++i) (Q(0.5 * (lo + hi)) > 4e-12 ? lo : hi) = 0.5 * (lo + hi);
    EXPECT_NEAR(width, 1 - 2 * (0.1 + 0.02 * lo), 2.0 / 64);
    fs::remove_all(dir);
}

TEST(Flows, should_agree_for_this_model_behind_a_measured_channel) {
    // This transmitter returns no impulse response: the Init flow takes its
    // GetWave-derived response (the differences of its step run), the
    // time-domain flow its pulse run. At the default codes, behind a
    // measured channel, the two agree to 1e-5 of the main cursor.
    const fs::path channel = fs::path(TX_SHARED_DIR) / "touchstone" / "MSL200.s2p";
    if (!fs::exists(channel)) GTEST_SKIP() << "SKIPPED: " << channel << " is not here";
    const fs::path out =
        fs::temp_directory_path() / ("amihost-realflow-" + std::to_string(::getpid()));
    std::string output;
    ASSERT_EQ(
        RunAmihost(std::string("run -q --no-plots --bits 300 -l ") + TX_MODEL_LIBRARY + " -a " +
                       TX_PACKAGE_AMI + " --channel " + channel.string() + " -o " + out.string(),
                   output),
        0)
        << output;
    const json s = json::parse(std::ifstream(out / "summary.json"));
    const json& d = s["channel_output"]["init_flow"]["difference_from_time_domain_flow"];
    EXPECT_LT(d["relative_to_main_cursor"].get<double>(), 1e-5) << d;
    EXPECT_LT(std::fabs(d["statistical_eye_height_V"].get<double>()), 1e-4) << d;
    fs::remove_all(out);
}

TEST(ReservedJitter, should_apply_the_receivers_noise_jitter_and_sensitivity_at_its_decision) {
    // The receiver's .ami declares noise, deterministic jitter and a
    // sensitivity: the statistical eye after it is the one --noise-rms, --dj
    // and --sensitivity give there; the eye before it (after the channel) is
    // not touched by them.
    const fs::path dir = fs::temp_directory_path() / ("amihost-rxj-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Variant& getWave = kVariants[0];
    WriteAmi(dir, "tx", getWave, false);
    WriteGetWaveAmi(dir, "rx", "lin",
                    "  (Rx_Noise (Usage Info) (Type Float) (Value 0.01))\n"
                    "  (Rx_Dj (Usage Info) (Type UI) (Value 0.05))\n"
                    "  (Rx_Receiver_Sensitivity (Usage Info) (Type Float) (Value 0.02))",
                    LinearParameters(true, false));
    WriteAmi(dir, "rx_plain", getWave, true);
    const std::string common =
        std::string("run -q --no-plots --bits 300 --channel line:10@5e9 -l ") + TX_LINEAR_MODEL +
        " -a " + (dir / "tx.ami").string() + " --rx " + TX_LINEAR_MODEL;
    std::string output;
    ASSERT_EQ(RunAmihost(common + " --rx-ami " + (dir / "rx.ami").string() + " -o " +
                             (dir / "declared").string(),
                         output),
              0)
        << output;
    ASSERT_EQ(RunAmihost(common + " --rx-ami " + (dir / "rx_plain.ami").string() +
                             " --noise-rms 0.01 --dj 0.05 --sensitivity 0.02 -o " +
                             (dir / "given").string(),
                         output),
              0)
        << output;
    ASSERT_EQ(RunAmihost(common + " --rx-ami " + (dir / "rx_plain.ami").string() + " -o " +
                             (dir / "plain").string(),
                         output),
              0)
        << output;
    const json declared = json::parse(std::ifstream(dir / "declared/summary.json"));
    const json given = json::parse(std::ifstream(dir / "given/summary.json"));
    const json plain = json::parse(std::ifstream(dir / "plain/summary.json"));
    auto height = [](const json& probe) {
        return probe["statistical_eye"]["height_V_at_1e-12"].get<double>();
    };
    EXPECT_NEAR(height(declared["rx_output"]), height(given["rx_output"]), 1e-12);
    // The sensitivity alone takes 0.04 V; noise and jitter more.
    EXPECT_LT(height(declared["rx_output"]), height(plain["rx_output"]) - 0.04);
    EXPECT_EQ(height(declared["channel_output"]), height(plain["channel_output"]));
    EXPECT_EQ(declared["reserved_jitter_and_noise_applied"],
              json({"Rx_Dj 0.05 UI", "Rx_Noise 0.01 V rms", "Rx_Receiver_Sensitivity 0.02 V"}));
    fs::remove_all(dir);
}

TEST(ReservedJitter, should_add_the_dc_offset_the_receivers_init_returns_to_its_output) {
    // "The output value of DC_Offset returned by Rx AMI_Init is to be added
    // to the Rx AMI_GetWave output waveform by EDA tools": every level after
    // the receiver 0.1 V higher, every height and cursor as before.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-dcoff-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    WriteGetWaveAmi(dir, "offset", "lin", "  (DC_Offset (Usage Out) (Type Float) (Value 0))",
                    LinearParameters(true, false, "\n  (dc (Usage In) (Type Integer) (Value 1))"));
    WriteGetWaveAmi(dir, "plain", "lin", "", LinearParameters(true, false));
    const std::string common = std::string("run -q --no-plots --bits 300 -l ") + TX_SCALE_MODEL +
                               " -p '(scale)' --ignore-bits 3 --rx " + TX_LINEAR_MODEL;
    std::string output;
    for (const char* name : {"offset", "plain"})
        ASSERT_EQ(RunAmihost(common + " --rx-ami " + (dir / (std::string(name) + ".ami")).string() +
                                 " -o " + (dir / name).string(),
                             output),
                  0)
            << output;
    const json a = json::parse(std::ifstream(dir / "offset/summary.json"))["rx_output"];
    const json b = json::parse(std::ifstream(dir / "plain/summary.json"))["rx_output"];
    EXPECT_EQ(a["dc_offset_added_V"].get<double>(), 0.1);
    for (const char* level : {"high", "low"})
        EXPECT_NEAR(a["dc_levels_V"][level].get<double>(),
                    b["dc_levels_V"][level].get<double>() + 0.1, 1e-12);
    EXPECT_NEAR(a["eye"]["threshold_V"].get<double>(), b["eye"]["threshold_V"].get<double>() + 0.1,
                1e-9);
    EXPECT_NEAR(a["eye"]["height_V"].get<double>(), b["eye"]["height_V"].get<double>(), 1e-9);
    const std::vector<double> ca = Values(a["pulse_cursors_V"]), cb = Values(b["pulse_cursors_V"]);
    for (std::size_t k = 0; k < ca.size(); ++k) EXPECT_NEAR(ca[k], cb[k], 1e-12) << k;
    fs::remove_all(dir);
}

TEST(Flows, should_refuse_block_policies_for_a_model_run_without_getwave) {
    // Its filter takes no AMI_GetWave calls: the policies would be ignored.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-ci-init-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string output;
    EXPECT_EQ(
        RunAmihost(std::string("check-invariance --bits 200 -l ") + TX_LINEAR_INIT_ONLY_MODEL +
                       " -a " + WriteAmi(dir, "init", kVariants[1], false),
                   output),
        2);
    EXPECT_NE(output.find("is run without AMI_GetWave (it exports none)"), std::string::npos)
        << output;
    fs::remove_all(dir);
}

TEST(ReservedJitter, should_move_the_transmitted_edges_so_the_statistical_eye_bounds_the_stream) {
    // The transmitter's declared jitter moves its edges in the stream too.
    // With a model that halves the wave and no channel, the stream's eye is
    // open wherever no edge reached: with deterministic jitter alone (+-0.1
    // UI) exactly 1 - 2 * 0.1 wide, as the statistical eye; with random
    // jitter added (0.02 UI rms) the 200 000 bits reach a BER of about 1e-5:
    // the stream's eye lies between the closed form's widths at 1e-12 (the
    // statistical eye's) and at 1e-3.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-edgej-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto ami = [&](const std::string& name, const std::string& jitter) {
        return WriteGetWaveAmi(dir, name, "scale", jitter, kScaleParameters);
    };
    const std::string dj = "  (Tx_Dj (Usage Info) (Type UI) (Value 0.1))";
    const std::string both = dj + "\n  (Tx_Rj (Usage Info) (Type UI) (Value 0.02))";
    const auto Q = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
    auto closedWidth = [&](double ber) {  // 1/4 Q((x - D)/s) = BER at the eye's edge x
        double lo = 0, hi = 10;
        for (int i = 0; i < 200; ++i) (Q(0.5 * (lo + hi)) > 4 * ber ? lo : hi) = 0.5 * (lo + hi);
        return 1 - 2 * (0.1 + 0.02 * lo);
    };
    std::string output;
    const std::string common =
        std::string("run -q --no-plots -n 32 --stimulus prbs15 -l ") + TX_SCALE_MODEL + " -a ";
    ASSERT_EQ(
        RunAmihost(common + ami("dj", dj) + " --bits 4000 -o " + (dir / "dj").string(), output), 0)
        << output;
    const json a = json::parse(std::ifstream(dir / "dj/summary.json"));
    EXPECT_NEAR(a["eye"]["width_UI"].get<double>(), 0.8, 1.0 / 32);
    EXPECT_NEAR(a["statistical_eye"]["width_UI_at_1e-12"].get<double>(), 0.8, 1.0 / 32);
    ASSERT_EQ(
        RunAmihost(common + ami("both", both) + " --bits 200000 -o " + (dir / "both").string(),
                   output),
        0)
        << output;
    const json b = json::parse(std::ifstream(dir / "both/summary.json"));
    const double stream = b["eye"]["width_UI"].get<double>();
    const double stat = b["statistical_eye"]["width_UI_at_1e-12"].get<double>();
    EXPECT_NEAR(stat, closedWidth(1e-12), 2.0 / 32);
    EXPECT_LE(stat, stream);
    EXPECT_GE(stream, closedWidth(1e-12) - 1.0 / 32);
    EXPECT_LE(stream, closedWidth(1e-3) + 1.0 / 32);
    EXPECT_EQ(b["stream_edge_jitter_UI"]["dj"].get<double>(), 0.1);
    fs::remove_all(dir);
}

TEST(ReservedJitter, should_sample_the_data_rx_decision_time_after_each_clock_time) {
    // The receiver reports a clock time at the middle of every unit
    // interval; by default the data is sampled half a unit interval later,
    // with Rx_Decision_Time 0.25 (UI) a quarter: the sampling phase moves
    // by a quarter of the unit interval's samples.
    const fs::path dir = fs::temp_directory_path() / ("amihost-dect-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto ami = [&](const std::string& name, const std::string& extra) {
        return WriteGetWaveAmi(dir, name, "ctle", extra,
                               "(boost (Usage In) (Type Float) (Value 0))");
    };
    std::vector<double> phases;
    for (const auto& [name, extra] :
         {std::pair<std::string, std::string>{"default", ""},
          {"quarter", "\n  (Rx_Decision_Time (Usage Info) (Type UI) (Value 0.25))"}}) {
        std::string output;
        ASSERT_EQ(
            RunAmihost(std::string("run -q --no-plots --bits 200 -n 32 -l ") + TX_SCALE_MODEL +
                           " -p '(scale)' --ignore-bits 3 --rx " + TX_CTLE_MODEL + " --rx-ami " +
                           ami(name, extra) + " -o " + (dir / name).string(),
                       output),
            0)
            << output;
        const json clock =
            json::parse(std::ifstream(dir / name / "summary.json"))["rx_output"]["clock"];
        phases.push_back(clock["sampling_phase_samples"].get<double>());
    }
    EXPECT_NEAR(std::fmod(phases[0] - phases[1] + 32, 32), 8.0, 1e-6);
    fs::remove_all(dir);
}

TEST(ReservedJitter, should_take_the_receivers_clock_pdf_table_as_its_sampling_jitter) {
    // Rx_Clock_PDF: a table of offsets (here in seconds) and probabilities.
    // Two points at +-10 ps of 1/2 each at 100 ps a bit are Rx_Dj 0.1 UI:
    // the same statistical eye after the receiver, to the bit (but for the
    // stated grid error, which counts the kernels' lengths); a point
    // beyond half a unit interval is not a clock offset and is left out.
    const fs::path dir = fs::temp_directory_path() / ("amihost-cpdf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto ami = [&](const std::string& name, const std::string& extra) {
        return WriteGetWaveAmi(dir, name, "lin", extra, LinearParameters(true, false));
    };
    const std::string pdf =
        "  (Rx_Clock_PDF (Usage Info) (Type Float)\n"
        "    (Table (Labels \"offset\" \"probability\") (-1e-11 0.5) (1e-11 0.5) (7e-11 0.25)))";
    const std::string dj = "  (Rx_Dj (Usage Info) (Type UI) (Value 0.1))";
    std::vector<json> rx;
    // The same from the command line: --clock-pdf.
    for (const auto& [name, extra, option] :
         {std::tuple<std::string, std::string, std::string>{"pdf", pdf, ""},
          {"dj", dj, ""},
          {"option", "", " --clock-pdf=-0.1:0.5,0.1:0.5"}}) {
        std::string output;
        ASSERT_EQ(RunAmihost(std::string("run -q --no-plots --bits 200 --channel line:10@5e9 -l ") +
                                 TX_SCALE_MODEL + " -p '(scale)' --ignore-bits 3 --rx " +
                                 TX_LINEAR_MODEL + " --rx-ami " + ami(name, extra) + option +
                                 " -o " + (dir / name).string(),
                             output),
                  0)
            << output;
        rx.push_back(json::parse(std::ifstream(dir / name / "summary.json")));
    }
    EXPECT_EQ(rx[0]["reserved_jitter_and_noise_applied"],
              json({"Rx_Clock_PDF 2 points (1 row(s) left out: not an offset within 0.5 UI and a "
                    "probability)"}));
    for (const char* key : {"height_V_at_1e-12", "width_UI_at_1e-12", "threshold_V", "ber_at_best",
                            "best_phase_samples"})
        for (std::size_t k : {1, 2})
            EXPECT_EQ(rx[0]["rx_output"]["statistical_eye"][key],
                      rx[k]["rx_output"]["statistical_eye"][key])
                << key << " " << k;
    fs::remove_all(dir);
}

TEST(Flows, should_filter_with_init_then_getwave_when_an_older_file_says_use_init_output_true) {
    // AMI 5.0: "When Use_Init_Output is set to "True", the EDA tool is
    // instructed to use the output impulse response from the AMI_Init
    // function when creating the input waveform presented to the
    // AMI_Getwave function"; "False": "the original (unfiltered) impulse
    // response of the channel". A FIR whose AMI_Init and AMI_GetWave both
    // apply it: with True the stream is filtered twice (the cursors of the
    // FIR convolved with itself, computed here), with False once.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-useinit-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const int N = 16;
    std::vector<double> fir(2 * N + 1, 0.0);
    fir[0] = -0.1, fir[N] = 0.75, fir[2 * N] = -0.15;
    const std::vector<double> once = Convolve(std::vector<double>(N, 1.0), fir),
                              twice = Convolve(once, fir);
    for (const bool use : {true, false}) {
        AmiSpec older;
        older.version = "5.0";
        older.returnsImpulse = true;
        older.reserved = std::string("  (Use_Init_Output (Usage Info) (Type Boolean) (Value ") +
                         (use ? "True" : "False") + "))";
        older.specific = LinearParameters(false, true);
        std::string output;
        ASSERT_EQ(RunAmihost(std::string("run -q --no-plots --bits 200 -n 16 --high 0.5 --low -0.5 "
                                         "-l ") +
                                 TX_LINEAR_MODEL + " -a " + WriteAmiFile(dir, "tx", older) +
                                 " -o " + (dir / "out").string(),
                             output),
                  0)
            << output;
        const json s = json::parse(std::ifstream(dir / "out/summary.json"));
        EXPECT_EQ(s["flows"]["transmitter"]["Use_Init_Output"].get<bool>(), use);
        const std::vector<double>& want = use ? twice : once;
        std::size_t main = 0;
        for (std::size_t k = 0; k < want.size(); ++k)
            if (want[k] > want[main]) main = k;
        const std::vector<double> got = Values(s["pulse_cursors_V"]);
        for (long k = -2; k <= 5; ++k) {
            const long at = static_cast<long>(main) + k * N;
            const double expected = at >= 0 && at < static_cast<long>(want.size())
                                        ? want[static_cast<std::size_t>(at)]
                                        : 0;
            EXPECT_NEAR(got[static_cast<std::size_t>(k + 2)], expected, 1e-9) << use << " " << k;
        }
    }
    fs::remove_all(dir);
}
