// amihost: runs any IBIS-AMI model like a simulator, checks the AMI contract,
// and reports eye, responses and metrics. With no arguments it runs this
// project's own model on PRBS7 (the demo).
//
// Exit status: 0 success, 1 a failed check or contract breach, 2 a usage or
// input error (also for the command line itself), 130 interrupted.
#include <malloc.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "commands.h"
#include "html_report.h"
#include "interrupt.h"
#include "model_guard.h"
#include "output.h"
#include "spelling.h"

#ifndef AMIHOST_VERSION
#define AMIHOST_VERSION "unknown"
#endif

using amihost::ErrorKind;
using amihost::ExitStatus;

namespace {

// The command named on the command line, with a space ("" for none).
std::string CommandName(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands()) return sub->get_name() + " ";
    return "";
}

// "; did you mean --X?" for the first long option the command does not know
// that is one slip from one it does.
std::string OptionHint(const CLI::App& app, int argc, char** argv) {
    const CLI::App* command = &app;
    for (const CLI::App* sub : app.get_subcommands()) command = sub;
    std::vector<std::string> known;
    for (const CLI::App* in : {&app, command})
        for (const CLI::Option* option : in->get_options())
            for (const std::string& name : option->get_lnames()) known.push_back("--" + name);
    for (int i = 1; i < argc; ++i) {
        const std::string given = std::string(argv[i]).substr(0, std::string(argv[i]).find('='));
        if (given.rfind("--", 0) != 0 || given == "--" ||
            std::find(known.begin(), known.end(), given) != known.end())
            continue;
        if (std::string hint = tx::DidYouMean(given, known); !hint.empty()) return hint;
    }
    return "";
}

// A number of seconds, 0 or more (the message names the value as given).
CLI::Validator Seconds() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(v >= 0) || !std::isfinite(v))
                return "expects a number of seconds, 0 or more; got '" + text + "'";
            return "";
        },
        "SECONDS");
}

void AddCommon(CLI::App& app, amihost::CommonOptions& o) {
    app.add_option("--library,-l", o.library, "IBIS-AMI shared library to load (or --ibs)");
    app.add_option("--ami,-a", o.amiFile,
                   ".ami parameter file: builds AMI_parameters_in from its "
                   "Model_Specific In/InOut parameters at their defaults");
    app.add_option("--params,-p", o.parameters,
                   "raw AMI_parameters_in string (instead of --ami; giving both is an error)");
    app.add_option("--set,-s", o.sets,
                   "override a parameter of the .ami file: NAME=VALUE, NAME or its dotted path "
                   "below Model_Specific (repeatable)");
    app.add_flag("--strict", o.strict,
                 "treat values outside their Range or List as errors, not warnings");
    app.add_option("--stimulus", o.stimulus,
                   "prbs7, prbs9, prbs11, prbs15, prbs23, prbs31, step, pulse or file:PATH "
                   "(one number per line, or raw little-endian doubles for *.bin)")
        ->capture_default_str();
    app.add_option("--bits", o.bitsText,
                   "bits to send, a whole number such as 2000 or 1e6 (default: the ignored bits "
                   "plus one pattern period, at most 65535)");
    app.add_option("--bit-time", o.bitTime, "unit interval in seconds")->capture_default_str();
    app.add_option("--samples-per-bit,-n", o.samplesPerBit, "samples per unit interval")
        ->capture_default_str();
    app.add_option("--high", o.high, "NRZ level of a 1, volts")->capture_default_str();
    app.add_option("--low", o.low, "NRZ level of a 0, volts")->capture_default_str();
    app.add_option("--ignore-bits", o.ignoreBits,
                   "bits to leave out of the eye (default: Ignore_Bits of the .ami file; 3 "
                   "without one)")
        ->each([&o](const std::string&) { o.ignoreBitsGiven = true; });
    app.add_flag("--quiet,-q", o.quiet, "print nothing but errors");
    app.add_option(
        "--ibs", o.ibsFile,
        "an .ibs file: checks it, then runs the Linux 64-bit executable and .ami file of "
        "its [Algorithmic Model] (instead of --library and --ami)");
    app.add_option("--component", o.component, "with --ibs: the [Component] whose model to run");
    app.add_option("--model", o.model, "with --ibs: the [Model] to run");
    app.add_flag("--force", o.force, "with --ibs: run although the file has errors");
    app.add_option(
        "--channel", o.channel,
        "a channel after the model: FILE.s2p, FILE.s4p, line:LOSS_DB@FREQ_HZ (a built-in "
        "lossy line, e.g. line:20@5e9), impulse:FILE or step:FILE (one sample per line)");
    app.add_option("--ports", o.ports, "port order of a four-port file: in+,in-,out+,out-")
        ->capture_default_str()
        ->each([&o](const std::string&) { o.portsGiven = true; });
    app.add_option("--noise-rms", o.noiseRms, "Gaussian noise of the statistical eye, volts rms");
    app.add_option("--rj-rms", o.rjRms, "random jitter of the statistical eye, unit intervals rms");
    app.add_option("--dj", o.djUi,
                   "deterministic jitter of the statistical eye: dual Dirac, +- unit intervals");
    app.add_option("--sj", o.sjUi,
                   "sinusoidal jitter of the statistical eye: amplitude, unit intervals");
    app.add_option("--sensitivity", o.sensitivity,
                   "receiver sensitivity of the statistical eye: volts around the threshold");
    app.add_option("--clock-pdf", o.clockPdf,
                   "sampling-clock offsets of the statistical eye: OFFSET_UI:PROBABILITY,... "
                   "(as Rx_Clock_PDF)");
    app.add_option("--dcd", o.dcdUi,
                   "duty-cycle distortion of the statistical eye: +- unit intervals");
    app.add_option(
        "--rx", o.rxLibrary,
        "run: a receiver AMI model after the channel (its AMI_Init gets the impulse response "
        "after the transmitter and the channel, its AMI_GetWave the channel's output)");
    app.add_option("--rx-ami", o.rxAmi, "the receiver's .ami file");
    app.add_option("--rx-params", o.rxParams,
                   "the receiver's parameter string (instead of --rx-ami)");
    app.add_option("--rx-set", o.rxSets,
                   "override a parameter of the receiver's .ami file: NAME=VALUE (repeatable)");
    app.add_option("--rx-ibs", o.rxIbs,
                   "an .ibs file: the receiver's Linux 64-bit executable and .ami file from its "
                   "[Algorithmic Model]");
}

