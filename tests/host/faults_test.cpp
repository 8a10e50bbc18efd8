// Faults found by trying amihost as a new user would, each mended and kept so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    // A message of bytes that are not UTF-8 still reaches summary.json, each
    // such byte as U+FFFD: the run's results are not lost to it.
    EXPECT_EQ(RunAmihost(run + " -p '(mischief (mode bytemsg))'", out), 0) << out;
    std::ifstream in("/tmp/amihost-badmsg-" + std::to_string(::getpid()) + "/summary.json");
    const std::string summary((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(summary.find("caf\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd ok"), std::string::npos)
        << summary.substr(0, 2000);
    EXPECT_TRUE(nlohmann::json::accept(summary));
    std::system(("rm -rf /tmp/amihost-badmsg-" + std::to_string(::getpid())).c_str());
}

// DLL_Path and DLL_ID (Usage In) are the simulator's to give: the folder the
// executable was loaded from, and a name of the instance no other shares. A
// file that does not declare them is sent neither. Other reserved inputs are
// sent as the model's own are.
TEST(Run, should_give_the_model_its_folder_and_instance_name_when_it_asks) {
    const std::string dir = "/tmp/amihost-dllpath-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string reserved =
        "(mischief\n (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value "
        "\"7.0\"))\n"
        "  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value False))\n"
        "  (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n";
    const std::string specific =
        " )\n (Model_Specific (mode (Usage In) (Type String) (Value \"echo\"))\n"
        "  (taps (Usage In) (Type Float) (Table (Labels row t0) (1 0.5) (2 0.25)))))\n";
    std::ofstream(dir + "/asks.ami") << reserved
                                     << "  (DLL_Path (Usage In) (Type String) (Value \"\"))\n"
                                        "  (DLL_ID (Usage In) (Type String) (Value \"\"))\n"
                                        "  (DC_Offset (Usage In) (Type Float) (Value 0.6))\n"
                                        "  (PAM4_CenterThreshold (Usage In) (Type Float) (Value "
                                        "0.02))\n"
                                        "  (PAM4_UpperThreshold (Usage In) (Type Float))\n"
                                        "  (Rx_R (Usage Info) (Type Float) (Value 50))\n"
                                     << specific;
    std::ofstream(dir + "/plain.ami") << reserved << specific;
    const std::string run =
        "run --no-plots -o " + dir + "/out -l " + TX_MISCHIEF_MODEL + " --bits 40 -a " + dir;
    const std::string folder =
        std::filesystem::absolute(TX_MISCHIEF_MODEL).lexically_normal().parent_path().string();
    std::string out;
    EXPECT_EQ(RunAmihost(run + "/asks.ami", out), 0) << out;
    EXPECT_NE(out.find("(DLL_Path \"" + folder + "\")"), std::string::npos) << out;
    EXPECT_NE(out.find("(DLL_ID \"mischief_"), std::string::npos) << out;
    // DC_Offset In: the mean of the channel's steady high and low levels,
    // which the default symmetric levels put at 0 V, not the file's 0.6.
    EXPECT_NE(out.find("(DC_Offset 0)"), std::string::npos) << out;
    // Levels of 0 V and 1 V, no channel: the mid level is 0.5 V.
    EXPECT_EQ(RunAmihost(run + "/asks.ami --low 0 --high 1", out), 0) << out;
    EXPECT_NE(out.find("(DC_Offset 0.5)"), std::string::npos) << out;
    // Through a channel whose step settles at 0.5: 0.25 V.
    std::ofstream step(dir + "/step.txt");
    for (int k = 0; k < 200; ++k) step << (k == 0 ? 0.0 : 0.5) << "\n";
    step.close();
    EXPECT_EQ(
        RunAmihost(run + "/asks.ami --low 0 --high 1 --channel step:" + dir + "/step.txt", out), 0)
        << out;
    EXPECT_NE(out.find("(DC_Offset 0.25)"), std::string::npos) << out;
    EXPECT_NE(out.find("(mode \"echo\")"), std::string::npos) << out;
    // Other reserved inputs are sent with the file's value, or --set's; one
    // without a value (said so), and a reserved Info, are not.
    EXPECT_NE(out.find("(PAM4_CenterThreshold 0.02)"), std::string::npos) << out;
    EXPECT_EQ(out.find("(PAM4_UpperThreshold"), std::string::npos) << out;
    EXPECT_NE(out.find("PAM4_UpperThreshold is an input without a value, which has no one value "
                       "to send"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Rx_R"), std::string::npos) << out;
    EXPECT_EQ(RunAmihost(run + "/asks.ami --set PAM4_CenterThreshold=0.05", out), 0) << out;
    EXPECT_NE(out.find("(PAM4_CenterThreshold 0.05)"), std::string::npos) << out;
    // The tool's own inputs are not the user's to set.
    EXPECT_NE(RunAmihost(run + "/asks.ami --set DC_Offset=0.3", out), 0) << out;
    EXPECT_NE(out.find("unknown input parameter DC_Offset"), std::string::npos) << out;
    EXPECT_EQ(RunAmihost(run + "/plain.ami", out), 0) << out;
    EXPECT_EQ(out.find("DLL_Path"), std::string::npos) << out;
    // A Table input has no one value to send: the run goes on without it, and says so.
    EXPECT_NE(out.find("taps is an input in the Table format, which has no one value to send: it "
                       "is not sent; the model uses its own"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("(taps"), std::string::npos) << out;
    EXPECT_NE(out.find("(mode \"echo\")"), std::string::npos) << out;
    std::filesystem::remove_all(dir);
}

// This tool sends and measures two levels: a PAM4 model is run as NRZ, and
// says so rather than presenting NRZ eyes as its own; it does the same of a
// model that asks for AMI_Resolve or back-channel training.
TEST(Run, should_say_what_of_a_model_it_does_not_drive) {
    const std::string dir = "/tmp/amihost-pam4-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const auto write = [&](const std::string& name, const std::string& modulation) {
        std::ofstream(dir + "/" + name)
            << "(mischief\n (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value "
               "\"7.0\"))\n  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value False))\n"
               "  (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n"
            << modulation << " )\n (Model_Specific (gain (Usage In) (Type Float) (Value 1))))\n";
    };
    write("pam4.ami", "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n");
    write("nrz.ami", "  (Modulation (Usage Info) (Type String) (Value \"NRZ\"))\n");
    const std::string run =
        "run --no-plots -o " + dir + "/out -l " + TX_MISCHIEF_MODEL + " --bits 40 -a " + dir;
    std::string out;
    EXPECT_EQ(RunAmihost(run + "/pam4.ami", out), 0) << out;
    EXPECT_NE(out.find("declares Modulation PAM4: this tool sends and measures two levels"),
              std::string::npos)
        << out;
    EXPECT_EQ(RunAmihost(run + "/nrz.ami", out), 0) << out;
    EXPECT_EQ(out.find("declares Modulation"), std::string::npos) << out;
    EXPECT_EQ(out.find("AMI_Resolve"), std::string::npos) << out;
    // AMI_Resolve is not called: a model that resolves Dep parameters is
    // run with them unsent, and told so.
    write("dep.ami",
          "  (Resolve_Exists (Usage Info) (Type Boolean) (Value True))\n"
          "  (Tx_Rj (Usage Dep) (Type Float) (Value 0))\n");
    EXPECT_EQ(RunAmihost(run + "/dep.ami", out), 0) << out;
    EXPECT_NE(out.find("says Resolve_Exists True: this tool does not call AMI_Resolve; its Usage "
                       "Dep parameters (Tx_Rj) are not sent"),
              std::string::npos)
        << out;
    write("bci.ami", "  (BCI_Protocol (Usage Info) (Type String) (Value \"tx_rx.bci\"))\n");
    EXPECT_EQ(RunAmihost(run + "/bci.ami", out), 0) << out;
    EXPECT_NE(out.find("declares BCI_Protocol tx_rx.bci: this tool runs no back-channel training"),
              std::string::npos)
        << out;
    std::filesystem::remove_all(dir);
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

TEST(Options, should_refuse_options_that_would_be_ignored) {
    const std::string dir = "/tmp/amihost-ignored-" + std::to_string(::getpid());
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/thru.s2p") << "# GHz S MA R 50\n"
                                        "0.1 0 0 0.9 -10 0 0 0 0\n"
                                        "1.0 0 0 0.5 -90 0 0 0 0\n";
    std::ofstream(dir + "/notes.txt") << "0.1 0 0 0.9 -10 0 0 0 0\n";
    const std::string run = std::string("run --no-plots --bits 60 -o ") + dir + "/out -l " +
                            TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI;
    std::string out;
    // --ports orders a four-port file's ports: with anything else it would do nothing.
    for (const std::string& channel : {std::string(), std::string(" --channel line:10@5e9"),
                                       " --channel " + dir + "/thru.s2p"}) {
        EXPECT_EQ(RunAmihost(run + channel + " --ports 1,2,3,4", out), 2) << channel;
        EXPECT_NE(out.find("--ports orders the ports of a four-port"), std::string::npos) << out;
    }
    // The statistical eye's noise and jitter where no statistical eye is made.
    const std::string model =
        std::string(" -l ") + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI + " --bits 60";
    EXPECT_EQ(RunAmihost("sweep -q" + model + " --grid TXPOSTCURSOR=1 --noise-rms 0.01 --csv " +
                             dir + "/s.csv",
                         out),
              2);
    EXPECT_NE(out.find("sweep computes behind --channel only"), std::string::npos) << out;
    EXPECT_EQ(RunAmihost("check-invariance" + model + " --rj-rms 0.01", out), 2);
    EXPECT_NE(out.find("no effect on it"), std::string::npos) << out;
    // A file that is no channel format, said as such.
    EXPECT_EQ(RunAmihost(run + " --channel " + dir + "/notes.txt", out), 2);
    EXPECT_NE(out.find("notes.txt: .txt is not a channel format"), std::string::npos) << out;
    // Data that ends below the signal's Nyquist frequency (5 GHz at 10 Gb/s).
    EXPECT_EQ(RunAmihost(run + " --channel " + dir + "/thru.s2p", out), 0) << out;
    EXPECT_NE(out.find("the data ends at 1 GHz, below the signal's Nyquist frequency 5 GHz"),
              std::string::npos)
        << out;
    // An .ami file that says its model has no AMI_GetWave, whose library has one.
    std::ofstream(dir + "/m.ami")
        << "(m (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
           " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
           " (GetWave_Exists (Usage Info) (Type Boolean) (Value False))))\n";
    EXPECT_EQ(RunAmihost(std::string("run --no-plots --bits 60 -o ") + dir + "/out -l " +
                             TX_MISCHIEF_MODEL + " -a " + dir + "/m.ami",
                         out),
              0)
        << out;
    EXPECT_NE(
        out.find("says GetWave_Exists False: the AMI_GetWave the library exports is not called"),
        std::string::npos)
        << out;
    std::system(("rm -rf " + dir).c_str());
}

TEST(Options, should_hint_at_the_port_order_of_a_four_port_file_with_no_through_path) {
    // A measured differential pair laid out 1,2 in and 3,4 out: read in the
    // default order (1,3 in) its differential through gain is about 0.
    const std::string file = std::string(TX_SHARED_DIR) + "/touchstone/diff_dut.s4p";
    if (!std::ifstream(file)) GTEST_SKIP() << "SKIPPED: " << file << " is absent";
    std::string out;
    EXPECT_EQ(RunAmihost(std::string("run --no-plots --bits 60 -o /tmp/amihost-ports-") +
                             std::to_string(::getpid()) + " -l " + TX_MODEL_LIBRARY +
                             " --channel " + file,
                         out),
              0);
    EXPECT_NE(out.find("with --ports 1,3,2,4, and 0.999 with --ports 1,2,3,4"), std::string::npos)
        << out;
    std::system(("rm -rf /tmp/amihost-ports-" + std::to_string(::getpid())).c_str());
}

TEST(Run, should_say_interrupted_or_timed_out_inside_a_model_call_that_never_returns) {
    const std::string dir = "/tmp/amihost-hang-" + std::to_string(::getpid());
    const std::string run = std::string(AMIHOST_EXE) + " run --no-plots --bits 40 -o " + dir +
                            " -l " + TX_MISCHIEF_MODEL + " -p '(mischief (mode hang))'";
    std::string out;
    // Ctrl-C (SIGINT) while the model loops in its first call; killed after
    // 30 s if it does not end, so that a fault cannot stall the tests.
#ifndef TX_SIGNALS_DEFERRED
    FILE* pipe = ::popen(
        ("sh -c \"" + run +
         " 2>&1 & p=\\$!; sleep 1; kill -INT \\$p; (sleep 30; kill -KILL \\$p) >/dev/null 2>&1 "
         "& w=\\$!; wait \\$p; echo rc=\\$?; kill \\$w 2>/dev/null\"")
            .c_str(),
        "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    EXPECT_NE(out.find("amihost: error: interrupted inside AMI_GetWave of"), std::string::npos)
        << out;
    EXPECT_NE(out.find("rc=130"), std::string::npos) << out;
#else
    std::printf("SKIPPED: Ctrl-C inside a spinning model (ThreadSanitizer holds signals back)\n");
#endif
    // --timeout on run: the call that takes longer ends the run.
    EXPECT_EQ(RunAmihost(std::string("run --no-plots --bits 40 --timeout 0.5 -o ") + dir + " -l " +
                             TX_MISCHIEF_MODEL + " -p '(mischief (mode hang))'",
                         out),
              1);
    EXPECT_NE(out.find("amihost: error: timed out after 0.5 s in AMI_GetWave of"),
              std::string::npos)
        << out;
    std::system(("rm -rf " + dir).c_str());
}

// Ctrl-C while a long run streams through the model and a channel: the
// run stops between blocks (or inside a model call) with status 130 and
// writes no result files.
TEST(Run, should_stop_a_streaming_run_on_ctrl_c_and_write_nothing) {
#ifndef TX_SIGNALS_DEFERRED
    const std::string dir = "/tmp/amihost-int-" + std::to_string(::getpid());
    const std::string run = std::string(AMIHOST_EXE) + " run --no-plots --bits 2e7 -o " + dir +
                            " -l " + TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI +
                            " --channel line:20@5e9";
    FILE* pipe = ::popen(("sh -c \"" + run +
                          " 2>&1 & p=\\$!; sleep 1.5; kill -INT \\$p; (sleep 30; kill -KILL "
                          "\\$p) >/dev/null 2>&1 & w=\\$!; wait \\$p; echo rc=\\$?; kill \\$w "
                          "2>/dev/null\"")
                             .c_str(),
                         "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    EXPECT_NE(out.find("amihost: error: interrupted"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=130"), std::string::npos) << out;
    EXPECT_FALSE(std::ifstream(dir + "/summary.json").good());
    std::system(("rm -rf " + dir).c_str());
#else
    std::printf("SKIPPED: Ctrl-C during a streaming run (ThreadSanitizer holds signals back)\n");
#endif
}

TEST(Options, should_say_command_line_errors_in_the_tools_own_form) {
    std::string out;
    EXPECT_EQ(RunAmihost("sweep --timeout -1", out), 2);
    EXPECT_EQ(out,
              "amihost: error: --timeout: expects a number of seconds, 0 or more; got '-1' "
              "(amihost sweep --help lists the options)\n");
    EXPECT_EQ(RunAmihost("run --bogus", out), 2);
    EXPECT_EQ(out.rfind("amihost: error: ", 0), 0u) << out;
    EXPECT_NE(out.find("--bogus"), std::string::npos) << out;
    // check-invariance takes -j as sweep and optimize do; and the grid is
    // announced before the first row, also when not on a terminal.
    EXPECT_EQ(RunAmihost(std::string("check-invariance -j 2 --bits 40 -l ") + TX_MODEL_LIBRARY +
                             " -a " + TX_PACKAGE_AMI,
                         out),
              0)
        << out;
    EXPECT_EQ(RunAmihost(std::string("check-invariance -j 0 -l ") + TX_MODEL_LIBRARY, out), 2);
    EXPECT_EQ(RunAmihost(std::string("sweep --bits 40 --grid TXPOSTCURSOR=0:3 -l ") +
                             TX_MODEL_LIBRARY + " -a " + TX_PACKAGE_AMI + " --csv /tmp/amihost-g-" +
                             std::to_string(::getpid()) + ".csv -j 1",
                         out),
              0)
        << out;
    EXPECT_NE(out.find("sweep: 4 of a grid of 4 (TXPOSTCURSOR (4)) in 1 worker process\n"),
              std::string::npos)
        << out;
    std::remove(("/tmp/amihost-g-" + std::to_string(::getpid()) + ".csv").c_str());
}

TEST(Run, should_leave_a_consistent_result_when_the_disk_fills) {
    // A file size limit stands in for a full disk: the large waveform files
    // fail, the pictures and summary.json fit. What stays is consistent:
    // summary.json lists every file there and says which could not be written.
    const std::string dir = "/tmp/amihost-full-" + std::to_string(::getpid());
    std::string out;
    EXPECT_EQ(RunAmihost(std::string("run -q --bits 20000 -o ") + dir + " -l " + TX_MODEL_LIBRARY +
                             " -a " + TX_PACKAGE_AMI + " --channel line:10@5e9",
                         out, "ulimit -f 300; "),
              2)
        << out;
    EXPECT_NE(out.find("cannot write " + dir + "/waveform.bin: File too large"), std::string::npos)
        << out;
    std::ifstream in(dir + "/summary.json");
    ASSERT_TRUE(in) << out;
    const nlohmann::json s = nlohmann::json::parse(in);
    ASSERT_TRUE(s.contains("files_not_written"));
    std::string missing;
    for (const auto& e : s["files_not_written"]) missing += e.get<std::string>() + "\n";
    for (const char* name : {"waveform.bin", "waveform.csv", "waveform_channel.bin"})
        EXPECT_NE(missing.find(dir + "/" + name + ": File too large"), std::string::npos)
            << missing;
    std::size_t listed = 0;
    for (const auto& f : s["files"]) {
        EXPECT_TRUE(std::ifstream(f.get<std::string>()).good()) << f;
        ++listed;
    }
    // Nothing else in the folder: no partial file, nothing unlisted.
    FILE* ls = ::popen(("ls " + dir + " | wc -l").c_str(), "r");
    std::size_t present = 0;
    ASSERT_EQ(std::fscanf(ls, "%zu", &present), 1);
    ::pclose(ls);
    EXPECT_EQ(present, listed);
    std::system(("rm -rf " + dir).c_str());
}

TEST(Run, should_hand_the_transmitters_init_the_channels_impulse_response) {
    // As a simulator does: one column, per second, so that its area is the
    // channel's DC gain (1 for the line, less the 1 % of it beyond the kept
    // response); without a channel, the identity channel's: a unit impulse.
    const std::string dir = "/tmp/amihost-txinit-" + std::to_string(::getpid());
    const std::string run = std::string("run --no-plots --bits 40 -o ") + dir + " -l " +
                            TX_MISCHIEF_MODEL + " -p '(mischief (mode impulse))'";
    std::string out;
    ASSERT_EQ(RunAmihost(run + " --channel line:18@5e9", out), 0) << out;
    const std::size_t at = out.find("message: rows=");
    ASSERT_NE(at, std::string::npos) << out;
    long rows = 0;
    double area = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + at, "message: rows=%ld area=%lf", &rows, &area), 2);
    EXPECT_GE(rows, 8192);
    EXPECT_NEAR(area, 0.99, 0.011);
    ASSERT_EQ(RunAmihost(run, out), 0) << out;
    EXPECT_NE(out.find("message: rows=1 area=1.000000"), std::string::npos) << out;
    std::system(("rm -rf " + dir).c_str());
}
