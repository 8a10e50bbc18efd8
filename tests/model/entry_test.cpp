// The model through its public C interface, loaded as a simulator loads it.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ami_library.h"
#include "tx_reference.h"

namespace {

const char kModel[] = TX_MODEL_LIBRARY;

std::string Unable(const char* name) {
    return std::string(
               "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize "
               "the parameter ") +
           name + " from the AMI_Init arguments.  The model will use the default setting. ";
}

std::string CodeString(const txref::Codes& c) {
    return "(varnok_meridel_qlx_ami_tx (TXPRECURSOR " + std::to_string(c.pre) + ") (TXPOSTCURSOR " +
           std::to_string(c.post) + ") (TXDIFFCTRL " + std::to_string(c.diff) + ") (TX_PVT " +
           std::to_string(c.pvt) + "))";
}

class Session {
public:
    Session(const AmiLibrary& lib, std::string params, double bitTime, double sampleInterval)
        : lib_(lib), params_(std::move(params)) {
        result =
            lib_.Init(impulse, 4, 0, sampleInterval, bitTime, &params_[0], &out, &handle, &msg);
    }
    ~Session() { lib_.Close(handle); }
    long Wave(std::vector<double>& wave, std::size_t from, std::size_t count) {
        clock[0] = 123.0;
        clock[1] = 456.0;
        const long r =
            lib_.GetWave(wave.data() + from, static_cast<long>(count), clock, &out, handle);
        EXPECT_EQ(clock[0], -1.0);
        EXPECT_EQ(clock[1], 456.0);
        return r;
    }
    std::string Message() const { return msg == kUntouched ? "<untouched>" : std::string(msg); }

    static char kUntouched[];
    double impulse[4] = {1.0, 0.5, -0.25, 1e-300};
    double clock[2] = {};
    char* out = nullptr;
    char* msg = kUntouched;
    void* handle = nullptr;
    long result = -1;

private:
    const AmiLibrary& lib_;
    std::string params_;
};
char Session::kUntouched[] = "untouched";

AmiLibrary& Library() {
    static AmiLibrary lib(kModel);
    return lib;
}

std::vector<double> RunWhole(const txref::Codes& c, int N, std::vector<double> x) {
    Session s(Library(), CodeString(c), 1e-10, 1e-10 / N);
    EXPECT_EQ(s.result, 1);
    EXPECT_EQ(s.Wave(x, 0, x.size()), 1);
    return x;
}

}  // namespace

TEST(AmiEntry, should_take_samples_per_bit_from_the_rounded_ratio) {
    // With the default codes the pre-cursor weight is 0, so the output stays
    // exactly 0 until the main cursor arrives N samples after an impulse.
    struct Case {
        double bitTime, interval;
        int N;
    };
    for (const Case& c :
         {Case{6.4e-11, 1e-12, 64}, Case{31.5e-12, 1e-12, 32}, Case{31.49e-12, 1e-12, 31}}) {
        Session s(Library(), CodeString({}), c.bitTime, c.interval);
        ASSERT_EQ(s.result, 1);
        std::vector<double> x(100, 0.0);
        x[0] = 1.0;
        s.Wave(x, 0, x.size());
        int first = -1;
        for (int n = 0; n < 100 && first < 0; ++n) {
            if (x[n] != 0.0) first = n;
        }
        EXPECT_EQ(first, c.N) << c.bitTime;
    }
}

TEST(AmiEntry, should_report_unreadable_parameters_in_order) {
    struct Case {
        const char* params;
        std::string message;
    };
    const std::string all =
        Unable("TXPRECURSOR") + Unable("TXPOSTCURSOR") + Unable("TXDIFFCTRL") + Unable("TX_PVT");
    const Case cases[] = {
        {"(varnok_meridel_qlx_ami_tx (TXPRECURSOR 3) (TXPOSTCURSOR 5) (TXDIFFCTRL 12) (TX_PVT 1))",
         "<untouched>"},
        {"", all},
        {"(varnok_meridel_qlx_ami_tx (TXPRECURSOR 2.9) (TXPOSTCURSOR -1.5))",
         Unable("TXDIFFCTRL") + Unable("TX_PVT")},
        {"(other_model (TXPRECURSOR 3))", all},
        {"(varnok_meridel_qlx_ami_tx (TXDIFFCTRL abc) (TXPRECURSOR 1) (TXPOSTCURSOR 1) (TX_PVT 0))",
         Unable("TXDIFFCTRL")},
        {"(varnok_meridel_qlx_ami_tx (TXPRECURSOR (Usage In) (Default 3)))", all},
    };
    for (const Case& c : cases) {
        Session s(Library(), c.params, 1e-10, 1e-10 / 8);
        EXPECT_EQ(s.result, 1) << c.params;
        EXPECT_EQ(s.Message(), c.message) << c.params;
    }
}

