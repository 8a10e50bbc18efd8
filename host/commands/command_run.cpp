// amihost run: one stimulus through a model, streamed, and on through the
// channel and the receiver when there are; at each probe the eye measured
// against the bits sent, the responses and the statistical eye; pictures and
// summary.json. The run goes in steps over one RunState: prepared here,
// streamed in run_stream.cpp, reported in run_summary.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "model_guard.h"
#include "output.h"
#include "plots.h"
#include "receiver.h"
#include "run_state.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace amihost {

namespace {

// Files a run may leave in its folder: removed first, so that nothing of an
// earlier run is taken for this one's. Only regular files: a link or a
// device put there on purpose stays.
void RemoveEarlierResults(const fs::path& dir) {
    auto remove = [](const fs::path& path) {
        std::error_code ec;
        if (fs::symlink_status(path, ec).type() == fs::file_type::regular) fs::remove(path, ec);
    };
    for (const char* stem : {"waveform", "waveform_channel", "waveform_rx"})
        for (const char* ext : {".csv", ".bin"}) remove(dir / (std::string(stem) + ext));
    for (const char* stem : {"eye", "step", "pulse", "stat_eye", "bathtub"})
        for (const char* suffix : {"", "_channel", "_rx"})
            remove(dir / (std::string(stem) + suffix + ".png"));
    remove(dir / "summary.json");
}

// The transmitter's half of the Init flow: the channel through its AMI_Init
// (or its GetWave-derived response), and the responses that gives.
void RunTxInitFlow(const RunOptions& o, const Setup& tx, const Channel& channel,
                   const ProbeResponses& txProbe, const StatEyeOptions& statOptions,
                   InitFlow& flow) {
    const int N = o.samplesPerBit;
    flow.tx = InitThrough(tx.lib, ConfigOf(o, tx, BlockPolicy{}), channel.impulse,
                          StepImpulse(txProbe, o.high - o.low));
    flow.channelImpulse = flow.tx.impulse.empty() ? channel.impulse : flow.tx.impulse;
    if (flow.tx.impulse.empty()) {
        flow.atTx.note = flow.tx.returned
                             ? "the transmitter's AMI_Init failed"
                             : "no transmitter response to derive an impulse response from";
        return;
    }
    double area = 0;
    for (double v : channel.impulse) area += v;
    const double cutScale = area != 0 ? channel.dcGain / area : 1.0;
    double total = 0;
    for (double v : flow.tx.impulse) total += v;
    const ResponseInputs in = ResponseRunInputs(o, tx.ignoreBits);
    flow.atTx = InitFlowResponses(in.zeros, in.pulse, in.step, ResponseStart(tx.ignoreBits, N),
                                  flow.tx.impulse, total * cutScale, N, statOptions);
}

// The receiver's half: what reached it through its AMI_Init.
void RunRxInitFlow(const RunOptions& o, const Setup& rx, const RunConfig& rxConfig,
                   const Channel& channel, int ignoreBits, const StatEyeOptions& statOptions,
                   InitFlow& flow) {
    const int N = o.samplesPerBit;
    flow.rx = InitThrough(rx.lib, rxConfig, flow.channelImpulse, {});
    flow.rxRan = true;
    if (!flow.rx.returned) return;
    if (flow.rx.impulse.empty()) {
        flow.atRx.note = "the receiver's AMI_Init failed";
        return;
    }
    double area = 0, total = 0;
    for (double v : channel.impulse) area += v;
    for (double v : flow.rx.impulse) total += v;
    const ResponseInputs in = ResponseRunInputs(o, ignoreBits);
    flow.atRx = InitFlowResponses(
        in.zeros, in.pulse, in.step, ResponseStart(ignoreBits, N), flow.rx.impulse,
        total * (area != 0 ? channel.dcGain / area : 1.0), N, statOptions);
}

void WarnOfThinSampling(const RunState& s) {
    const RunOptions& o = s.o;
    if (s.N < 8 && !o.quiet) {
        PrintWarning(
            "only " + std::to_string(s.N) +
            " samples per unit interval: rise time and eye width are limited by the sampling");
    }
    if (s.plan.kind == "step" && s.plan.bits <= static_cast<std::uint64_t>(s.ignoreBits) + 8 &&
        !o.quiet)
        PrintWarning("--stimulus step with " + std::to_string(s.plan.bits) +
                     " bits: the step comes after bit " + std::to_string(s.ignoreBits + 8) +
                     ", so this run holds no step");
}

int MakeOutputFolder(RunState& s) {
    std::error_code ec;
    fs::create_directories(s.o.outDir, ec);
    if (ec) {
        PrintError("cannot create " + s.o.outDir + ": " + ec.message());
        return ExitStatus(ErrorKind::Io);
    }
    s.dir = fs::absolute(s.o.outDir, ec).lexically_normal();
    RemoveEarlierResults(s.dir);
    return kExitSuccess;
}

// The options, the models, the stimulus and the output folder. Returns 0 or
// an exit status.
int PrepareRun(RunState& s) {
    RunOptions& o = s.o;
    if (!(o.timeout >= 0) || !std::isfinite(o.timeout)) {
        PrintError("--timeout must be a finite number of seconds, 0 or more");
        return ExitStatus(ErrorKind::Usage);
    }
    // The model runs in this process: a call longer than --timeout ends it.
    StartCallWatchdog(o.timeout);
    if (const int status = ResolveIbs(o)) return status;
    if (const int status = Prepare(o, s.tx)) return status;
    s.haveRx = HaveReceiverOptions(o);
    if (s.haveRx)
        if (const int status = PrepareReceiver(o, s.rxSetup)) return status;
    s.ignoreBits =
        std::max(s.tx.ignoreBits, s.haveRx && !o.ignoreBitsGiven ? s.rxSetup.ignoreBits : 0);
    const Expected<BlockPolicy> parsedPolicy = BlockPolicy::Parse(o.block);
    if (!parsedPolicy) {
        PrintError(parsedPolicy.error());
        return ExitStatus(ErrorKind::Input);
    }
    s.policy = *parsedPolicy;
    if (const int status = PlanStimulus(o, s.ignoreBits, s.plan)) return status;
    s.N = o.samplesPerBit;
    s.dt = o.bitTime / s.N;
    WarnOfThinSampling(s);
    return MakeOutputFolder(s);
}

// The channel, and the jitter and noise the .ami files declare. Returns 0 or
// an exit status.
int LoadLink(RunState& s) {
    const RunOptions& o = s.o;
    if (const int status = LoadChannelOption(o, s.channel, s.statOptions)) return status;
    // The transmitter's jitter reaches every probe; the receiver's jitter,
    // noise and sensitivity act at its decision, after it.
    s.reservedJitter = ApplyReservedJitter(s.tx, "Tx", o.bitTime, s.statOptions);
    s.rxStatOptions = s.statOptions;
    if (s.haveRx)
        for (const std::string& a :
             ApplyReservedJitter(s.rxSetup, "Rx", o.bitTime, s.rxStatOptions))
            s.reservedJitter.push_back(a);
    if (!s.reservedJitter.empty() && !o.quiet) {
        std::string list;
        for (const std::string& a : s.reservedJitter) list += (list.empty() ? "" : ", ") + a;
        std::fprintf(stderr,
                     "amihost: the statistical eye applies what the .ami files declare: %s\n",
                     list.c_str());
    }
    s.tx.initImpulse = InitImpulse(o, s.channel);
    s.haveLink = !o.channel.empty() || s.haveRx;
    return kExitSuccess;
}

// The receiver's probe: its responses to what the channel delivers, and
// its half of the Init flow.
void MeasureReceiver(RunState& s) {
    s.rxConfig = ConfigOf(s.o, s.rxSetup, BlockPolicy{});
    s.rxConfig.impulse =
        std::make_shared<const std::vector<double>>(ImpulseMatrixOf(s.flow.channelImpulse, s.dt));
    s.probes[kRxProbe] = {
        "rx_output",
        "after the receiver",
        "_rx",
        ReceiverResponses(s.rxSetup.lib, s.rxConfig, s.flow.channelImpulse,
                          s.probes[kChannelProbe].responses, s.rxStatOptions, s.breaches),
        {},
        s.statOptions.targetBer};
    RunRxInitFlow(s.o, s.rxSetup, s.rxConfig, s.channel, s.ignoreBits, s.rxStatOptions, s.flow);
    for (const std::string& b : s.flow.rx.init.breaches)
        s.breaches.push_back("receiver: Init flow: " + b);
}

// The responses run first: they give each probe's delay, which aligns its
// eye with the bits sent. Then the statistical flow: the channel through
// the transmitter's AMI_Init; what it returns is what the receiver's
// AMI_Init receives.
void MeasureProbes(RunState& s) {
    const StatEyeOptions& stat = s.statOptions;
    s.tx.ignoreBits = s.ignoreBits;
    const Responses responses = MeasureResponses(s.tx, s.o, stat);
    for (const std::string& b : responses.Breaches()) s.breaches.push_back(b);
    s.probes.resize(1 + (s.haveLink ? 1 : 0) + (s.haveRx ? 1 : 0));
    s.probes[kTxProbe] = {"tx_output",   "at the transmitter's output", "", responses.probe, {},
                          stat.targetBer};
    if (!responses.ok) s.probes[kTxProbe].responses.note = "no responses: " + responses.Note();
    if (s.haveLink)
        s.probes[kChannelProbe] = {
            "channel_output",
            "after the channel (" + s.channel.description + ")",
            "_channel",
            ThroughChannel(responses.probe, s.channel.impulse, s.channel.dcGain, s.N, stat),
            {},
            stat.targetBer};
    RunTxInitFlow(s.o, s.tx, s.channel, responses.probe, stat, s.flow);
    for (const std::string& b : s.flow.tx.init.breaches) s.breaches.push_back("Init flow: " + b);
    if (s.haveRx) MeasureReceiver(s);
}

// Why a probe has no eye, or its eye.
void FinishEyes(RunState& s) {
    const RunResult& result = s.result;
    const RunResult& rx = s.rx.Result();
    const bool eyeStimulus = s.plan.kind == "prbs" || s.plan.kind == "file";
    s.modelRan = result.initResult == 1 && result.failedWaveCalls == 0;
    const bool rxRan = !s.haveRx || (rx.initResult == 1 && rx.failedWaveCalls == 0);
    for (std::size_t k = 0; k < s.probes.size(); ++k) {
        EyeMetrics& m = s.probes[k].eye;
        if (!s.modelRan) {
            m.note = result.initResult != 1
                         ? "no eye: AMI_Init returned " + std::to_string(result.initResult) +
                               (result.message.empty() ? "" : " (" + result.message + ")")
                         : "no eye: AMI_GetWave failed " + std::to_string(result.failedWaveCalls) +
                               " time(s)";
        } else if (k == kRxProbe && !rxRan) {
            m.note = rx.initResult != 1 ? "no eye: the receiver's AMI_Init returned " +
                                              std::to_string(rx.initResult)
                                        : "no eye: the receiver's AMI_GetWave failed";
        } else if (!eyeStimulus) {
            m.note = "no eye: a " + s.plan.kind +
                     " stimulus has no eye; see the step and pulse responses";
        } else {
            m = s.eyes[k]->Finish();
        }
    }
}

// The probes' pictures, one after another: cairo's shared caches are not
// for two threads at once.
void DrawPictures(RunState& s) {
    std::string codes;
    for (const AmiParameter& p : s.tx.file.parameters)
        if (p.usage == "In" || p.usage == "InOut") codes += " " + p.name + "=" + p.defaultValue;
    for (std::size_t k = 0; k < s.probes.size(); ++k) {
        std::vector<std::pair<std::string, Status>> pictures;
        try {
            ProbePictures(s.probes[k], s.eyes[k]->Density(), s.dir.string(), s.o.bitTime, s.N,
                          k == kTxProbe ? ", " + s.plan.Describe() + " |" + codes : "", pictures);
        } catch (const std::exception& e) {
            pictures.emplace_back("", Error{std::string("the pictures: ") + e.what()});
        }
        for (const auto& [file, status] : pictures) {
            if (!status) {
                s.writeErrors.push_back(status.error());
            } else {
                s.files.push_back(file);
            }
        }
    }
}

// summary.json with the files written; a result with files missing (a full
// disk) says which, and why.
void WriteSummary(RunState& s, json& summary) {
    const std::string summaryPath = (s.dir / "summary.json").string();
    s.files.push_back(summaryPath);
    summary["files"] = s.files;
    if (!s.writeErrors.empty()) summary["files_not_written"] = s.writeErrors;
    if (const Status written = WriteWholeFile(
            summaryPath,
            summary.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        !written) {
        s.writeErrors.push_back(written.error());
        s.files.pop_back();
    }
}

// The breaches (an error: said also with -q), the report and the exit status.
int Conclude(RunState& s, const json& summary) {
    for (const std::string& b : s.breaches) PrintError("contract breach: " + b);
    if (!s.o.report.empty()) {
        if (const Status written =
                WriteRunReport(s.o, s.tx, s.plan.Describe(), summary, s.breaches);
            !written)
            s.writeErrors.push_back(written.error());
    }
    for (const std::string& e : s.writeErrors) PrintError(e);
    if (!s.writeErrors.empty()) return ExitStatus(ErrorKind::Input);
    return s.breaches.empty() ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

}  // namespace

int CommandRun(const RunOptions& given) {
    RunState s;
    s.o = given;
    if (const int status = PrepareRun(s)) return status;
    if (const int status = LoadLink(s)) return status;
    MeasureProbes(s);
    if (const int status = OpenWaveforms(s)) return status;
    if (const int status = StreamRun(s)) return status;
    CommitWaveforms(s);
    for (const std::string& b : s.result.breaches) s.breaches.insert(s.breaches.begin(), b);
    if (s.haveRx)
        for (const std::string& b : s.rx.Result().breaches) s.breaches.push_back("receiver: " + b);
    FinishEyes(s);
    if (s.o.plots && s.modelRan) DrawPictures(s);
    RunSummary report = SummariseRun(s);
    WriteSummary(s, report.summary);
    if (!s.o.quiet) PrintRun(s, report);
    return Conclude(s, report.summary);
}

}  // namespace amihost