void AddTimeout(CLI::App& app, amihost::CommonOptions& o) {
    app.add_option("--timeout", o.timeout,
                   "seconds a model may take for one row (each runs in a worker process; a "
                   "crash or a timeout fails that row only); 0: no limit")
        ->check(Seconds())
        ->capture_default_str();
}

void AddReport(CLI::App& app, amihost::CommonOptions& o) {
    app.add_option("--report", o.report,
                   "also write one self-contained HTML file of the results (pictures embedded, "
                   "no network needed; prints to A4)");
}

void AddRun(CLI::App& app, amihost::RunOptions& o) {
    app.add_option("--timeout", o.timeout,
                   "seconds one model call may take; longer ends the run (status 1); 0: no limit")
        ->check(Seconds())
        ->capture_default_str();
    app.add_option(
           "--block,-b", o.block,
           "block policy for AMI_GetWave: whole (the entire waveform in one call, at most 2^20 "
           "samples; longer ones in calls of 2^20), fixed:N (samples), bits:K (whole bits), "
           "random:SEED[:MAX] (random sizes 1..MAX)")
        ->capture_default_str();
    app.add_option("--out,-o", o.outDir, "folder for the waveform, summary and pictures")
        ->capture_default_str();
    app.add_flag_callback(
        "--no-plots", [&o] { o.plots = false; }, "skip the PNG pictures");
    app.add_option("--max-waveform-samples", o.maxWaveformSamples,
                   "write only the first this many samples of each probe's waveform to "
                   "waveform*.bin (raw little-endian doubles; the console says so when it cuts)")
        ->capture_default_str();
    app.add_option("--csv-samples", o.csvSamples,
                   "of those, write the first this many also as waveform*.csv (time and volts; "
                   "0 for none)")
        ->capture_default_str();
}

// Every command's options and the subcommands that hold them.
struct Commands {
    amihost::RunOptions demo, demoSub, run;
    amihost::InvarianceOptions inv;
    amihost::SweepOptions sweep;
    amihost::OptimizeOptions opt;
    amihost::MergeOptions merge;
    std::string sweepOut, optOut;  // -o FOLDER of sweep and optimize
    CLI::App *demoCmd = nullptr, *runCmd = nullptr, *invCmd = nullptr, *sweepCmd = nullptr,
             *optCmd = nullptr, *mergeCmd = nullptr;
    CLI::Option *sweepCsv = nullptr, *optCsv = nullptr, *optHeatmap = nullptr;
};

void AddDemoAndRun(CLI::App& app, Commands& c) {
    // Options of the demo, also accepted with no command at all.
    AddCommon(app, c.demo);
    AddRun(app, c.demo);
    c.demoCmd = app.add_subcommand(
        "demo", "run this project's library with its .ami file on PRBS7 (the default)");
    AddCommon(*c.demoCmd, c.demoSub);
    AddRun(*c.demoCmd, c.demoSub);
    c.runCmd = app.add_subcommand(
        "run", "run a model on a stimulus; write the waveform, summary.json and pictures");
    AddCommon(*c.runCmd, c.run);
    AddRun(*c.runCmd, c.run);
    AddReport(*c.runCmd, c.run);
}