TEST(AmiEntry, should_leave_the_impulse_matrix_and_output_parameters_alone) {
    Session s(Library(), "", 1e-10, 1e-11);
    const double expected[4] = {1.0, 0.5, -0.25, 1e-300};
    EXPECT_EQ(std::memcmp(s.impulse, expected, sizeof expected), 0);
    EXPECT_EQ(s.out, nullptr);
    std::vector<double> none;
    EXPECT_EQ(s.Wave(none, 0, 0), 1);  // a block of 0 samples
    EXPECT_EQ(s.out, nullptr);
}

TEST(AmiEntry, should_settle_at_the_documented_levels) {
    const int N = 16;
    std::vector<double> ones(4000, 1.0), minus(4000, -1.0);
    EXPECT_NEAR(RunWhole({}, N, ones).back(), 0.94215, 5e-6);
    EXPECT_NEAR(RunWhole({}, N, minus).back(), -0.94215, 5e-6);
    EXPECT_NEAR(RunWhole({3, 5, 15, 0}, N, ones).back(), 0.80136, 5e-6);
}

TEST(AmiEntry, should_not_depend_on_how_the_wave_is_split) {
    const txref::Codes codes{2, 7, 11, 1};
    std::vector<double> whole = txref::Prbs7(4, 32);
    whole.resize(128);
    std::vector<double> split = whole;
    {
        Session a(Library(), CodeString(codes), 1e-10, 1e-10 / 32);
        a.Wave(whole, 0, 128);
        Session b(Library(), CodeString(codes), 1e-10, 1e-10 / 32);
        b.Wave(split, 0, 100);
        b.Wave(split, 100, 28);
    }
    EXPECT_EQ(std::memcmp(whole.data(), split.data(), 128 * sizeof(double)), 0);

    std::mt19937 rng(20261208);
    for (int trial = 0; trial < 3; ++trial) {
        const txref::Codes c{int(rng() % 25) - 2, int(rng() % 36) - 2, int(rng() % 18) - 1,
                             int(rng() % 4)};
        std::vector<double> x = txref::Prbs7(100000 / 8 + 1, 8);
        x.resize(100000);
        std::vector<double> y = x;
        Session one(Library(), CodeString(c), 1e-10, 1e-10 / 8);
        one.Wave(x, 0, x.size());
        Session many(Library(), CodeString(c), 1e-10, 1e-10 / 8);
        std::size_t at = 0;
        while (at < y.size()) {
            const std::size_t n = std::min<std::size_t>(rng() % 3000, y.size() - at);
            EXPECT_EQ(many.Wave(y, at, n), 1);
            at += n;
        }
        EXPECT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(double)), 0) << trial;
    }
}

TEST(AmiEntry, should_match_the_independent_reference) {
    std::mt19937 rng(7);
    int sets = 0;
    for (int N : {1, 2, 8, 32, 64}) {
        for (int k = 0; k < 5; ++k, ++sets) {
            txref::Codes c{int(rng() % 26) - 3, int(rng() % 38) - 3, int(rng() % 20) - 2,
                           int(rng() % 5) - 1};
            if (k == 0) c = {};
            const std::vector<double> x = txref::Prbs7(127, N);
            const std::vector<double> want = txref::Transmit(x, c, N, 1e-10);
            const std::vector<double> got = RunWhole(c, N, x);
            double peak = 0, worst = 0;
            for (std::size_t n = 0; n < x.size(); ++n) {
                peak = std::max(peak, std::fabs(want[n]));
                worst = std::max(worst, std::fabs(got[n] - want[n]));
            }
            EXPECT_LE(worst, 1e-12 * peak) << "N=" << N << " codes " << CodeString(c);
        }
    }
    EXPECT_GE(sets, 20);
}

TEST(AmiEntry, should_fail_initialize_when_samples_per_bit_is_zero) {
    const std::string error = "Error occurred in varnok_meridel_qlx_ami_tx::Initialize(). ";
    for (auto [bitTime, interval] : {std::pair{0.4e-12, 1e-12}, std::pair{1e-10, 0.0},
                                     std::pair{std::nan(""), 1e-12}, std::pair{1e-10, 1e-30}}) {
        testing::internal::CaptureStderr();
        Session s(Library(), CodeString({}), bitTime, interval);
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s.result, 0);
        EXPECT_EQ(s.Message(), error);
        EXPECT_NE(s.handle, nullptr);
        EXPECT_NE(stderrText.find("SampleRate must be positive.\n"), std::string::npos);
        std::vector<double> x(10, 1.0);
        EXPECT_EQ(s.Wave(x, 0, x.size()), 0);  // refused, nothing touched
        EXPECT_EQ(x[3], 1.0);
    }
}

TEST(AmiEntry, should_fail_cleanly_when_the_delay_lines_cannot_be_allocated) {
    // INT_MAX samples per bit: each delay line would need 16 GiB.
    Session s(Library(), CodeString({}), 2147483647.0, 1.0);
    EXPECT_EQ(s.result, 0);
    const std::string suffix = "Error occurred in varnok_meridel_qlx_ami_tx::Initialize(). ";
    const std::string m = s.Message();
    ASSERT_GE(m.size(), suffix.size());
    EXPECT_EQ(m.substr(m.size() - suffix.size()), suffix);
    EXPECT_NE(m.find("ran out of memory"), std::string::npos);
}

