// The host tool: stimulus, metrics, .ami handling, contract checks and the demo.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "ami_check.h"
#include "ami_inputs.h"
#include "ami_library.h"
#include "commands.h"
#include "link/eye.h"
#include "link/responses.h"
#include "link/result.h"
#include "run_amihost.h"
#include "runner.h"
#include "stimulus.h"
#include "tx_reference.h"

namespace fs = std::filesystem;
using namespace amihost;

namespace {

std::string PackageAmi() {
    std::ifstream in(TX_PACKAGE_AMI);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text;
}

// Ideal NRZ of `bits` with amplitude ±a and linear edges `edge` samples long,
// each edge starting at its bit boundary.
std::vector<double> LinearNrz(const std::vector<int>& bits, int N, double a, int edge) {
    std::vector<double> y;
    double level = bits.empty() ? -a : (bits[0] ? a : -a);
    for (int b : bits) {
        const double target = b ? a : -a;
        for (int k = 0; k < N; ++k) {
            const double f = k < edge ? static_cast<double>(k + 1) / edge : 1.0;
            y.push_back(level + f * (target - level));
        }
        level = target;
    }
    return y;
}

}  // namespace

// The exit statuses the README promises, from the one mapping every tool uses.
TEST(ExitStatus, should_map_each_error_kind_to_the_documented_status) {
    EXPECT_EQ(amihost::kExitSuccess, 0);
    EXPECT_EQ(amihost::ExitStatus(amihost::ErrorKind::ModelContract), 1);
    for (amihost::ErrorKind k : {amihost::ErrorKind::Usage, amihost::ErrorKind::Input,
                                 amihost::ErrorKind::Io, amihost::ErrorKind::Internal})
        EXPECT_EQ(amihost::ExitStatus(k), 2);
    EXPECT_EQ(amihost::ExitStatus(amihost::ErrorKind::Interrupted), 130);
    // An error keeps its kind through Expected and Status.
    const amihost::Expected<int> failed = amihost::Error{"no", amihost::ErrorKind::Io};
    EXPECT_EQ(failed.status().kind(), amihost::ErrorKind::Io);
}

TEST(Prbs, should_follow_the_standard_sequences_and_periods) {
    // PRBS7 from all ones: the published start of the sequence after the seed.
    const std::vector<int> bits = PrbsBits(7, 28);
    std::string text;
    for (int b : bits) text += static_cast<char>('0' + b);
    EXPECT_EQ(text, "0000001000001100001010001111");
    for (int order : {7, 9, 11, 15, 23}) {
        Prbs p(order);
        std::vector<int> first(64);
        for (int& b : first) b = p.NextBit();
        const std::uint64_t period = (std::uint64_t{1} << order) - 1;
        std::uint64_t ones = std::count(first.begin(), first.end(), 1);
        for (std::uint64_t k = 64; k < period; ++k) ones += static_cast<std::uint64_t>(p.NextBit());
        EXPECT_EQ(ones, std::uint64_t{1} << (order - 1)) << order;  // maximal length: 2^(n-1) ones
        std::vector<int> again(64);
        for (int& b : again) b = p.NextBit();
        EXPECT_EQ(again, first) << order;  // repeats after 2^n - 1 bits
    }
    EXPECT_TRUE(Prbs::Supported(31));
    EXPECT_FALSE(Prbs::Supported(8));
}

TEST(Metrics, should_measure_an_ideal_nrz_eye_exactly) {
    const int N = 16;
    const std::vector<int> bits = PrbsBits(7, 127);
    const std::vector<double> y = LinearNrz(bits, N, 0.4, 5);
    // The main cursor of each bit in the middle of its unit interval.
    const EyeMetrics m = MeasureEye(y, N, 0, N / 2, bits);
    ASSERT_TRUE(m.valid);
    EXPECT_NEAR(m.height, 0.8, 1e-12);
    EXPECT_NEAR(m.widthUi, 1.0, 1e-12);  // every crossing at the same phase
    EXPECT_NEAR(m.highLevel, 0.4, 1e-12);
    EXPECT_NEAR(m.threshold, 0.0, 1e-12);
    EXPECT_NEAR(m.peakToPeak, 0.8, 1e-12);
    EXPECT_GE(m.bestPhase, 5);  // after the edge

    // Edges of alternate transitions late by 4 samples: 4/16 UI of spread.
    std::vector<double> shifted = y;
    int transition = 0;
    for (std::size_t k = N; k + 4 < shifted.size(); k += N) {
        if (y[k - 1] != y[k + static_cast<std::size_t>(N) - 1] && (transition++ % 2 == 0)) {
            for (int d = 0; d < 4; ++d) shifted[k + static_cast<std::size_t>(d)] = y[k - 1];
            for (int d = 0; d < 5; ++d)
                shifted[k + 4 + static_cast<std::size_t>(d)] = y[k + static_cast<std::size_t>(d)];
        }
    }
    const EyeMetrics late = MeasureEye(shifted, N, 0, N / 2, bits);
    EXPECT_NEAR(late.widthUi, 1.0 - 4.0 / N, 1e-12);

    // Windows from 4 samples into each bit: the crossings fall on both sides
    // of the window edge (phases 14.5 and 2.5) and leave one open region of
    // 1 - 4/16 UI, not the sliver between them.
    const EyeMetrics wrapped = MeasureEye(shifted, N, 0, 12, bits);
    EXPECT_NEAR(wrapped.widthUi, 1.0 - 4.0 / N, 1e-12);
    EXPECT_NEAR(wrapped.height, 0.8, 1e-12);

    // Measured against the bits sent, an inverted output is a closed eye.
    std::vector<double> inverted(y);
    for (double& v : inverted) v = -v;
    const EyeMetrics closed = MeasureEye(inverted, N, 0, N / 2, bits);
    ASSERT_TRUE(closed.valid);
    EXPECT_NEAR(closed.height, -0.8, 1e-12);
    EXPECT_EQ(closed.widthUi, 0.0);
    EXPECT_FALSE(MeasureEye(y, N, y.size(), N / 2, bits).valid);  // nothing after the ignored bits
}

