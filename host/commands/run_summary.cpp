// amihost run, reporting: summary.json's content, the console lines and the
// HTML report of one run.
#include <cmath>
#include <cstdio>

#include "html_report.h"
#include "output.h"
#include "run_state.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace amihost {

namespace {

json ResultJson(const RunResult& r) {
    return json{{"AMI_Init", r.initResult},
                {"AMI_GetWave_calls", r.waveCalls},
                {"AMI_GetWave_failures", r.failedWaveCalls},
                {"AMI_Close", r.closeResult}};
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
}  // namespace

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

namespace {

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

// What ran: the model, its stimulus, its codes and what it returned.
json SummaryTop(const RunState& s) {
    const RunOptions& o = s.o;
    const EdgeJitter& j = s.edgeJitter;
    return {
        {"library", o.library},
        {"ami_file", o.amiFile},
        {"parameters_in", s.tx.parameters},
        {"stimulus",
         {{"kind", s.plan.Describe()},
          {"bits", s.plan.bits},
          {"samples", s.plan.samples},
          {"samples_per_bit", s.N},
          {"bit_time_s", o.bitTime},
          {"high_V", o.high},
          {"low_V", o.low}}},
        {"block_policy", s.policy.Describe()},
        {"ignore_bits", s.ignoreBits},
        {"return_codes", ResultJson(s.result)},
        {"message", s.result.message},
        {"parameters_out", s.result.parametersOut},
        {"contract_breaches", s.breaches},
        {"reserved_jitter_and_noise_applied", s.reservedJitter},
        {"stream_edge_jitter_UI", j.Any() && s.plan.kind != "file"
                                      ? json{{"rj_rms", j.rj},
                                             {"dj", j.dj},
                                             {"sj", j.sj},
                                             {"sj_frequency_Hz", j.sjHz},
                                             {"dcd", j.dcd}}
                                      : json(nullptr)},
    };
}

json ChannelProbeJson(const RunState& s, const json& txInitFlow) {
    const Channel& channel = s.channel;
    json probe = ProbeJson(s.probes[kChannelProbe], s.o.bitTime, s.N);
    probe["channel"] = channel.description;
    probe["channel_dc_gain"] = JsonNumber(channel.dcGain);
    probe["channel_response_samples"] = channel.impulse.size();
    probe["channel_area_beyond_response"] = JsonNumber(channel.cutArea);
    // The worst case above counts the kept response only; what the cut
    // tail can add to it is bounded (the statistical eye is not moved by it).
    const double tail = CutTailBound(channel, s.probes[kTxProbe].responses.pulse, s.N);
    if (std::isfinite(tail) && probe.contains("statistical_eye")) {
        json& stat = probe["statistical_eye"];
        stat["peak_distortion_cut_tail_bound_V"] = JsonNumber(tail);
        stat["peak_distortion_height_V_with_cut_tail_at_least"] =
            JsonNumber(s.probes[kChannelProbe].responses.stat.peakDistortionHeight - tail);
    }
    probe["warnings"] = channel.warnings;
    probe["init_flow"] = txInitFlow;
    return probe;
}

// The eye height at the receiver's mean sampling phase.
double HeightAtClockV(const RunState& s) {
    const int sample = static_cast<int>(std::lround(s.clock.MeanSamples(s.N))) % s.N;
    return s.eyes[kRxProbe]->HeightAt(sample);
}

json HeightAtClock(const RunState& s) {
    return s.probes[kRxProbe].eye.valid ? JsonNumber(HeightAtClockV(s)) : json(nullptr);
}

json RxProbeJson(const RunState& s, const json& rxInitFlow) {
    const RunResult& r = s.rx.Result();
    json probe = ProbeJson(s.probes[kRxProbe], s.o.bitTime, s.N);
    probe["library"] = s.rxSetup.lib.Path();
    probe["parameters_in"] = s.rxSetup.parameters;
    probe["return_codes"] = ResultJson(r);
    probe["message"] = r.message;
    probe["parameters_out"] = r.parametersOut;
    if (s.rxSetup.dcOffsetOut) probe["dc_offset_added_V"] = JsonNumber(r.dcOffset);
    probe["init_flow"] =
        s.flow.rx.returned
            ? rxInitFlow
            : json{{"note",
                    "the receiver's AMI_Init returns no impulse response "
                    "(Init_Returns_Impulse False): the Init flow ends at its input"}};
    if (s.clock.count > 0) {
        // Sampled half a unit interval after each clock time; the eye at
        // the circular mean of those sampling phases.
        probe["clock"] = {{"clock_times", s.clock.count},
                          {"decision_after_clock_s", s.decisionTime},
                          {"sampling_phase_samples", s.clock.MeanSamples(s.N)},
                          {"eye_height_at_clock_V", HeightAtClock(s)}};
    }
    return probe;
}

void PrintReturnCodes(const char* who, const RunResult& r) {
    std::printf("%sAMI_Init %ld, %ld AMI_GetWave call%s (%ld failed), AMI_Close %ld\n", who,
                r.initResult, r.waveCalls, r.waveCalls == 1 ? "" : "s", r.failedWaveCalls,
                r.closeResult);
}

void PrintClock(const RunState& s) {
    if (s.clock.count == 0) {
        std::printf("  the receiver reported no clock times\n");
        return;
    }
    std::printf(
        "  receiver's clock: %llu clock times, sampling phase %.2f of %d samples; eye height there "
        "%s\n",
        static_cast<unsigned long long>(s.clock.count), s.clock.MeanSamples(s.N), s.N,
        s.probes[kRxProbe].eye.valid ? Format("%.6g V", HeightAtClockV(s)).c_str()
                                     : "not measured");
}

}  // namespace

RunSummary SummariseRun(const RunState& s) {
    const RunOptions& o = s.o;
    const int N = s.N;
    RunSummary out;
    json& summary = out.summary;
    summary = SummaryTop(s);
    // The transmitter's probe at the top level, as before; the others under their keys.
    const json txProbe = ProbeJson(s.probes[kTxProbe], o.bitTime, N);
    for (auto it = txProbe.begin(); it != txProbe.end(); ++it) summary[it.key()] = it.value();
    summary["flows"]["transmitter"] = FlowJson(s.tx);
    if (s.haveRx) summary["flows"]["receiver"] = FlowJson(s.rxSetup);
    const std::size_t afterTx = s.haveLink ? kChannelProbe : kTxProbe;
    const double ber = s.statOptions.targetBer;
    out.txInitFlow = InitFlowJson(s.flow.tx, "transmitter", s.flow.atTx,
                                  s.probes[afterTx].responses, ber, o.bitTime, N);
    if (s.haveRx && s.flow.rx.returned)
        out.rxInitFlow = InitFlowJson(s.flow.rx, "receiver", s.flow.atRx,
                                      s.probes[kRxProbe].responses, ber, o.bitTime, N);
    if (!s.haveLink) summary["init_flow"] = out.txInitFlow;
    if (!s.modelRan) summary["metrics_note"] = s.probes[kTxProbe].eye.note;
    if (s.haveLink) summary["channel_output"] = ChannelProbeJson(s, out.txInitFlow);
    if (s.haveRx) summary["rx_output"] = RxProbeJson(s, out.rxInitFlow);
    if (s.waveSamples < s.plan.samples) {
        summary["waveform_note"] =
            "waveform files hold the first " + std::to_string(s.waveSamples) + " of " +
            std::to_string(s.plan.samples) + " samples (--max-waveform-samples)";
    }
    return out;
}

void PrintRun(const RunState& s, const RunSummary& r) {
    PrintReturnCodes("", s.result);
    if (!s.result.message.empty())
        std::printf("message: %s\n", ConsoleText(s.result.message).c_str());
    if (s.haveRx) {
        const RunResult& rx = s.rx.Result();
        PrintReturnCodes("receiver: ", rx);
        if (!rx.message.empty())
            std::printf("receiver message: %s\n", ConsoleText(rx.message).c_str());
    }
    const std::size_t afterTx = s.haveLink ? kChannelProbe : kTxProbe;
    for (std::size_t k = 0; k < s.probes.size(); ++k) {
        PrintProbe(s.probes[k], s.o.bitTime, s.N);
        if (k == afterTx) PrintInitFlow("after the transmitter", r.txInitFlow);
        if (k == kRxProbe && !r.rxInitFlow.is_null())
            PrintInitFlow("after the receiver", r.rxInitFlow);
    }
    if (s.haveRx) PrintClock(s);
    if (s.waveSamples < s.plan.samples)
        std::printf("waveform files: the first %llu of %llu samples (--max-waveform-samples)\n",
                    static_cast<unsigned long long>(s.waveSamples),
                    static_cast<unsigned long long>(s.plan.samples));
    if (!s.files.empty()) {
        std::printf("wrote:\n");
        for (const std::string& f : s.files) std::printf("  %s\n", f.c_str());
    }
}

}  // namespace amihost
