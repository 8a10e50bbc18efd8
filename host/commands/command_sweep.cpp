// amihost sweep: a grid of parameter values on every core, one CSV row each,
// optionally one share (shard) of the grid.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "grid.h"
#include "grid_row.h"
#include "html_report.h"
#include "output.h"
#include "receiver.h"
#include "session.h"
#include "shard.h"
#include "workers.h"

namespace amihost {

Expected<std::vector<std::string>> ParseGridValues(const std::string& text) {
    std::vector<std::string> values;
    if (text.find(':') != std::string::npos) {
        double lo = 0, hi = 0, step = 1;
        char extra = 0;
        const int n = std::sscanf(text.c_str(), "%lf:%lf:%lf%c", &lo, &hi, &step, &extra);
        if (n < 2 || n > 3) return Error{"lo:hi or lo:hi:step, three numbers at most"};
        if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(step))
            return Error{"the numbers must be finite"};
        if (!(step > 0)) return Error{"the step must be above 0"};
        if (!(hi >= lo)) {
            char why[96];
            std::snprintf(why, sizeof why, "the end %g is below the start %g", hi, lo);
            return Error{why};
        }
        if ((hi - lo) / step > 1e6) return Error{"more than a million values"};
        for (double v = lo; v <= hi + 1e-9 * step; v += step) {
            std::ostringstream s;
            s.imbue(std::locale::classic());
            s << v;
            values.push_back(s.str());
        }
        return values;
    }
    if (text.empty()) return Error{"no values"};
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        if (item.empty()) return Error{"an empty value between commas"};
        values.push_back(item);
        at = comma + 1;
    }
    return values;
}

Expected<Shard> ParseShard(const std::string& text) {
    Shard shard;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d/%d%c", &shard.k, &shard.n, &extra) == 2 && shard.n >= 1 &&
        shard.k >= 1 && shard.k <= shard.n)
        return shard;
    return Error{"--shard expects K/N with 1 <= K <= N, got '" + text + "'"};
}

namespace {

// The columns after the parameters, with their units.
const char kMetricColumns[] =
    "eye_height_V,eye_width_UI,rise_time_20_80_s,peak_to_peak_V,dc_high_V,dc_low_V,"
    "cursor_-2_V,cursor_-1_V,cursor_0_V,cursor_+1_V,cursor_+2_V,cursor_+3_V,cursor_+4_V,"
    "cursor_+5_V,ok,reason";
constexpr int kMetricCount = 15;

std::string Cell(double v) { return CsvNumber(v, 10); }

// Rows a report shows at most (the CSV has them all).
constexpr std::size_t kReportRows = 2000;

// Why a row failed, or nothing: a contract breach, a failed call, a
// response that could not be measured.
std::string RowFailure(const RunResult& r, const Responses& responses) {
    if (!r.breaches.empty()) return "contract breach: " + r.breaches.front();
    if (r.initResult != 1) return "AMI_Init returned " + std::to_string(r.initResult);
    if (!r.Ok()) return "AMI_GetWave failed " + std::to_string(r.failedWaveCalls) + " time(s)";
    const std::vector<std::string> breaches = responses.Breaches();
    if (!breaches.empty()) return "contract breach: " + breaches.front();
    if (!responses.ok) return responses.Note();
    return "";
}

}  // namespace

