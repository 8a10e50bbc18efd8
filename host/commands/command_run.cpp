// amihost run (and the demo): one stimulus through a model, streamed, and
// on through the channel and the receiver when there are; at each probe the
// eye measured against the bits sent, the responses and the statistical
// eye; pictures and summary.json.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "flows.h"
#include "html_report.h"
#include "model_guard.h"
#include "output.h"
#include "pipeline.h"
#include "plots.h"
#include "receiver.h"
#include "report.h"
#include "session.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace amihost {

namespace {

constexpr double kTwoPi = 6.283185307179586;

json ResultJson(const RunResult& r) {
    return json{{"AMI_Init", r.initResult},
                {"AMI_GetWave_calls", r.waveCalls},
                {"AMI_GetWave_failures", r.failedWaveCalls},
                {"AMI_Close", r.closeResult}};
}

void AppendRaw(OutputFile& out, const double* samples, std::size_t n) {
    unsigned char bytes[8 * 256];
    while (n > 0) {
        const std::size_t chunk = std::min<std::size_t>(n, 256);
        for (std::size_t i = 0; i < chunk; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &samples[i], 8);
            for (int b = 0; b < 8; ++b)
                bytes[8 * i + static_cast<std::size_t>(b)] =
                    static_cast<unsigned char>(bits >> (8 * b));
        }
        out.Write(bytes, 8 * chunk);
        samples += chunk;
        n -= chunk;
    }
}

// The waveform at one probe: CSV (time, [input,] output) and raw doubles,
// the first `limit` samples.
class WaveformFiles {
public:
    WaveformFiles(const fs::path& dir, const std::string& stem, bool withInput, std::uint64_t limit,
                  std::uint64_t csvLimit, double dt)
        : csv_((dir / (stem + ".csv")).string()),
          raw_((dir / (stem + ".bin")).string()),
          withInput_(withInput),
          limit_(limit),
          csvLimit_(std::min(csvLimit, limit)),
          dt_(dt) {}
    Status Open() {
        if (limit_ == 0) return {};
        if (Status opened = raw_.Open(true); !opened) return opened;
        if (csvLimit_ == 0) return {};
        if (Status opened = csv_.Open(); !opened) return opened;
        csv_.Write(withInput_ ? "time_s,input_V,output_V\n" : "time_s,output_V\n");
        return {};
    }
    void Add(const double* input, const double* y, std::size_t n, std::uint64_t at) {
        if (at >= limit_) return;
        const auto keep = static_cast<std::size_t>(std::min<std::uint64_t>(n, limit_ - at));
        AppendRaw(raw_, y, keep);
        if (at >= csvLimit_) return;
        const auto text = static_cast<std::size_t>(std::min<std::uint64_t>(n, csvLimit_ - at));
        text_.clear();
        text_.reserve(64 * text);
        for (std::size_t i = 0; i < text; ++i) {
            AppendCsvNumber(text_, static_cast<double>(at + i) * dt_);
            if (withInput_) {
                text_ += ',';
                AppendCsvNumber(text_, input[i]);
            }
            text_ += ',';
            AppendCsvNumber(text_, y[i]);
            text_ += '\n';
        }
        csv_.Write(text_);
    }
    void Commit(std::vector<std::string>& files, std::vector<std::string>& errors) {
        if (limit_ == 0) return;
        for (OutputFile* f : {&csv_, &raw_}) {
            if (f == &csv_ && csvLimit_ == 0) continue;
            if (const Status committed = f->Commit(); !committed) {
                errors.push_back(committed.error());
            } else {
                files.push_back(f->Path());
            }
        }
    }

private:
    OutputFile csv_, raw_;
    bool withInput_;
    std::uint64_t limit_, csvLimit_;
    double dt_;
    std::string text_;
};

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

// A model's text for the console: at most 400 characters, with its length
// when cut (summary.json has it whole).
std::string ConsoleText(const std::string& text) {
    constexpr std::size_t kShown = 400;
    if (text.size() <= kShown) return text;
    return text.substr(0, kShown) + "... (" + std::to_string(text.size()) +
           " characters; summary.json has all of it)";
}

// A picture's caption from its file name: eye_channel.png is the eye after the channel.
std::string Caption(const std::string& file) {
    const std::string name = fs::path(file).stem().string();
    const std::pair<const char*, const char*> probes[] = {{"_channel", "after the channel"},
                                                          {"_rx", "after the receiver"}};
    std::string stem = name, where = "at the transmitter's output";
    for (const auto& [suffix, text] : probes) {
        const std::string s = suffix;
        if (stem.size() > s.size() && stem.compare(stem.size() - s.size(), s.size(), s) == 0) {
            stem.resize(stem.size() - s.size());
            where = text;
        }
    }
    const std::pair<const char*, const char*> kinds[] = {
        {"eye", "Eye of the stream"},
        {"stat_eye", "Statistical eye (log10 BER)"},
        {"bathtub", "Bathtub (BER against sampling phase)"},
        {"pulse", "Pulse response and its cursors"},
        {"step", "Step response"}};
    for (const auto& [kind, text] : kinds)
        if (stem == kind) return std::string(text) + " " + where + " (" + name + ".png)";
    return name + ".png";
}

