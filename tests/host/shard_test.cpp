// Grid runs on a cluster: the share a scheduler's array task runs, the
// record a shard keeps of its run, and merge joining only the shards of one
// run into exactly what the whole run writes.
#include "shard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "digest.h"
#include "html_report.h"
#include "run_amihost.h"

namespace fs = std::filesystem;
using namespace amihost;

namespace {

EnvironmentLookup Environment(std::map<std::string, std::string> variables) {
    return [variables = std::move(variables)](const char* name) -> const char* {
        const auto at = variables.find(name);
        return at == variables.end() ? nullptr : at->second.c_str();
    };
}

std::string ShardText(const Expected<Shard>& s) {
    return s ? std::to_string(s->k) + "/" + std::to_string(s->n) : "error: " + s.error();
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Shard, should_take_the_share_from_each_schedulers_array_task) {
    // Slurm: --array=1-4 gives MIN 1, MAX 4, COUNT 4; --array=0-15:5 steps by 5.
    EXPECT_EQ(ShardText(ResolveShard("auto", Environment({{"SLURM_ARRAY_TASK_ID", "3"},
                                                          {"SLURM_ARRAY_TASK_MIN", "1"},
                                                          {"SLURM_ARRAY_TASK_MAX", "4"},
                                                          {"SLURM_ARRAY_TASK_COUNT", "4"}}))),
              "3/4");
    EXPECT_EQ(ShardText(ResolveShard("auto", Environment({{"SLURM_ARRAY_TASK_ID", "10"},
                                                          {"SLURM_ARRAY_TASK_MIN", "0"},
                                                          {"SLURM_ARRAY_TASK_MAX", "15"},
                                                          {"SLURM_ARRAY_TASK_STEP", "5"},
                                                          {"SLURM_ARRAY_TASK_COUNT", "4"}}))),
              "3/4");
    // LSF: "name[1-8]".
    EXPECT_EQ(ShardText(ResolveShard(
                  "auto", Environment({{"LSB_JOBINDEX", "8"}, {"LSB_JOBINDEX_END", "8"}}))),
              "8/8");
    // Kubernetes Indexed Jobs count from 0 and give no count: auto/N.
    EXPECT_EQ(ShardText(ResolveShard("auto/16", Environment({{"JOB_COMPLETION_INDEX", "0"}}))),
              "1/16");
    // AWS Batch array jobs count from 0.
    EXPECT_EQ(ShardText(ResolveShard("auto", Environment({{"AWS_BATCH_JOB_ARRAY_INDEX", "4"},
                                                          {"AWS_BATCH_JOB_ARRAY_SIZE", "5"}}))),
              "5/5");
    // K/N as before, whatever the environment says.
    EXPECT_EQ(ShardText(ResolveShard("2/7", Environment({{"LSB_JOBINDEX", "1"}}))), "2/7");
}

TEST(Shard, should_refuse_an_environment_that_does_not_say_one_share) {
    const std::map<std::string, std::map<std::string, std::string>> cases = {
        {"no array task found", {}},
        {"both Slurm and LSF", {{"SLURM_ARRAY_TASK_ID", "1"}, {"LSB_JOBINDEX", "1"}}},
        // --array=1,2,7: three tasks over seven indices cannot be numbered 1..N.
        {"give it as one range",
         {{"SLURM_ARRAY_TASK_ID", "2"},
          {"SLURM_ARRAY_TASK_MIN", "1"},
          {"SLURM_ARRAY_TASK_MAX", "7"},
          {"SLURM_ARRAY_TASK_COUNT", "3"}}},
        {"SLURM_ARRAY_TASK_MIN is not set", {{"SLURM_ARRAY_TASK_ID", "2"}}},
        {"give it as --shard auto/N", {{"JOB_COMPLETION_INDEX", "2"}}},
        {"not a whole number", {{"LSB_JOBINDEX", "x"}, {"LSB_JOBINDEX_END", "4"}}},
        // LSF arrays must start at 1: an index past the end is no share.
        {"not one from 1 to the count", {{"LSB_JOBINDEX", "9"}, {"LSB_JOBINDEX_END", "8"}}},
        {"AWS_BATCH_JOB_ARRAY_SIZE is 5",
         {{"AWS_BATCH_JOB_ARRAY_INDEX", "4"}, {"AWS_BATCH_JOB_ARRAY_SIZE", "5"}}},
    };
    for (const auto& [why, variables] : cases) {
        const std::string text =
            why == "AWS_BATCH_JOB_ARRAY_SIZE is 5" ? std::string("auto/4") : std::string("auto");
        const Expected<Shard> shard = ResolveShard(text, Environment(variables));
        ASSERT_FALSE(shard) << why << ": " << ShardText(shard);
        EXPECT_NE(shard.error().find(why), std::string::npos) << shard.error();
    }
    EXPECT_FALSE(ResolveShard("auto/0", Environment({{"JOB_COMPLETION_INDEX", "0"}})));
    EXPECT_FALSE(ResolveShard("automatic", Environment({{"JOB_COMPLETION_INDEX", "0"}})));
}

TEST(Digest, should_give_the_published_sha256_test_vectors) {
    // FIPS 180-2, appendix B: "abc", the 448-bit message, a million 'a's; and no bytes.
    const auto digest = [](const std::string& text, int repeat = 1) {
        Sha256 h;
        for (int i = 0; i < repeat; ++i) h.Update(text.data(), text.size());
        return h.HexDigest();
    };
    EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digest("a", 1000000),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_FALSE(FileSha256("/nonexistent/file"));
}

TEST(Merge, should_join_only_complete_shards_of_one_run_into_the_whole_runs_csv) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-merge-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = std::string("optimize -q --heatmap '' -l ") + TX_MODEL_LIBRARY +
                             " -a " + TX_PACKAGE_AMI +
                             " --bits 200 --grid TXPRECURSOR=0:8:4 --grid TXPOSTCURSOR=0:31:3";
    const std::string line = " --channel line:18@5e9";
    std::string out;
    ASSERT_EQ(RunAmihost(base + line + " --csv " + (dir / "whole.csv").string(), out), 0) << out;
    auto shard = [&](int k, const std::string& extra, const std::string& name,
                     const std::string& env = "") {
        return RunAmihost(base + extra + " --shard " + (k ? std::to_string(k) + "/4" : "auto") +
                              " --csv " + (dir / name).string(),
                          out, env);
    };
    for (int k = 1; k <= 4; ++k)
        ASSERT_EQ(shard(k, line, "s" + std::to_string(k) + ".csv"), 0) << out;
    const std::string all = (dir / "s1.csv").string() + " " + (dir / "s2.csv").string() + " " +
                            (dir / "s3.csv").string() + " " + (dir / "s4.csv").string();
    auto merge = [&](const std::string& inputs) {
        return RunAmihost("merge -o " + (dir / "merged.csv").string() + " " + inputs, out);
    };
    ASSERT_EQ(merge(all), 0) << out;
    EXPECT_EQ(ReadAll(dir / "merged.csv"), ReadAll(dir / "whole.csv"));
    // Each shard confirmed its own best three; the merged file keeps the
    // whole grid's best three only, as the whole run confirms them.
    int confirmations = 0;
    std::ifstream merged(dir / "merged.csv");
    std::string header;
    std::getline(merged, header);
    const auto cell = [](const std::string& row, int column) {
        std::size_t at = 0;
        for (int c = 0; c < column; ++c) at = row.find(',', at) + 1;
        return row.substr(at, row.find(',', at) - at);
    };
    int prbs = 0;
    while (cell(header, prbs) != "prbs_eye_height_V") ++prbs;
    for (std::string row; std::getline(merged, row);) confirmations += !cell(row, prbs).empty();
    EXPECT_EQ(confirmations, 3);
    // The scheduler's index gives the same shard as K/N.
    ASSERT_EQ(shard(0, line, "auto3.csv",
                    "SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_MIN=5 SLURM_ARRAY_TASK_MAX=8 "),
              0)
        << out;
    EXPECT_EQ(ReadAll(dir / "auto3.csv"), ReadAll(dir / "s3.csv"));

