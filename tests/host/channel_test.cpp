// The channel: Touchstone reading, the built-in line, impulse responses
// against closed forms, and streaming convolution against direct convolution.
#include "link/channel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "channel_source.h"

namespace fs = std::filesystem;
using namespace amihost;

namespace {
// The file's data, or its error text.
std::string ReadTouchstone(const std::string& path, const PortOrder& ports, TouchstoneData& out) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Expected<TouchstoneData> data = ParseTouchstone(text.str(), path, ports);
    if (data) out = std::move(*data);
    return data.error();
}
}  // namespace

namespace {

constexpr double kPi = 3.141592653589793;

fs::path Scratch(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-channel-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

// An RC low-pass, S21 = 1 / (1 + j 2 pi f tau), from 10 MHz to 200 GHz.
void WriteRc(const fs::path& path, double tau, const std::string& format) {
    std::ofstream out(path);
    out << "! RC low-pass\n# GHz S " << format << " R 50\n";
    for (double f = 0.01; f <= 200.0; f += 0.01) {
        const std::complex<double> s21 = 1.0 / std::complex<double>(1.0, 2 * kPi * f * 1e9 * tau);
        auto put = [&](std::complex<double> v) {
            if (format == "RI") out << ' ' << v.real() << ' ' << v.imag();
            if (format == "MA") out << ' ' << std::abs(v) << ' ' << std::arg(v) * 180 / kPi;
            if (format == "DB")
                out << ' ' << 20 * std::log10(std::abs(v)) << ' ' << std::arg(v) * 180 / kPi;
        };
        out.precision(12);
        out << f;
        put(0.1);  // reflections, small and nonzero so that dB has a value
        put(s21);
        put(s21);
        put(0.1);
        out << "\n";
    }
}

}  // namespace

TEST(Channel, should_read_touchstone_formats_units_and_version_2_keywords) {
    const PortOrder ports;
    TouchstoneData ri, ma, db;
    WriteRc(Scratch("ri.s2p"), 20e-12, "RI");
    WriteRc(Scratch("ma.s2p"), 20e-12, "MA");
    WriteRc(Scratch("db.s2p"), 20e-12, "DB");
    ASSERT_EQ(ReadTouchstone(Scratch("ri.s2p").string(), ports, ri), "");
    ASSERT_EQ(ReadTouchstone(Scratch("ma.s2p").string(), ports, ma), "");
    ASSERT_EQ(ReadTouchstone(Scratch("db.s2p").string(), ports, db), "");
    ASSERT_EQ(ri.frequency.size(), ma.frequency.size());
    for (std::size_t k = 0; k < ri.through.size(); k += 997) {
        EXPECT_NEAR(std::abs(ri.through[k] - ma.through[k]), 0.0, 1e-9);
        EXPECT_NEAR(std::abs(ri.through[k] - db.through[k]), 0.0, 1e-9);
    }
    EXPECT_DOUBLE_EQ(ri.frequency[1], 0.02e9);
    // Version 2.0, 12_21 order, megahertz; S21 is the third pair.
    std::ofstream(Scratch("v2.s2p"))
        << "[Version] 2.0\n# MHz S RI R 50\n[Number of Ports] 2\n"
           "[Two-Port Data Order] 12_21\n[Number of Frequencies] 2\n[Network Data]\n"
           "100 0 0 0.1 0 0.5 0.25 0 0\n200 0 0 0.1 0 0.5 0.25 0 0\n[End]\n";
    TouchstoneData v2;
    ASSERT_EQ(ReadTouchstone(Scratch("v2.s2p").string(), ports, v2), "");
    EXPECT_DOUBLE_EQ(v2.frequency[0], 100e6);
    EXPECT_EQ(v2.through[0], std::complex<double>(0.5, 0.25));
    // Malformed data: each refused with its line.
    const std::pair<const char*, const char*> malformed[] = {
        {"neg.s2p", "# GHz S RI R 50\n-1 0 0 1 0 1 0 0 0\n1 0 0 1 0 1 0 0 0\n"},
        {"one.s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n"},
        {"empty.s2p", "# GHz S RI R 50\n! nothing\n"},
        {"part.s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 1\n"}};
    for (const auto& [name, text] : malformed) {
        std::ofstream(Scratch(name)) << text;
        TouchstoneData d;
        const std::string e = ReadTouchstone(Scratch(name).string(), ports, d);
        EXPECT_NE(e, "") << name;
        EXPECT_EQ(e.find("0 numbers"), std::string::npos) << e;
    }
    // A point at 0 Hz is data like any other: a finite response and DC gain.
    std::ofstream(Scratch("dc.s2p"))
        << "# GHz S MA R 50\n0 0 0 1 0 1 0 0 0\n1 0 0 0.9 -20 0.9 -20 0 0\n"
           "10 0 0 0.5 -200 0.5 -200 0 0\n";
    const Expected<Channel> loaded = LoadChannel(Scratch("dc.s2p").string(), 1e-12, 32e-12, {});
    ASSERT_TRUE(loaded) << loaded.error();
    const Channel& dc = *loaded;
    EXPECT_NEAR(dc.dcGain, 1.0, 1e-12);
    for (double v : dc.impulse) ASSERT_TRUE(std::isfinite(v));
    // A four-port's SDD21 with ports 1, 3 in and 2, 4 out.
    std::ofstream four(Scratch("x.s4p"));
    four << "# GHz S RI R 50\n";
    for (int f = 1; f <= 2; ++f) {
        four << f;
        for (int i = 1; i <= 4; ++i)
            for (int j = 1; j <= 4; ++j)
                four << ' '
                     << (i == 2 && j == 1   ? 0.8
                         : i == 4 && j == 3 ? 0.6
                         : i == 2 && j == 3 ? 0.1
                                            : 0.0)
                     << " 0";
        four << "\n";
    }
    four.close();
    TouchstoneData x;
    ASSERT_EQ(ReadTouchstone(Scratch("x.s4p").string(), ports, x), "");
    EXPECT_NEAR(x.through[0].real(), 0.5 * (0.8 - 0.1 - 0.0 + 0.6), 1e-12);
    // Malformed: a word, a decreasing frequency, a partial point.
    std::ofstream(Scratch("bad1.s2p")) << "# GHz S RI\n1 0 0 0.5 x 0 0 0 0\n";
    std::ofstream(Scratch("bad2.s2p")) << "# GHz S RI\n2 0 0 1 0 1 0 0 0\n1 0 0 1 0 1 0 0 0\n";
    std::ofstream(Scratch("bad3.s2p")) << "# GHz S RI\n1 0 0 1 0 1 0 0\n";
    TouchstoneData bad;
    EXPECT_NE(ReadTouchstone(Scratch("bad1.s2p").string(), ports, bad).find("bad1.s2p:2:"),
              std::string::npos);
    bad = {};
    EXPECT_NE(ReadTouchstone(Scratch("bad2.s2p").string(), ports, bad).find("bad2.s2p:3:"),
              std::string::npos);
    bad = {};
    EXPECT_NE(ReadTouchstone(Scratch("bad3.s2p").string(), ports, bad).find("bad3.s2p:2:"),
              std::string::npos);
    fs::remove_all(Scratch("").parent_path());
}

TEST(Channel, should_give_an_rc_step_response_of_one_minus_exp) {
    const double tau = 20e-12, dt = 1e-12;
    WriteRc(Scratch("rc.s2p"), tau, "RI");
    const Expected<Channel> loaded = LoadChannel(Scratch("rc.s2p").string(), dt, 32e-12, {});
    ASSERT_TRUE(loaded) << loaded.error();
    const Channel& c = *loaded;
    EXPECT_TRUE(c.warnings.empty());
    // The step response: the running sum of the impulse response. Within 2 %
    // of the final value once the band limit's ringing has passed (10 ps).
    double step = 0;
    for (std::size_t k = 0; k < 200 && k < c.impulse.size(); ++k) {
        step += c.impulse[k];
        const double t = static_cast<double>(k) * dt;
        if (t >= 10e-12) {
            EXPECT_NEAR(step, 1.0 - std::exp(-t / tau), 0.02) << "t = " << t;
        }
    }
    fs::remove_all(Scratch("").parent_path());
}

TEST(Channel, should_give_the_line_the_loss_asked_for) {
    const double dt = 1e-12;
    const Expected<Channel> loaded = LoadChannel("line:20@5e9", dt, 100e-12, {});
    ASSERT_TRUE(loaded) << loaded.error();
    const Channel& c = *loaded;
    // |H| at 5 GHz of the sampled impulse response, by direct summation.
    std::complex<double> h = 0;
    for (std::size_t k = 0; k < c.impulse.size(); ++k)
        h += c.impulse[k] * std::polar(1.0, -2 * kPi * 5e9 * static_cast<double>(k) * dt);
    EXPECT_NEAR(20 * std::log10(std::abs(h)), -20.0, 0.5);
    double kept = 0;
    for (double v : c.impulse) kept += v;
    EXPECT_EQ(c.dcGain, 1.0);                  // no loss at DC
    EXPECT_NEAR(kept + c.cutArea, 1.0, 1e-9);  // what the kept response lacks is stated
    EXPECT_NEAR(20 * std::log10(std::abs(LineResponse(5e9, 20, 5e9))), -20.0, 1e-9);
    EXPECT_NE(LoadChannel("line:20", dt, 100e-12, {}).error().find("line:LOSS_DB@FREQ_HZ"),
              std::string::npos);
}

TEST(Channel, should_convolve_in_streams_as_directly) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> h(777), x(20000);
    for (double& v : h) v = u(rng) * 0.01;
    for (double& v : x) v = u(rng);
    std::vector<double> y;
    Convolver conv(h, [&](const double* out, std::size_t n) { y.insert(y.end(), out, out + n); });
    for (std::size_t at = 0; at < x.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 3000, x.size() - at);
        conv.Push(x.data() + at, n);
        at += n;
    }
    conv.Finish();
    ASSERT_EQ(y.size(), x.size());
    double worst = 0;
    for (std::size_t n = 0; n < x.size(); n += 13) {
        double direct = 0;
        for (std::size_t k = 0; k < h.size() && k <= n; ++k) direct += h[k] * x[n - k];
        worst = std::max(worst, std::fabs(direct - y[n]));
    }
    EXPECT_LT(worst, 1e-5);  // single-precision FFT: about 1e-6 of the signal
}