namespace {

// What every row of a sweep shares.
struct SweepContext {
    SweepContext(const SweepOptions& options, const GridRun& grid) : o(options), run(grid) {}
    const SweepOptions& o;
    const GridRun& run;
    std::vector<std::uint64_t> mine;  // this shard's rows: index i with i mod N = K - 1
    Channel channel;
    StatEyeOptions statOptions;
    std::shared_ptr<const std::vector<double>> initImpulse;
    bool haveLink = false;  // a receiver follows the channel (an identity without --channel)
    StimulusPlan plan;
};

// The channel, the statistical options and the stimulus. Returns 0 or an exit status.
int PrepareSweep(SweepContext& c) {
    const SweepOptions& o = c.o;
    if (const int status = LoadGridChannel(o, c.run, c.channel, c.statOptions, c.initImpulse))
        return status;
    const bool haveChannel = !o.channel.empty();
    c.haveLink = haveChannel || c.run.haveRx;
    if (!haveChannel && o.StatisticalNoiseGiven()) {
        PrintError(
            "--noise-rms, --rj-rms, --dj, --sj, --dcd, --sensitivity and --clock-pdf act on the "
            "statistical eye, which sweep computes behind --channel only");
        return ExitStatus(ErrorKind::Usage);
    }
    if (const int status = PlanStimulus(o, c.run.probe.ignoreBits, c.plan)) return status;
    if (c.plan.samples > kMaxInMemorySamples) {
        PrintError("each sweep row keeps its waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples (this is " +
                   std::to_string(c.plan.samples) + ")");
        return ExitStatus(ErrorKind::Input);
    }
    for (std::uint64_t i = static_cast<std::uint64_t>(c.run.shardK - 1); i < c.run.grid.total;
         i += static_cast<std::uint64_t>(c.run.shardN))
        c.mine.push_back(i);
    return kExitSuccess;
}

std::string SweepHeader(const SweepContext& c) {
    std::string header = "index";
    for (const AmiParameter* p : c.run.grid.inputs) header += "," + p->path;
    for (const AmiParameter* p : c.run.rxGrid.inputs) header += "," + (kRxPrefix + p->path);
    header += std::string(",") + kMetricColumns;
    if (c.haveLink)
        header +=
            ",channel_eye_height_V,channel_eye_width_UI,stat_eye_height_V,stat_eye_width_UI,ber_at_"
            "best";
    if (c.run.haveRx)
        header +=
            ",rx_eye_height_V,rx_eye_width_UI,rx_stat_eye_height_V,rx_stat_eye_width_UI,rx_ber_at_"
            "best";
    // The whole grid's size on every row: merge checks that the shards cover it.
    return header + ",grid_size\n";
}

// The eye of `y` (empty: none) and the statistical eye of `link`, as cells.
std::string LinkCells(const SweepContext& c, const std::vector<double>& y,
                      const ProbeResponses& link, const std::vector<int>& bits, int ignoreBits) {
    EyeMetrics m;
    if (!y.empty())
        m = MeasureEye(y, c.o.samplesPerBit, static_cast<std::size_t>(ignoreBits),
                       link.delaySamples, bits);
    const bool stat = link.ok && link.stat.valid;
    return "," + (m.valid ? Cell(m.height) : "") + "," + (m.valid ? Cell(m.widthUi) : "") + "," +
           (stat ? Cell(link.stat.heightAtTarget) : "") + "," +
           (stat ? Cell(link.stat.widthAtTarget) : "") + "," +
           (stat ? Cell(link.stat.bathtub[static_cast<std::size_t>(link.stat.bestPhase)]) : "");
}

// The receiver after the channel: its responses, its AMI_GetWave on the
// channel's output `y`, their eyes as cells; a breach or failure in `reason`.
std::string ReceiverCells(const SweepContext& c, const RowModels& m, const std::vector<double>& y,
                          const ProbeResponses& link, const std::vector<double>& afterTx,
                          const std::vector<int>& bits, int ignoreBits, std::string& reason) {
    std::vector<std::string> breaches;
    const RunConfig config = ReceiverConfig(m, afterTx);
    const ProbeResponses out =
        ReceiverResponses(m.rx.lib, config, afterTx, link, c.statOptions, breaches);
    std::vector<double> z;
    if (!y.empty() && out.ok) {
        RunResult stream = RunModel(m.rx.lib, config, y);
        for (const std::string& b : stream.breaches) breaches.push_back(b);
        if (stream.initResult == 1 && stream.output.size() == y.size())
            z = std::move(stream.output);
    }
    if (reason.empty() && !breaches.empty()) reason = "contract breach: receiver: " + breaches[0];
    if (reason.empty() && !out.ok) reason = "the receiver: " + out.note;
    return LinkCells(c, z, out, bits, ignoreBits);
}

// A row without results: its index, the values it was given, no metrics.
std::string EmptyRow(const SweepContext& c, std::size_t slot, const std::string& reason) {
    const std::string noLink = c.haveLink ? ",,,,," : "", noRx = c.run.haveRx ? ",,,,," : "";
    return std::to_string(c.mine[slot]) +
           ValueCells(c.run, c.run.grid.Combination(c.mine[slot], c.run.fixed)) +
           std::string(kMetricCount - 1, ',') + ",0," + CsvText(reason) + noLink + noRx;
}

// The transmitter's cells: its eye, rise time, peak-to-peak, levels and cursors.
std::string TxCells(const SweepContext& c, const EyeMetrics& m, const Responses& responses) {
    const ProbeResponses& txr = responses.probe;
    std::string row =
        "," + (m.valid ? Cell(m.height) : "") + "," + (m.valid ? Cell(m.widthUi) : "");
    row += "," + (responses.ok && txr.riseSamples
                      ? Cell(*txr.riseSamples * c.o.bitTime / c.o.samplesPerBit)
                      : "");
    row += "," + (m.valid ? Cell(m.peakToPeak) : "");
    row += "," + (responses.ok ? Cell(txr.high) : "") + "," + (responses.ok ? Cell(txr.low) : "");
    for (int k = 0; k < 8; ++k) {
        const bool have = responses.ok && static_cast<std::size_t>(k) < txr.cursors.values.size();
        row += "," + (have ? Cell(txr.cursors.values[static_cast<std::size_t>(k)]) : "");
    }
    return row;
}

// One row, in a worker process.
RowOutcome SweepRow(const SweepContext& c, std::size_t slot) {
    const std::map<std::string, std::string> combo =
        c.run.grid.Combination(c.mine[slot], c.run.fixed);
    // The probe's .ami file as read (its fixed codes are among the row's).
    RowModels models;
    if (LoadRowModels(c.run, c.o, combo, c.initImpulse, true, models) && c.run.haveRx)
        LoadRowReceiver(c.run, c.o, models);
    RowOutcome out;
    if (!models.failure.empty()) {
        out.text = EmptyRow(c, slot, models.failure);
        return out;
    }
    const int ignoreBits = std::max(models.tx.ignoreBits, c.run.haveRx ? models.rx.ignoreBits : 0);
    const RowStream stream = StreamRow(models, ignoreBits, ignoreBits);
    const RunResult& r = stream.result;
    StatEyeOptions txOptions = c.statOptions;
    txOptions.enabled = false;
    const Responses responses = MeasureResponses(models.tx, models.quiet, txOptions);
    const ProbeResponses& txr = responses.probe;
    EyeMetrics m;
    if (r.initResult == 1 && responses.ok)
        m = MeasureEye(r.output, c.o.samplesPerBit, static_cast<std::size_t>(ignoreBits),
                       txr.delaySamples, stream.bits);
    std::string row =
        std::to_string(c.mine[slot]) + ValueCells(c.run, combo) + TxCells(c, m, responses);
    std::string reason = RowFailure(r, responses), linkCells, rxCells;
    if (c.haveLink) {
        // The same run behind the channel, and its statistical eye.
        const Channel& ch = c.channel;
        const ProbeResponses link =
            ThroughChannel(txr, ch.impulse, ch.dcGain, c.o.samplesPerBit, c.statOptions);
        std::vector<double> y;
        if (m.valid && link.ok) {
            y = ConvolveFull(r.output, ch.impulse);
            y.resize(r.output.size());
        }
        linkCells = LinkCells(c, y, link, stream.bits, ignoreBits);
        if (c.run.haveRx)
            rxCells = ReceiverCells(c, models, y, link,
                                    ImpulseAfterTransmitter(models.tx, models.quiet, ch, txr),
                                    stream.bits, ignoreBits, reason);
    }
    const bool failed = !reason.empty();
    row += (failed ? ",0," : ",1,") + CsvText(reason) + linkCells + rxCells;
    out.ok = !failed;
    out.text = row;
    return out;
}

// The rows as the workers returned them; a row without a result is an
// empty row with its reason.
std::vector<std::string> CollectRows(const SweepContext& c,
                                     const std::vector<WorkOutcome>& outcomes, int& failures) {
    std::vector<std::string> rows(c.mine.size());
    for (std::size_t slot = 0; slot < c.mine.size(); ++slot) {
        const WorkOutcome& w = outcomes[slot];
        const Expected<RowOutcome> row =
            w.done ? DecodeRowOutcome(w.payload) : Expected<RowOutcome>(Error{w.failure});
        if (w.done && row) {
            rows[slot] = row->text;
            failures += !row->ok;
            continue;
        }
        const std::string why = w.failure.empty() ? std::string("no result") : w.failure;
        rows[slot] = EmptyRow(c, slot, why);
        ++failures;
        PrintWarning("row " + std::to_string(c.mine[slot]) + ": " + why);
    }
    return rows;
}

Status WriteSweepReport(const SweepContext& c, const std::string& header,
                        const std::vector<std::string>& rows, int failures) {
    const SweepOptions& o = c.o;
    const std::string total = std::to_string(c.run.grid.total);
    HtmlReport report("amihost sweep", o.commandLine, AmihostVersion());
    report.AddFacts("What was run", RunFacts(o, c.run.probe, c.plan.Describe()));
    std::vector<std::vector<std::string>> table;
    const std::size_t shown = std::min<std::size_t>(rows.size(), kReportRows);
    for (std::size_t r = 0; r < shown; ++r) table.push_back(SplitCsvLine(rows[r] + "," + total));
    report.AddTable(
        "The rows (as in " + o.output + ")", SplitCsvLine(header), table,
        std::to_string(rows.size()) + " rows, " + std::to_string(failures) + " failed" +
            (shown < rows.size() ? "; the first " + std::to_string(shown) + " shown" : ""));
    report.AddList("Warnings", WarningsPrinted(), "warning");
    return report.Write(o.report);
}

}  // namespace