// The run's report: what ran, every probe's numbers as summary.json has
// them, every picture, the warnings and the contract breaches.
Status WriteRunReport(const RunOptions& o, const Setup& tx, const std::string& stimulus,
                      const json& summary, const std::vector<std::string>& breaches) {
    HtmlReport report("amihost run", o.commandLine, AmihostVersion());
    report.AddFacts("What was run", RunFacts(o, tx, stimulus));
    report.AddList("Contract breaches", breaches, "breach");
    report.AddList("Warnings", WarningsPrinted(), "warning");
    report.AddHeading("Pictures");
    report.AddParagraph(
        "Eyes over two unit intervals centred on the sampling phase; the responses free of "
        "start-up (the pulse against a run of zeros). Every number below is summary.json's.");
    for (const json& file : summary["files"]) {
        const std::string path = file.get<std::string>();
        if (fs::path(path).extension() == ".png") report.AddPicture(path, Caption(path));
    }
    json top = summary;
    const std::pair<const char*, const char*> later[] = {{"channel_output", "After the channel"},
                                                         {"rx_output", "After the receiver"}};
    for (const auto& [key, heading] : later) top.erase(key);
    report.AddJson("At the transmitter's output (summary.json)", top);
    for (const auto& [key, heading] : later)
        if (summary.contains(key)) report.AddJson(heading, summary[key], key);
    return report.Write(o.report);
}

void PrintProbe(const ProbeReport& p, double bitTime, int N) {
    const EyeMetrics& m = p.eye;
    std::printf("%s:\n", p.label.c_str());
    if (m.valid) {
        std::printf("  eye height %.6g V%s, width %.4g UI at phase %d, %llu bits; %.6g V p-p\n",
                    m.height, m.height > 0 ? "" : " (closed)", m.widthUi, m.bestPhase,
                    static_cast<unsigned long long>(m.bits), m.peakToPeak);
    } else if (!m.note.empty()) {
        std::printf("  %s\n", m.note.c_str());
    }
    const ProbeResponses& r = p.responses;
    if (!r.ok) {
        std::printf("  %s\n", r.note.c_str());
        return;
    }
    std::printf("  settled levels %.6g V / %.6g V; rise time %s\n", r.high, r.low,
                r.riseSamples ? FormatTime(*r.riseSamples * bitTime / N).c_str()
                              : "not measurable (no 20-80 % edge)");
    std::printf("  cursors (-2 ... +5 UI):");
    for (double c : r.cursors.values) std::printf(" %.4g", c);
    std::printf(" V\n");
    if (r.stat.valid)
        std::printf(
            "  statistical eye at BER %.0e: height %.6g V, width %.4g UI (worst case %.6g V; grid "
            "%.2g V)\n",
            p.targetBer, r.stat.heightAtTarget, r.stat.widthAtTarget, r.stat.peakDistortionHeight,
            r.stat.gridError);
}

// The statistical (Init) flow beside the time-domain one: the channel's
// impulse response through the transmitter's AMI_Init, then the receiver's.
struct InitFlow {
    InitStep tx, rx;
    std::vector<double> channelImpulse;  // h after the transmitter (the receiver's AMI_Init input)
    ProbeResponses atTx, atRx;           // the Init flow's responses after each model
    bool rxRan = false;
};

// A model's part in the flows, for summary.json.
json FlowJson(const Setup& s) {
    return json{
        {"Init_Returns_Impulse", !s.impulseUntouched},
        {"GetWave_Exists", s.getWaveExists},
        {"Use_Init_Output", s.useInitOutput},
        {"time_domain_flow",
         !s.getWaveExists  ? "the filter of the impulse response AMI_Init returns"
         : s.useInitOutput ? "the filter of the impulse response AMI_Init returns, then AMI_GetWave"
                           : "AMI_GetWave"}};
}

// The Init flow's numbers at one probe and how far they lie from the
// time-domain flow's.
json InitFlowJson(const InitStep& step, const char* model, const ProbeResponses& init,
                  const ProbeResponses& timeDomain, double targetBer, double bitTime, int N) {
    json j;
    j["impulse_response_from"] =
        step.returned ? std::string("the ") + model + "'s AMI_Init"
                      : std::string("the ") + model +
                            "'s AMI_GetWave step response (its AMI_Init returns none)";
    if (!init.ok) {
        j["note"] = init.note.empty() ? "no impulse response" : init.note;
        return j;
    }
    ProbeReport report;
    report.responses = init;
    report.targetBer = targetBer;
    const json all = ProbeJson(report, bitTime, N);
    for (const char* key : {"dc_levels_V", "pulse_cursors_V", "statistical_eye"})
        if (all.contains(key)) j[key] = all[key];
    if (timeDomain.ok) {
        const FlowDifference d = CompareFlows(init, timeDomain);
        j["difference_from_time_domain_flow"] = {
            {"pulse_max_abs_V", JsonNumber(d.pulseMaxAbs)},
            {"relative_to_main_cursor", JsonNumber(d.relativeToMain)},
            {"statistical_eye_height_V", JsonNumber(d.statEyeHeight)}};
    }
    return j;
}

