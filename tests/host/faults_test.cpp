// Faults found by trying amihost as a new user would, each mended and kept so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "run_amihost.h"

TEST(CheckInvariance, should_report_every_policy_and_compare_the_rest_when_the_reference_crashes) {
    // Handed more than 1000 samples at once, the model crashes: the whole
    // waveform (the first policy) crashes, the small blocks do not.
    const std::string model = std::string("check-invariance -l ") + TX_MISCHIEF_MODEL +
                              " -p '(mischief (mode crashbig) (samples 1000))' --bits 200 -n 8";
    std::string out;
    EXPECT_EQ(RunAmihost(model + " --policies whole,fixed:7,fixed:100,bits:3", out), 1) << out;
    EXPECT_NE(out.find("whole            no output: the model crashed"), std::string::npos) << out;
    EXPECT_NE(out.find("fixed:7          reference"), std::string::npos) << out;
    EXPECT_NE(out.find("fixed:100        largest difference 0 V, 0 samples differ"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("bits:3           largest difference 0 V"), std::string::npos) << out;
    EXPECT_NE(out.find("not compared: 1 of 4 runs gave no output; the others: largest difference "
                       "0 V: invariant"),
              std::string::npos)
        << out;
    // Two crashing: the true count; one left gives nothing to compare.
    EXPECT_EQ(RunAmihost(model + " --policies whole,fixed:2000,fixed:7", out), 1) << out;
    EXPECT_NE(out.find("not compared: 2 of 3 runs gave no output\n"), std::string::npos) << out;
}

TEST(Run, should_report_a_model_whose_message_pointer_is_not_valid_as_its_crash) {
    std::string out;
    const std::string run = std::string("run --no-plots -o /tmp/amihost-badmsg-") +
                            std::to_string(::getpid()) + " -l " + TX_MISCHIEF_MODEL + " --bits 40";
    EXPECT_EQ(RunAmihost(run + " -p '(mischief (mode badmsg))'", out), 1) << out;
    EXPECT_NE(out.find("crashed (a segmentation fault) in AMI_Init of"), std::string::npos) << out;
    // A long message is cut on the console, with its length.
    EXPECT_EQ(RunAmihost(run + " -p '(mischief (mode longmsg))'", out), 0) << out;
    EXPECT_NE(out.find("m... (1000000 characters; summary.json has all of it)"), std::string::npos);
    EXPECT_LT(out.size(), 10000u);
    std::system(("rm -rf /tmp/amihost-badmsg-" + std::to_string(::getpid())).c_str());
}

TEST(Run, should_say_a_contract_breach_even_when_quiet) {
    std::string out;
    const std::string dir = "/tmp/amihost-quiet-" + std::to_string(::getpid());
    EXPECT_EQ(RunAmihost(std::string("run -q --no-plots -o ") + dir + " -l " + TX_MISCHIEF_MODEL +
                             " --bits 40 -p '(mischief (mode overrun))'",
                         out),
              1);
    EXPECT_NE(out.find("amihost: error: contract breach: AMI_GetWave wrote outside the wave"),
              std::string::npos)
        << out;
    std::system(("rm -rf " + dir).c_str());
}

TEST(Run, should_give_every_probe_one_rise_time_definition) {
    // A receiver that passes its input through unchanged measures what the
    // channel's output measures: the same rise time (from the level before
    // the step to the probe's settled level), though its runs are longer.
    const std::string dir = "/tmp/amihost-rise-" + std::to_string(::getpid());
    std::string out;
    ASSERT_EQ(RunAmihost(std::string("run -q -o ") + dir + " -l " + TX_MODEL_LIBRARY + " -a " +
                             TX_PACKAGE_AMI + " --bits 200 --channel line:18@5e9 --rx " +
                             TX_MISCHIEF_MODEL + " --rx-params '(mischief (mode pass))'",
                         out),
              0)
        << out;
    std::ifstream in(dir + "/summary.json");
    const nlohmann::json s = nlohmann::json::parse(in);
    const double channel = s["channel_output"]["rise_time_20_80_s"].get<double>();
    EXPECT_EQ(s["rx_output"]["rise_time_20_80_s"].get<double>(), channel);
    // Behind 18 dB the rise is slow: many unit intervals, far beyond the
    // transmitter's own.
    EXPECT_GT(channel, 3e-10);
    EXPECT_LT(s["rise_time_20_80_s"].get<double>(), 2e-11);
    std::system(("rm -rf " + dir).c_str());
}
