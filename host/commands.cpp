#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "ami_file.h"
#include "metrics.h"
#include "plots.h"
#include "runner.h"
#include "stimulus.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace amihost {

namespace {

void Error(const std::string& text) { std::cerr << "amihost: error: " << text << "\n"; }
void Warning(const std::string& text) { std::cerr << "amihost: warning: " << text << "\n"; }

// Everything a run needs besides the stimulus.
struct Setup {
    Library lib;
    std::string parameters;
    AmiFile file;
    bool haveFile = false;
    int ignoreBits = 0;
    bool impulseUntouched = true;
};

std::string ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot open " + path;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return "";
}

bool ParseSets(const std::vector<std::string>& sets, std::map<std::string, std::string>& out) {
    for (const std::string& s : sets) {
        const std::size_t eq = s.find('=');
        if (eq == std::string::npos || eq == 0) {
            Error("--set expects NAME=VALUE, got '" + s + "'");
            return false;
        }
        out[s.substr(0, eq)] = s.substr(eq + 1);
    }
    return true;
}

// Loads the library and builds the parameter string. Returns 0 or an exit status.
int Prepare(const CommonOptions& o, Setup& setup,
            const std::map<std::string, std::string>& extra = {}) {
    if (o.library.empty()) {
        Error("no library given (--library)");
        return 2;
    }
    if (o.samplesPerBit < 1 || !(o.bitTime > 0)) {
        Error("the bit time and the samples per bit must be positive");
        return 2;
    }
    if (const std::string e = setup.lib.Open(o.library); !e.empty()) {
        Error(e);
        return 2;
    }
    std::map<std::string, std::string> overrides;
    if (!ParseSets(o.sets, overrides)) return 2;
    for (const auto& [k, v] : extra) overrides[k] = v;
    if (!o.amiFile.empty()) {
        std::string text;
        if (const std::string e = ReadFile(o.amiFile, text); !e.empty()) {
            Error(e);
            return 2;
        }
        if (const std::string e = ReadAmiFile(text, setup.file); !e.empty()) {
            Error(o.amiFile + ": " + e);
            return 2;
        }
        setup.haveFile = true;
        bool failed = false;
        for (const Issue& issue : ApplyOverrides(setup.file, overrides, o.strict)) {
            if (issue.error) {
                Error(issue.text);
                failed = true;
            } else if (!o.quiet) {
                Warning(issue.text);
            }
        }
        if (failed) return 2;
        setup.parameters = BuildParameterString(setup.file);
        const auto ignore = setup.file.reserved.find("Ignore_Bits");
        if (ignore != setup.file.reserved.end())
            setup.ignoreBits = std::max(0, std::atoi(ignore->second.c_str()));
        const auto impulse = setup.file.reserved.find("Init_Returns_Impulse");
        setup.impulseUntouched = impulse == setup.file.reserved.end() || impulse->second != "True";
    } else {
        if (!overrides.empty()) {
            Error("--set needs an .ami file (--ami)");
            return 2;
        }
        setup.parameters = o.parameters;
    }
    if (o.ignoreBits >= 0) setup.ignoreBits = o.ignoreBits;
    return 0;
}

struct StimulusPlan {
    std::string kind;  // prbs, step, pulse, file
    int order = 0;
    std::vector<double> fileSamples;
    std::uint64_t bits = 0;  // for generated patterns
    std::uint64_t samples = 0;
    std::string Describe() const { return kind == "prbs" ? "prbs" + std::to_string(order) : kind; }
};

int PlanStimulus(const CommonOptions& o, int ignoreBits, StimulusPlan& plan) {
    const std::string& s = o.stimulus;
    const auto N = static_cast<std::uint64_t>(o.samplesPerBit);
    if (s.rfind("prbs", 0) == 0) {
        plan.kind = "prbs";
        plan.order = std::atoi(s.c_str() + 4);
        if (!Prbs::Supported(plan.order) || s != "prbs" + std::to_string(plan.order)) {
            Error("unknown stimulus '" + s + "' (prbs7, prbs9, prbs11, prbs15, prbs23, prbs31)");
            return 2;
        }
        const std::uint64_t period = (std::uint64_t{1} << plan.order) - 1;
        plan.bits = o.bits > 0 ? o.bits
                               : static_cast<std::uint64_t>(ignoreBits) +
                                     std::min<std::uint64_t>(period, 65535);
    } else if (s == "step" || s == "pulse") {
        plan.kind = s;
        plan.bits = o.bits > 0 ? o.bits : static_cast<std::uint64_t>(ignoreBits) + 64;
    } else if (s.rfind("file:", 0) == 0) {
        plan.kind = "file";
        if (const std::string e = ReadWaveform(s.substr(5), plan.fileSamples); !e.empty()) {
            Error(e);
            return 2;
        }
        plan.samples = plan.fileSamples.size();
        return 0;
    } else {
        Error("unknown stimulus '" + s + "' (prbsN, step, pulse or file:PATH)");
        return 2;
    }
    plan.samples = plan.bits * N;
    return 0;
}