void PrintInitFlow(const char* where, const json& j) {
    if (!j.contains("statistical_eye")) return;
    const json& s = j["statistical_eye"];
    std::string height;
    for (auto it = s.begin(); it != s.end(); ++it)
        if (it.key().rfind("height_V_at_", 0) == 0 && it.value().is_number())
            height = Format("%.6g V", it.value().get<double>());
    std::printf("  Init flow %s (%s): statistical eye height %s", where,
                j["impulse_response_from"].get<std::string>().c_str(), height.c_str());
    if (j.contains("difference_from_time_domain_flow")) {
        const json& d = j["difference_from_time_domain_flow"];
        if (d["pulse_max_abs_V"].is_number() && d["relative_to_main_cursor"].is_number())
            std::printf(
                "; pulse within %.3g V (%.3g %% of the main cursor) of the time-domain flow",
                d["pulse_max_abs_V"].get<double>(),
                100 * d["relative_to_main_cursor"].get<double>());
    }
    std::printf("\n");
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

}  // namespace

int CommandRun(const RunOptions& given) {
    RunOptions o = given;
    if (!(o.timeout >= 0) || !std::isfinite(o.timeout)) {
        PrintError("--timeout must be a finite number of seconds, 0 or more");
        return ExitStatus(ErrorKind::Usage);
    }
    // The model runs in this process: a call longer than --timeout ends it.
    StartCallWatchdog(o.timeout);
    if (const int status = ResolveIbs(o)) return status;
    Setup setup;
    if (const int status = Prepare(o, setup)) return status;
    const bool haveRx = HaveReceiverOptions(o);
    Setup rxSetup;
    if (haveRx)
        if (const int status = PrepareReceiver(o, rxSetup)) return status;
    const int ignoreBits =
        std::max(setup.ignoreBits, haveRx && !o.ignoreBitsGiven ? rxSetup.ignoreBits : 0);
    const Expected<BlockPolicy> parsedPolicy = BlockPolicy::Parse(o.block);
    if (!parsedPolicy) {
        PrintError(parsedPolicy.error());
        return ExitStatus(ErrorKind::Input);
    }
    const BlockPolicy policy = *parsedPolicy;
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, ignoreBits, plan)) return status;
    const int N = o.samplesPerBit;
    if (N < 8 && !o.quiet) {
        PrintWarning(
            "only " + std::to_string(N) +
            " samples per unit interval: rise time and eye width are limited by the sampling");
    }
    if (plan.kind == "step" && plan.bits <= static_cast<std::uint64_t>(ignoreBits) + 8 && !o.quiet)
        PrintWarning("--stimulus step with " + std::to_string(plan.bits) +
                     " bits: the step comes after bit " + std::to_string(ignoreBits + 8) +
                     ", so this run holds no step");
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (ec) {
        PrintError("cannot create " + o.outDir + ": " + ec.message());
        return ExitStatus(ErrorKind::Io);
    }
    const fs::path dir = fs::absolute(o.outDir, ec).lexically_normal();
    RemoveEarlierResults(dir);
    std::vector<std::string> files;

    Channel channel;
    StatEyeOptions statOptions;
    const bool haveChannel = !o.channel.empty();
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    // The transmitter's jitter reaches every probe; the receiver's jitter,
    // noise and sensitivity act at its decision, after it.
    std::vector<std::string> reservedJitter =
        ApplyReservedJitter(setup, "Tx", o.bitTime, statOptions);
    StatEyeOptions rxStatOptions = statOptions;
    if (haveRx)
        for (const std::string& a : ApplyReservedJitter(rxSetup, "Rx", o.bitTime, rxStatOptions))
            reservedJitter.push_back(a);
    if (!reservedJitter.empty() && !o.quiet) {
        std::string list;
        for (const std::string& a : reservedJitter) list += (list.empty() ? "" : ", ") + a;
        std::fprintf(stderr,
                     "amihost: the statistical eye applies what the .ami files declare: %s\n",
                     list.c_str());
    }
    setup.initImpulse = InitImpulse(o, channel);
    const bool haveLink = haveChannel || haveRx;
    const double dt = o.bitTime / N;

    // The response runs first: they give each probe's delay, which aligns
    // its eye with the bits sent.
    Setup& tx = setup;
    tx.ignoreBits = ignoreBits;
    const Responses responses = MeasureResponses(tx, o, statOptions);
    std::vector<std::string> breaches;
    for (const std::string& b : responses.Breaches()) breaches.push_back(b);
    std::vector<ProbeReport> probes(1 + (haveLink ? 1 : 0) + (haveRx ? 1 : 0));
    probes[0] = {"tx_output", "at the transmitter's output", "", responses.probe,
                 {},          statOptions.targetBer};
    if (!responses.ok) probes[0].responses.note = "no responses: " + responses.Note();
    if (haveLink)
        probes[1] = {
            "channel_output",
            "after the channel (" + channel.description + ")",
            "_channel",
            ThroughChannel(responses.probe, channel.impulse, channel.dcGain, N, statOptions),
            {},
            statOptions.targetBer};
    // The statistical flow: the channel through the transmitter's AMI_Init;
    // what it returns is what the receiver's AMI_Init receives.
    InitFlow flow;
    RunTxInitFlow(o, tx, channel, responses.probe, statOptions, flow);
    for (const std::string& b : flow.tx.init.breaches) breaches.push_back("Init flow: " + b);
    RunConfig rxConfig;
    if (haveRx) {
        rxConfig = ConfigOf(o, rxSetup, BlockPolicy{});
        rxConfig.impulse =
            std::make_shared<const std::vector<double>>(ImpulseMatrixOf(flow.channelImpulse, dt));
        probes[2] = {"rx_output",
                     "after the receiver",
                     "_rx",
                     ReceiverResponses(rxSetup.lib, rxConfig, flow.channelImpulse,
                                       probes[1].responses, rxStatOptions, breaches),
                     {},
                     statOptions.targetBer};
        RunRxInitFlow(o, rxSetup, rxConfig, channel, ignoreBits, rxStatOptions, flow);
        for (const std::string& b : flow.rx.init.breaches)
            breaches.push_back("receiver: Init flow: " + b);
    }

    const std::uint64_t waveSamples = std::min(plan.samples, o.maxWaveformSamples);
    const std::uint64_t csvSamples = std::min(waveSamples, o.csvSamples);
    if (csvSamples * 60 * probes.size() > (std::uint64_t{100} << 20) && !o.quiet) {
        PrintWarning("the waveform CSV files will take about " +
                     std::to_string(csvSamples * 60 * probes.size() >> 20) +
                     " MB (--csv-samples limits them)");
    }
    std::vector<std::unique_ptr<WaveformFiles>> waves;
    const char* stems[3] = {"waveform", "waveform_channel", "waveform_rx"};
    for (std::size_t k = 0; k < probes.size(); ++k) {
        waves.push_back(
            std::make_unique<WaveformFiles>(dir, stems[k], k == 0, waveSamples, csvSamples, dt));
        if (const Status opened = waves.back()->Open(); !opened) {
            PrintError(opened.error());
            return ExitStatus(ErrorKind::Input);
        }
    }

    StimulusSource source(plan, o, ignoreBits);
    // The transmitter's declared jitter moves its edges in the stream too.
    const EdgeJitter edgeJitter = TxEdgeJitter(tx, o.bitTime);
    source.SetEdgeJitter(edgeJitter);
    std::vector<std::unique_ptr<EyeAccumulator>> eyes;
    for (const ProbeReport& p : probes) {
        eyes.push_back(
            std::make_unique<EyeAccumulator>(N, static_cast<std::uint64_t>(ignoreBits),
                                             p.responses.ok ? p.responses.delaySamples : 0,
                                             [&source](std::uint64_t b) { return source.Bit(b); }));
        if (o.plots) eyes.back()->TrackDensity(kEyePlotWidth, kEyePlotHeight);
    }
    ModelSession rx;
    bool rxStarted = false;
    if (haveRx) {
        rxStarted = rx.Init(rxSetup.lib, rxConfig);
        if (!rxStarted) rx.Close();
    }
    // Where the data is sampled after each of the receiver's clock times.
    const double decisionTime = haveRx ? DecisionTime(rxSetup, o.bitTime) : 0.5 * o.bitTime;
    std::uint64_t channelAt = 0, clockCount = 0;
    double clockSin = 0, clockCos = 0;  // the circular mean of the clock phases
    std::vector<double> rxBlock, clockTimes;
    // The channel and the receiver run on a thread of their own, with their
    // own record of the bits sent (handed along with the samples).
    BitWindow linkBits;
    std::unique_ptr<Convolver> convolver;
    // Three stages on the two cores: the transmitter (this thread), the
    // channel's convolution, and what follows it (the receiver, the eyes and
    // files after the channel). The bits sent travel with the samples.
    std::unique_ptr<Pipeline> afterChannel, pipeline;
    std::vector<std::int8_t> bitsToHand;
    if (haveLink) {
        for (std::size_t k = 1; k < eyes.size(); ++k)
            eyes[k] = std::make_unique<EyeAccumulator>(
                N, static_cast<std::uint64_t>(ignoreBits),
                probes[k].responses.ok ? probes[k].responses.delaySamples : 0,
                [&linkBits](std::uint64_t b) { return linkBits.Bit(b); });
        if (o.plots)
            for (std::size_t k = 1; k < eyes.size(); ++k)
                eyes[k]->TrackDensity(kEyePlotWidth, kEyePlotHeight);
        afterChannel = std::make_unique<Pipeline>(
            [&](const double* y, std::size_t n, std::uint64_t,
                const std::vector<std::int8_t>& bits) {
                for (std::int8_t b : bits) linkBits.Append(b);
                eyes[1]->Add(y, n, channelAt);
                waves[1]->Add(nullptr, y, n, channelAt);
                if (rxStarted) {
                    rxBlock.assign(y, y + n);
                    rx.GetWave(rxBlock.data(), n, channelAt, &clockTimes);
                    eyes[2]->Add(rxBlock.data(), n, channelAt);
                    waves[2]->Add(nullptr, rxBlock.data(), n, channelAt);
                    for (double t : clockTimes) {
                        const double sample = ClockSample(t, o.bitTime, N, decisionTime);
                        if (!(sample >= 0) || !std::isfinite(sample)) continue;
                        const double phase =
                            kTwoPi *
                            eyes[2]->PhaseOf(static_cast<std::uint64_t>(std::llround(sample))) / N;
                        clockSin += std::sin(phase);
                        clockCos += std::cos(phase);
                        ++clockCount;
                    }
                    clockTimes.clear();
                }
                channelAt += n;
                std::uint64_t oldest = UINT64_MAX;
                for (std::size_t k = 1; k < eyes.size(); ++k)
                    oldest = std::min(oldest, eyes[k]->OldestBitNeeded());
                linkBits.ForgetBefore(oldest);
            },
            std::function<void()>{}, std::function<void()>{});
        // Bits lead the samples through the convolution: each output block
        // takes along every bit received so far.
        convolver =
            std::make_unique<Convolver>(channel.impulse, [&](const double* y, std::size_t n) {
                afterChannel->Push(y, n, 0, std::move(bitsToHand));
                bitsToHand.clear();
            });
        pipeline = std::make_unique<Pipeline>(
            [&](const double* samples, std::size_t n, std::uint64_t,
                const std::vector<std::int8_t>& bits) {
                bitsToHand.insert(bitsToHand.end(), bits.begin(), bits.end());
                convolver->Push(samples, n);
            },
            [&] { convolver->Finish(); }, [] { ThrowIfInterrupted(); });
    }
    std::vector<double> lastInput;
    std::uint64_t bitsHanded = 0;
    std::vector<std::int8_t> newBits;
    ProgressBar bar(!o.quiet && plan.samples > (std::uint64_t{1} << 22), "AMI_GetWave");
    RunResult result;
    InstallInterruptHandler();
    try {
        result = RunModel(
            tx.lib, ConfigOf(o, tx, policy), plan.samples,
            [&](double* samples, std::size_t n, std::uint64_t at) {
                ThrowIfInterrupted();
                source.Fill(samples, n, at);
                if (at < csvSamples)  // the input goes only into the CSV
                    lastInput.assign(samples,
                                     samples + std::min<std::uint64_t>(n, csvSamples - at));
                // The bits decided for these samples, for the channel's thread.
                newBits.clear();
                for (; bitsHanded < source.BitsKnown(); ++bitsHanded)
                    newBits.push_back(static_cast<std::int8_t>(source.Bit(bitsHanded)));
            },
            [&](const double* samples, std::size_t n, std::uint64_t at) {
                if (pipeline) pipeline->Push(samples, n, bitsHanded - newBits.size(), newBits);
                eyes[0]->Add(samples, n, at);
                waves[0]->Add(lastInput.data(), samples, n, at);
                source.ForgetBefore(eyes[0]->OldestBitNeeded());
            },
            [&](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
        if (pipeline) pipeline->Close();
        if (afterChannel) afterChannel->Close();
    } catch (const InterruptedError&) {
        pipeline.reset();
        afterChannel.reset();
        PrintError("interrupted; no result files were written");
        return ExitStatus(ErrorKind::Interrupted);
    }
    if (haveRx && rxStarted) rx.Close();
    std::vector<std::string> writeErrors;
    for (auto& w : waves) w->Commit(files, writeErrors);

    for (const std::string& b : result.breaches) breaches.insert(breaches.begin(), b);
    if (haveRx)
        for (const std::string& b : rx.Result().breaches) breaches.push_back("receiver: " + b);
    const bool eyeStimulus = plan.kind == "prbs" || plan.kind == "file";
    const bool modelRan = result.initResult == 1 && result.failedWaveCalls == 0;
    const bool rxRan = !haveRx || (rx.Result().initResult == 1 && rx.Result().failedWaveCalls == 0);
    for (std::size_t k = 0; k < probes.size(); ++k) {
        EyeMetrics& m = probes[k].eye;
        if (!modelRan) {
            m.note = result.initResult != 1
                         ? "no eye: AMI_Init returned " + std::to_string(result.initResult) +
                               (result.message.empty() ? "" : " (" + result.message + ")")
                         : "no eye: AMI_GetWave failed " + std::to_string(result.failedWaveCalls) +
                               " time(s)";
        } else if (k == 2 && !rxRan) {
            m.note = rx.Result().initResult != 1 ? "no eye: the receiver's AMI_Init returned " +
                                                       std::to_string(rx.Result().initResult)
                                                 : "no eye: the receiver's AMI_GetWave failed";
        } else if (!eyeStimulus) {
            m.note =
                "no eye: a " + plan.kind + " stimulus has no eye; see the step and pulse responses";
        } else {
            m = eyes[k]->Finish();
        }
    }

    std::string codes;
    for (const AmiParameter& p : tx.file.parameters)
        if (p.usage == "In" || p.usage == "InOut") codes += " " + p.name + "=" + p.defaultValue;
    if (o.plots && modelRan) {
        // The probes' pictures, one after another: cairo's shared caches are
        // not for two threads at once.
        std::vector<std::vector<std::pair<std::string, Status>>> byProbe(probes.size());
        auto draw = [&](std::size_t k) {
            try {
                ProbePictures(probes[k], eyes[k]->Density(), dir.string(), o.bitTime, N,
                              k == 0 ? ", " + plan.Describe() + " |" + codes : "", byProbe[k]);
            } catch (const std::exception& e) {
                byProbe[k].emplace_back("", Error{std::string("the pictures: ") + e.what()});
            }
        };
        for (std::size_t k = 0; k < probes.size(); ++k) draw(k);
        for (const auto& w : byProbe)
            for (const auto& [file, status] : w) {
                if (!status) {
                    writeErrors.push_back(status.error());
                } else {
                    files.push_back(file);
                }
            }
    }

    json summary = {
        {"library", o.library},
        {"ami_file", o.amiFile},
        {"parameters_in", tx.parameters},
        {"stimulus",
         {{"kind", plan.Describe()},
          {"bits", plan.bits},
          {"samples", plan.samples},
          {"samples_per_bit", N},
          {"bit_time_s", o.bitTime},
          {"high_V", o.high},
          {"low_V", o.low}}},
        {"block_policy", policy.Describe()},
        {"ignore_bits", ignoreBits},
        {"return_codes", ResultJson(result)},
        {"message", result.message},
        {"parameters_out", result.parametersOut},
        {"contract_breaches", breaches},
        {"reserved_jitter_and_noise_applied", reservedJitter},
        {"stream_edge_jitter_UI", edgeJitter.Any() && plan.kind != "file"
                                      ? json{{"rj_rms", edgeJitter.rj},
                                             {"dj", edgeJitter.dj},
                                             {"sj", edgeJitter.sj},
                                             {"sj_frequency_Hz", edgeJitter.sjHz},
                                             {"dcd", edgeJitter.dcd}}
                                      : json(nullptr)},
    };
    // The transmitter's probe at the top level, as before; the others under their keys.
    const json txProbe = ProbeJson(probes[0], o.bitTime, N);
    for (auto it = txProbe.begin(); it != txProbe.end(); ++it) summary[it.key()] = it.value();
    summary["flows"]["transmitter"] = FlowJson(tx);
    if (haveRx) summary["flows"]["receiver"] = FlowJson(rxSetup);
    const std::size_t afterTx = haveLink ? 1 : 0;
    const json txInitFlow =
        InitFlowJson(flow.tx, "transmitter", flow.atTx, probes[afterTx].responses,
                     statOptions.targetBer, o.bitTime, N);
    json rxInitFlow;
    if (haveRx && flow.rx.returned)
        rxInitFlow = InitFlowJson(flow.rx, "receiver", flow.atRx, probes[2].responses,
                                  statOptions.targetBer, o.bitTime, N);
    if (!haveLink) summary["init_flow"] = txInitFlow;
    if (!modelRan) summary["metrics_note"] = probes[0].eye.note;
    if (haveLink) {
        json probe = ProbeJson(probes[1], o.bitTime, N);
        probe["channel"] = channel.description;
        probe["channel_dc_gain"] = JsonNumber(channel.dcGain);
        probe["channel_response_samples"] = channel.impulse.size();
        probe["channel_area_beyond_response"] = JsonNumber(channel.cutArea);
        // The worst case above counts the kept response only; what the cut
        // tail can add to it is bounded (the statistical eye is not moved by it).
        const double tail = CutTailBound(channel, probes[0].responses.pulse, N);
        if (std::isfinite(tail) && probe.contains("statistical_eye")) {
            json& s = probe["statistical_eye"];
            s["peak_distortion_cut_tail_bound_V"] = JsonNumber(tail);
            s["peak_distortion_height_V_with_cut_tail_at_least"] =
                JsonNumber(probes[1].responses.stat.peakDistortionHeight - tail);
        }
        probe["warnings"] = channel.warnings;
        probe["init_flow"] = txInitFlow;
        summary["channel_output"] = probe;
    }
    double clockPhase = 0;
    int clockPhaseSample = 0;
    if (clockCount > 0) {
        clockPhase = std::atan2(clockSin, clockCos) / kTwoPi * N;
        if (clockPhase < 0) clockPhase += N;
        clockPhaseSample = static_cast<int>(std::lround(clockPhase)) % N;
    }
    if (haveRx) {
        json probe = ProbeJson(probes[2], o.bitTime, N);
        probe["library"] = rxSetup.lib.Path();
        probe["parameters_in"] = rxSetup.parameters;
        probe["return_codes"] = ResultJson(rx.Result());
        probe["message"] = rx.Result().message;
        probe["parameters_out"] = rx.Result().parametersOut;
        if (rxSetup.dcOffsetOut) probe["dc_offset_added_V"] = JsonNumber(rx.Result().dcOffset);
        probe["init_flow"] =
            flow.rx.returned
                ? rxInitFlow
                : json{{"note",
                        "the receiver's AMI_Init returns no impulse response "
                        "(Init_Returns_Impulse False): the Init flow ends at its input"}};
        if (clockCount > 0) {
            // Sampled half a unit interval after each clock time; the eye at
            // the circular mean of those sampling phases.
            probe["clock"] = {{"clock_times", clockCount},
                              {"decision_after_clock_s", decisionTime},
                              {"sampling_phase_samples", clockPhase},
                              {"eye_height_at_clock_V",
                               probes[2].eye.valid ? JsonNumber(eyes[2]->HeightAt(clockPhaseSample))
                                                   : json(nullptr)}};
        }
        summary["rx_output"] = probe;
    }
    if (waveSamples < plan.samples) {
        summary["waveform_note"] = "waveform files hold the first " + std::to_string(waveSamples) +
                                   " of " + std::to_string(plan.samples) +
                                   " samples (--max-waveform-samples)";
    }
    const std::string summaryPath = (dir / "summary.json").string();
    files.push_back(summaryPath);
    summary["files"] = files;
    // A result with files missing (a full disk) says which, and why.
    if (!writeErrors.empty()) summary["files_not_written"] = writeErrors;
    if (const Status s = WriteWholeFile(summaryPath, summary.dump(2) + "\n"); !s) {
        writeErrors.push_back(s.error());
        files.pop_back();
    }

    if (!o.quiet) {
        std::printf("AMI_Init %ld, %ld AMI_GetWave call%s (%ld failed), AMI_Close %ld\n",
                    result.initResult, result.waveCalls, result.waveCalls == 1 ? "" : "s",
                    result.failedWaveCalls, result.closeResult);
        if (!result.message.empty())
            std::printf("message: %s\n", ConsoleText(result.message).c_str());
        if (haveRx) {
            const RunResult& r = rx.Result();
            std::printf(
                "receiver: AMI_Init %ld, %ld AMI_GetWave call%s (%ld failed), AMI_Close %ld\n",
                r.initResult, r.waveCalls, r.waveCalls == 1 ? "" : "s", r.failedWaveCalls,
                r.closeResult);
            if (!r.message.empty())
                std::printf("receiver message: %s\n", ConsoleText(r.message).c_str());
        }
        for (std::size_t k = 0; k < probes.size(); ++k) {
            PrintProbe(probes[k], o.bitTime, N);
            if (k == afterTx) PrintInitFlow("after the transmitter", txInitFlow);
            if (k == 2 && !rxInitFlow.is_null()) PrintInitFlow("after the receiver", rxInitFlow);
        }
        if (haveRx) {
            if (clockCount > 0) {
                std::printf(
                    "  receiver's clock: %llu clock times, sampling phase %.2f of %d samples; eye "
                    "height there "
                    "%s\n",
                    static_cast<unsigned long long>(clockCount), clockPhase, N,
                    probes[2].eye.valid
                        ? Format("%.6g V", eyes[2]->HeightAt(clockPhaseSample)).c_str()
                        : "not measured");
            } else {
                std::printf("  the receiver reported no clock times\n");
            }
        }
        if (waveSamples < plan.samples)
            std::printf("waveform files: the first %llu of %llu samples (--max-waveform-samples)\n",
                        static_cast<unsigned long long>(waveSamples),
                        static_cast<unsigned long long>(plan.samples));
        if (!files.empty()) {
            std::printf("wrote:\n");
            for (const std::string& f : files) std::printf("  %s\n", f.c_str());
        }
    }
    // A breach is an error: said also with -q.
    for (const std::string& b : breaches) PrintError("contract breach: " + b);
    if (!o.report.empty()) {
        if (const Status s = WriteRunReport(o, tx, plan.Describe(), summary, breaches); !s)
            writeErrors.push_back(s.error());
    }
    for (const std::string& e : writeErrors) PrintError(e);
    if (!writeErrors.empty()) return ExitStatus(ErrorKind::Input);
    return breaches.empty() ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

int CommandDemo(RunOptions o, const std::string& executablePath) {
    // Look beside this executable first (a build tree or an installed copy),
    // then in the tree it was built from.
    std::error_code ec;
    const fs::path exe = fs::canonical(executablePath, ec);
    const fs::path here = ec ? fs::path(executablePath).parent_path() : exe.parent_path();
    auto pick = [](const std::vector<fs::path>& candidates) -> std::string {
        for (const fs::path& p : candidates) {
            std::error_code e;
            if (fs::exists(p, e)) return fs::weakly_canonical(p, e).string();
        }
        return "";
    };
    if (o.library.empty() && o.ibsFile.empty()) {
        o.library = pick({here / "varnok_meridel_qlx_ami_tx.so",
                          here / "../model/varnok_meridel_qlx_ami_tx.so",
                          fs::path(AMIHOST_BUILD_DIR) / "model/varnok_meridel_qlx_ami_tx.so"});
    }
    if (o.amiFile.empty() && o.parameters.empty() && o.ibsFile.empty()) {
        o.amiFile = pick({here / "varnok_meridel_qlx_ami_tx.ami",
                          here / "../package/varnok_meridel_qlx_ami_tx.ami",
                          fs::path(AMIHOST_SOURCE_DIR) / "package/varnok_meridel_qlx_ami_tx.ami"});
    }
    if (o.ibsFile.empty() && (o.library.empty() || (o.amiFile.empty() && o.parameters.empty()))) {
        PrintError(
            "cannot find this project's library and .ami file; give them with --library and --ami");
        return ExitStatus(ErrorKind::Usage);
    }
    // The story: behind a lossy line the default codes close the eye;
    // optimize finds the codes that open it, down to a BER of 1e-12; both
    // eyes side by side.
    if (o.channel.empty()) o.channel = "line:18@5e9";
    if (o.amiFile.empty()) return CommandRun(o);
    if (!o.quiet)
        std::printf("demo: %s with %s on %s behind %s\n", o.library.c_str(), o.amiFile.c_str(),
                    o.stimulus.c_str(), o.channel.c_str());
    const fs::path top = fs::absolute(o.outDir, ec).lexically_normal();
    fs::create_directories(top, ec);
    RunOptions before = o;
    before.outDir = (top / "default_codes").string();
    if (!o.quiet) std::printf("\n== the default codes ==\n");
    const int first = CommandRun(before);
    if (first == 2) return first;
    OptimizeOptions opt;
    static_cast<CommonOptions&>(opt) = o;
    opt.grid = {"TXPRECURSOR=0:20:2", "TXPOSTCURSOR=0:31"};
    opt.output = (top / "optimize.csv").string();
    opt.heatmap = (top / "optimize.png").string();
    if (!o.quiet) std::printf("\n== optimize TXPRECURSOR x TXPOSTCURSOR ==\n");
    if (const int status = CommandOptimize(opt)) return status;
    // The best row of the ranking.
    std::ifstream csv(opt.output);
    std::string header, line, bestLine;
    std::getline(csv, header);
    std::vector<std::string> names, values;
    for (std::stringstream h(header); std::getline(h, line, ',');) names.push_back(line);
    const auto rankColumn = std::find(names.begin(), names.end(), "rank") - names.begin();
    while (std::getline(csv, line)) {
        std::vector<std::string> cells;
        std::string cell;
        for (std::stringstream v(line); std::getline(v, cell, ',');) cells.push_back(cell);
        if (rankColumn < static_cast<long>(cells.size()) &&
            cells[static_cast<std::size_t>(rankColumn)] == "1")
            bestLine = line;
    }
    for (std::stringstream v(bestLine); std::getline(v, line, ',');) values.push_back(line);
    RunOptions after = o;
    after.outDir = (top / "optimized_codes").string();
    for (const char* name : {"TXPRECURSOR", "TXPOSTCURSOR"})
        for (std::size_t k = 0; k < names.size() && k < values.size(); ++k)
            if (names[k] == name) after.sets.push_back(std::string(name) + "=" + values[k]);
    if (!o.quiet) std::printf("\n== the optimized codes ==\n");
    const int second = CommandRun(after);
    if (second == 2) return second;
    if (o.plots) {
        const fs::path pair = top / "eyes_before_after.png";
        OutputFile png(pair.string());
        const Status s = png.CommitWritten(
            WriteSideBySide(png.TemporaryPath(), (top / "default_codes/eye_channel.png").string(),
                            (top / "optimized_codes/eye_channel.png").string()));
        if (!s) {
            PrintError(s.error());
            return ExitStatus(ErrorKind::Input);
        }
        if (!o.quiet)
            std::printf("\nthe two eyes behind the channel, side by side: %s\n",
                        pair.string().c_str());
    }
    return std::max(first, second);
}

}  // namespace amihost