    // Shards of different runs: another channel, another --set.
    ASSERT_EQ(shard(2, " --channel line:20@5e9", "other.csv"), 0) << out;
    EXPECT_EQ(merge(all + " " + (dir / "other.csv").string()), 2);
    const std::string mixed = (dir / "s1.csv").string() + " " + (dir / "other.csv").string() + " " +
                              (dir / "s3.csv").string() + " " + (dir / "s4.csv").string();
    EXPECT_EQ(merge(mixed), 2);
    EXPECT_NE(out.find("shards of different runs: channel 'line:20@5e9' and 'line:18@5e9'"),
              std::string::npos)
        << out;
    ASSERT_EQ(shard(2, line + " --set TXDIFFCTRL=9", "set.csv"), 0) << out;
    EXPECT_EQ(merge((dir / "s1.csv").string() + " " + (dir / "set.csv").string() + " " +
                    (dir / "s3.csv").string() + " " + (dir / "s4.csv").string()),
              2);
    EXPECT_NE(out.find("set 'TXDIFFCTRL=9' and 'none'"), std::string::npos) << out;

    // A shard cut short, at a line or inside one, or missing: refused; run
    // again alone, it merges.
    const std::string s3 = ReadAll(dir / "s3.csv");
    for (const std::size_t keep : {s3.size() / 2, s3.rfind("# end"), s3.size() - 40}) {
        std::ofstream(dir / "s3.csv", std::ios::binary) << s3.substr(0, keep);
        EXPECT_EQ(merge(all), 2);
        EXPECT_NE(out.find("cut short"), std::string::npos) << keep << ": " << out;
    }
    fs::remove(dir / "s3.csv");
    EXPECT_EQ(merge((dir / "s1.csv").string() + " " + (dir / "s2.csv").string() + " " +
                    (dir / "s4.csv").string()),
              2);
    EXPECT_NE(out.find("shard 3/4 is missing: run it (--shard 3/4)"), std::string::npos) << out;
    EXPECT_EQ(merge(all + " " + (dir / "s1.csv").string()), 2);  // s3 gone, s1 twice
    ASSERT_EQ(shard(3, line, "s3.csv"), 0) << out;
    ASSERT_EQ(merge(all), 0) << out;
    EXPECT_EQ(ReadAll(dir / "merged.csv"), ReadAll(dir / "whole.csv"));
    // A whole run's CSV has no record: it is no shard.
    EXPECT_EQ(merge((dir / "whole.csv").string()), 2);
    fs::remove_all(dir);
}