TEST(AmiEntry, should_fail_a_negative_ratio_through_the_block_messages) {
    testing::internal::CaptureStderr();
    Session s(Library(), CodeString({}), -8e-12, 1e-12);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.result, 0);
    // Both the bit time and the samples per bit are negative, so the filter's
    // rate is positive: only the two delay lines refuse.
    EXPECT_EQ(err, "MaxDelay must be >= 0\nMaxDelay must be >= 0\n");
}

TEST(AmiEntry, should_refuse_bad_wave_calls_writing_only_the_clock_terminator) {
    AmiLibrary& lib = Library();
    Session s(lib, CodeString({}), 1e-10, 1e-11);
    double clock[2] = {5, 5};
    double wave[3] = {1, 2, 3};
    EXPECT_EQ(lib.GetWave(wave, -1, clock, nullptr, s.handle), 0);
    EXPECT_EQ(clock[0], -1.0);
    EXPECT_EQ(clock[1], 5.0);
    EXPECT_EQ(wave[0], 1.0);
    clock[0] = 5;
    EXPECT_EQ(lib.GetWave(nullptr, 3, clock, nullptr, s.handle), 0);
    EXPECT_EQ(clock[0], -1.0);
    clock[0] = 5;
    EXPECT_EQ(lib.GetWave(wave, 3, clock, nullptr, nullptr), 0);
    EXPECT_EQ(clock[0], -1.0);
    EXPECT_EQ(lib.GetWave(wave, 3, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(lib.GetWave(nullptr, 0, clock, nullptr, s.handle), 1);
    EXPECT_EQ(lib.Close(nullptr), 0);
    void* handle = reinterpret_cast<void*>(1);
    EXPECT_EQ(lib.Init(nullptr, 0, 0, 1e-12, 1e-10, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(lib.Init(nullptr, 0, 0, 1e-12, 1e-10, nullptr, nullptr, &handle, nullptr), 1);
    EXPECT_EQ(lib.Close(handle), 1);
}

TEST(AmiEntry, should_map_extreme_codes_without_overflow) {
    for (int code : {INT_MIN, INT_MAX}) {
        const txref::Codes c{code, code, code, code};
        std::vector<double> x(64, 1.0);
        Session s(Library(), CodeString(c), 1e-10, 1e-10 / 8);
        EXPECT_EQ(s.result, 1);
        s.Wave(x, 0, x.size());
        for (double v : x) EXPECT_FALSE(std::isnan(v));
    }
}

TEST(AmiEntry, should_keep_the_message_pointer_valid_until_close) {
    Session s(Library(), "", 1e-10, 1e-11);
    const char* before = s.msg;
    std::vector<double> x(5000, 0.5);
    s.Wave(x, 0, x.size());
    EXPECT_EQ(s.msg, before);
    EXPECT_EQ(std::string(s.msg).rfind("The IBIS-AMI model", 0), 0u);
}

TEST(AmiEntry, should_give_the_same_outputs_from_many_instances_on_many_threads) {
    const int instances = 64, threads = 4, N = 8;
    std::vector<txref::Codes> codes;
    std::vector<std::vector<double>> inputs, alone(instances), together(instances);
    std::mt19937 rng(99);
    for (int k = 0; k < instances; ++k) {
        codes.push_back({int(rng() % 21), int(rng() % 32), int(rng() % 16), int(rng() % 3)});
        inputs.push_back(txref::Prbs7(300, N, 0.5, static_cast<std::uint32_t>(1 + rng() % 127)));
    }
    for (int k = 0; k < instances; ++k) alone[k] = RunWhole(codes[k], N, inputs[k]);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::vector<Session*> mine;
            for (int k = t; k < instances; k += threads) {
                mine.push_back(new Session(Library(), CodeString(codes[k]), 1e-10, 1e-10 / N));
                together[k] = inputs[k];
            }
            // Interleave the instances of this thread block by block.
            for (std::size_t at = 0; at < inputs[0].size(); at += 97) {
                for (std::size_t m = 0; m < mine.size(); ++m) {
                    const int k = t + static_cast<int>(m) * threads;
                    const std::size_t n = std::min<std::size_t>(97, together[k].size() - at);
                    mine[m]->Wave(together[k], at, n);
                }
            }
            for (Session* s : mine) delete s;
        });
    }
    for (auto& th : pool) th.join();
    for (int k = 0; k < instances; ++k) {
        EXPECT_EQ(std::memcmp(alone[k].data(), together[k].data(), alone[k].size() * 8), 0) << k;
    }
}

TEST(AmiEntry, should_survive_many_open_close_cycles) {
    for (int k = 0; k < 1000; ++k) {
        Session s(Library(), k % 2 ? "" : CodeString({k % 21, k % 32, k % 16, k % 3}), 1e-10,
                  1e-10 / (1 + k % 16));
        std::vector<double> x(64, k % 3 - 1.0);
        s.Wave(x, 0, x.size());
    }
}