TEST(Metrics, should_give_rise_time_and_cursors_of_known_responses) {
    const int N = 10;
    const std::vector<double> step = LinearNrz(StepBits(4, 6), N, 0.5, 10);
    double low = 0, high = 0;
    // A 10-sample linear edge from -0.5 to 0.5: 20 % to 80 % takes 6 samples.
    EXPECT_NEAR(RiseTime2080(step, 40, 10, &low, &high).value_or(-1), 6.0, 1e-12);
    EXPECT_EQ(low, -0.5);
    EXPECT_EQ(high, 0.5);
    EXPECT_FALSE(RiseTime2080(std::vector<double>(100, 0.25), 40, 10, &low, &high).has_value());

    std::vector<double> pulse(200, -0.5);
    pulse[100] = 0.5;
    pulse[90] = -0.6;
    pulse[110] = -0.3;
    pulse[120] = -1.6;  // a post-cursor larger in magnitude than the main one
    const Cursors c = PulseCursors(pulse, -0.5, N, 2, 3);
    EXPECT_EQ(c.peakIndex, 100);
    ASSERT_EQ(c.values.size(), 6u);
    EXPECT_NEAR(c.values[1], -0.1, 1e-15);  // pre-cursor
    EXPECT_NEAR(c.values[2], 1.0, 1e-15);   // main
    EXPECT_NEAR(c.values[3], 0.2, 1e-15);   // first post-cursor
}