// Produces the planned stimulus block by block.
class StimulusSource {
public:
    StimulusSource(const StimulusPlan& plan, const CommonOptions& o, int ignoreBits)
        : plan_(plan), o_(o), prbs_(plan.kind == "prbs" ? plan.order : 7) {
        stepAt_ = static_cast<std::uint64_t>(ignoreBits) + 8;
    }
    void Fill(double* samples, std::size_t n, std::uint64_t at) {
        if (plan_.kind == "file") {
            std::copy_n(plan_.fileSamples.begin() + static_cast<long>(at), n, samples);
            return;
        }
        const auto N = static_cast<std::uint64_t>(o_.samplesPerBit);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t k = at + i;
            const std::uint64_t bit = k / N;
            while (bitsMade_ <= bit) {
                current_ = NextBit(bitsMade_);
                ++bitsMade_;
            }
            samples[i] = current_ ? o_.high : o_.low;
        }
    }

private:
    int NextBit(std::uint64_t index) {
        if (plan_.kind == "prbs") return prbs_.NextBit();
        if (plan_.kind == "step") return index >= stepAt_ ? 1 : 0;
        return index == stepAt_ ? 1 : 0;  // pulse
    }
    const StimulusPlan& plan_;
    const CommonOptions& o_;
    Prbs prbs_;
    std::uint64_t bitsMade_ = 0;
    std::uint64_t stepAt_;
    int current_ = 0;
};

class ProgressBar {
public:
    ProgressBar(bool enabled, std::string label)
        : enabled_(enabled && isatty(2)), label_(std::move(label)) {}
    void Update(std::uint64_t done, std::uint64_t total) {
        if (!enabled_ || total == 0) return;
        const int percent = static_cast<int>(100 * done / total);
        if (percent == last_ && done != total) return;
        last_ = percent;
        const int filled = percent / 4;
        std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(),
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(25 - filled), '.').c_str(), percent);
        if (done == total) std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }

private:
    bool enabled_;
    std::string label_;
    int last_ = -1;
};

RunConfig ConfigOf(const CommonOptions& o, const Setup& setup, const BlockPolicy& policy) {
    RunConfig c;
    c.parameters = setup.parameters;
    c.bitTime = o.bitTime;
    c.samplesPerBit = o.samplesPerBit;
    c.policy = policy;
    c.expectImpulseUntouched = setup.impulseUntouched;
    return c;
}

// A short generated pattern in memory: `before` low bits, then the rest.
std::vector<double> Pattern(const std::vector<int>& bits, const CommonOptions& o) {
    return Nrz(bits, o.samplesPerBit, o.high, o.low).samples;
}

json ResultJson(const RunResult& r) {
    return json{{"AMI_Init", r.initResult},
                {"AMI_GetWave_calls", r.waveCalls},
                {"AMI_GetWave_failures", r.failedWaveCalls},
                {"AMI_Close", r.closeResult}};
}

bool WriteRaw(std::ofstream& out, const double* samples, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, &samples[i], 8);
        unsigned char bytes[8];
        for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(bits >> (8 * b));
        out.write(reinterpret_cast<const char*>(bytes), 8);
    }
    return static_cast<bool>(out);
}

struct Responses {
    RunResult step, pulse;
    std::vector<double> stepIn, pulseIn;
    double low = 0, high = 0, riseSeconds = -1;
    Cursors cursors;
};