TEST(Merge, should_join_sweep_shards_into_the_whole_sweep) {
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-msweep-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = std::string("sweep -q -l ") + TX_MODEL_LIBRARY + " -a " +
                             TX_PACKAGE_AMI + " --bits 60 --grid TXPOSTCURSOR=0:20:4";
    std::string out;
    ASSERT_EQ(RunAmihost(base + " --csv " + (dir / "whole.csv").string(), out), 0) << out;
    std::string inputs;
    for (int k = 1; k <= 2; ++k) {
        const std::string name = (dir / ("p" + std::to_string(k) + ".csv")).string();
        ASSERT_EQ(RunAmihost(base + " --shard auto --csv " + name, out,
                             "AWS_BATCH_JOB_ARRAY_INDEX=" + std::to_string(k - 1) +
                                 " AWS_BATCH_JOB_ARRAY_SIZE=2 "),
                  0)
            << out;
        inputs += " " + name;
    }
    ASSERT_EQ(RunAmihost("merge -o " + (dir / "m.csv").string() + inputs, out), 0) << out;
    EXPECT_EQ(ReadAll(dir / "m.csv"), ReadAll(dir / "whole.csv"));
    // More array tasks than rows: the tasks beyond the grid write empty
    // shares and succeed, and all of them merge into the whole.
    const std::string optimize = std::string("optimize -q --heatmap '' -l ") + TX_MODEL_LIBRARY +
                                 " -a " + TX_PACKAGE_AMI + " --grid TXPOSTCURSOR=0,10,20";
    ASSERT_EQ(RunAmihost(optimize + " --csv " + (dir / "o.csv").string(), out), 0) << out;
    std::string shards;
    for (int k = 1; k <= 5; ++k) {
        const std::string name = (dir / ("o" + std::to_string(k) + ".csv")).string();
        ASSERT_EQ(RunAmihost(optimize + " --shard " + std::to_string(k) + "/5 --csv " + name, out),
                  0)
            << k << ": " << out;
        shards += " " + name;
    }
    EXPECT_NE(ReadAll(dir / "o5.csv").find("# end: 0 rows"), std::string::npos);
    ASSERT_EQ(RunAmihost("merge -o " + (dir / "om.csv").string() + shards, out), 0) << out;
    EXPECT_EQ(ReadAll(dir / "om.csv"), ReadAll(dir / "o.csv"));
    fs::remove_all(dir);
}