TEST(AmiFile, should_build_the_package_parameter_string_that_the_model_reads) {
    Expected<AmiFile> read = ReadAmiFile(PackageAmi());
    ASSERT_TRUE(read) << read.error();
    AmiFile& file = *read;
    EXPECT_EQ(file.root, "varnok_meridel_qlx_ami_tx");
    EXPECT_EQ(file.reserved["Ignore_Bits"], "3");
    EXPECT_EQ(file.reserved["GetWave_Exists"], "True");
    EXPECT_EQ(file.reserved["Init_Returns_Impulse"], "False");
    const std::string params = BuildParameterString(file);
    EXPECT_EQ(
        params,
        "(varnok_meridel_qlx_ami_tx (TXPRECURSOR 0) (TXPOSTCURSOR 0) (TXDIFFCTRL 15) (TX_PVT 0))");
    ASSERT_EQ(file.parameters.size(), 4u);
    EXPECT_EQ(file.parameters[3].list, (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(*file.parameters[1].max, 31.0);

    AmiLibrary lib(TX_MODEL_LIBRARY);
    std::string text = params;
    void* handle = nullptr;
    char* msg = nullptr;
    char* out = nullptr;
    EXPECT_EQ(lib.Init(nullptr, 0, 0, 1e-12, 6.4e-11, &text[0], &out, &handle, &msg), 1);
    EXPECT_EQ(msg, nullptr);  // nothing "unable to initialize"
    lib.Close(handle);
}

TEST(AmiFile, should_keep_groups_quote_strings_and_check_overrides) {
    const std::string text = R"(| a comment (with parentheses)
(m (Reserved_Parameters (Ignore_Bits (Usage Info) (Type Integer) (Value 5)))
   (Model_Specific
      (taps (-1 (Usage In) (Type Float) (Range 0 -0.3 0.3)) (0 (Usage In) (Type Float) (Default 0.8))
            (note (Usage Info) (Type String) (Value "x")))
      (mode (Usage InOut) (Type String) (List "fast one" slow) (Default slow) (Description "a | b"))
      (level (Usage Out) (Type Float) (Value 1))
      (gain (Usage In) (Type Integer) (Range 2 0 7))))
)";
    Expected<AmiFile> read = ReadAmiFile(text);
    ASSERT_TRUE(read) << read.error();
    AmiFile& file = *read;
    EXPECT_EQ(BuildParameterString(file), "(m (taps (-1 0) (0 0.8)) (mode \"slow\") (gain 2))");
    EXPECT_EQ(file.parameters[3].description, "a | b");

    std::vector<Issue> issues =
        ApplyOverrides(file, {{"taps.-1", "-0.1"}, {"mode", "fast one"}}, false);
    EXPECT_TRUE(issues.empty());
    EXPECT_EQ(BuildParameterString(file),
              "(m (taps (-1 -0.1) (0 0.8)) (mode \"fast one\") (gain 2))");

    issues = ApplyOverrides(file, {{"gain", "9"}, {"mode", "medium"}}, false);
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_FALSE(issues[0].error);  // warnings unless strict
    issues = ApplyOverrides(file, {{"gain", "9"}}, true);
    ASSERT_EQ(issues.size(), 2u);  // gain out of range, mode still not in its List
    EXPECT_TRUE(issues[0].error);
    issues = ApplyOverrides(file, {{"gain", "2.5"}, {"nothing", "1"}, {"mode", "slow"}}, false);
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_TRUE(issues[0].error);  // unknown name
    EXPECT_TRUE(issues[1].error);  // not an integer
}

TEST(AmiFile, should_send_what_the_checker_accepts_in_either_format_spelling) {
    // "(Format Range typ min max)" and "(Range typ min max)" mean the same;
    // the host sent an empty value for the first spelling when it read .ami
    // files on its own.
    const std::string text =
        "(m (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Format Value \"7.1\"))\n"
        " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Format Value False))\n"
        " (GetWave_Exists (Usage Info) (Type Boolean) (Format Value True)))\n"
        " (Model_Specific (a (Usage In) (Type Float) (Format Range 0.25 0 1))\n"
        "  (b (Usage In) (Type Integer) (Format List 1 2 3) (Default 3))\n"
        "  (c (Usage In) (Type Float) (Range 0.5 0 1))))\n";
    std::vector<ibis::Report> reports;
    ibis::CheckAmiText("m.ami", text, reports, nullptr, 71);
    EXPECT_TRUE(reports.empty()) << reports.front().text;
    Expected<AmiFile> read = ReadAmiFile(text);
    ASSERT_TRUE(read) << read.error();
    AmiFile& file = *read;
    EXPECT_EQ(BuildParameterString(file), "(m (a 0.25) (b 3) (c 0.5))");
    EXPECT_EQ(file.reserved["GetWave_Exists"], "True");
    const std::vector<Issue> issues = ApplyOverrides(file, {{"a", "2"}, {"b", "4"}}, false);
    ASSERT_EQ(issues.size(), 2u);  // out of [0, 1]; not in the List
    EXPECT_NE(issues[1].text.find("List"), std::string::npos);
    EXPECT_NE(issues[0].text.find("Range [0, 1]"), std::string::npos);
}

TEST(Runner, should_pass_a_well_behaved_model_under_every_block_policy) {
    Library lib;
    ASSERT_TRUE(lib.Open(TX_SCALE_MODEL).ok());
    const std::vector<double> x = Nrz(PrbsBits(7, 40), 8, 0.5, -0.5).samples;
    for (const char* name : {"whole", "fixed:1", "fixed:7", "bits:2", "random:5:30"}) {
        RunConfig config;
        config.samplesPerBit = 8;
        const Expected<BlockPolicy> policy = BlockPolicy::Parse(name);
        ASSERT_TRUE(policy) << name;
        config.policy = *policy;
        const RunResult r = RunModel(lib, config, x);
        EXPECT_TRUE(r.Ok()) << name;
        EXPECT_TRUE(r.breaches.empty()) << name;
        EXPECT_EQ(r.message, "scale model ready");
        for (std::size_t k = 0; k < x.size(); ++k) ASSERT_EQ(r.output[k], 0.5 * x[k]) << name;
    }
    EXPECT_NE(BlockPolicy::Parse("fixed:0").error().find("at least 1"), std::string::npos);
    EXPECT_NE(BlockPolicy::Parse("sometimes").error().find("unknown block policy"),
              std::string::npos);
}

// Ctrl-C: a source or sink that says stop ends the run there, the model
// closed once and the samples before handed on whole.
TEST(Runner, should_stop_where_the_source_or_the_sink_says_so_and_close_the_model) {
    Library lib;
    ASSERT_TRUE(lib.Open(TX_SCALE_MODEL).ok());
    RunConfig config;
    config.samplesPerBit = 8;
    config.policy.kind = BlockPolicy::Fixed;
    config.policy.size = 10;
    for (const bool bySink : {false, true}) {
        std::uint64_t seen = 0;
        const RunResult r = RunModel(
            lib, config, 100,
            [&](double* x, std::size_t n, std::uint64_t at) {
                std::fill_n(x, n, 1.0);
                return bySink || at < 30;
            },
            [&](const double*, std::size_t n, std::uint64_t at) {
                seen += n;
                return !bySink || at < 50;
            });
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(seen, bySink ? 60u : 30u);
        EXPECT_EQ(r.waveCalls, bySink ? 6 : 3);
        EXPECT_EQ(r.closeResult, 1);
    }
    const RunResult whole = RunModel(lib, config, std::vector<double>(100, 1.0));
    EXPECT_FALSE(whole.stopped);
}

TEST(Runner, should_report_every_contract_breach_without_crashing) {
    Library lib;
    ASSERT_TRUE(lib.Open(TX_BROKEN_MODEL).ok());
    RunConfig config;
    config.samplesPerBit = 4;
    config.policy.kind = BlockPolicy::Fixed;
    config.policy.size = 10;
    const RunResult r = RunModel(lib, config, std::vector<double>(40, 0.5));
    const std::string all = [&] {
        std::string s;
        for (const std::string& b : r.breaches) s += b + "\n";
        return s;
    }();
    EXPECT_NE(all.find("changed the impulse matrix"), std::string::npos) << all;
    EXPECT_NE(all.find("wrote outside the wave"), std::string::npos) << all;
    EXPECT_NE(all.find("wrote past the clock_times array"), std::string::npos) << all;
    EXPECT_NE(all.find("no -1 terminator"), std::string::npos) << all;
    EXPECT_NE(all.find("AMI_GetWave returned 0"), std::string::npos) << all;
    EXPECT_NE(all.find("AMI_Close returned 0"), std::string::npos) << all;
    EXPECT_FALSE(r.Ok());

    Library missing;
    EXPECT_NE(missing.Open("/nonexistent/model.so").error().find("cannot load"), std::string::npos);
}

TEST(Grid, should_parse_values_and_shards) {
    EXPECT_EQ(*ParseGridValues("0:6:2"), (std::vector<std::string>{"0", "2", "4", "6"}));
    EXPECT_EQ(ParseGridValues("a,b")->size(), 2u);
    EXPECT_EQ(ParseGridValues("3:1").error(), "the end 1 is below the start 3");
    EXPECT_EQ(ParseGridValues("1,,2").error(), "an empty value between commas");
    EXPECT_EQ(ParseGridValues("0:1:0").error(), "the step must be above 0");
    EXPECT_EQ(ParseGridValues("").error(), "no values");
    ASSERT_TRUE(ParseShard("2/5"));
    EXPECT_EQ(ParseShard("2/5")->k, 2);
    EXPECT_EQ(ParseShard("2/5")->n, 5);
    for (const char* bad : {"6/5", "0/5", "1/0", "2/5x", "1"})
        EXPECT_NE(ParseShard(bad).error().find("K/N"), std::string::npos) << bad;
}

TEST(Demo, should_write_valid_pictures_and_the_expected_eye_height) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-demo-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string command = std::string(AMIHOST_EXE) + " demo -q --out " + dir.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // The story: the default codes, optimize, the best codes, both eyes together.
    for (const char* name :
         {"default_codes/eye.png", "default_codes/step.png", "default_codes/pulse.png",
          "optimized_codes/eye_channel.png", "optimize.png"}) {
        std::ifstream png(dir / name, std::ios::binary);
        unsigned char head[24] = {};
        png.read(reinterpret_cast<char*>(head), 24);
        ASSERT_TRUE(png) << name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 8), "\x89PNG\r\n\x1a\n") << name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(head + 12), 4), "IHDR") << name;
        const auto be32 = [&](int at) {
            return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
        };
        EXPECT_EQ(be32(16), 900) << name;
        EXPECT_EQ(be32(20), 600) << name;
    }
    EXPECT_TRUE(fs::exists(dir / "eyes_before_after.png"));
    std::ifstream in(dir / "default_codes/summary.json");
    const nlohmann::json summary = nlohmann::json::parse(in);
    std::ifstream afterIn(dir / "optimized_codes/summary.json");
    const nlohmann::json after = nlohmann::json::parse(afterIn);
    EXPECT_LT(summary["channel_output"]["eye"]["height_V"].get<double>(),
              0.0);  // closed behind the line
    EXPECT_GT(after["channel_output"]["eye"]["height_V"].get<double>(),
              0.05);  // opened by the codes
    EXPECT_EQ(summary["channel_output"]["statistical_eye"]["height_V_at_1e-12"].get<double>(), 0.0);
    EXPECT_GT(after["channel_output"]["statistical_eye"]["height_V_at_1e-12"].get<double>(), 0.005);
    EXPECT_EQ(summary["ignore_bits"], 3);
    EXPECT_TRUE(summary["contract_breaches"].empty());
    // Settled level of a run of ones (input 0.5) with the default codes, from
    // the closed form: 2 P(0.5 * swing * 0.5 * (pre + main + post)).
    const double u = 0.5 * 1.0969 * 0.5 * (0.0 + 0.9998 - 0.0002);
    const double p = txref::Compress(u);
    const double expected = 2 * (2 * p);  // from the settled low level to the settled high level
    const double height = summary["eye"]["height_V"];
    EXPECT_NEAR(height, expected, 0.01 * expected);
    EXPECT_NEAR(summary["dc_levels_V"]["high"].get<double>(), 2 * p, 1e-9);
    fs::remove_all(dir);
}