int CommandSweep(const SweepOptions& options) {
    SweepOptions o = options;
    if (const int status = ResolveIbs(o)) return status;
    GridRun run;
    if (const int status =
            PrepareGridRun("sweep", o, o.grid, o.jobsGiven, o.jobs, o.shard, run, true, o.rxGrid))
        return status;
    SweepContext c(o, run);
    if (const int status = PrepareSweep(c)) return status;
    // A share of the grid records what it ran, for merge.
    Expected<RunRecord> record = RunRecord{};
    if (run.shardN > 1) record = RecordRun("sweep", o, run, c.plan.bits, -1);
    if (!record) {
        PrintError(record.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (const int status = CreateOutputFolder(o.outDir)) return status;
    OutputFile csv(o.output);
    if (const Status opened = csv.Open(); !opened) {
        PrintError(opened.error());
        return ExitStatus(ErrorKind::Input);
    }
    csv.Write(record->Text());
    const std::string header = SweepHeader(c);
    csv.Write(header);
    const Expected<GridRows> ran =
        RunGridRows("sweep", o, run.grid, c.mine.size(), o.jobsGiven, o.jobs, !o.grid.empty(),
                    o.output, [&c](std::size_t slot) { return SweepRow(c, slot); });
    if (!ran) {
        PrintError(ran.error());
        return ExitStatus(ran.kind());
    }
    const int jobs = ran->jobs, wanted = ran->wanted;
    int failures = 0;
    const std::vector<std::string> rows = CollectRows(c, ran->outcomes, failures);
    const std::uint64_t total = run.grid.total;
    for (const std::string& row : rows) csv.Write(row + "," + std::to_string(total) + "\n");
    if (run.shardN > 1) csv.Write(ShardEndLine(rows.size()));
    if (const Status committed = csv.Commit(); !committed) {
        PrintError(committed.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (!o.report.empty()) {
        if (const Status written = WriteSweepReport(c, header, rows, failures); !written) {
            PrintError(written.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    if (!o.quiet) {
        std::printf(
            "swept %zu of %llu combinations (shard %d/%d) in %d worker process%s (of %d asked) "
            "into %s; %d failed\n",
            c.mine.size(), static_cast<unsigned long long>(total), run.shardK, run.shardN, jobs,
            jobs == 1 ? "" : "es", wanted, o.output.c_str(), failures);
    }
    return failures == 0 ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

}  // namespace amihost
