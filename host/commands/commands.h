// The host tool's commands: run, check-invariance, sweep and demo.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/result.h"

namespace amihost {

struct CommonOptions {
    std::string library;
    std::string amiFile;
    std::string parameters;         // a raw AMI_parameters_in instead of an .ami file
    std::vector<std::string> sets;  // NAME=VALUE overrides
    bool strict = false;
    double bitTime = 1e-10;
    int samplesPerBit = 32;
    double high = 0.5, low = -0.5;
    int ignoreBits = -1;             // Ignore_Bits of the .ami file (or the raw-string default)
    bool ignoreBitsGiven = false;    // --ignore-bits was given
    std::string stimulus = "prbs7";  // prbsN, step, pulse, file:PATH
    std::string bitsText;            // --bits as given ("1e6" is fine)
    std::string ibsFile;             // --ibs: take the library and .ami from an .ibs
    std::string component, model;    // which [Component] / [Model] of it
    bool force = false;              // run although the .ibs has errors
    std::string channel;  // --channel: FILE.s2p, FILE.s4p, line:LOSS@FREQ, impulse:F, step:F
    std::string ports = "1,3,2,4";  // four-port order: in+, in-, out+, out-
    bool portsGiven = false;        // --ports was given
    double noiseRms = 0.0;          // volts, for the statistical eye
    double rjRms = 0.0;             // unit intervals, for the statistical eye
    double djUi = 0.0;              // dual-Dirac deterministic jitter, +- this many unit intervals
    double sjUi = 0.0;              // sinusoidal jitter amplitude, unit intervals
    double sensitivity = 0.0;       // volts: a decision is right only this far from the threshold
    std::string clockPdf;  // "OFFSET:P,OFFSET:P,...": sampling-clock offsets (UI), probabilities
    double dcdUi = 0.0;    // duty-cycle distortion, +- this many unit intervals
    // Any of the statistical eye's noise and jitter options given.
    bool StatisticalNoiseGiven() const {
        return noiseRms > 0 || rjRms > 0 || djUi != 0 || sjUi != 0 || dcdUi != 0 ||
               sensitivity != 0 || !clockPdf.empty();
    }
    std::string rxLibrary;            // --rx: a receiver AMI model after the channel
    std::string rxAmi, rxParams;      // its .ami file, or its parameter string
    std::vector<std::string> rxSets;  // NAME=VALUE overrides of its .ami file
    std::string rxIbs;                // --rx-ibs: its library and .ami from an .ibs
    std::uint64_t bits = 0;           // 0: one pattern period (capped) after the ignored bits
    bool quiet = false;
    double timeout = 0;       // seconds per row of sweep / optimize / check-invariance; 0: none
    std::string report;       // --report: one self-contained HTML file of the results
    std::string commandLine;  // as typed, for the report
};

struct RunOptions : CommonOptions {
    std::string block = "whole";
    std::string outDir = "amihost-out";
    bool plots = true;
    std::uint64_t maxWaveformSamples = std::uint64_t{1} << 22;  // raw .bin waveforms
    std::uint64_t csvSamples = std::uint64_t{1} << 16;          // of those, the first as CSV
};

struct InvarianceOptions : CommonOptions {
    std::string policies = "whole,fixed:1,fixed:7,fixed:1000,bits:1,bits:3,random:1,random:2:64";
    double tolerance = 0.0;
    int jobs = 0;  // 0: every core
    bool jobsGiven = false;
};

struct SweepOptions : CommonOptions {
    std::vector<std::string> grid;  // NAME=LIST: "a,b,c" or "lo:hi[:step]"
    std::string output = "sweep.csv";
    std::string outDir;  // created first when given (-o)
    int jobs = 0;        // 0: every core
    bool jobsGiven = false;
    std::string shard = "1/1";
    std::vector<std::string> rxGrid;  // the receiver's parameters, as --grid (with --rx)
};

// Bits of settling that a run without an .ami file leaves out of the eye.
constexpr int kDefaultIgnoreBits = 3;

struct OptimizeOptions : CommonOptions {
    std::vector<std::string> grid;
    std::string output = "optimize.csv";
    std::string outDir;                    // created first when given (-o)
    std::string heatmap = "optimize.png";  // for a grid of two parameters
    int jobs = 0;
    bool jobsGiven = false;
    std::string shard = "1/1";
    int confirm = 3;                  // best candidates confirmed by a PRBS run
    std::vector<std::string> rxGrid;  // the receiver's parameters, as --grid (with --rx)
};

struct MergeOptions {
    std::vector<std::string> inputs;
    std::string output = "merged.csv";
};

// Each returns the process exit status: 0 success, 1 a failed check or
// contract breach, 2 bad input. Errors are one line on standard error.
int CommandRun(const RunOptions& options);
int CommandCheckInvariance(const InvarianceOptions& options);
int CommandSweep(const SweepOptions& options);
// Ranks a grid of codes by the statistical eye at the link's output.
int CommandOptimize(const OptimizeOptions& options);
// Combines shard CSVs of sweep or optimize, checking they are complete and disjoint.
int CommandMerge(const MergeOptions& options);
// The built-in default: this project's library and .ami file on PRBS7.
int CommandDemo(RunOptions options, const std::string& executablePath);

// Parses "lo:hi[:step]" or "a,b,c" into values; the error says what is wrong.
Expected<std::vector<std::string>> ParseGridValues(const std::string& text);
// Parses "K/N" with 1 <= K <= N.
struct Shard {
    int k = 1, n = 1;
};
Expected<Shard> ParseShard(const std::string& text);

}  // namespace amihost