Responses MeasureResponses(const Setup& setup, const CommonOptions& o) {
    Responses r;
    const int lead = setup.ignoreBits + 8;
    const BlockPolicy whole;
    r.stepIn = Pattern(StepBits(lead, 48), o);
    r.step = RunModel(setup.lib, ConfigOf(o, setup, whole), r.stepIn);
    const std::size_t start =
        static_cast<std::size_t>(lead) * static_cast<std::size_t>(o.samplesPerBit);
    const double rise = RiseTime2080(r.step.output, start,
                                     static_cast<std::size_t>(o.samplesPerBit), &r.low, &r.high);
    r.riseSeconds = rise < 0 ? -1 : rise * o.bitTime / o.samplesPerBit;
    r.pulseIn = Pattern(PulseBits(lead, 31), o);
    r.pulse = RunModel(setup.lib, ConfigOf(o, setup, whole), r.pulseIn);
    r.cursors =
        PulseCursors(r.pulse.output, r.pulse.output.empty() ? 0.0 : r.pulse.output[start - 1],
                     o.samplesPerBit, 2, 5);
    return r;
}

std::string PlotResponse(const std::string& path, const std::string& title,
                         const std::vector<double>& y, const CommonOptions& o) {
    LinePlot plot;
    plot.title = title;
    plot.xLabel = "Time (ps)";
    plot.yLabel = "Voltage (V)";
    const double dt = o.bitTime / o.samplesPerBit * 1e12;
    for (std::size_t k = 0; k < y.size(); ++k) {
        plot.x.push_back(static_cast<double>(k) * dt);
        plot.y.push_back(y[k]);
    }
    return WriteLinePlot(path, plot);
}

}  // namespace

