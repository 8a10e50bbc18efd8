#include "report.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "plots.h"

namespace amihost {

using nlohmann::json;

json JsonNumber(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

void AppendCsvNumber(std::string& out, double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}

json ProbeJson(const ProbeReport& p, double bitTime, int N) {
    const ProbeResponses& r = p.responses;
    json j;
    json eye = {{"valid", p.eye.valid}};
    if (p.eye.valid) {
        eye.update({{"height_V", JsonNumber(p.eye.height)},
                    {"closed", !(p.eye.height > 0)},
                    {"width_UI", JsonNumber(p.eye.widthUi)},
                    {"width_s", JsonNumber(p.eye.widthUi * bitTime)},
                    {"sampling_phase_samples", p.eye.bestPhase},
                    {"sampling_phase_UI", static_cast<double>(p.eye.bestPhase) / N},
                    {"system_delay_samples", r.delaySamples},
                    {"threshold_V", JsonNumber(p.eye.threshold)},
                    {"high_level_V", JsonNumber(p.eye.highLevel)},
                    {"low_level_V", JsonNumber(p.eye.lowLevel)},
                    {"bits_analysed", p.eye.bits}});
    } else {
        eye["note"] = p.eye.note.empty() ? "no eye for this stimulus" : p.eye.note;
    }
    j["eye"] = eye;
    j["peak_to_peak_V"] = p.eye.valid ? JsonNumber(p.eye.peakToPeak) : json(nullptr);
    if (!r.ok) {
        j["responses_note"] = r.note;
        return j;
    }
    j["dc_levels_V"] = {{"high", JsonNumber(r.high)}, {"low", JsonNumber(r.low)}};
    j["rise_time_20_80_s"] =
        r.riseSamples ? JsonNumber(*r.riseSamples * bitTime / N) : json(nullptr);
    if (!r.riseSamples) j["rise_time_note"] = "the step response does not cross both 20 % and 80 %";
    j["pulse_cursors_V"] = {{"first_UI", r.cursors.first},
                            {"values", r.cursors.values},
                            {"main_cursor_sample", r.cursors.peakIndex}};
    const StatEye& s = r.stat;
    if (s.valid) {
        char key[32];
        std::snprintf(key, sizeof key, "%.0e", p.targetBer);
        std::string at = key;  // "1e-12"
        if (const std::size_t e = at.find("e-0"); e != std::string::npos) at.erase(e + 2, 1);
        j["statistical_eye"] = {{"target_ber", p.targetBer},
                                {"height_V_at_" + at, JsonNumber(s.heightAtTarget)},
                                {"width_UI_at_" + at, JsonNumber(s.widthAtTarget)},
                                {"grouped_cursors", s.groupedCursors},
                                {"largest_grouped_cursor_V", JsonNumber(s.largestGrouped)},
                                {"best_phase_samples", s.bestPhase},
                                {"ber_at_best", s.bathtub[static_cast<std::size_t>(s.bestPhase)]},
                                {"threshold_V", JsonNumber(s.thresholdAtBest)},
                                {"grid_error_V", JsonNumber(s.gridError)},
                                {"peak_distortion_height_V", JsonNumber(s.peakDistortionHeight)},
                                {"peak_distortion_best_height_V", JsonNumber(s.peakDistortionBest)},
                                {"peak_distortion_best_phase_samples", s.peakDistortionPhase},
                                {"peak_distortion_width_UI", JsonNumber(s.peakDistortionWidth)}};
    }
    return j;
}

namespace {

// A response plot zoomed on a few unit intervals around `centre` (a sample
// index), with the cursors marked.
struct Mark {
    double sample, value;
    std::string label;
};

// The 20 % and 80 % points of a probe's step response.
std::vector<Mark> RiseMarks(const ProbeResponses& r) {
    const double span = r.high - r.low;
    return {{r.rise20, 0.2 * span, "20 %"}, {r.rise80, 0.8 * span, "80 %"}};
}

Status PlotResponse(OutputFile& file, const std::string& title, const std::vector<double>& y,
                    double offset, double bitTime, int N, long centre, long before, long after,
                    const Cursors* cursors, const std::vector<Mark>& marks = {}) {
    LinePlot plot;
    plot.title = title;
    plot.xLabel = "Time (ps)";
    plot.yLabel = "Voltage (V)";
    const double dt = bitTime / N * 1e12;
    const long from = std::max(0L, centre - before * N);
    const long to = std::min(static_cast<long>(y.size()), centre + after * N);
    for (long k = from; k < to; ++k) {
        plot.x.push_back(static_cast<double>(k) * dt);
        plot.y.push_back(offset + y[static_cast<std::size_t>(k)]);
    }
    if (cursors != nullptr && cursors->peakIndex >= 0) {
        for (std::size_t c = 0; c < cursors->values.size(); ++c) {
            const long at = cursors->peakIndex + (cursors->first + static_cast<long>(c)) * N;
            if (at < from || at >= to) continue;
            plot.markX.push_back(static_cast<double>(at) * dt);
            plot.markY.push_back(offset + cursors->values[c]);
            const int k = cursors->first + static_cast<int>(c);
            plot.markLabel.push_back(k == 0 ? "0" : (k > 0 ? "+" : "") + std::to_string(k));
        }
    }
    for (const Mark& m : marks) {
        plot.markX.push_back(m.sample * dt);
        plot.markY.push_back(offset + m.value);
        plot.markLabel.push_back(m.label);
    }
    return file.CommitWritten(WriteLinePlot(file.TemporaryPath(), plot));
}

}  // namespace

void ProbePictures(const ProbeReport& p, const EyeDensity& density, const std::string& dir,
                   double bitTime, int N, const std::string& titleExtra,
                   std::vector<std::pair<std::string, Status>>& written) {
    const ProbeResponses& r = p.responses;
    auto path = [&](const std::string& stem) { return dir + "/" + stem + p.suffix + ".png"; };
    if (p.eye.valid) {
        OutputFile png(path("eye"));
        EyePlot plot;
        plot.title = "Eye " + p.label + Format(": height %.4g V", p.eye.height) +
                     Format(", width %.3g UI", p.eye.widthUi) +
                     Format(", threshold %.3g V", p.eye.threshold) + ", phase " +
                     std::to_string(p.eye.bestPhase) + "/" + std::to_string(N);
        if (plot.title.size() + titleExtra.size() <= 110) plot.title += titleExtra;
        plot.unitInterval = bitTime;
        plot.samplesPerBit = N;
        plot.centrePhase = p.eye.bestPhase;
        written.emplace_back(
            png.Path(), png.CommitWritten(WriteEyeDiagram(png.TemporaryPath(), density, plot)));
    }
    if (!r.ok) return;
    {
        // Long enough to show where the rise time's 80 % point is (behind a
        // lossy line, many unit intervals after the step).
        OutputFile png(path("step"));
        const long after = std::max(
            6L, static_cast<long>(std::ceil((r.rise80 - static_cast<double>(r.start)) / N)) + 2);
        written.emplace_back(
            png.Path(), PlotResponse(png, "Step response " + p.label, r.step, r.low, bitTime, N,
                                     static_cast<long>(r.start), 2, after, nullptr,
                                     r.riseSamples ? RiseMarks(r) : std::vector<Mark>{}));
    }
    {
        OutputFile png(path("pulse"));
        written.emplace_back(
            png.Path(),
            PlotResponse(png, "Pulse response (one bit) " + p.label + ", cursors marked", r.pulse,
                         r.low, bitTime, N, r.cursors.peakIndex, 3, 12, &r.cursors));
    }
    if (r.stat.valid) {
        OutputFile stat(path("stat_eye")), tubFile(path("bathtub"));
        char target[32];
        std::snprintf(target, sizeof target, "%.0e", p.targetBer);
        const std::string title = "Statistical eye " + p.label + ": " +
                                  Format("%.4g V", r.stat.heightAtTarget) + " and " +
                                  Format("%.3g UI", r.stat.widthAtTarget) + " at BER " + target +
                                  "; contours 1e-6, 1e-9, 1e-12";
        written.emplace_back(stat.Path(), stat.CommitWritten(WriteStatEye(stat.TemporaryPath(),
                                                                          r.stat, title, bitTime)));
        LinePlot tub;
        tub.title = "Bathtub " + p.label + ": BER at the best decision level";
        tub.xLabel = "Sampling phase (UI)";
        tub.yLabel = "log10 BER";
        for (int k = 0; k < N; ++k) {
            tub.x.push_back(static_cast<double>(k) / N);
            tub.y.push_back(
                std::log10(std::max(r.stat.bathtub[static_cast<std::size_t>(k)], 1e-30)));
        }
        written.emplace_back(tubFile.Path(),
                             tubFile.CommitWritten(WriteLinePlot(tubFile.TemporaryPath(), tub)));
    }
}

}  // namespace amihost
