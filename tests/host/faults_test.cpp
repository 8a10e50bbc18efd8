// Faults found by trying amihost as a new user would, each mended and kept so.
#include <gtest/gtest.h>

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
