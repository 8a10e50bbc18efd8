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

int CommandSweep(const SweepOptions& options) {
    SweepOptions o = options;
    if (const int status = ResolveIbs(o)) return status;
    GridRun run;
    if (const int status =
            PrepareGridRun("sweep", o, o.grid, o.jobsGiven, o.jobs, o.shard, run, true, o.rxGrid))
        return status;
    const Setup& probe = run.probe;
    const int shardK = run.shardK, shardN = run.shardN;
    const std::map<std::string, std::string>& fixed = run.fixed;
    const Grid& grid = run.grid;
    const std::vector<const AmiParameter*>& inputs = grid.inputs;
    const std::uint64_t total = grid.total;
    Channel channel;
    StatEyeOptions statOptions;
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    ApplyReservedJitter(run.probe, "Tx", o.bitTime, statOptions);
    if (run.haveRx) ApplyReservedJitter(run.rxProbe, "Rx", o.bitTime, statOptions);
    const std::shared_ptr<const std::vector<double>> initImpulse = InitImpulse(o, channel);
    const bool haveChannel = !o.channel.empty();
    // A receiver follows the channel (an identity without --channel).
    const bool haveLink = haveChannel || run.haveRx;
    if (!haveChannel && o.StatisticalNoiseGiven()) {
        PrintError(
            "--noise-rms, --rj-rms, --dj, --sj, --dcd, --sensitivity and --clock-pdf act on the "
            "statistical eye, which sweep computes behind --channel only");
        return ExitStatus(ErrorKind::Usage);
    }
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, probe.ignoreBits, plan)) return status;
    if (plan.samples > kMaxInMemorySamples) {
        PrintError("each sweep row keeps its waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples (this is " +
                   std::to_string(plan.samples) + ")");
        return ExitStatus(ErrorKind::Input);
    }
    // This shard's rows: index i with i mod N = K - 1, in increasing order.
    std::vector<std::uint64_t> mine;
    for (std::uint64_t i = static_cast<std::uint64_t>(shardK - 1); i < total;
         i += static_cast<std::uint64_t>(shardN))
        mine.push_back(i);

    // A share of the grid records what it ran, for merge.
    Expected<RunRecord> record = RunRecord{};
    if (shardN > 1) record = RecordRun("sweep", o, run, plan.bits, -1);
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
    std::string header = "index";
    for (const AmiParameter* p : inputs) header += "," + p->path;
    for (const AmiParameter* p : run.rxGrid.inputs) header += "," + (kRxPrefix + p->path);
    header += std::string(",") + kMetricColumns;
    if (haveLink)
        header +=
            ",channel_eye_height_V,channel_eye_width_UI,stat_eye_height_V,stat_eye_width_UI,ber_at_"
            "best";
    if (run.haveRx)
        header +=
            ",rx_eye_height_V,rx_eye_width_UI,rx_stat_eye_height_V,rx_stat_eye_width_UI,rx_ber_at_"
            "best";
    // The whole grid's size on every row: merge checks that the shards cover it.
    header += ",grid_size\n";
    csv.Write(header);

    const int wanted = o.jobsGiven ? o.jobs : Cores();
    const int jobs = static_cast<int>(std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(wanted), mine.size())));
    // The eye of `y` (empty: none) and the statistical eye of `link`, as cells.
    auto LinkCells = [&](const std::vector<double>& y, const ProbeResponses& link,
                         const std::vector<int>& bits, int ignoreBits) {
        EyeMetrics c;
        if (!y.empty())
            c = MeasureEye(y, o.samplesPerBit, static_cast<std::size_t>(ignoreBits),
                           link.delaySamples, bits);
        const bool stat = link.ok && link.stat.valid;
        return "," + (c.valid ? Cell(c.height) : "") + "," + (c.valid ? Cell(c.widthUi) : "") +
               "," + (stat ? Cell(link.stat.heightAtTarget) : "") + "," +
               (stat ? Cell(link.stat.widthAtTarget) : "") + "," +
               (stat ? Cell(link.stat.bathtub[static_cast<std::size_t>(link.stat.bestPhase)]) : "");
    };
    // The receiver after the channel: its responses, its AMI_GetWave on the
    // channel's output `y`, their eyes as cells; a breach or failure in `reason`.
    auto ReceiverCells = [&](const Setup& rx, const CommonOptions& quiet,
                             const std::vector<double>& y, const ProbeResponses& link,
                             const std::vector<double>& afterTx, const std::vector<int>& bits,
                             int ignoreBits, std::string& reason) {
        std::vector<std::string> breaches;
        RunConfig config = ConfigOf(quiet, rx, BlockPolicy{});
        const double dt = o.bitTime / o.samplesPerBit;
        config.impulse = std::make_shared<const std::vector<double>>(ImpulseMatrixOf(afterTx, dt));
        const ProbeResponses out =
            ReceiverResponses(rx.lib, config, afterTx, link, statOptions, breaches);
        std::vector<double> z;
        if (!y.empty() && out.ok) {
            RunResult stream = RunModel(rx.lib, config, y);
            for (const std::string& b : stream.breaches) breaches.push_back(b);
            if (stream.initResult == 1 && stream.output.size() == y.size())
                z = std::move(stream.output);
        }
        if (reason.empty() && !breaches.empty())
            reason = "contract breach: receiver: " + breaches[0];
        if (reason.empty() && !out.ok) reason = "the receiver: " + out.note;
        return LinkCells(z, out, bits, ignoreBits);
    };
    auto valueColumns = [&](const std::map<std::string, std::string>& combo) {
        return ValueCells(run, combo);
    };
    const std::string noLink = haveLink ? ",,,,," : "", noRx = run.haveRx ? ",,,,," : "";
    // A row without results: its index, the values it was given, no metrics.
    auto emptyRow = [&](std::size_t slot, const std::string& reason) {
        return std::to_string(mine[slot]) + valueColumns(grid.Combination(mine[slot], fixed)) +
               std::string(kMetricCount - 1, ',') + ",0," + CsvText(reason) + noLink + noRx;
    };
    // One row, in a worker process: the row, a line end, and 1 when it failed.
    auto rowOf = [&](std::size_t slot) {
        const std::map<std::string, std::string> combo = grid.Combination(mine[slot], fixed);
        std::map<std::string, std::string> txValues, rxValues;
        SplitRow(run, combo, txValues, rxValues);
        Setup setup;
        CommonOptions quiet = o;
        quiet.quiet = true;
        quiet.sets.clear();
        // The probe's .ami file as read (its fixed codes are among the row's).
        setup.initImpulse = initImpulse;
        if (Prepare(quiet, setup, txValues, probe.haveFile ? &probe.file : nullptr) != 0)
            return emptyRow(slot, "the model could not be loaded or its parameters built") + "\n1";
        Setup rx;
        if (run.haveRx && PrepareReceiverRow(o, run, rxValues, rx) != 0)
            return emptyRow(slot, "the receiver could not be loaded or its parameters built") +
                   "\n1";
        const int ignoreBits = std::max(setup.ignoreBits, run.haveRx ? rx.ignoreBits : 0);
        StimulusPlan rowPlan;
        PlanStimulus(quiet, ignoreBits, rowPlan);
        std::vector<double> stimulus(static_cast<std::size_t>(rowPlan.samples));
        StimulusSource source(rowPlan, quiet, ignoreBits);
        source.SetEdgeJitter(TxEdgeJitter(setup, o.bitTime));
        source.Fill(stimulus.data(), stimulus.size(), 0);
        const RunResult r = RunModel(setup.lib, ConfigOf(quiet, setup, BlockPolicy{}), stimulus);
        StatEyeOptions txOptions = statOptions;
        txOptions.enabled = false;
        const Responses responses = MeasureResponses(setup, quiet, txOptions);
        const ProbeResponses& txr = responses.probe;
        std::vector<int> bits(static_cast<std::size_t>(rowPlan.bits));
        for (std::size_t b = 0; b < bits.size(); ++b) bits[b] = source.Bit(b) == 1;
        EyeMetrics m;
        if (r.initResult == 1 && responses.ok)
            m = MeasureEye(r.output, o.samplesPerBit, static_cast<std::size_t>(ignoreBits),
                           txr.delaySamples, bits);
        std::string row = std::to_string(mine[slot]) + valueColumns(combo);
        row += "," + (m.valid ? Cell(m.height) : "") + "," + (m.valid ? Cell(m.widthUi) : "");
        row += "," + (responses.ok && txr.riseSamples
                          ? Cell(*txr.riseSamples * o.bitTime / o.samplesPerBit)
                          : "");
        row += "," + (m.valid ? Cell(m.peakToPeak) : "");
        row +=
            "," + (responses.ok ? Cell(txr.high) : "") + "," + (responses.ok ? Cell(txr.low) : "");
        for (int c = 0; c < 8; ++c) {
            const bool have =
                responses.ok && static_cast<std::size_t>(c) < txr.cursors.values.size();
            row += "," + (have ? Cell(txr.cursors.values[static_cast<std::size_t>(c)]) : "");
        }
        std::string reason = RowFailure(r, responses), linkCells, rxCells;
        if (haveLink) {
            // The same run behind the channel, and its statistical eye.
            const ProbeResponses link =
                ThroughChannel(txr, channel.impulse, channel.dcGain, o.samplesPerBit, statOptions);
            std::vector<double> y;
            if (m.valid && link.ok) {
                y = ConvolveFull(r.output, channel.impulse);
                y.resize(r.output.size());
            }
            linkCells = LinkCells(y, link, bits, ignoreBits);
            if (run.haveRx)
                rxCells = ReceiverCells(rx, quiet, y, link,
                                        ImpulseAfterTransmitter(setup, quiet, channel, txr), bits,
                                        ignoreBits, reason);
        }
        const bool failed = !reason.empty();
        row += (failed ? ",0," : ",1,") + CsvText(reason) + linkCells + rxCells;
        return row + "\n" + (failed ? "1" : "0");
    };
    AnnounceGrid("sweep", o, grid, mine.size(), jobs, !o.grid.empty());
    const std::vector<WorkOutcome> outcomes = RunRows("sweep", o, jobs, mine.size(), rowOf);
    if (Interrupted()) {
        PrintError("interrupted; " + o.output + " was not written");
        return ExitStatus(ErrorKind::Interrupted);
    }
    std::vector<std::string> rows(mine.size());
    int failures = 0;
    for (std::size_t slot = 0; slot < mine.size(); ++slot) {
        const WorkOutcome& w = outcomes[slot];
        const std::size_t cut = w.payload.rfind('\n');
        if (w.done && cut != std::string::npos) {
            rows[slot] = w.payload.substr(0, cut);
            failures += w.payload.substr(cut + 1) == "1";
        } else {
            rows[slot] = emptyRow(slot, w.failure.empty() ? std::string("no result") : w.failure);
            ++failures;
            PrintWarning("row " + std::to_string(mine[slot]) + ": " +
                         (w.failure.empty() ? std::string("no result") : w.failure));
        }
    }
    for (const std::string& row : rows) csv.Write(row + "," + std::to_string(total) + "\n");
    if (shardN > 1) csv.Write(ShardEndLine(rows.size()));
    if (const Status committed = csv.Commit(); !committed) {
        PrintError(committed.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (!o.report.empty()) {
        HtmlReport report("amihost sweep", o.commandLine, AmihostVersion());
        report.AddFacts("What was run", RunFacts(o, probe, plan.Describe()));
        std::vector<std::vector<std::string>> table;
        const std::size_t shown = std::min<std::size_t>(rows.size(), kReportRows);
        for (std::size_t r = 0; r < shown; ++r)
            table.push_back(SplitCsvLine(rows[r] + "," + std::to_string(total)));
        report.AddTable(
            "The rows (as in " + o.output + ")", SplitCsvLine(header), table,
            std::to_string(rows.size()) + " rows, " + std::to_string(failures) + " failed" +
                (shown < rows.size() ? "; the first " + std::to_string(shown) + " shown" : ""));
        report.AddList("Warnings", WarningsPrinted(), "warning");
        if (const Status written = report.Write(o.report); !written) {
            PrintError(written.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    if (!o.quiet) {
        std::printf(
            "swept %zu of %llu combinations (shard %d/%d) in %d worker process%s (of %d asked) "
            "into %s; %d failed\n",
            mine.size(), static_cast<unsigned long long>(total), shardK, shardN, jobs,
            jobs == 1 ? "" : "es", wanted, o.output.c_str(), failures);
    }
    return failures == 0 ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

}  // namespace amihost