int CommandRun(const RunOptions& o) {
    Setup setup;
    if (const int status = Prepare(o, setup)) return status;
    BlockPolicy policy;
    if (!BlockPolicy::Parse(o.block, policy)) {
        Error("unknown block policy '" + o.block + "' (whole, fixed:N, bits:K, random:SEED[:MAX])");
        return 2;
    }
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (ec) {
        Error("cannot create " + o.outDir + ": " + ec.message());
        return 2;
    }
    const fs::path dir(o.outDir);
    std::vector<std::string> files;
    const bool keepWave = plan.samples <= o.maxWaveformSamples;
    std::ofstream csv, raw;
    if (keepWave) {
        csv.open(dir / "waveform.csv");
        raw.open(dir / "waveform.bin", std::ios::binary);
        if (!csv || !raw) {
            Error("cannot write the waveform files in " + o.outDir);
            return 2;
        }
        csv.imbue(std::locale::classic());
        csv.precision(17);
        csv << "time_s,input_V,output_V\n";
    }

    // Stream the main run: eye metrics and density, and the waveform files.
    const auto N = o.samplesPerBit;
    const std::uint64_t skip =
        static_cast<std::uint64_t>(setup.ignoreBits) * static_cast<std::uint64_t>(N);
    EyeAccumulator eye(N, skip);
    if (o.plots) eye.TrackDensity(kEyePlotWidth, kEyePlotHeight);
    StimulusSource source(plan, o, setup.ignoreBits);
    std::vector<double> lastInput;
    ProgressBar bar(!o.quiet && plan.samples > (std::uint64_t{1} << 22), "AMI_GetWave");
    const double dt = o.bitTime / N;
    const RunResult result = RunModel(
        setup.lib, ConfigOf(o, setup, policy), plan.samples,
        [&](double* samples, std::size_t n, std::uint64_t at) {
            source.Fill(samples, n, at);
            if (keepWave) lastInput.assign(samples, samples + n);
        },
        [&](const double* samples, std::size_t n, std::uint64_t at) {
            eye.Add(samples, n, at);
            if (keepWave) {
                for (std::size_t i = 0; i < n; ++i) {
                    csv << static_cast<double>(at + i) * dt << ',' << lastInput[i] << ','
                        << samples[i] << '\n';
                }
                WriteRaw(raw, samples, n);
            }
        },
        [&](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    const EyeMetrics metrics = eye.Finish();
    if (keepWave) {
        csv.close();
        raw.close();
        files.push_back((dir / "waveform.csv").string());
        files.push_back((dir / "waveform.bin").string());
    }

    const Responses responses = MeasureResponses(setup, o);
    if (o.plots) {
        EyePlot plot;
        plot.title = "Eye diagram: " + plan.Describe() + ", " + std::to_string(N) + " samples/UI";
        plot.unitInterval = o.bitTime;
        plot.samplesPerBit = N;
        plot.centrePhase = metrics.centrePhase;
        const std::pair<std::string, std::string> pictures[] = {
            {"eye.png", WriteEyeDiagram((dir / "eye.png").string(), eye.Density(), plot)},
            {"step.png",
             PlotResponse((dir / "step.png").string(), "Step response", responses.step.output, o)},
            {"pulse.png", PlotResponse((dir / "pulse.png").string(), "Pulse response (one bit)",
                                       responses.pulse.output, o)},
        };
        for (const auto& [name, error] : pictures) {
            if (!error.empty()) {
                Warning(error);
            } else {
                files.push_back((dir / name).string());
            }
        }
    }

    std::vector<std::string> breaches = result.breaches;
    for (const std::string& b : responses.step.breaches) breaches.push_back("step run: " + b);
    for (const std::string& b : responses.pulse.breaches) breaches.push_back("pulse run: " + b);
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
        {"dc_levels_V", {{"high", responses.high}, {"low", responses.low}}},
        {"eye",
         {{"valid", metrics.valid},
          {"height_V", metrics.height},
          {"width_UI", metrics.widthUi},
          {"width_s", metrics.widthUi * o.bitTime},
          {"best_phase_samples", metrics.bestPhase},
          {"best_phase_UI", static_cast<double>(metrics.bestPhase) / N},
          {"threshold_V", metrics.threshold},
          {"high_level_V", metrics.highLevel},
          {"low_level_V", metrics.lowLevel}}},
        {"rise_time_20_80_s", responses.riseSeconds},
        {"peak_to_peak_V", metrics.peakToPeak},
        {"pulse_cursors_V",
         {{"first_UI", responses.cursors.first}, {"values", responses.cursors.values}}},
    };
    if (!keepWave)
        summary["waveform_note"] =
            "waveform files skipped: more samples than --max-waveform-samples";
    files.push_back((dir / "summary.json").string());
    summary["files"] = files;
    std::ofstream(dir / "summary.json") << summary.dump(2) << "\n";

    if (!o.quiet) {
        std::printf("AMI_Init %ld, %ld AMI_GetWave calls (%ld failed), AMI_Close %ld\n",
                    result.initResult, result.waveCalls, result.failedWaveCalls,
                    result.closeResult);
        if (!result.message.empty()) std::printf("message: %s\n", result.message.c_str());
        std::printf(
            "eye height %.6g V, eye width %.4g UI at phase %d/%d; rise time %.4g ps; swing %.6g V "
            "p-p\n",
            metrics.height, metrics.widthUi, metrics.bestPhase, N, responses.riseSeconds * 1e12,
            metrics.peakToPeak);
        for (const std::string& b : breaches) std::printf("contract breach: %s\n", b.c_str());
        std::printf("wrote:\n");
        for (const std::string& f : files) std::printf("  %s\n", f.c_str());
    }
    return breaches.empty() ? 0 : 1;
}

int CommandCheckInvariance(const InvarianceOptions& o) {
    Setup setup;
    if (const int status = Prepare(o, setup)) return status;
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    if (plan.samples > (std::uint64_t{1} << 26)) {
        Error("check-invariance keeps the waveform in memory; use at most 2^26 samples");
        return 2;
    }
    std::vector<double> stimulus(static_cast<std::size_t>(plan.samples));
    StimulusSource source(plan, o, setup.ignoreBits);
    source.Fill(stimulus.data(), stimulus.size(), 0);
    std::vector<std::string> names;
    std::string list = o.policies;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        names.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    std::vector<double> reference;
    double worstAll = 0;
    bool breached = false;
    for (const std::string& name : names) {
        BlockPolicy policy;
        if (!BlockPolicy::Parse(name, policy)) {
            Error("unknown block policy '" + name + "'");
            return 2;
        }
        const RunResult r = RunModel(setup.lib, ConfigOf(o, setup, policy), stimulus);
        for (const std::string& b : r.breaches)
            std::printf("%s: contract breach: %s\n", name.c_str(), b.c_str());
        breached = breached || !r.breaches.empty();
        if (reference.empty()) {
            reference = r.output;
            std::printf("%-16s reference (%ld calls)\n", name.c_str(), r.waveCalls);
            continue;
        }
        double worst = 0;
        std::size_t differing = 0;
        for (std::size_t k = 0; k < reference.size(); ++k) {
            const double d = std::fabs(r.output[k] - reference[k]);
            if (d > 0 || std::memcmp(&r.output[k], &reference[k], 8) != 0) ++differing;
            worst = std::max(worst, std::isnan(d) ? INFINITY : d);
        }
        worstAll = std::max(worstAll, worst);
        std::printf("%-16s largest difference %.3g V, %zu samples differ (%ld calls)\n",
                    name.c_str(), worst, differing, r.waveCalls);
    }
    const bool same = worstAll <= o.tolerance;
    std::printf("largest difference %.3g V: %s (tolerance %.3g V)\n", worstAll,
                same ? "invariant" : "NOT invariant", o.tolerance);
    return same && !breached ? 0 : 1;
}

bool ParseGridValues(const std::string& text, std::vector<std::string>& values) {
    values.clear();
    if (text.find(':') != std::string::npos) {
        double lo = 0, hi = 0, step = 1;
        char extra = 0;
        const int n = std::sscanf(text.c_str(), "%lf:%lf:%lf%c", &lo, &hi, &step, &extra);
        if (n < 2 || n > 3 || !(step > 0) || hi < lo || (hi - lo) / step > 1e6) return false;
        for (double v = lo; v <= hi + 1e-9 * step; v += step) {
            std::ostringstream s;
            s << v;
            values.push_back(s.str());
        }
        return true;
    }
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        if (item.empty()) return false;
        values.push_back(item);
        at = comma + 1;
    }
    return !values.empty();
}

