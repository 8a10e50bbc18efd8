// amihost run in steps: what one run holds from its options to its summary,
// shared by the step that prepares it (command_run.cpp), the step that
// streams the stimulus through the probes (run_stream.cpp) and the step that
// reports (run_summary.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "flows.h"
#include "link/eye.h"
#include "report.h"
#include "session.h"

namespace amihost {

// The probes of a run, in order; the later ones only with a channel or a
// receiver (a receiver always comes with the channel probe before it).
enum ProbeIndex : std::size_t { kTxProbe = 0, kChannelProbe = 1, kRxProbe = 2 };

// The statistical (Init) flow beside the time-domain one: the channel's
// impulse response through the transmitter's AMI_Init, then the receiver's.
struct InitFlow {
    InitStep tx, rx;
    std::vector<double> channelImpulse;  // h after the transmitter (the receiver's AMI_Init input)
    ProbeResponses atTx, atRx;           // the Init flow's responses after each model
    bool rxRan = false;
};

// The receiver's clock times as the circular mean of their sampling phases.
struct ClockPhases {
    std::uint64_t count = 0;
    double sinSum = 0, cosSum = 0;
    void Add(double phase);  // radians
    // The mean phase in samples of a unit interval of N, in [0, N).
    double MeanSamples(int N) const;
};

class WaveformFiles;

struct RunState {
    RunState();
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    RunOptions o;
    Setup tx, rxSetup;
    bool haveRx = false, haveLink = false;
    int ignoreBits = 0, N = 0;
    double dt = 0;
    BlockPolicy policy;
    StimulusPlan plan;
    std::filesystem::path dir;
    Channel channel;
    StatEyeOptions statOptions, rxStatOptions;
    std::vector<std::string> reservedJitter, breaches;
    std::vector<std::string> files, writeErrors;  // written, and why others were not
    std::vector<ProbeReport> probes;              // by ProbeIndex
    InitFlow flow;
    RunConfig rxConfig;
    std::uint64_t waveSamples = 0, csvSamples = 0;
    std::vector<std::unique_ptr<WaveformFiles>> waves;  // by ProbeIndex
    std::vector<std::unique_ptr<EyeAccumulator>> eyes;  // by ProbeIndex
    std::unique_ptr<StimulusSource> source;
    BitWindow linkBits;  // the bits sent, as they reach the probes after the channel
    EdgeJitter edgeJitter;
    ModelSession rx;
    bool rxStarted = false;
    double decisionTime = 0;  // where the receiver's data is sampled after a clock time
    ClockPhases clock;
    RunResult result;
    bool modelRan = false;
};

// The waveform files of every probe, opened. Returns 0 or an exit status.
int OpenWaveforms(RunState& s);
// The stimulus through the transmitter and on through the channel and the
// receiver, into the eyes and waveform files. Returns 0 or an exit status.
int StreamRun(RunState& s);
// Commits the waveform files (into s.files, or s.writeErrors).
void CommitWaveforms(RunState& s);

// What the run reports: summary.json's content and the Init flows' numbers.
struct RunSummary {
    nlohmann::json summary, txInitFlow, rxInitFlow;
};
RunSummary SummariseRun(const RunState& s);
// The run on the console (not with -q).
void PrintRun(const RunState& s, const RunSummary& r);
// The HTML report (--report).
Status WriteRunReport(const RunOptions& o, const Setup& tx, const std::string& stimulus,
                      const nlohmann::json& summary, const std::vector<std::string>& breaches);

}  // namespace amihost
