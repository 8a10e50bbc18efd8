// amihost: runs any IBIS-AMI model like a simulator, checks the AMI contract,
// and reports eye, responses and metrics. With no arguments it runs this
// project's own model on PRBS7 (the demo).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "commands.h"

namespace {

void AddCommon(CLI::App& app, amihost::CommonOptions& o, bool needLibrary) {
    auto* lib = app.add_option("--library,-l", o.library, "IBIS-AMI shared library to load");
    if (needLibrary) lib->required();
    app.add_option("--ami,-a", o.amiFile,
                   ".ami parameter file: builds AMI_parameters_in from its "
                   "Model_Specific In/InOut parameters at their defaults");
    app.add_option("--params,-p", o.parameters, "raw AMI_parameters_in string (instead of --ami)");
    app.add_option("--set,-s", o.sets,
                   "override a parameter of the .ami file: NAME=VALUE (repeatable)");
    app.add_flag("--strict", o.strict,
                 "treat values outside their Range or List as errors, not warnings");
    app.add_option("--stimulus", o.stimulus,
                   "prbs7, prbs9, prbs11, prbs15, prbs23, prbs31, step, pulse or file:PATH "
                   "(one sample per line, or raw little-endian doubles for *.bin)")
        ->capture_default_str();
    app.add_option(
        "--bits", o.bits,
        "bits to send (default: the ignored bits plus one pattern period, at most 65535)");
    app.add_option("--bit-time", o.bitTime, "unit interval in seconds")->capture_default_str();
    app.add_option("--samples-per-bit,-n", o.samplesPerBit, "samples per unit interval")
        ->capture_default_str();
    app.add_option("--high", o.high, "NRZ level of a 1, volts")->capture_default_str();
    app.add_option("--low", o.low, "NRZ level of a 0, volts")->capture_default_str();
    app.add_option("--ignore-bits", o.ignoreBits,
                   "bits to leave out of the eye (default: Ignore_Bits of the .ami file)");
    app.add_flag("--quiet,-q", o.quiet, "print nothing but errors");
}

void AddRun(CLI::App& app, amihost::RunOptions& o) {
    app.add_option(
           "--block,-b", o.block,
           "block policy for AMI_GetWave: whole, fixed:N (samples), bits:K (whole bits), "
           "random:SEED[:MAX] (random sizes 1..MAX); whole blocks are capped at 2^24 samples")
        ->capture_default_str();
    app.add_option("--out,-o", o.outDir, "folder for the waveform, summary and pictures")
        ->capture_default_str();
    app.add_flag("!--no-plots", o.plots, "skip the PNG pictures");
    app.add_option("--max-waveform-samples", o.maxWaveformSamples,
                   "write waveform.csv and waveform.bin only up to this many samples")
        ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "amihost: run an IBIS-AMI model like a simulator, check the AMI contract, and show the "
        "result.\n"
        "With no command it runs the demo: this project's model on PRBS7."};
    app.require_subcommand(0, 1);

    amihost::RunOptions demo;
    demo.ignoreBits = -1;
    auto* demoCmd = app.add_subcommand(
        "demo", "run this project's library with its .ami file on PRBS7 (the default)");
    AddCommon(*demoCmd, demo, false);
    AddRun(*demoCmd, demo);

    amihost::RunOptions run;
    auto* runCmd = app.add_subcommand(
        "run", "run a model on a stimulus; write the waveform, summary.json and pictures");
    AddCommon(*runCmd, run, true);
    AddRun(*runCmd, run);

    amihost::InvarianceOptions inv;
    auto* invCmd =
        app.add_subcommand("check-invariance",
                           "run one stimulus under several block policies and compare the outputs");
    AddCommon(*invCmd, inv, true);
    invCmd
        ->add_option("--policies", inv.policies,
                     "comma-separated block policies; the first is the reference")
        ->capture_default_str();
    invCmd->add_option("--tolerance", inv.tolerance, "largest allowed difference, volts")
        ->capture_default_str();

    amihost::SweepOptions sweep;
    auto* sweepCmd = app.add_subcommand(
        "sweep", "run a grid of parameter values on all cores, one CSV row each");
    AddCommon(*sweepCmd, sweep, true);
    sweepCmd->add_option(
        "--grid,-g", sweep.grid,
        "values of one parameter: NAME=a,b,c or NAME=lo:hi[:step] (repeatable; default: every "
        "code of every integer Range or List)");
    sweepCmd->add_option("--csv", sweep.output, "output CSV file")->capture_default_str();
    sweepCmd->add_option("--jobs,-j", sweep.jobs, "threads (default: every core)");
    sweepCmd->add_option("--shard", sweep.shard, "run the K-th of N equal shares of the grid: K/N")
        ->capture_default_str();

    CLI11_PARSE(app, argc, argv);
    if (runCmd->parsed()) return amihost::CommandRun(run);
    if (invCmd->parsed()) return amihost::CommandCheckInvariance(inv);
    if (sweepCmd->parsed()) return amihost::CommandSweep(sweep);
    return amihost::CommandDemo(demo, argv[0]);
}