bool ParseShard(const std::string& text, int& k, int& n) {
    char extra = 0;
    return std::sscanf(text.c_str(), "%d/%d%c", &k, &n, &extra) == 2 && n >= 1 && k >= 1 && k <= n;
}

int CommandSweep(const SweepOptions& o) {
    if (o.amiFile.empty()) {
        Error("sweep needs an .ami file (--ami)");
        return 2;
    }
    Setup probe;
    if (const int status = Prepare(o, probe)) return status;
    int shardK = 1, shardN = 1;
    if (!ParseShard(o.shard, shardK, shardN)) {
        Error("--shard expects K/N with 1 <= K <= N");
        return 2;
    }
    // The grid: every code of every integer Range or List by default; --grid
    // replaces a parameter's values; --set fixes it.
    std::map<std::string, std::string> fixed;
    if (!ParseSets(o.sets, fixed)) return 2;
    std::vector<std::pair<std::string, std::vector<std::string>>> axes;
    std::map<std::string, std::vector<std::string>> given;
    for (const std::string& g : o.grid) {
        const std::size_t eq = g.find('=');
        std::vector<std::string> values;
        if (eq == std::string::npos || !ParseGridValues(g.substr(eq + 1), values)) {
            Error("--grid expects NAME=a,b,c or NAME=lo:hi[:step], got '" + g + "'");
            return 2;
        }
        given[g.substr(0, eq)] = values;
    }
    for (const AmiParameter& p : probe.file.parameters) {
        if (p.usage != "In" && p.usage != "InOut") continue;
        if (fixed.count(p.name) || fixed.count(p.path)) continue;
        std::vector<std::string> values;
        if (given.count(p.name)) {
            values = given[p.name];
            given.erase(p.name);
        } else if (given.count(p.path)) {
            values = given[p.path];
            given.erase(p.path);
        } else if (!p.list.empty()) {
            values = p.list;
        } else if (p.min && p.max && p.type == "Integer" && *p.max - *p.min <= 4096) {
            for (long v = std::lround(*p.min); v <= std::lround(*p.max); ++v)
                values.push_back(std::to_string(v));
        } else {
            continue;
        }
        axes.emplace_back(p.path, values);
    }
    for (const auto& [name, values] : given) {
        Error("--grid names an unknown input parameter " + name);
        return 2;
    }
    std::uint64_t total = 1;
    for (const auto& axis : axes) total *= axis.second.size();
    std::vector<std::uint64_t> mine;
    for (std::uint64_t i = 0; i < total; ++i) {
        if (static_cast<int>(i % static_cast<std::uint64_t>(shardN)) == shardK - 1)
            mine.push_back(i);
    }
    std::ofstream csv(o.output);
    if (!csv) {
        Error("cannot write " + o.output);
        return 2;
    }
    csv.imbue(std::locale::classic());
    csv.precision(10);
    csv << "index";
    for (const auto& axis : axes) csv << ',' << axis.first;
    csv << ",eye_height_V,eye_width_UI";
    for (int k = -2; k <= 5; ++k) csv << ",cursor_" << (k > 0 ? "+" : "") << k;
    csv << ",ok\n";

    const int jobs =
        o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> rows(mine.size());
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<int> failures{0};
    ProgressBar bar(!o.quiet, "sweep");
    std::mutex barMutex;
    auto worker = [&] {
        for (;;) {
            const std::size_t slot = next++;
            if (slot >= mine.size()) break;
            std::uint64_t index = mine[slot];
            std::map<std::string, std::string> combo = fixed;
            std::ostringstream row;
            row.imbue(std::locale::classic());
            row.precision(10);
            row << mine[slot];
            std::vector<std::string> picked(axes.size());
            for (std::size_t a = axes.size(); a-- > 0;) {
                const auto& values = axes[a].second;
                picked[a] = values[index % values.size()];
                index /= values.size();
            }
            for (std::size_t a = 0; a < axes.size(); ++a) {
                combo[axes[a].first] = picked[a];
                row << ',' << picked[a];
            }
            Setup setup;
            CommonOptions quiet = o;
            quiet.quiet = true;
            quiet.sets.clear();
            if (Prepare(quiet, setup, combo) != 0) {
                ++failures;
                row << ",,,,,,,,,,0";
            } else {
                StimulusPlan plan;
                PlanStimulus(quiet, setup.ignoreBits, plan);
                std::vector<double> stimulus(static_cast<std::size_t>(plan.samples));
                StimulusSource source(plan, quiet, setup.ignoreBits);
                source.Fill(stimulus.data(), stimulus.size(), 0);
                const RunResult r =
                    RunModel(setup.lib, ConfigOf(quiet, setup, BlockPolicy{}), stimulus);
                const EyeMetrics m = MeasureEye(r.output, o.samplesPerBit,
                                                static_cast<std::size_t>(setup.ignoreBits) *
                                                    static_cast<std::size_t>(o.samplesPerBit));
                const Responses responses = MeasureResponses(setup, quiet);
                row << ',' << m.height << ',' << m.widthUi;
                for (double c : responses.cursors.values) row << ',' << c;
                const bool ok = r.Ok();
                if (!ok) ++failures;
                row << ',' << (ok ? 1 : 0);
            }
            rows[slot] = row.str();
            const std::size_t finished = ++done;
            std::lock_guard<std::mutex> lock(barMutex);
            bar.Update(finished, mine.size());
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < jobs; ++t) pool.emplace_back(worker);
    for (std::thread& t : pool) t.join();
    for (const std::string& row : rows) csv << row << '\n';
    csv.close();
    if (!o.quiet) {
        std::printf(
            "swept %zu of %llu combinations (shard %d/%d) on %d threads into %s; %d failed\n",
            mine.size(), static_cast<unsigned long long>(total), shardK, shardN, jobs,
            o.output.c_str(), failures.load());
    }
    return failures == 0 ? 0 : 1;
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
            if (fs::exists(p, e)) return p.string();
        }
        return "";
    };
    if (o.library.empty()) {
        o.library = pick({here / "varnok_meridel_qlx_ami_tx.so",
                          here / "../model/varnok_meridel_qlx_ami_tx.so",
                          fs::path(AMIHOST_BUILD_DIR) / "model/varnok_meridel_qlx_ami_tx.so"});
    }
    if (o.amiFile.empty()) {
        o.amiFile = pick({here / "varnok_meridel_qlx_ami_tx.ami",
                          here / "../package/varnok_meridel_qlx_ami_tx.ami",
                          fs::path(AMIHOST_SOURCE_DIR) / "package/varnok_meridel_qlx_ami_tx.ami"});
    }
    if (o.library.empty() || o.amiFile.empty()) {
        Error(
            "cannot find this project's library and .ami file; give them with --library and --ami");
        return 2;
    }
    if (!o.quiet)
        std::printf("demo: %s with %s on %s\n", o.library.c_str(), o.amiFile.c_str(),
                    o.stimulus.c_str());
    return CommandRun(o);
}

}  // namespace amihost