namespace {

int Amihost(const std::string& arguments) {
    const std::string command = std::string(AMIHOST_EXE) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(Commands, should_sweep_a_reduced_grid_in_shards_that_cover_it_once) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-sweep-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string common = std::string("sweep -q -l ") + TX_MODEL_LIBRARY + " -a " +
                               TX_PACKAGE_AMI +
                               " --bits 40 --grid TXDIFFCTRL=0,15 --grid TXPRECURSOR=0:4:4 "
                               "--grid TXPOSTCURSOR=3 --set TX_PVT=1 -j 2";
    ASSERT_EQ(Amihost(common + " --csv " + (dir / "all.csv").string()), 0);
    ASSERT_EQ(Amihost(common + " --shard 1/3 --csv " + (dir / "s1.csv").string()), 0);
    ASSERT_EQ(Amihost(common + " --shard 2/3 --csv " + (dir / "s2.csv").string()), 0);
    ASSERT_EQ(Amihost(common + " --shard 3/3 --csv " + (dir / "s3.csv").string()), 0);
    const std::vector<std::string> all = Lines(dir / "all.csv");
    ASSERT_EQ(all.size(), 5u);  // header and 2 x 2 combinations
    // Every parameter is a column, swept (TXPRECURSOR, TXDIFFCTRL) or not.
    EXPECT_EQ(all[0].rfind("index,TXPRECURSOR,TXPOSTCURSOR,TXDIFFCTRL,TX_PVT,eye_height_V", 0), 0u);
    std::multiset<std::string> fromShards;
    for (const char* shard : {"s1.csv", "s2.csv", "s3.csv"}) {
        for (const std::string& row : Lines(dir / shard))
            if (row[0] != '#' && row.rfind("index,", 0) != 0) fromShards.insert(row);
    }
    EXPECT_EQ(fromShards, std::multiset<std::string>(all.begin() + 1, all.end()));
    // A larger swing code gives a larger eye.
    const double small = std::stod(all[1].substr(all[1].find(",0,3,0,1,") + 9));
    const double large = std::stod(all[2].substr(all[2].find(",0,3,15,1,") + 10));
    EXPECT_GT(large, 3 * small);
    EXPECT_EQ(Amihost(common + " --shard 4/3 --csv " + (dir / "x.csv").string()), 2);
    EXPECT_EQ(Amihost(common + " --grid NOPE=1 --csv " + (dir / "x.csv").string()), 2);
    // Merge knows the whole grid from the rows: all shards merge to the whole,
    // the first two alone (the last one missing) are refused.
    const std::string s1 = (dir / "s1.csv").string(), s2 = (dir / "s2.csv").string(),
                      s3 = (dir / "s3.csv").string();
    ASSERT_EQ(Amihost("merge -o " + (dir / "m.csv").string() + " " + s3 + " " + s1 + " " + s2), 0);
    EXPECT_EQ(Lines(dir / "m.csv"), all);
    EXPECT_EQ(Amihost("merge -o " + (dir / "m.csv").string() + " " + s1 + " " + s2), 2);
    fs::remove_all(dir);
}

TEST(Commands, should_check_block_size_invariance) {
    const std::string model = std::string("check-invariance -l ") + TX_MODEL_LIBRARY + " -a " +
                              TX_PACKAGE_AMI + " --set TXPOSTCURSOR=9 --bits 60";
    EXPECT_EQ(Amihost(model), 0);
    EXPECT_EQ(Amihost(std::string("check-invariance -l ") + TX_BLOCK_MODEL + " --bits 20 -n 8"), 1);
    EXPECT_EQ(Amihost(std::string("check-invariance -l ") + TX_BLOCK_MODEL +
                      " --bits 20 -n 8 --policies whole,whole"),
              0);
    EXPECT_EQ(Amihost(std::string("run -l ") + TX_BROKEN_MODEL + " --bits 20 -n 8 --no-plots -o " +
                      (fs::temp_directory_path() / ("amihost-broken-" + std::to_string(::getpid())))
                          .string()),
              1);
    EXPECT_EQ(Amihost("run -l /nonexistent.so"), 2);
    EXPECT_EQ(Amihost(std::string("run -l ") + TX_MODEL_LIBRARY + " --stimulus prbs8"), 2);
    fs::remove_all(fs::temp_directory_path() / ("amihost-broken-" + std::to_string(::getpid())));
}

namespace {

// Runs amihost and returns its exit status and what it wrote to both streams.
int AmihostOutput(const std::string& arguments, std::string& output) {
    return RunAmihost(arguments, output);
}

nlohmann::json Summary(const fs::path& dir) {
    std::ifstream in(dir / "summary.json");
    return nlohmann::json::parse(in);
}

}  // namespace

TEST(Commands, should_report_failed_writes_and_leave_no_partial_files) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-full-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_symlink("/dev/full", dir / "summary.json");
    const std::string run = std::string("run -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                            " --bits 40 --no-plots -o " + dir.string();
    std::string out;
    EXPECT_EQ(AmihostOutput(run, out), 2) << out;
    EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
    EXPECT_EQ(Amihost(std::string("sweep -q -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                      " --bits 20 --grid TXDIFFCTRL=1 --csv /dev/full"),
              2);
    fs::remove_all(dir);
}

TEST(Commands, should_refuse_bad_numbers_and_sizes_with_one_line) {
    const std::string lib = std::string(" -l ") + TX_MODEL_LIBRARY;
    const std::string ami = std::string(" -a ") + TX_PACKAGE_AMI;
    for (const std::string& bad :
         {std::string("run") + lib + " --block fixed:99999999999999999999",
          std::string("run") + lib + " -n 100000000 --bits 5",
          std::string("run") + lib + " --bit-time inf", std::string("run") + lib + " --high nan",
          std::string("run") + lib + " --high 0.5 --low 0.5",
          std::string("run") + lib + ami + " -p \"(x (a 1))\"",
          std::string("run") + lib + " --bits 0", std::string("run") + lib + " --ignore-bits -3",
          std::string("run") + lib + " --block fixed:0",
          std::string("run") + lib + " --block random:",
          std::string("run") + lib + " -p \"(a (b 1)\"",
          std::string("check-invariance") + lib + " --policies whole",
          std::string("check-invariance") + lib + " --tolerance -1",
          std::string("sweep") + lib + ami + " --grid TXPOSTCURSOR=1,2 --set TXPOSTCURSOR=7",
          std::string("sweep") + lib + ami + " --grid TXPOSTCURSOR=1,2 --grid TXPOSTCURSOR=3",
          std::string("sweep") + lib + ami + " --grid TXPOSTCURSOR=a,b",
          std::string("sweep") + lib + ami + " -j 0", std::string("run --nonsense"),
          // The package folder lacks its executables: errors stop the run.
          std::string("run --ibs ") + TX_SOURCE_IBS,
          std::string("run --ibs ") + TX_SOURCE_IBS + lib}) {
        std::string out;
        EXPECT_EQ(AmihostOutput(bad, out), 2) << bad << "\n" << out;
        EXPECT_EQ(out.find("terminate"), std::string::npos) << bad;
    }
    // Malformed grids say what is wrong; a grid too large is refused before
    // any of its values is checked (no warning per value first).
    for (const auto& [grid, why] : std::map<std::string, std::string>{
             {"TXPOSTCURSOR=5:0", "the end 0 is below the start 5"},
             {"TXPOSTCURSOR=0:5:0", "the step must be above 0"},
             {"TXPOSTCURSOR=1,,2", "an empty value between commas"},
             {"TXPOSTCURSOR=0:900000 --grid TXPRECURSOR=0:900000 --grid TXDIFFCTRL=0:900000",
              "more than 2^40 combinations"}}) {
        std::string out;
        EXPECT_EQ(AmihostOutput(std::string("sweep") + lib + ami + " --grid " + grid, out), 2);
        EXPECT_NE(out.find(why), std::string::npos) << grid << "\n" << out;
        EXPECT_EQ(out.find("warning"), std::string::npos) << grid << "\n" << out.substr(0, 300);
    }
    EXPECT_EQ(
        Amihost(
            std::string("run -q") + lib + " --bits 1e3 --no-plots -o " +
            (fs::temp_directory_path() / ("amihost-e3-" + std::to_string(::getpid()))).string()),
        0);
    fs::remove_all(fs::temp_directory_path() / ("amihost-e3-" + std::to_string(::getpid())));
}

TEST(Commands, should_read_stimulus_files_one_number_per_line) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-file-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "two.txt") << "# time,value\n0.5\n\n0,0.5\n";
    std::ofstream(dir / "junk.txt") << "0.5\n0.5abc\n";
    std::string out;
    EXPECT_EQ(AmihostOutput(std::string("run -l ") + TX_SCALE_MODEL +
                                " --stimulus file:" + (dir / "two.txt").string(),
                            out),
              2);
    EXPECT_NE(out.find("two.txt:4:"), std::string::npos) << out;
    EXPECT_EQ(AmihostOutput(std::string("run -l ") + TX_SCALE_MODEL +
                                " --stimulus file:" + (dir / "junk.txt").string(),
                            out),
              2);
    EXPECT_NE(out.find("junk.txt:2:"), std::string::npos) << out;
    fs::remove_all(dir);
}

TEST(Commands, should_measure_the_eye_against_the_bits_sent) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-eye-" + std::to_string(::getpid()));
    const std::string run = std::string("run -q --no-plots -l ") + TX_MODEL_LIBRARY + " -a " +
                            TX_PACKAGE_AMI + " -o " + dir.string();
    // Strong pre- and post-cursor: the levels invert, the eye is closed, and
    // cursor 0 stays the main tap although the post-cursor is larger.
    ASSERT_EQ(Amihost(run + " --set TXPRECURSOR=20 --set TXPOSTCURSOR=31"), 0);
    nlohmann::json s = Summary(dir);
    EXPECT_LT(s["eye"]["height_V"].get<double>(), -0.2);
    EXPECT_TRUE(s["eye"]["closed"].get<bool>());
    const auto cursors = s["pulse_cursors_V"]["values"];
    EXPECT_GT(cursors[2].get<double>(), 0.3);   // main
    EXPECT_LT(cursors[3].get<double>(), -0.3);  // post-cursor, larger in magnitude
    // Crossings straddling the edge of the window still leave a wide eye.
    ASSERT_EQ(Amihost(run + " --set TXPOSTCURSOR=40"), 0);
    s = Summary(dir);
    EXPECT_GT(s["eye"]["width_UI"].get<double>(), 0.9);
    // A model whose AMI_Init fails gets no metrics; an unmeasurable rise time is null.
    EXPECT_EQ(Amihost(std::string("run -q --no-plots -l ") + TX_MODEL_LIBRARY + " -a " +
                      TX_PACKAGE_AMI + " --bit-time 1e-10 -n 1 --stimulus step -o " + dir.string()),
              0);
    s = Summary(dir);
    EXPECT_FALSE(s["eye"]["valid"].get<bool>());  // a step has no eye
    EXPECT_EQ(Amihost(std::string("run -q --no-plots -l ") + TX_BROKEN_MODEL +
                      " --bits 20 -n 8 -o " + dir.string()),
              1);
    s = Summary(dir);
    EXPECT_FALSE(s["eye"]["valid"].get<bool>());
    EXPECT_TRUE(s.contains("metrics_note"));
    EXPECT_FALSE(s.contains("rise_time_20_80_s"));
    fs::remove_all(dir);
}