void AddInvariance(CLI::App& app, Commands& c) {
    amihost::InvarianceOptions& inv = c.inv;
    c.invCmd =
        app.add_subcommand("check-invariance",
                           "run one stimulus under several block policies and compare the outputs");
    CLI::App* cmd = c.invCmd;
    AddCommon(*cmd, inv);
    cmd->add_option("--policies", inv.policies,
                    "comma-separated block policies (two or more); the first is the reference")
        ->capture_default_str();
    AddTimeout(*cmd, inv);
    cmd->add_option("--jobs,-j", inv.jobs,
                    "worker processes, at least 1 (default: every core; each holds a waveform)")
        ->each([&inv](const std::string&) { inv.jobsGiven = true; });
    AddReport(*cmd, inv);
    cmd->add_option("--tolerance", inv.tolerance, "largest allowed difference, volts (>= 0)")
        ->capture_default_str();
}

void AddSweep(CLI::App& app, Commands& c) {
    amihost::SweepOptions& sweep = c.sweep;
    c.sweepCmd = app.add_subcommand(
        "sweep", "run a grid of parameter values on all cores, one CSV row each");
    CLI::App* cmd = c.sweepCmd;
    AddCommon(*cmd, sweep);
    cmd->add_option(
        "--grid,-g", sweep.grid,
        "values of one parameter: NAME=a,b,c or NAME=lo:hi[:step] (repeatable, one per "
        "parameter); unnamed parameters keep their defaults or --set values; with no --grid, "
        "every code of every integer Range or List");
    c.sweepCsv = cmd->add_option("--csv", sweep.output, "output CSV file")->capture_default_str();
    cmd->add_option("--out,-o", c.sweepOut,
                    "a folder for the results (as for run): the CSV goes there as sweep.csv "
                    "unless --csv names it");
    cmd->add_option("--jobs,-j", sweep.jobs, "worker processes, at least 1 (default: every core)")
        ->each([&sweep](const std::string&) { sweep.jobsGiven = true; });
    AddTimeout(*cmd, sweep);
    AddReport(*cmd, sweep);
    cmd->add_option("--rx-grid", sweep.rxGrid,
                    "values of one of the receiver's parameters (with --rx and --rx-ami), as "
                    "--grid: every pair of transmitter and receiver codes is a row");
    cmd->add_option("--shard", sweep.shard, "run the K-th of N shares of the grid: K/N")
        ->capture_default_str();
}

void AddOptimize(CLI::App& app, Commands& c) {
    amihost::OptimizeOptions& opt = c.opt;
    c.optCmd = app.add_subcommand("optimize",
                                  "rank a grid of codes by the statistical eye behind "
                                  "--channel; confirm the best by a PRBS run");
    CLI::App* cmd = c.optCmd;
    AddCommon(*cmd, opt);
    cmd->add_option(
        "--grid,-g", opt.grid,
        "values of one parameter: NAME=a,b,c or NAME=lo:hi[:step] (repeatable); default: every "
        "code of every integer Range or List");
    c.optCsv =
        cmd->add_option("--csv", opt.output, "every candidate, ranked")->capture_default_str();
    cmd->add_option("--out,-o", c.optOut,
                    "a folder for the results (as for run): optimize.csv and optimize.png go "
                    "there unless --csv or --heatmap name them");
    c.optHeatmap =
        cmd->add_option("--heatmap", opt.heatmap, "heat map PNG for a grid of two parameters")
            ->capture_default_str();
    cmd->add_option("--jobs,-j", opt.jobs, "worker processes, at least 1 (default: every core)")
        ->each([&opt](const std::string&) { opt.jobsGiven = true; });
    AddTimeout(*cmd, opt);
    AddReport(*cmd, opt);
    cmd->add_option("--shard", opt.shard, "rank the K-th of N shares of the grid: K/N")
        ->capture_default_str();
    cmd->add_option("--confirm", opt.confirm, "best candidates confirmed by a PRBS run")
        ->capture_default_str();
    cmd->add_option("--rx-grid", opt.rxGrid,
                    "values of one of the receiver's parameters (with --rx and --rx-ami), as "
                    "--grid: the candidates are every pair of transmitter and receiver codes, "
                    "ranked by the statistical eye after the receiver");
}

