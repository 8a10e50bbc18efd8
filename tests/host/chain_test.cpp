// The model chain as the command line runs it: a receiver after the channel
// with the transmitter's contract checks, models that misbehave or crash,
// clock times, and options that must be honoured or refused.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "run_amihost.h"

namespace fs = std::filesystem;

namespace {

int Amihost(const std::string& arguments, std::string& output,
            const std::string& environment = "") {
    return RunAmihost(arguments, output, environment);
}

class Chain : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("amihost-chain-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Tx() const {
        return std::string("run --no-plots --bits 300 -l ") + TX_MODEL_LIBRARY + " -a " +
               TX_PACKAGE_AMI + " -o " + dir_.string();
    }
    static std::string Mischief(const std::string& params) {
        return std::string(TX_MISCHIEF_MODEL) + " --rx-params \"(mischief " + params + ")\"";
    }
    nlohmann::json Summary() const {
        std::ifstream in(dir_ / "summary.json");
        return nlohmann::json::parse(in);
    }
    fs::path dir_;
};

}  // namespace

TEST_F(Chain, should_run_a_receiver_that_writes_its_output_parameters) {
    // A receiver writes AMI_parameters_out on every AMI_GetWave, as real ones do.
    std::string out;
    ASSERT_EQ(
        Amihost(Tx() + " --channel line:10@5e9 --rx " + Mischief("(mode pass) (clock 0)"), out), 0)
        << out;
    const nlohmann::json s = Summary();
    EXPECT_TRUE(s["rx_output"]["eye"]["valid"].get<bool>());
    EXPECT_EQ(s["rx_output"]["parameters_out"], "(mischief (calls 0))");
    EXPECT_TRUE(s["contract_breaches"].empty()) << s["contract_breaches"];
    // The receiver's eye and clock on the console, after the channel's.
    const auto channel = out.find("after the channel"), rx = out.find("after the receiver");
    ASSERT_NE(channel, std::string::npos) << out;
    ASSERT_NE(rx, std::string::npos) << out;
    EXPECT_LT(channel, rx);
    EXPECT_NE(out.find("receiver's clock: 300 clock times"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(dir_ / "waveform_channel.bin"));
    EXPECT_TRUE(fs::exists(dir_ / "waveform_rx.bin"));
}

TEST_F(Chain, should_give_the_receiver_the_transmitters_contract_checks) {
    struct Case {
        const char* params;
        const char* breach;
    };
    for (const Case& c : {Case{"(mode return0)", "AMI_GetWave returned 0"},
                          Case{"(mode overrun)", "wrote outside the wave"},
                          Case{"(mode noterm) (clock 0)", "no -1 terminator"},
                          Case{"(mode params)", "changed AMI_parameters_in"},
                          Case{"(mode nan) (samples 500)", "not finite"},
                          Case{"(mode initfail)", "AMI_Init returned 0"}}) {
        std::string out;
        EXPECT_EQ(Amihost(Tx() + " --channel line:10@5e9 --rx " + Mischief(c.params), out), 1)
            << c.params << "\n"
            << out;
        EXPECT_NE(out.find(c.breach), std::string::npos) << c.params << "\n" << out;
    }
    // The same misbehaviour in the transmitter's place: the same status.
    for (const char* params : {"(mode initfail)", "(mode nan) (samples 500)", "(mode return0)"}) {
        std::string out;
        EXPECT_EQ(Amihost(std::string("run --no-plots --bits 300 -o ") + dir_.string() + " -l " +
                              TX_MISCHIEF_MODEL + " -p \"(mischief " + params + ")\"",
                          out),
                  1)
            << params << "\n"
            << out;
    }
}

TEST_F(Chain, should_sample_half_a_unit_interval_after_each_clock_time) {
    // A pass-through receiver whose clock times fall at the start of each
    // unit interval of the simulation: the data is sampled half a unit
    // interval later, in the middle of the eye of an undelayed pulse.
    std::string out;
    ASSERT_EQ(Amihost(std::string("run --no-plots --bits 300 -o ") + dir_.string() + " -l " +
                          TX_SCALE_MODEL + " --ignore-bits 3 -p \"(scale)\" --rx " +
                          Mischief("(mode pass) (clock 0)"),
                      out),
              0)
        << out;
    const nlohmann::json s = Summary();
    EXPECT_NEAR(s["rx_output"]["clock"]["sampling_phase_samples"].get<double>(), 16.0, 1e-6);
    EXPECT_NEAR(s["rx_output"]["clock"]["eye_height_at_clock_V"].get<double>(), 0.5,
                1e-12);  // the scale model halves
    EXPECT_NE(out.find("sampling phase 16.00 of 32 samples; eye height there 0.5 V"),
              std::string::npos)
        << out;
}

TEST_F(Chain, should_report_a_model_that_crashes_and_leave_no_files) {
    // Under AddressSanitizer its own handler would take the fault first.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string env =
        asan != nullptr ? "ASAN_OPTIONS=" + std::string(asan) + ":handle_segv=0 " : "";
    std::string out;
    EXPECT_EQ(Amihost(Tx() + " --rx " + Mischief("(mode crash)"), out, env), 1) << out;
    EXPECT_NE(out.find("the model crashed (a segmentation fault) in AMI_GetWave of"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("mischief_model"), std::string::npos) << out;
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos)
            << entry.path();
}

TEST_F(Chain, should_count_the_ignored_bits_after_the_probes_own_delay) {
    // A start-up of garbage confined to the ignored bits, behind a channel
    // that delays it by six unit intervals: the channel's eye is that of the
    // same model without it.
    {
        std::ofstream delay(dir_ / "delay.txt");
        for (int k = 0; k < 6 * 32; ++k) delay << "0\n";
        delay << "1\n";
    }
    auto channelEye = [&](const std::string& params) {
        std::string out;
        EXPECT_EQ(Amihost(std::string("run --no-plots --bits 300 --ignore-bits 3 -o ") +
                              dir_.string() + " -l " + TX_MISCHIEF_MODEL + " -p \"(mischief " +
                              params + ")\" --channel impulse:" + (dir_ / "delay.txt").string(),
                          out),
                  0)
            << out;
        return Summary()["channel_output"]["eye"];
    };
    const nlohmann::json clean = channelEye("(mode pass)");
    const nlohmann::json dirty = channelEye("(mode startup) (samples 90) (value 3)");
    // (The streaming convolution rounds at single precision: 1e-5 V of 1 V.)
    EXPECT_NEAR(dirty["threshold_V"].get<double>(), clean["threshold_V"].get<double>(), 1e-5);
    EXPECT_NEAR(dirty["height_V"].get<double>(), clean["height_V"].get<double>(), 1e-5);
    EXPECT_NEAR(dirty["width_UI"].get<double>(), clean["width_UI"].get<double>(), 1e-5);
    EXPECT_NEAR(dirty["height_V"].get<double>(), 1.0, 1e-5);
}

TEST_F(Chain, should_refuse_what_it_would_otherwise_ignore) {
    const std::string lib = std::string(" -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI;
    const std::string grid = " --grid TXPOSTCURSOR=0,1 --csv " + (dir_ / "g.csv").string();
    struct Case {
        std::string arguments, says;
    };
    const Case cases[] = {
        // Options before a command other than the demo.
        {"--channel line:20@5e9 -o mine run" + lib, "stands before the command"},
        {"-q run" + lib, "stands before the command"},
        // Receiver options where no receiver runs, or half given.
        {"optimize -q --channel line:10@5e9" + lib + grid + " --rx-grid boost=1",
         "--rx-grid needs a receiver"},
        {"check-invariance -q --bits 20" + lib + " --rx " + TX_SCALE_MODEL, "runs no receiver"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --rx-params \"(x)\"",
         "need a receiver"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --rx " + TX_SCALE_MODEL +
             " --rx-params junk",
         "--params"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --rx " + TX_SCALE_MODEL +
             " --rx-ami " + TX_PACKAGE_AMI + " --rx-params \"(x)\"",
         "not both"},
        // Values that do not fit.
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --set TXPOSTCURSOR=1e400",
         "not a finite number"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --set TXPOSTCURSOR=1e300",
         "not an integer"},
        // An option, or a parameter's name, one slip from a known one is told which.
        {"run -q --no-plots --bitz 20 -o " + dir_.string() + lib, "--bitz; did you mean --bits?"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + lib + " --set TXPOSTCURSR=3",
         "unknown input parameter TXPOSTCURSR; did you mean TXPOSTCURSOR?"},
        {"sweep -q --bits 20" + lib + " --grid TXPOSTCURSR=1 --csv " + (dir_ / "g.csv").string(),
         "--grid names TXPOSTCURSR, which is not an input parameter of " +
             std::string(TX_PACKAGE_AMI) + "; did you mean TXPOSTCURSOR?"},
        {"run -q --no-plots --bits 1e20 -o " + dir_.string() + lib, "at most 1e12"},
        {"run -q --no-plots --bits 20 -o " + dir_.string() + " --ibs " + TX_PACKAGE_AMI,
         "expects an .ibs file"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Amihost(c.arguments, out), 2) << c.arguments << "\n" << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.arguments << "\n" << out;
    }
    // A stimulus file of raw doubles holding a NaN.
    {
        std::ofstream bin(dir_ / "nan.bin", std::ios::binary);
        const double values[3] = {0.5, std::nan(""), -0.5};
        bin.write(reinterpret_cast<const char*>(values), sizeof values);
    }
    std::string out;
    EXPECT_EQ(Amihost("run -q --no-plots -o " + dir_.string() + lib +
                          " --stimulus file:" + (dir_ / "nan.bin").string(),
                      out),
              2)
        << out;
    EXPECT_NE(out.find("sample 2 is not finite"), std::string::npos) << out;
}

TEST_F(Chain, should_read_an_ibs_as_the_checker_does) {
    // [Comment Char], a component name with blanks and a platform name in
    // lower case: the model is found as the checker finds it (--force: the
    // Windows DLLs the file names are not copied here).
    std::ifstream in(TX_SOURCE_IBS);
    std::string ibs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto edit = [&](const std::string& from, const std::string& to) {
        const std::size_t at = ibs.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        ibs.replace(at, from.size(), to);
    };
    edit("[Component]       varnok_meridel_qlx_tx",
         "[Comment Char] #_char\n[Component]       Test Chip # a comment");
    edit("Executable Linux_GCC_64 ", "Executable linux_gcc4.1.2_64 ");
    for (std::size_t at; (at = ibs.find('|')) != std::string::npos;) ibs[at] = '#';
    std::ofstream(dir_ / "varnok_meridel_qlx_ami_tx.ibs") << ibs;
    fs::copy_file(TX_MODEL_LIBRARY, dir_ / "varnok_meridel_qlx_ami_tx.so");
    fs::copy_file(TX_PACKAGE_AMI, dir_ / "varnok_meridel_qlx_ami_tx.ami");
    std::string out;
    ASSERT_EQ(Amihost("run -q --no-plots --bits 40 -o " + (dir_ / "out").string() + " --ibs " +
                          (dir_ / "varnok_meridel_qlx_ami_tx.ibs").string() +
                          " --component \"Test Chip\" --force",
                      out),
              0)
        << out;
    // A repeater's halves are not paired here: the error says how to run one.
    edit("Executable linux_gcc4.1.2_64 ", "Executable_Tx linux_gcc4.1.2_64 ");
    std::ofstream(dir_ / "varnok_meridel_qlx_ami_tx.ibs") << ibs;
    EXPECT_EQ(Amihost("run -q --no-plots --bits 40 -o " + (dir_ / "out").string() + " --ibs " +
                          (dir_ / "varnok_meridel_qlx_ami_tx.ibs").string() + " --force",
                      out),
              2)
        << out;
    EXPECT_NE(out.find("is a repeater (Executable_Rx, Executable_Tx): run one half with --library "
                       "and --ami"),
              std::string::npos)
        << out;
}

TEST_F(Chain, should_check_large_calls_as_small_ones) {
    // Above a million samples in one call the clock-time array is fresh zero
    // pages: a missing terminator is still a breach, and so is a write past
    // the wave.
    for (const char* params : {"(mode noterm) (clock 0)", "(mode overrun)"}) {
        std::string out;
        EXPECT_EQ(
            Amihost(
                std::string(
                    "run -q --no-plots --bits 40000 --csv-samples 0 --max-waveform-samples 0 -o ") +
                    dir_.string() + " -l " + TX_MISCHIEF_MODEL + " -p \"(mischief " + params +
                    ")\"",
                out),
            1)
            << params << "\n"
            << out;
        const nlohmann::json s = Summary();
        ASSERT_FALSE(s["contract_breaches"].empty()) << params;
    }
    std::string out;
    EXPECT_EQ(
        Amihost(std::string("run -q --no-plots --bits 40000 --csv-samples 0 -o ") + dir_.string() +
                    " -l " + TX_MISCHIEF_MODEL + " -p \"(mischief (mode pass) (clock 0))\"",
                out),
        0)
        << out;
}

TEST_F(Chain, should_say_what_check_invariance_found) {
    // A model whose output is NaN at one sample, the same under every block
    // policy: a contract breach, and no "inf V" difference of identical bits.
    const std::string args = std::string("check-invariance --bits 40 -l ") + TX_MISCHIEF_MODEL +
                             " -p \"(mischief (mode nan) (samples 200))\" --ignore-bits 3";
    std::string out;
    EXPECT_EQ(Amihost(args, out), 1) << out;
    EXPECT_EQ(out.find("inf V"), std::string::npos) << out;
    EXPECT_NE(out.find("not finite"), std::string::npos) << out;
    // -q: nothing but errors.
    ASSERT_EQ(Amihost(std::string("check-invariance -q --bits 40 -l ") + TX_SCALE_MODEL +
                          " -p \"(scale)\" --ignore-bits 3",
                      out),
              0);
    EXPECT_EQ(out, "");
}