TEST(HtmlReport, should_encode_pictures_text_and_command_lines_by_their_standards) {
    // RFC 4648, section 10.
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) EXPECT_EQ(Base64(plain), encoded) << plain;
    EXPECT_EQ(Base64(std::string("\xff\x00\xfe", 3)), "/wD+");
    EXPECT_EQ(HtmlEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
    const char* argv[] = {"amihost", "run",      "--set",     "A=1", "--heatmap",
                          "",        "--params", "(m (g 2))", "it's"};
    EXPECT_EQ(QuoteCommandLine(9, argv),
              "amihost run --set A=1 --heatmap '' --params '(m (g 2))' 'it'\\''s'");
}

TEST(HtmlReport, should_be_one_file_whose_cells_are_the_json_values) {
    const fs::path dir = fs::temp_directory_path() / ("amihost-html-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    HtmlReport report("title <x>", "amihost run", "1.2");
    report.AddJson("numbers", nlohmann::json::parse(
                                  R"({"a": 0.1, "b": {"c": [1, 2.5], "d": null}, "e": "<s>"})"));
    report.AddPicture((dir / "missing.png").string(), "gone");
    std::ofstream(dir / "fake.png") << "not a picture";
    report.AddPicture((dir / "fake.png").string(), "fake");
    const std::string html = report.Html();
    EXPECT_NE(html.find("data-path=\"a\">0.1<"), std::string::npos);
    EXPECT_NE(html.find("data-path=\"b.c\">1, 2.5<"), std::string::npos);
    EXPECT_NE(html.find("data-path=\"b.d\">null<"), std::string::npos);
    EXPECT_NE(html.find("data-path=\"e\">&lt;s&gt;<"), std::string::npos);
    EXPECT_NE(html.find("<title>title &lt;x&gt;</title>"), std::string::npos);
    EXPECT_NE(html.find("missing.png could not be read"), std::string::npos);
    EXPECT_NE(html.find("fake.png is not a PNG picture"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_FALSE(report.Write((dir / "no/such/folder/r.html").string()));
    fs::remove_all(dir);
}

TEST(Optimize, should_rank_transmitter_and_receiver_codes_together) {
    // A CTLE receiver whose boost 0 passes its input through unchanged: with
    // it, every transmitter code ranks as without a receiver, to the bit; with
    // boost, the best pair opens the eye wider than any code without one, and
    // its height is what `run` measures after the receiver for that pair.
    const fs::path dir =
        fs::temp_directory_path() / ("amihost-rxopt-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "ctle.ami")
        << "(ctle\n (Reserved_Parameters\n"
           "  (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
           "  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value False))\n"
           "  (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n"
           "  (Ignore_Bits (Usage Info) (Type Integer) (Value 0)))\n"
           " (Model_Specific\n"
           "  (boost (Usage In) (Type Float) (List 0 0.5 1 2 3) (Default 1))))\n";
    const std::string tx = std::string(" -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                           " --channel line:18@5e9 --grid TXPOSTCURSOR=0:30:10 --heatmap ''";
    const std::string rx =
        std::string(" --rx ") + TX_CTLE_MODEL + " --rx-ami " + (dir / "ctle.ami").string();
    std::string out;
    ASSERT_EQ(RunAmihost("optimize -q" + tx + " --csv " + (dir / "alone.csv").string(), out), 0)
        << out;
    ASSERT_EQ(RunAmihost("optimize -q" + tx + rx + " --rx-grid boost=0 --csv " +
                             (dir / "through.csv").string(),
                         out),
              0)
        << out;
    ASSERT_EQ(RunAmihost("optimize" + tx + rx + " --rx-grid boost=0,1,2,3 --csv " +
                             (dir / "joint.csv").string(),
                         out),
              0)
        << out;
    const auto rows = [&](const char* name) {
        std::vector<std::vector<std::string>> all;
        std::ifstream in(dir / name);
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> cells;
            std::stringstream s(line);
            for (std::string c; std::getline(s, c, ',');) cells.push_back(c);
            all.push_back(cells);
        }
        return all;
    };
    const auto alone = rows("alone.csv"), through = rows("through.csv"), joint = rows("joint.csv");
    ASSERT_EQ(alone.size(), 5u);
    ASSERT_EQ(through.size(), 5u);
    ASSERT_EQ(joint.size(), 17u);
    EXPECT_EQ(joint[0][5], "rx.boost");
    // height, width, BER: columns 5-7 alone, 6-8 with the receiver's column.
    for (std::size_t r = 1; r < 5; ++r)
        for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(through[r][6 + c], alone[r][5 + c]) << r;
    double bestAlone = 0, bestJoint = 0;
    std::size_t best = 0;
    for (std::size_t r = 1; r < 5; ++r) bestAlone = std::max(bestAlone, std::stod(alone[r][5]));
    for (std::size_t r = 1; r < 17; ++r)
        if (joint[r][12] == "1") best = r, bestJoint = std::stod(joint[r][6]);
    EXPECT_GT(bestJoint, bestAlone + 0.1);
    EXPECT_NE(out.find("best: --set TXPOSTCURSOR=" + joint[best][2] +
                       " --rx-set boost=" + joint[best][5]),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("the receiver's parameter string: (ctle (boost " + joint[best][5] + "))"),
              std::string::npos)
        << out;
    ASSERT_EQ(RunAmihost("run -q --no-plots --bits 200 -o " + (dir / "run").string() + " -l " +
                             TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                             " --channel line:18@5e9 --set TXPOSTCURSOR=" + joint[best][2] + rx +
                             " --rx-set boost=" + joint[best][5],
                         out),
              0)
        << out;
    std::ifstream summary(dir / "run" / "summary.json");
    const nlohmann::json s = nlohmann::json::parse(summary);
    const auto& stat = s["rx_output"]["statistical_eye"];
    // optimize's statistical eye is on a coarser grid: within both grid errors.
    EXPECT_NEAR(stat["height_V_at_1e-12"].get<double>(), bestJoint,
                2 * stat["grid_error_V"].get<double>() + 4e-3);
    // The receiver belongs to the shards' record: shards with another are refused.
    ASSERT_EQ(RunAmihost("optimize -q" + tx + rx + " --rx-grid boost=0,1 --shard 1/2 --csv " +
                             (dir / "p1.csv").string(),
                         out),
              0)
        << out;
    ASSERT_EQ(RunAmihost("optimize -q" + tx + rx +
                             " --rx-grid boost=0,1 --rx-set x=1 --shard 2/2 "
                             "--csv " +
                             (dir / "p2.csv").string(),
                         out),
              2)
        << "an unknown receiver parameter";
    ASSERT_EQ(RunAmihost("optimize -q" + tx + std::string(" --rx ") + TX_CTLE_MODEL +
                             " --rx-params '(ctle (boost 1))' --shard 2/2 --csv " +
                             (dir / "p2.csv").string(),
                         out),
              0)
        << out;
    EXPECT_EQ(RunAmihost("merge -o " + (dir / "m.csv").string() + " " + (dir / "p1.csv").string() +
                             " " + (dir / "p2.csv").string(),
                         out),
              2);
    EXPECT_NE(out.find("shards of different runs"), std::string::npos) << out;
    // sweep takes the receiver too: a pass-through one measures at its
    // output what the channel's output measures; --rx-grid needs a receiver.
    ASSERT_EQ(RunAmihost("sweep -q --bits 300" + tx.substr(0, tx.find(" --heatmap")) + rx +
                             " --rx-grid boost=0,2 --csv " + (dir / "sweep.csv").string(),
                         out),
              0)
        << out;
    const auto swept = rows("sweep.csv");
    ASSERT_EQ(swept.size(), 9u);
    const auto column = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(swept[0].begin(), swept[0].end(), name) -
                                        swept[0].begin());
    };
    for (std::size_t r = 1; r < swept.size(); ++r) {
        if (swept[r][column("rx.boost")] != "0") continue;
        for (const char* metric : {"eye_height_V", "stat_eye_height_V", "ber_at_best"}) {
            const std::string at = swept[r][column(std::string("rx_") + metric)];
            const std::string before = swept[r][column(
                std::string(metric) == "eye_height_V" ? "channel_eye_height_V" : metric)];
            EXPECT_EQ(at, before) << metric << " row " << r;
        }
    }
    EXPECT_EQ(RunAmihost("optimize" + tx + " --rx-grid boost=1", out), 2);
    fs::remove_all(dir);
}