void AddMerge(CLI::App& app, Commands& c) {
    c.mergeCmd =
        app.add_subcommand("merge", "combine the shard CSVs of sweep or optimize into one");
    c.mergeCmd->add_option("inputs", c.merge.inputs, "shard CSV files")->required();
    c.mergeCmd->add_option("--out,-o", c.merge.output, "the combined CSV")->capture_default_str();
}

// Options before a command belong to the demo: refused before any other
// command rather than run without them. The exit status, or success.
int RefuseDemoOptionsBeforeCommand(const CLI::App& app, const Commands& c) {
    const bool other = c.runCmd->parsed() || c.invCmd->parsed() || c.sweepCmd->parsed() ||
                       c.optCmd->parsed() || c.mergeCmd->parsed();
    if (c.demoCmd->parsed() || !other) return amihost::kExitSuccess;
    for (const CLI::Option* given : app.get_options()) {
        if (given->count() > 0) {
            std::fprintf(stderr,
                         "amihost: error: %s stands before the command; options go after it "
                         "(amihost COMMAND "
                         "OPTIONS)\n",
                         given->get_name().c_str());
            return ExitStatus(ErrorKind::Usage);
        }
    }
    return amihost::kExitSuccess;
}

// What the parsed options imply: the command line in every record, and
// -o FOLDER for sweep and optimize (their files go there unless named).
void CompleteOptions(Commands& c, int argc, char** argv) {
    const std::string commandLine = amihost::QuoteCommandLine(argc, argv);
    for (amihost::CommonOptions* o :
         std::initializer_list<amihost::CommonOptions*>{&c.run, &c.inv, &c.sweep, &c.opt})
        o->commandLine = commandLine;
    if (!c.sweepOut.empty()) {
        c.sweep.outDir = c.sweepOut;
        if (c.sweepCsv->count() == 0) c.sweep.output = c.sweepOut + "/sweep.csv";
    }
    if (!c.optOut.empty()) {
        c.opt.outDir = c.optOut;
        if (c.optCsv->count() == 0) c.opt.output = c.optOut + "/optimize.csv";
        if (c.optHeatmap->count() == 0) c.opt.heatmap = c.optOut + "/optimize.png";
    }
}

// The command given; what escapes it as an exception is reported here.
int Dispatch(Commands& c, int argc, char** argv) {
    try {
        if (c.runCmd->parsed()) return amihost::CommandRun(c.run);
        if (c.invCmd->parsed()) return amihost::CommandCheckInvariance(c.inv);
        if (c.sweepCmd->parsed()) return amihost::CommandSweep(c.sweep);
        if (c.optCmd->parsed()) return amihost::CommandOptimize(c.opt);
        if (c.mergeCmd->parsed()) return amihost::CommandMerge(c.merge);
        if (c.demoCmd->parsed()) {
            if (argc > 1 && std::string(argv[1]) != "demo") {
                std::fprintf(stderr,
                             "amihost: error: options before a command apply to the "
                             "demo only; put them after 'demo'\n");
                return ExitStatus(ErrorKind::Usage);
            }
            return amihost::CommandDemo(c.demoSub, argv[0]);
        }
        return amihost::CommandDemo(c.demo, argv[0]);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "amihost: error: out of memory; ask for fewer samples or bits\n");
        return ExitStatus(ErrorKind::Input);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "amihost: error: %s\n", e.what());
        return ExitStatus(ErrorKind::Input);
    }
}

}  // namespace

int main(int argc, char** argv) {
    amihost::InstallCrashReporter();
    amihost::InstallImmediateInterruptHandler();
    // Past a file size limit a write fails (and is reported) instead of the
    // process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    // Large blocks (FFT scratch, calibration buffers) stay in the heap once
    // freed instead of going back to the system and faulting in again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    CLI::App app{
        "amihost: run an IBIS-AMI model like a simulator, check the AMI contract, and show the "
        "result.\n"
        "With no command it runs the demo (this project's model on PRBS7); the demo's options "
        "may stand before it."};
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", AMIHOST_VERSION);
    Commands c;
    AddDemoAndRun(app, c);
    AddInvariance(app, c);
    AddSweep(app, c);
    AddOptimize(app, c);
    AddMerge(app, c);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        // One line in the tool's own form, and where to look.
        std::fprintf(stderr, "amihost: error: %s%s (amihost %s--help lists the options)\n",
                     e.what(), OptionHint(app, argc, argv).c_str(), CommandName(app).c_str());
        return ExitStatus(ErrorKind::Usage);
    }
    if (const int refused = RefuseDemoOptionsBeforeCommand(app, c);
        refused != amihost::kExitSuccess)
        return refused;
    CompleteOptions(c, argc, argv);
    return Dispatch(c, argc, argv);
}