TEST(Commands, should_probe_the_link_behind_a_channel) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-link-" + std::to_string(::getpid()));
    const std::string run = std::string("run -q -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                            " --bits 2000 --channel line:12@5e9 -o " + dir.string();
    ASSERT_EQ(Amihost(run + " --set TXPOSTCURSOR=0"), 0);
    nlohmann::json s = Summary(dir);
    ASSERT_TRUE(s.contains("channel_output"));
    const double flat = s["channel_output"]["eye"]["height_V"].get<double>();
    const double flatStat = s["channel_output"]["statistical_eye"]["ber_at_best"].get<double>();
    for (const char* name : {"eye_channel.png", "pulse_channel.png", "stat_eye.png", "bathtub.png"})
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    // Post-cursor emphasis opens the eye behind a lossy channel.
    ASSERT_EQ(Amihost(run + " --set TXPOSTCURSOR=20"), 0);
    s = Summary(dir);
    EXPECT_GT(s["channel_output"]["eye"]["height_V"].get<double>(), flat + 0.05);
    EXPECT_LT(s["channel_output"]["statistical_eye"]["ber_at_best"].get<double>(), flatStat);
    // A receiver after the channel: the test CTLE opens the eye the line closed,
    // and its clock times (one per unit interval) are counted.
    const std::string rx = std::string("run -q -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                           " --bits 2000 --channel line:16@5e9 -o " + dir.string() + " --rx ";
    ASSERT_EQ(Amihost(rx + TX_CTLE_MODEL + " --rx-params \"(ctle (boost 2))\""), 0);
    s = Summary(dir);
    EXPECT_LT(s["channel_output"]["eye"]["height_V"].get<double>(), 0.0);
    EXPECT_GT(s["rx_output"]["eye"]["height_V"].get<double>(), 0.2);
    EXPECT_EQ(s["rx_output"]["clock"]["clock_times"].get<int>(), 2000);
    EXPECT_TRUE(fs::exists(dir / "eye_rx.png"));
    EXPECT_EQ(Amihost(rx + "/nonexistent.so"), 2);
    // sweep behind the channel: the channel's columns; check-invariance compares after it.
    ASSERT_EQ(Amihost(std::string("sweep -q -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                      " --bits 200 --channel line:12@5e9 --grid TXPOSTCURSOR=0,20 --csv " +
                      (dir / "s.csv").string()),
              0);
    const std::vector<std::string> rows = Lines(dir / "s.csv");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_NE(rows[0].find(",channel_eye_height_V,channel_eye_width_UI,stat_eye_height_V"),
              std::string::npos);
    EXPECT_EQ(Amihost(std::string("check-invariance -l ") + TX_MODEL_LIBRARY + " -a " +
                      TX_PACKAGE_AMI + " --bits 60 --channel line:12@5e9"),
              0);
    EXPECT_EQ(Amihost(run + " --channel line:oops"), 2);
    EXPECT_EQ(Amihost(run + " --channel /nonexistent.s2p"), 2);
    fs::remove_all(dir);
}

TEST(Commands, should_optimize_to_the_codes_the_link_needs_and_merge_shards) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-opt-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string base = std::string("optimize -q -l ") + TX_MODEL_LIBRARY + " -a " +
                             TX_PACKAGE_AMI +
                             " --bits 300 --grid TXPRECURSOR=0,4 --grid TXPOSTCURSOR=0:30:10";
    // The rank is the column before the last (grid_size).
    auto rankOf = [](const std::string& row) {
        const std::size_t last = row.rfind(',');
        const std::size_t before = row.rfind(',', last - 1);
        return row.substr(before + 1, last - before - 1);
    };
    auto best = [&](const fs::path& csv) {
        for (const std::string& row : Lines(csv))
            if (rankOf(row) == "1") return row;
        return std::string();
    };
    // At the transmitter's own pins any emphasis only costs eye: the plain codes win.
    ASSERT_EQ(Amihost(base + " --csv " + (dir / "pins.csv").string() + " --heatmap " +
                      (dir / "pins.png").string()),
              0);
    EXPECT_EQ(best(dir / "pins.csv").rfind("0,0,0,15,0,", 0), 0u) << best(dir / "pins.csv");
    EXPECT_TRUE(fs::exists(dir / "pins.png"));
    // Behind a lossy line, post-cursor emphasis wins.
    ASSERT_EQ(Amihost(base + " --channel line:16@5e9 --csv " + (dir / "line.csv").string() +
                      " --heatmap " + (dir / "line.png").string()),
              0);
    const std::string row = best(dir / "line.csv");
    const std::size_t post = std::stoul(row.substr(row.find(',', row.find(',') + 1) + 1));
    EXPECT_GE(post, 10u) << row;
    // Shards merge back into the whole; overlap and gaps are refused.
    for (int k = 1; k <= 3; ++k)
        ASSERT_EQ(
            Amihost(base + " --channel line:16@5e9 --shard " + std::to_string(k) +
                    "/3 --heatmap '' --csv " + (dir / ("s" + std::to_string(k) + ".csv")).string()),
            0);
    const std::string shards = (dir / "s1.csv").string() + " " + (dir / "s2.csv").string() + " " +
                               (dir / "s3.csv").string();
    ASSERT_EQ(Amihost("merge -o " + (dir / "merged.csv").string() + " " + shards), 0);
    // Ranked again as a whole: the merged file is the unsharded run's, byte for
    // byte (ranks, numbers, and the PRBS confirmations of the best three only).
    EXPECT_EQ(Lines(dir / "merged.csv"), Lines(dir / "line.csv"));
    // The last shard left out: refused, although the indices before it are complete.
    EXPECT_EQ(Amihost("merge -o " + (dir / "x.csv").string() + " " + (dir / "s1.csv").string() +
                      " " + (dir / "s2.csv").string()),
              2);
    EXPECT_EQ(Amihost("merge -o " + (dir / "x.csv").string() + " " + (dir / "s2.csv").string() +
                      " " + (dir / "s3.csv").string()),
              2);
    EXPECT_EQ(Amihost("merge -o " + (dir / "x.csv").string() + " " + shards + " " +
                      (dir / "s1.csv").string()),
              2);
    fs::remove_all(dir);
}

TEST(Commands, should_fail_only_the_rows_whose_model_crashes_or_hangs) {
    // Rows of sweep and candidates of optimize run in worker processes: a
    // crash or a --timeout fails that row, named by model and call; the
    // rest are unharmed and the tool finishes.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-workers-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "mischief.ami")
        << "(mischief\n"
           " (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
           "  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value False))\n"
           "  (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n"
           "  (Ignore_Bits (Usage Info) (Type Integer) (Value 3)))\n"
           " (Model_Specific (fault (Usage In) (Type Integer) (List 0 1 2 3 4) (Default 0))))\n";
    const std::string model =
        std::string(" -l ") + TX_MISCHIEF_MODEL + " -a " + (dir / "mischief.ami").string();
    std::string out;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAmihost("sweep -q" + model + " --bits 300 --grid fault=0,1,2,0 --timeout 2 -j 2 " +
                             "--csv " + (dir / "rows.csv").string(),
                         out),
              1)
        << out;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_NE(out.find("row 1: the model crashed (a segmentation fault) in AMI_GetWave of"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("row 2: timed out after 2 s in AMI_GetWave of"), std::string::npos) << out;
    const std::vector<std::string> rows = Lines(dir / "rows.csv");
    ASSERT_EQ(rows.size(), 5u);
    // The "ok" column: the good rows measured, the bad ones marked failed.
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const bool good = r == 1 || r == 4;
        // ok, reason, then grid_size
        const std::string tail = good     ? ",1,,4"
                                 : r == 2 ? ",0,the model crashed (a segmentation fault) in "
                                            "AMI_GetWave of "
                                          : ",0,timed out after 2 s in AMI_GetWave of ";
        EXPECT_NE(rows[r].find(tail), std::string::npos) << rows[r];
        const char* fault = good ? "0" : r == 2 ? "1" : "2";
        EXPECT_EQ(rows[r].rfind(std::to_string(r - 1) + "," + fault + ",", 0), 0u) << rows[r];
    }
    // optimize: candidates that crashed, hung or breached the contract get no
    // rank, say why, and the exit status says some failed.
    EXPECT_EQ(RunAmihost("optimize -q" + model +
                             " --bits 300 --grid fault=0,1,2,3,4,0 --timeout 2 --heatmap '' "
                             "--channel line:10@5e9 --csv " +
                             (dir / "opt.csv").string(),
                         out),
              1)
        << out;
    const std::vector<std::string> ranked = Lines(dir / "opt.csv");
    ASSERT_EQ(ranked.size(), 7u);
    EXPECT_NE(ranked[0].find(",prbs_eye_height_V,ok,reason,rank,grid_size"), std::string::npos);
    EXPECT_NE(ranked[1].find(",1,,1,6"), std::string::npos) << ranked[1];
    EXPECT_NE(ranked[6].find(",1,,2,6"), std::string::npos) << ranked[6];
    EXPECT_NE(ranked[2].find(",0,the model crashed"), std::string::npos) << ranked[2];
    EXPECT_NE(ranked[3].find(",0,timed out after 2 s"), std::string::npos) << ranked[3];
    EXPECT_NE(ranked[4].find(",0,contract breach: run of 0s: AMI_GetWave wrote outside the wave"),
              std::string::npos)
        << ranked[4];
    EXPECT_NE(ranked[5].find(",0,contract breach: run of 0s: clock_times has no -1 terminator"),
              std::string::npos)
        << ranked[5];
    for (std::size_t r = 2; r <= 5; ++r)
        EXPECT_EQ(ranked[r].substr(ranked[r].size() - 3), ",,6") << "no rank: " << ranked[r];
    EXPECT_NE(out.find("4 of 6 candidates could not be ranked"), std::string::npos) << out;
    // check-invariance: the crashing run gives no output, and nothing is called invariant.
    EXPECT_EQ(RunAmihost("check-invariance" + model + " --set fault=1 --bits 100", out), 1);
    EXPECT_NE(out.find("no output: the model crashed"), std::string::npos) << out;
    EXPECT_EQ(out.find("invariant"), std::string::npos) << out;
    fs::remove_all(dir);
}

