// amihost run (and the demo): one stimulus through a model, streamed, with the
// eye measured against the bits sent, the step and pulse responses, pictures
// and summary.json.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <fstream>
#include <iterator>
#include <sstream>

#include "link.h"
#include "receiver.h"
#include "output.h"
#include "plots.h"
#include "session.h"

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

// A number, or null when it is not finite.
json Number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

void AppendRaw(OutputFile& out, const double* samples, std::size_t n) {
    unsigned char bytes[8 * 256];
    while (n > 0) {
        const std::size_t chunk = std::min<std::size_t>(n, 256);
        for (std::size_t i = 0; i < chunk; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &samples[i], 8);
            for (int b = 0; b < 8; ++b) bytes[8 * i + static_cast<std::size_t>(b)] = static_cast<unsigned char>(bits >> (8 * b));
        }
        out.Write(bytes, 8 * chunk);
        samples += chunk;
        n -= chunk;
    }
}

// A response plot zoomed on a few unit intervals around `centre` (a sample
// index), with the given points marked.
std::string PlotResponse(OutputFile& file, const std::string& title, const std::vector<double>& y,
                         const CommonOptions& o, long centre, long before, long after,
                         const Cursors* cursors, double baseline) {
    LinePlot plot;
    plot.title = title;
    plot.xLabel = "Time (ps)";
    plot.yLabel = "Voltage (V)";
    const double dt = o.bitTime / o.samplesPerBit * 1e12;
    const long N = o.samplesPerBit;
    const long from = std::max(0L, centre - before * N);
    const long to = std::min(static_cast<long>(y.size()), centre + after * N);
    for (long k = from; k < to; ++k) {
        plot.x.push_back(static_cast<double>(k) * dt);
        plot.y.push_back(y[static_cast<std::size_t>(k)]);
    }
    if (cursors != nullptr && cursors->peakIndex >= 0) {
        for (std::size_t c = 0; c < cursors->values.size(); ++c) {
            const long at = cursors->peakIndex + (cursors->first + static_cast<long>(c)) * N;
            if (at < from || at >= to) continue;
            plot.markX.push_back(static_cast<double>(at) * dt);
            plot.markY.push_back(baseline + cursors->values[c]);
            const int k = cursors->first + static_cast<int>(c);
            plot.markLabel.push_back(k == 0 ? "0" : (k > 0 ? "+" : "") + std::to_string(k));
        }
    }
    return file.CommitWritten(WriteLinePlot(file.TemporaryPath(), plot));
}

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace

int CommandRun(const RunOptions& given) {
    RunOptions o = given;
    if (const int status = ResolveIbs(o)) return status;
    Setup setup;
    if (const int status = Prepare(o, setup)) return status;
    BlockPolicy policy;
    if (!BlockPolicy::Parse(o.block, policy)) {
        if (o.block == "fixed:0" || o.block == "bits:0" || o.block.rfind("random:", 0) == 0) {
            Error("block policy '" + o.block +
                  "': block sizes must be at least 1 and a random policy needs a seed "
                  "(random:SEED[:MAX])");
        } else {
            Error("unknown block policy '" + o.block +
                  "' (whole, fixed:N, bits:K, random:SEED[:MAX], numbers up to 2^32)");
        }
        return 2;
    }
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    const int N = o.samplesPerBit;
    if (N < 8 && !o.quiet) {
        Warning("only " + std::to_string(N) +
                " samples per unit interval: rise time and eye width are limited by the sampling");
    }
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (ec) {
        Error("cannot create " + o.outDir + ": " + ec.message());
        return 2;
    }
    const fs::path dir = fs::absolute(o.outDir, ec).lexically_normal();
    std::vector<std::string> files;

    // The channel, when there is one.
    Channel channel;
    StatEyeOptions statOptions;
    const bool haveChannel = !o.channel.empty();
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;

    // The step and pulse runs first: they give the system delay that aligns
    // the eye with the bits sent.
    const Responses responses = MeasureResponses(setup, o);
    const bool eyeStimulus = plan.kind == "prbs" || plan.kind == "file";
    const std::size_t pulseStart = static_cast<std::size_t>(setup.ignoreBits + 8) * static_cast<std::size_t>(N);
    const bool haveRx = !o.rxLibrary.empty();
    const bool haveLink = haveChannel || haveRx;
    const LinkResponses link =
        haveLink ? ThroughChannel(responses, channel, pulseStart, N, statOptions) : LinkResponses{};

    // The receiver after the channel: one instance for the stream, one for its pulse response.
    std::string rxParameters = o.rxParams;
    if (haveRx && !o.rxAmi.empty()) {
        std::string text;
        AmiFile rxFile;
        std::ifstream in(o.rxAmi, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && text.empty()) {
            Error("cannot open " + o.rxAmi);
            return 2;
        }
        if (const std::string e = ReadAmiFile(text, rxFile); !e.empty()) {
            Error(o.rxAmi + ": " + e);
            return 2;
        }
        rxParameters = BuildParameterString(rxFile);
    }
    Receiver rx, rxForPulse;
    std::vector<double> rxPulse;
    Cursors rxCursors;
    std::int64_t rxDelay = 0;
    if (haveRx) {
        for (Receiver* r : {&rx, &rxForPulse}) {
            if (const std::string e = r->Open(o.rxLibrary, rxParameters, o.bitTime / N, o.bitTime, channel.impulse); !e.empty()) {
                Error(e);
                return 2;
            }
        }
        if (link.cursors.peakIndex >= 0) {
            rxPulse = link.pulse;
            std::vector<double> ignored;
            rxForPulse.Process(rxPulse.data(), rxPulse.size(), ignored);
            AlignPulse(rxPulse, pulseStart, N, rxCursors, rxDelay);
        }
    }

    const std::uint64_t waveSamples = std::min(plan.samples, o.maxWaveformSamples);
    const bool someWave = waveSamples > 0;
    if (someWave && waveSamples * 60 > (std::uint64_t{100} << 20) && !o.quiet) {
        Warning("waveform.csv will take about " + std::to_string(waveSamples * 60 >> 20) +
                " MB (--max-waveform-samples limits it)");
    }
    OutputFile csv((dir / "waveform.csv").string()), raw((dir / "waveform.bin").string());
    if (someWave && (!csv.Open() || !raw.Open(true))) {
        Error(csv.Failed() ? csv.Error() : raw.Error());
        return 2;
    }
    csv.Write("time_s,input_V,output_V\n");

    const std::uint64_t skip = static_cast<std::uint64_t>(setup.ignoreBits) * static_cast<std::uint64_t>(N);
    StimulusSource source(plan, o, setup.ignoreBits);
    EyeAccumulator eye(N, skip, responses.delaySamples,
                       [&source](std::uint64_t b) { return source.Bit(b); });
    if (o.plots) eye.TrackDensity(kEyePlotWidth, kEyePlotHeight);
    // The channel's output: the transmitter's output convolved as it streams.
    EyeAccumulator eyeChannel(N, skip, link.delaySamples, [&source](std::uint64_t b) { return source.Bit(b); });
    if (o.plots) eyeChannel.TrackDensity(kEyePlotWidth, kEyePlotHeight);
    EyeAccumulator eyeRx(N, skip, rxDelay, [&source](std::uint64_t b) { return source.Bit(b); });
    if (o.plots) eyeRx.TrackDensity(kEyePlotWidth, kEyePlotHeight);
    std::uint64_t channelAt = 0, clockCount = 0;
    double clockSin = 0, clockCos = 0;  // the circular mean of the clock phases
    std::vector<double> rxBlock, clockTimes;
    bool rxFailed = false;
    std::unique_ptr<Convolver> convolver;
    if (haveLink) {
        convolver = std::make_unique<Convolver>(channel.impulse, [&](const double* y, std::size_t n) {
            eyeChannel.Add(y, n, channelAt);
            if (haveRx) {
                rxBlock.assign(y, y + n);
                rxFailed = !rx.Process(rxBlock.data(), n, clockTimes) || rxFailed;
                eyeRx.Add(rxBlock.data(), n, channelAt);
                for (double t : clockTimes) {
                    const double sample = std::max(0.0, std::round(t * N / o.bitTime));
                    const double phase = 2 * 3.141592653589793 * eyeRx.PhaseOf(static_cast<std::uint64_t>(sample)) / N;
                    clockSin += std::sin(phase);
                    clockCos += std::cos(phase);
                    ++clockCount;
                }
                clockTimes.clear();
            }
            channelAt += n;
        });
    }
    auto oldestBit = [&] {
        std::uint64_t oldest = eye.OldestBitNeeded();
        if (haveLink) oldest = std::min(oldest, eyeChannel.OldestBitNeeded());
        if (haveRx) oldest = std::min(oldest, eyeRx.OldestBitNeeded());
        return oldest;
    };
    std::vector<double> lastInput;
    ProgressBar bar(!o.quiet && plan.samples > (std::uint64_t{1} << 22), "AMI_GetWave");
    const double dt = o.bitTime / N;
    RunResult result;
    InstallInterruptHandler();
    try {
        result = RunModel(
            setup.lib, ConfigOf(o, setup, policy), plan.samples,
            [&](double* samples, std::size_t n, std::uint64_t at) {
                ThrowIfInterrupted();
                source.Fill(samples, n, at);
                if (at < waveSamples) lastInput.assign(samples, samples + n);
            },
            [&](const double* samples, std::size_t n, std::uint64_t at) {
                eye.Add(samples, n, at);
                if (convolver) convolver->Push(samples, n);
                source.ForgetBefore(oldestBit());
                if (at < waveSamples) {
                    const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(n, waveSamples - at));
                    std::string text;
                    char line[96];
                    for (std::size_t i = 0; i < keep; ++i) {
                        const int len = std::snprintf(line, sizeof line, "%.17g,%.17g,%.17g\n",
                                                      static_cast<double>(at + i) * dt, lastInput[i], samples[i]);
                        text.append(line, static_cast<std::size_t>(len));
                    }
                    csv.Write(text);
                    AppendRaw(raw, samples, keep);
                }
            },
            [&](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    } catch (const InterruptedError&) {
        Error("interrupted; no result files were written");
        return 130;
    }
    if (convolver) convolver->Finish();
    std::vector<std::string> writeErrors;
    if (someWave) {
        for (OutputFile* f : {&csv, &raw}) {
            if (const std::string e = f->Commit(); !e.empty()) {
                writeErrors.push_back(e);
            } else {
                files.push_back(f->Path());
            }
        }
    }

    const bool modelRan = result.initResult == 1 && responses.ok;
    EyeMetrics metrics;
    if (!modelRan) {
        metrics.note = "no metrics: AMI_Init returned " + std::to_string(result.initResult) +
                       (result.message.empty() ? "" : " (" + result.message + ")");
    } else if (!eyeStimulus) {
        metrics.note = "no eye: a " + plan.kind + " stimulus has no eye; see the step and pulse responses";
    } else {
        metrics = eye.Finish();
    }
    EyeMetrics channelMetrics, rxMetrics;
    if (haveLink && modelRan && eyeStimulus) channelMetrics = eyeChannel.Finish();
    if (haveRx && modelRan && eyeStimulus) rxMetrics = eyeRx.Finish();

    if (o.plots && modelRan) {
        const long start = static_cast<long>(setup.ignoreBits + 8) * N;
        OutputFile eyePng((dir / "eye.png").string()), stepPng((dir / "step.png").string()),
            pulsePng((dir / "pulse.png").string());
        std::vector<std::pair<OutputFile*, std::string>> pictures;
        if (metrics.valid) {
            EyePlot plot;
            // The measurements, and the codes when they fit on the line.
            std::string codes;
            for (const AmiParameter& p : setup.file.parameters)
                if (p.usage == "In" || p.usage == "InOut") codes += " " + p.name + "=" + p.defaultValue;
            plot.title = "Eye, " + plan.Describe() + Format(": height %.4g V", metrics.height) +
                         Format(", width %.3g UI", metrics.widthUi) +
                         Format(", threshold %.3g V", metrics.threshold) + ", phase " +
                         std::to_string(metrics.bestPhase) + "/" + std::to_string(N);
            if (plot.title.size() + codes.size() <= 110) plot.title += " |" + codes;
            plot.unitInterval = o.bitTime;
            plot.samplesPerBit = N;
            plot.centrePhase = metrics.bestPhase;
            pictures.emplace_back(&eyePng, eyePng.CommitWritten(WriteEyeDiagram(eyePng.TemporaryPath(), eye.Density(), plot)));
        }
        pictures.emplace_back(&stepPng, PlotResponse(stepPng, "Step response", responses.step.output, o,
                                                     start, 2, 6, nullptr, 0));
        const double baseline = responses.pulse.output[static_cast<std::size_t>(start - 1)];
        pictures.emplace_back(&pulsePng, PlotResponse(pulsePng, "Pulse response (one bit), cursors marked",
                                                      responses.pulse.output, o,
                                                      responses.cursors.peakIndex, 3, 7, &responses.cursors, baseline));
        OutputFile eyeChannelPng((dir / "eye_channel.png").string()), pulseChannelPng((dir / "pulse_channel.png").string()),
            statPng((dir / "stat_eye.png").string()), bathtubPng((dir / "bathtub.png").string()),
            eyeRxPng((dir / "eye_rx.png").string()), pulseRxPng((dir / "pulse_rx.png").string());
        if (haveLink) {
            if (channelMetrics.valid) {
                EyePlot plot;
                plot.title = "Eye after the channel (" + channel.description + ")" + Format(": height %.4g V", channelMetrics.height) +
                             Format(", width %.3g UI", channelMetrics.widthUi);
                plot.unitInterval = o.bitTime;
                plot.samplesPerBit = N;
                plot.centrePhase = channelMetrics.bestPhase;
                pictures.emplace_back(&eyeChannelPng, eyeChannelPng.CommitWritten(WriteEyeDiagram(
                                                          eyeChannelPng.TemporaryPath(), eyeChannel.Density(), plot)));
            }
            if (rxMetrics.valid) {
                EyePlot plot;
                plot.title = "Eye after the receiver" + Format(": height %.4g V", rxMetrics.height) +
                             Format(", width %.3g UI", rxMetrics.widthUi);
                plot.unitInterval = o.bitTime;
                plot.samplesPerBit = N;
                plot.centrePhase = rxMetrics.bestPhase;
                pictures.emplace_back(&eyeRxPng, eyeRxPng.CommitWritten(WriteEyeDiagram(eyeRxPng.TemporaryPath(), eyeRx.Density(), plot)));
            }
            if (haveRx && rxCursors.peakIndex >= 0) {
                pictures.emplace_back(&pulseRxPng, PlotResponse(pulseRxPng, "Pulse response after the receiver, cursors marked",
                                                                rxPulse, o, rxCursors.peakIndex, 3, 12, &rxCursors,
                                                                rxPulse[pulseStart - 1]));
            }
            if (link.cursors.peakIndex >= 0) {
                pictures.emplace_back(&pulseChannelPng,
                                      PlotResponse(pulseChannelPng, "Pulse response after the channel, cursors marked",
                                                   link.pulse, o, link.cursors.peakIndex, 3, 12, &link.cursors,
                                                   link.pulse[pulseStart - 1]));
            }
            if (link.stat.valid) {
                const std::string title = "Statistical eye: " + Format("%.4g V", link.stat.heightAtTarget) + " and " +
                                          Format("%.3g UI", link.stat.widthAtTarget) +
                                          " at BER 1e-12; contours 1e-6, 1e-9, 1e-12";
                pictures.emplace_back(&statPng, statPng.CommitWritten(WriteStatEye(statPng.TemporaryPath(), link.stat, title, o.bitTime)));
                LinePlot tub;
                tub.title = "Bathtub: BER at the best decision level";
                tub.xLabel = "Sampling phase (UI)";
                tub.yLabel = "log10 BER";
                for (int p = 0; p < N; ++p) {
                    tub.x.push_back(static_cast<double>(p) / N);
                    tub.y.push_back(std::log10(std::max(link.stat.bathtub[static_cast<std::size_t>(p)], 1e-30)));
                }
                pictures.emplace_back(&bathtubPng, bathtubPng.CommitWritten(WriteLinePlot(bathtubPng.TemporaryPath(), tub)));
            }
        }
        for (const auto& [file, error] : pictures) {
            if (!error.empty()) {
                writeErrors.push_back(error);
            } else {
                files.push_back(file->Path());
            }
        }
    }

    std::vector<std::string> breaches = result.breaches;
    for (const std::string& b : responses.step.breaches) breaches.push_back("step run: " + b);
    for (const std::string& b : responses.pulse.breaches) breaches.push_back("pulse run: " + b);
    json eyeJson = {{"valid", metrics.valid}};
    if (metrics.valid) {
        eyeJson.update({{"height_V", Number(metrics.height)},
                        {"closed", !(metrics.height > 0)},
                        {"width_UI", Number(metrics.widthUi)},
                        {"width_s", Number(metrics.widthUi * o.bitTime)},
                        {"sampling_phase_samples", metrics.bestPhase},
                        {"sampling_phase_UI", static_cast<double>(metrics.bestPhase) / N},
                        {"system_delay_samples", responses.delaySamples},
                        {"threshold_V", Number(metrics.threshold)},
                        {"high_level_V", Number(metrics.highLevel)},
                        {"low_level_V", Number(metrics.lowLevel)},
                        {"bits_analysed", metrics.bits}});
    } else {
        eyeJson["note"] = metrics.note;
    }
    json summary = {
        {"library", o.library},
        {"ami_file", o.amiFile},
        {"parameters_in", setup.parameters},
        {"stimulus",
         {{"kind", plan.Describe()},
          {"bits", plan.bits},
          {"samples", plan.samples},
          {"samples_per_bit", N},
          {"bit_time_s", o.bitTime},
          {"high_V", o.high},
          {"low_V", o.low}}},
        {"block_policy", policy.Describe()},
        {"ignore_bits", setup.ignoreBits},
        {"return_codes", ResultJson(result)},
        {"message", result.message},
        {"parameters_out", result.parametersOut},
        {"contract_breaches", breaches},
        {"eye", eyeJson},
    };
    if (modelRan) {
        summary["dc_levels_V"] = {{"high", Number(responses.high)}, {"low", Number(responses.low)}};
        summary["rise_time_20_80_s"] = responses.riseSeconds ? Number(*responses.riseSeconds) : json(nullptr);
        if (!responses.riseSeconds) summary["rise_time_note"] = "the step response does not cross both 20 % and 80 %";
        summary["peak_to_peak_V"] = metrics.valid ? Number(metrics.peakToPeak) : json(nullptr);
        summary["pulse_cursors_V"] = {{"first_UI", responses.cursors.first},
                                      {"values", responses.cursors.values},
                                      {"main_cursor_sample", responses.cursors.peakIndex}};
    } else {
        summary["metrics_note"] = metrics.note;
    }
    if (haveLink && modelRan) {
        json probe = {{"channel", channel.description}, {"warnings", channel.warnings}};
        json ce = {{"valid", channelMetrics.valid}};
        if (channelMetrics.valid) {
            ce.update({{"height_V", Number(channelMetrics.height)},
                       {"closed", !(channelMetrics.height > 0)},
                       {"width_UI", Number(channelMetrics.widthUi)},
                       {"sampling_phase_samples", channelMetrics.bestPhase},
                       {"system_delay_samples", link.delaySamples},
                       {"threshold_V", Number(channelMetrics.threshold)}});
        } else {
            ce["note"] = channelMetrics.note.empty() ? "no eye for this stimulus" : channelMetrics.note;
        }
        probe["eye"] = ce;
        probe["dc_levels_V"] = {{"high", Number(link.high)}, {"low", Number(link.low)}};
        probe["pulse_cursors_V"] = {{"first_UI", link.cursors.first}, {"values", link.cursors.values}};
        if (link.stat.valid) {
            probe["statistical_eye"] = {{"height_V_at_1e-12", Number(link.stat.heightAtTarget)},
                                        {"width_UI_at_1e-12", Number(link.stat.widthAtTarget)},
                                        {"best_phase_samples", link.stat.bestPhase},
                                        {"ber_at_best", link.stat.bathtub[static_cast<std::size_t>(link.stat.bestPhase)]},
                                        {"threshold_V", Number(link.stat.thresholdAtBest)},
                                        {"noise_rms_V", o.noiseRms},
                                        {"rj_rms_UI", o.rjRms}};
        }
        summary["channel_output"] = probe;
    }
    if (haveRx && modelRan) {
        json probe = {{"library", o.rxLibrary}, {"parameters_in", rxParameters}, {"message", rx.Message()},
                      {"AMI_GetWave_failed", rxFailed}};
        json re = {{"valid", rxMetrics.valid}};
        if (rxMetrics.valid) {
            re.update({{"height_V", Number(rxMetrics.height)},
                       {"closed", !(rxMetrics.height > 0)},
                       {"width_UI", Number(rxMetrics.widthUi)},
                       {"sampling_phase_samples", rxMetrics.bestPhase},
                       {"system_delay_samples", rxDelay}});
        } else {
            re["note"] = rxMetrics.note.empty() ? "no eye for this stimulus" : rxMetrics.note;
        }
        probe["eye"] = re;
        probe["pulse_cursors_V"] = {{"first_UI", rxCursors.first}, {"values", rxCursors.values}};
        if (clockCount > 0) {
            // The receiver's own sampling: the eye at the circular mean of its clock phases.
            double mean = std::atan2(clockSin, clockCos) / (2 * 3.141592653589793) * N;
            if (mean < 0) mean += N;
            const int phase = static_cast<int>(std::lround(mean)) % N;
            probe["clock"] = {{"clock_times", clockCount},
                              {"mean_phase_samples", mean},
                              {"eye_height_at_clock_V", rxMetrics.valid ? Number(eyeRx.HeightAt(phase)) : json(nullptr)}};
        }
        summary["rx_output"] = probe;
    }
    if (waveSamples < plan.samples) {
        summary["waveform_note"] = "waveform files hold the first " + std::to_string(waveSamples) +
                                   " of " + std::to_string(plan.samples) + " samples (--max-waveform-samples)";
    }
    const std::string summaryPath = (dir / "summary.json").string();
    files.push_back(summaryPath);
    summary["files"] = files;
    if (const std::string e = WriteWholeFile(summaryPath, summary.dump(2) + "\n"); !e.empty()) {
        writeErrors.push_back(e);
        files.pop_back();
    }

    if (!o.quiet) {
        std::printf("AMI_Init %ld, %ld AMI_GetWave call%s (%ld failed), AMI_Close %ld\n", result.initResult,
                    result.waveCalls, result.waveCalls == 1 ? "" : "s", result.failedWaveCalls, result.closeResult);
        if (!result.message.empty()) std::printf("message: %s\n", result.message.c_str());
        if (metrics.valid) {
            std::printf("eye height %.6g V%s, eye width %.4g UI at phase %d/%d, %llu bits\n", metrics.height,
                        metrics.height > 0 ? "" : " (closed)", metrics.widthUi, metrics.bestPhase, N,
                        static_cast<unsigned long long>(metrics.bits));
        } else {
            std::printf("%s\n", metrics.note.c_str());
        }
        if (modelRan) {
            std::printf("rise time %s; swing %s\n",
                        responses.riseSeconds ? FormatTime(*responses.riseSeconds).c_str()
                                              : "not measurable (no 20-80 % edge)",
                        metrics.valid ? Format("%.6g V p-p", metrics.peakToPeak).c_str() : "not measured");
        }
        if (haveRx && modelRan && rxMetrics.valid)
            std::printf("after the receiver: eye height %.6g V%s, width %.4g UI%s\n", rxMetrics.height,
                        rxMetrics.height > 0 ? "" : " (closed)", rxMetrics.widthUi,
                        clockCount > 0 ? ("; " + std::to_string(clockCount) + " clock times").c_str() : "");
        if (haveChannel && modelRan) {
            if (channelMetrics.valid)
                std::printf("after the channel (%s): eye height %.6g V%s, width %.4g UI\n", channel.description.c_str(),
                            channelMetrics.height, channelMetrics.height > 0 ? "" : " (closed)", channelMetrics.widthUi);
            if (link.stat.valid)
                std::printf("statistical eye at BER 1e-12: height %.6g V, width %.4g UI\n", link.stat.heightAtTarget,
                            link.stat.widthAtTarget);
        }
        if (waveSamples < plan.samples)
            std::printf("waveform files: the first %llu of %llu samples (--max-waveform-samples)\n",
                        static_cast<unsigned long long>(waveSamples), static_cast<unsigned long long>(plan.samples));
        for (const std::string& b : breaches) std::printf("contract breach: %s\n", b.c_str());
        if (!files.empty()) {
            std::printf("wrote:\n");
            for (const std::string& f : files) std::printf("  %s\n", f.c_str());
        }
    }
    for (const std::string& e : writeErrors) Error(e);
    if (!writeErrors.empty()) return 2;
    return breaches.empty() ? 0 : 1;
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
        o.library = pick({here / "varnok_meridel_qlx_ami_tx.so", here / "../model/varnok_meridel_qlx_ami_tx.so",
                          fs::path(AMIHOST_BUILD_DIR) / "model/varnok_meridel_qlx_ami_tx.so"});
    }
    if (o.amiFile.empty() && o.parameters.empty() && o.ibsFile.empty()) {
        o.amiFile = pick({here / "varnok_meridel_qlx_ami_tx.ami", here / "../package/varnok_meridel_qlx_ami_tx.ami",
                          fs::path(AMIHOST_SOURCE_DIR) / "package/varnok_meridel_qlx_ami_tx.ami"});
    }
    if (o.ibsFile.empty() && (o.library.empty() || (o.amiFile.empty() && o.parameters.empty()))) {
        Error("cannot find this project's library and .ami file; give them with --library and --ami");
        return 2;
    }
    // The story: behind a lossy line the default codes close the eye;
    // optimize finds the codes that open it, down to a BER of 1e-12 (at
    // 18 dB; from about 20 dB the transmitter's taps alone no longer do);
    // both eyes side by side.
    if (o.channel.empty()) o.channel = "line:18@5e9";
    if (o.amiFile.empty()) return CommandRun(o);
    if (!o.quiet)
        std::printf("demo: %s with %s on %s behind %s\n", o.library.c_str(), o.amiFile.c_str(), o.stimulus.c_str(),
                    o.channel.c_str());
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
    while (std::getline(csv, line))
        if (line.size() > 2 && line.compare(line.size() - 2, 2, ",1") == 0) bestLine = line;
    std::vector<std::string> names, values;
    for (std::stringstream h(header); std::getline(h, line, ',');) names.push_back(line);
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
        const std::string e = png.CommitWritten(WriteSideBySide(png.TemporaryPath(), (top / "default_codes/eye_channel.png").string(),
                                                                 (top / "optimized_codes/eye_channel.png").string()));
        if (!e.empty()) {
            Error(e);
            return 2;
        }
        if (!o.quiet) std::printf("\nthe two eyes behind the channel, side by side: %s\n", pair.string().c_str());
    }
    return std::max(first, second);
}

}  // namespace amihost