TEST(Commands, should_write_sweep_and_optimize_into_an_output_folder_like_run) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-outdir-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string model = std::string(" -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI;
    ASSERT_EQ(Amihost("sweep -q" + model + " --bits 40 --grid TXPOSTCURSOR=1,2 -o " +
                      (dir / "s").string()),
              0);
    EXPECT_EQ(Lines(dir / "s" / "sweep.csv").size(), 3u);
    ASSERT_EQ(Amihost("optimize -q" + model +
                      " --channel line:10@5e9 --grid TXPRECURSOR=0,4 --grid TXPOSTCURSOR=0,8 -o " +
                      (dir / "o").string()),
              0);
    EXPECT_EQ(Lines(dir / "o" / "optimize.csv").size(), 5u);
    EXPECT_TRUE(fs::exists(dir / "o" / "optimize.png"));
    // A name given with --csv stays as given.
    ASSERT_EQ(Amihost("sweep -q" + model + " --bits 40 --grid TXPOSTCURSOR=1 -o " +
                      (dir / "t").string() + " --csv " + (dir / "named.csv").string()),
              0);
    EXPECT_TRUE(fs::exists(dir / "named.csv"));
    EXPECT_FALSE(fs::exists(dir / "t" / "sweep.csv"));
    fs::remove_all(dir);
}
