// amihost optimize: searches a grid of the transmitter's codes for the widest
// eye behind the channel. Every candidate is ranked by the statistical eye of
// its pulse response (fast); the best few are confirmed by a PRBS run.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include "grid.h"
#include "grid_row.h"
#include "html_report.h"
#include "link/inner_loops.h"
#include "output.h"
#include "plots.h"
#include "receiver.h"
#include "session.h"
#include "shard.h"
#include "workers.h"

namespace amihost {

namespace {

struct Candidate {
    std::uint64_t index = 0;
    std::map<std::string, std::string> values;
    bool ok = false;
    double height = 0, width = 0, ber = 1;  // statistical eye at 1e-12, BER at its best point
    double gridError = 0;
    double confirmed = NAN;  // time-domain eye height of the PRBS run
    std::string reason;      // why it could not be ranked
};

// Larger statistical height first; then the lower BER.
bool Better(const Candidate& a, const Candidate& b) {
    if (a.ok != b.ok) return a.ok;
    if (a.height != b.height) return a.height > b.height;
    return a.ber < b.ber;
}

struct OptimizeReport {
    std::string header;
    std::vector<std::string> best;  // CSV lines of the best, best first
    std::string heatmap;            // the picture written, if any
    std::string sets, parameters;   // the best codes
};

Status WriteOptimizeReport(const OptimizeOptions& o, const Setup& probe,
                           const std::string& stimulus, const Grid& grid, const OptimizeReport& r) {
    HtmlReport report("amihost optimize", o.commandLine, AmihostVersion());
    report.AddFacts("What was run", RunFacts(o, probe, stimulus));
    std::vector<std::pair<std::string, std::string>> facts;
    for (const auto& [path, values] : grid.axes)
        facts.emplace_back("grid: " + path, std::to_string(values.size()) + " values, " +
                                                values.front() + " to " + values.back());
    facts.emplace_back("candidates", std::to_string(grid.total));
    facts.emplace_back("best codes", r.sets.empty() ? "(none)" : r.sets.substr(1));
    facts.emplace_back("best parameter string", r.parameters);
    report.AddFacts("The search", facts);
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : r.best) rows.push_back(SplitCsvLine(line));
    report.AddTable("The best candidates (as in " + o.output + ")", SplitCsvLine(r.header), rows,
                    "Ranked by the statistical eye height at BER 1e-12 behind the channel, then "
                    "the lowest BER; prbs_eye_height_V is the eye of a PRBS run of the best " +
                        std::to_string(o.confirm) + ".");
    if (!r.heatmap.empty()) report.AddPicture(r.heatmap, "The grid's heat map (" + r.heatmap + ")");
    report.AddList("Warnings", WarningsPrinted(), "warning");
    return report.Write(o.report);
}

// What every candidate of an optimize shares.
struct OptimizeContext {
    OptimizeContext(const OptimizeOptions& options, const GridRun& grid) : o(options), run(grid) {}
    const OptimizeOptions& o;
    const GridRun& run;
    Channel channel;
    StatEyeOptions statOptions;
    std::shared_ptr<const std::vector<double>> initImpulse;
    StimulusPlan plan;
    std::vector<Candidate> candidates;  // this shard's
    // The channel's response padded once, before the workers start (they
    // share its pages).
    std::unique_ptr<PaddedResponse> padded;
};

// The channel, the statistical options, the stimulus and this shard's
// candidates. Returns 0 or an exit status.
int PrepareOptimize(OptimizeContext& c) {
    const OptimizeOptions& o = c.o;
    if (const int status = LoadGridChannel(o, c.run, c.channel, c.statOptions, c.initImpulse))
        return status;
    // Ranking many candidates: a coarser grid (its error, printed with the
    // best, stays well below a millivolt on 1 V of swing).
    c.statOptions.gridBins = 2048;
    c.statOptions.berMap = false;   // no pictures of the candidates' eyes
    c.statOptions.bestOnly = true;  // only the phases that can be the best
    if (const int status = PlanStimulus(o, c.run.probe.ignoreBits, c.plan)) return status;
    if (c.plan.samples > kMaxInMemorySamples) {
        PrintError("the confirming runs keep their waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples");
        return ExitStatus(ErrorKind::Input);
    }
    for (std::uint64_t i = static_cast<std::uint64_t>(c.run.shardK - 1); i < c.run.grid.total;
         i += static_cast<std::uint64_t>(c.run.shardN)) {
        Candidate candidate;
        candidate.index = i;
        candidate.values = c.run.grid.Combination(i, c.run.fixed);
        c.candidates.push_back(candidate);
    }
    return kExitSuccess;
}

RowOutcome Unranked(const std::string& reason) {
    RowOutcome out;
    out.reason = reason;
    return out;
}

// The receiver's responses to what the channel delivers.
ProbeResponses ThroughReceiver(const OptimizeContext& c, const RowModels& m,
                               const ProbeResponses& tx, const ProbeResponses& channelOut,
                               std::vector<std::string>& breaches) {
    const std::vector<double> afterTx = ImpulseAfterTransmitter(m.tx, m.quiet, c.channel, tx);
    return ReceiverResponses(m.rx.lib, ReceiverConfig(m, afterTx), afterTx, channelOut,
                             c.statOptions, breaches);
}

// One candidate in a worker process: its statistical eye behind the channel
// (and the receiver), as height, width, BER at the best point and grid error.
RowOutcome RankOne(const OptimizeContext& c, std::size_t slot) {
    // The probe's .ami file as read (its fixed codes are among the row's).
    RowModels m;
    if (!LoadRowModels(c.run, c.o, c.candidates[slot].values, c.initImpulse, true, m))
        return Unranked(m.failure);
    StatEyeOptions txOptions = c.statOptions;
    txOptions.enabled = false;  // only the channel's output is ranked
    const Responses tx = MeasureResponses(m.tx, m.quiet, txOptions);
    // A candidate whose model breached the contract is not ranked.
    const std::vector<std::string> breaches = tx.Breaches();
    if (!breaches.empty()) return Unranked("contract breach: " + breaches.front());
    if (!tx.ok) return Unranked(tx.Note());
    // Without a receiver the channel's output is ranked, and its pulse is
    // all that needs; a receiver is given its step too.
    StatEyeOptions linkOptions = c.statOptions;
    linkOptions.enabled = !c.run.haveRx;
    const ProbeResponses channelOut =
        ThroughChannel(tx.probe, c.channel.impulse, c.channel.dcGain, c.o.samplesPerBit,
                       linkOptions, c.run.haveRx, c.padded.get());
    ProbeResponses rxOut;
    if (c.run.haveRx && channelOut.ok) {
        if (!LoadRowReceiver(c.run, c.o, m)) return Unranked(m.failure);
        std::vector<std::string> rxBreaches;
        rxOut = ThroughReceiver(c, m, tx.probe, channelOut, rxBreaches);
        if (!rxBreaches.empty())
            return Unranked("contract breach: receiver: " + rxBreaches.front());
    }
    const ProbeResponses& link = c.run.haveRx ? rxOut : channelOut;
    if (!channelOut.ok) return Unranked(channelOut.note);
    if (!link.ok || !link.stat.valid)
        return Unranked(link.note.empty() ? std::string("no statistical eye") : link.note);
    const StatEye& e = link.stat;
    RowOutcome out;
    out.ok = true;
    out.numbers = {e.heightAtTarget, e.widthAtTarget,
                   e.bathtub[static_cast<std::size_t>(e.bestPhase)], e.gridError};
    return out;
}

// The workers' results into the candidates; the number that could not be ranked.
std::size_t ReadRanks(OptimizeContext& c, const std::vector<WorkOutcome>& outcomes) {
    std::size_t failures = 0;
    for (std::size_t slot = 0; slot < c.candidates.size(); ++slot) {
        Candidate& cand = c.candidates[slot];
        const WorkOutcome& w = outcomes[slot];
        const Expected<RowOutcome> r =
            w.done ? DecodeRowOutcome(w.payload) : Expected<RowOutcome>(Error{w.failure});
        if (w.done && r && r->ok && r->numbers.size() == 4) {
            cand.ok = true;
            cand.height = r->numbers[0];
            cand.width = r->numbers[1];
            cand.ber = r->numbers[2];
            cand.gridError = r->numbers[3];
            continue;
        }
        cand.reason = !w.done                   ? w.failure
                      : r && !r->reason.empty() ? r->reason
                                                : std::string("no result");
        ++failures;
        PrintWarning("candidate " + std::to_string(cand.index) + ": " + cand.reason);
    }
    return failures;
}

std::vector<std::size_t> RankOrder(const std::vector<Candidate>& candidates) {
    std::vector<std::size_t> order(candidates.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return Better(candidates[a], candidates[b]);
    });
    return order;
}

// A candidate confirmed by a PRBS run through the channel (and the
// receiver's AMI_GetWave, its delay from its own responses).
void Confirm(const OptimizeContext& c, Candidate& cand) {
    RowModels m;
    if (!LoadRowModels(c.run, c.o, cand.values, c.initImpulse, false, m)) return;
    if (c.run.haveRx && !LoadRowReceiver(c.run, c.o, m)) return;
    // The eye leaves out the ignored bits of both models.
    const int ignoreBits = std::max(m.tx.ignoreBits, c.run.haveRx ? m.rx.ignoreBits : 0);
    const RowStream stream = StreamRow(m, ignoreBits, m.tx.ignoreBits);
    const RunResult& tx = stream.result;
    const Responses responses = MeasureResponses(m.tx, m.quiet, c.statOptions);
    const ProbeResponses link = ThroughChannel(responses.probe, c.channel.impulse, c.channel.dcGain,
                                               c.o.samplesPerBit, c.statOptions);
    if (tx.initResult != 1 || tx.output.empty() || !link.ok) return;
    std::vector<double> y = ConvolveFull(tx.output, c.channel.impulse);
    y.resize(tx.output.size());
    std::int64_t delay = link.delaySamples;
    if (c.run.haveRx) {
        std::vector<std::string> rxBreaches;
        const std::vector<double> afterTx =
            ImpulseAfterTransmitter(m.tx, m.quiet, c.channel, responses.probe);
        const RunConfig rxConfig = ReceiverConfig(m, afterTx);
        const ProbeResponses rxOut =
            ReceiverResponses(m.rx.lib, rxConfig, afterTx, link, c.statOptions, rxBreaches);
        const RunResult z = RunModel(m.rx.lib, rxConfig, y);
        if (!rxOut.ok || z.initResult != 1 || z.output.size() != y.size()) return;
        y = z.output;
        delay = rxOut.delaySamples;
    }
    const EyeMetrics eye =
        MeasureEye(y, c.o.samplesPerBit, static_cast<std::size_t>(ignoreBits), delay, stream.bits);
    if (eye.valid) cand.confirmed = eye.height;
}

std::string CandidatesHeader(const OptimizeContext& c) {
    std::string header = "index";
    for (const AmiParameter* p : c.run.grid.inputs) header += "," + p->path;
    for (const AmiParameter* p : c.run.rxGrid.inputs) header += "," + (kRxPrefix + p->path);
    // The rank within this shard; merge ranks the whole grid again.
    return header +
           ",stat_eye_height_V,stat_eye_width_UI,ber_at_best,prbs_eye_height_V,ok,reason,rank,"
           "grid_size";
}

// Every candidate's line of the CSV, in grid order. A share of the grid
// writes its numbers in full (merge ranks the whole grid by them, as one
// run does).
std::vector<std::string> CandidateLines(const OptimizeContext& c,
                                        const std::vector<std::size_t>& order) {
    const int digits = c.run.shardN > 1 ? 17 : 6;
    auto Cell = [digits](double v) { return CsvNumber(v, digits); };
    std::vector<std::size_t> rankOf(c.candidates.size());
    for (std::size_t r = 0; r < order.size(); ++r) rankOf[order[r]] = r + 1;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < c.candidates.size(); ++i) {
        const Candidate& k = c.candidates[i];
        std::string row = std::to_string(k.index) + ValueCells(c.run, k.values);
        row += "," + (k.ok ? Cell(k.height) : "") + "," + (k.ok ? Cell(k.width) : "") + "," +
               (k.ok ? Cell(k.ber) : "") + "," + Cell(k.confirmed) + "," + (k.ok ? "1" : "0") +
               "," + CsvText(k.reason) + "," + (k.ok ? std::to_string(rankOf[i]) : "") + "," +
               std::to_string(c.run.grid.total);
        lines.push_back(row);
    }
    return lines;
}

Status WriteCandidates(const OptimizeContext& c, const RunRecord& record, const std::string& header,
                       const std::vector<std::string>& lines) {
    OutputFile csv(c.o.output);
    if (Status opened = csv.Open(); !opened) return opened;
    csv.Write(record.Text());
    csv.Write(header + "\n");
    for (const std::string& line : lines) csv.Write(line + "\n");
    if (c.run.shardN > 1) csv.Write(ShardEndLine(c.candidates.size()));
    return csv.Commit();
}

// A heat map for a grid of two parameters: the file written, or empty.
Expected<std::string> WriteHeatMapIfAsked(const OptimizeContext& c) {
    const OptimizeOptions& o = c.o;
    const Grid& grid = c.run.grid;
    const int shardN = c.run.shardN;
    if (!o.heatmap.empty() && !o.quiet && (grid.axes.size() != 2 || shardN != 1))
        std::printf("no heat map: it needs a grid of exactly two parameters%s\n",
                    shardN != 1 ? " and no --shard" : "");
    if (grid.axes.size() != 2 || shardN != 1 || o.heatmap.empty()) return std::string();
    HeatMap map;
    map.xName = grid.axes[1].first;
    map.yName = grid.axes[0].first;
    map.xLabels = grid.axes[1].second;
    map.yLabels = grid.axes[0].second;
    bool anyOpen = false;
    for (const Candidate& k : c.candidates) anyOpen = anyOpen || k.height > 0;
    map.title = std::string(anyOpen ? "Statistical eye height at BER 1e-12 (V)"
                                    : "-log10 BER at the best sampling point") +
                ", " + c.channel.description;
    for (const Candidate& k : c.candidates)
        map.values.push_back(!k.ok     ? NAN
                             : anyOpen ? k.height
                                       : -std::log10(std::max(k.ber, 1e-30)));
    OutputFile png(o.heatmap);
    if (Status s = png.CommitWritten(WriteHeatMap(png.TemporaryPath(), map)); !s)
        return Error{s.error()};
    return o.heatmap;
}

// The best codes as options and as the parameter strings they give.
struct BestCodes {
    std::string sets, parameters, rxParameters;
};

BestCodes BestOf(const OptimizeContext& c, const Candidate& best) {
    BestCodes b;
    std::map<std::string, std::string> bestTx, bestRx;
    SplitRow(c.run, best.values, bestTx, bestRx);
    AmiFile file = c.run.probe.file;
    ApplyOverrides(file, bestTx, false);
    b.parameters = BuildParameterString(file);
    const std::string prefix = kRxPrefix;
    for (const auto& axis : c.run.grid.axes)
        b.sets +=
            axis.first.rfind(prefix, 0) == 0
                ? " --rx-set " + axis.first.substr(prefix.size()) + "=" + best.values.at(axis.first)
                : " --set " + axis.first + "=" + best.values.at(axis.first);
    if (c.run.haveRx && c.run.rxProbe.haveFile) {
        AmiFile rxFile = c.run.rxProbe.file;
        ApplyOverrides(rxFile, bestRx, false);
        b.rxParameters = BuildParameterString(rxFile);
    }
    return b;
}

void PrintBest(const OptimizeContext& c, const Candidate& best, const BestCodes& b, int jobs,
               const std::string& heatmap) {
    const GridRun& run = c.run;
    std::printf("ranked %zu of %llu candidates (shard %d/%d) in %d worker process%s behind %s%s\n",
                c.candidates.size(), static_cast<unsigned long long>(run.grid.total), run.shardK,
                run.shardN, jobs, jobs == 1 ? "" : "es", c.channel.description.c_str(),
                run.haveRx ? (" and " + run.rxProbe.lib.Path()).c_str() : "");
    std::printf("best:%s\n", b.sets.c_str());
    std::printf(
        "  statistical eye at BER 1e-12: height %.6g V (to %.2g V), width %.4g UI; best BER "
        "%.3g\n",
        best.height, 2 * best.gridError, best.width, best.ber);
    if (std::isfinite(best.confirmed))
        std::printf("  PRBS run: eye height %.6g V\n", best.confirmed);
    std::printf("  parameter string: %s\n", b.parameters.c_str());
    if (!b.rxParameters.empty())
        std::printf("  the receiver's parameter string: %s\n", b.rxParameters.c_str());
    std::printf("wrote %s%s%s\n", c.o.output.c_str(), heatmap.empty() ? "" : " and ",
                heatmap.c_str());
}

// The best's report, console lines and the exit status.
int ConcludeOptimize(const OptimizeContext& c, const std::vector<std::size_t>& order,
                     const std::string& header, const std::vector<std::string>& lines,
                     const std::string& heatmap, std::size_t failures, int jobs) {
    const OptimizeOptions& o = c.o;
    const Candidate& best = c.candidates[order[0]];
    const BestCodes b = BestOf(c, best);
    if (!o.report.empty()) {
        std::vector<std::string> top;
        for (std::size_t r = 0; r < order.size() && r < 20; ++r) top.push_back(lines[order[r]]);
        const OptimizeReport report{header, top, heatmap, b.sets, b.parameters};
        if (const Status s =
                WriteOptimizeReport(o, c.run.probe, c.plan.Describe(), c.run.grid, report);
            !s) {
            PrintError(s.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    if (!o.quiet) PrintBest(c, best, b, jobs, heatmap);
    if (failures > 0) {
        PrintError(std::to_string(failures) + " of " + std::to_string(c.candidates.size()) +
                   " candidates could not be ranked (the reason column of " + o.output +
                   " says why)");
        return ExitStatus(ErrorKind::ModelContract);
    }
    return kExitSuccess;
}

}  // namespace

int CommandOptimize(const OptimizeOptions& options) {
    OptimizeOptions o = options;
    if (const int status = ResolveIbs(o)) return status;
    if (o.confirm < 0) {
        PrintError("--confirm must be 0 or more");
        return ExitStatus(ErrorKind::Usage);
    }
    GridRun run;
    if (const int status = PrepareGridRun("optimize", o, o.grid, o.jobsGiven, o.jobs, o.shard, run,
                                          true, o.rxGrid))
        return status;
    OptimizeContext c(o, run);
    if (const int status = PrepareOptimize(c)) return status;
    // A share of the grid records what it ran, for merge.
    Expected<RunRecord> record = RunRecord{};
    if (run.shardN > 1) record = RecordRun("optimize", o, run, c.plan.bits, o.confirm);
    if (!record) {
        PrintError(record.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (const int status = CreateOutputFolder(o.outDir)) return status;
    c.padded = std::make_unique<PaddedResponse>(c.channel.impulse.data(), c.channel.impulse.size());
    const Expected<GridRows> rows =
        RunGridRows("optimize", o, run.grid, c.candidates.size(), o.jobsGiven, o.jobs,
                    !o.grid.empty(), o.output, [&c](std::size_t slot) { return RankOne(c, slot); });
    if (!rows) {
        PrintError(rows.error());
        return ExitStatus(rows.kind());
    }
    const int jobs = rows->jobs;
    const std::size_t failures = ReadRanks(c, rows->outcomes);
    const std::vector<std::size_t> order = RankOrder(c.candidates);
    // The best few, confirmed by a PRBS run through the channel.
    for (std::size_t r = 0; r < order.size() && r < static_cast<std::size_t>(o.confirm); ++r)
        if (c.candidates[order[r]].ok) Confirm(c, c.candidates[order[r]]);
    const std::string header = CandidatesHeader(c);
    const std::vector<std::string> lines = CandidateLines(c, order);
    if (const Status written = WriteCandidates(c, *record, header, lines); !written) {
        PrintError(written.error());
        return ExitStatus(ErrorKind::Input);
    }
    const Expected<std::string> heatmap = WriteHeatMapIfAsked(c);
    if (!heatmap) {
        PrintError(heatmap.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (c.candidates.empty()) {
        // A shard beyond the grid (more array tasks than candidates): an
        // empty share, written so that merge sees it complete.
        if (!o.quiet)
            std::printf("shard %d/%d of a grid of %llu holds no candidate; wrote %s\n", run.shardK,
                        run.shardN, static_cast<unsigned long long>(run.grid.total),
                        o.output.c_str());
        return kExitSuccess;
    }
    if (!c.candidates[order[0]].ok) {
        PrintError("no candidate could be ranked (every AMI_Init failed?)");
        return ExitStatus(ErrorKind::ModelContract);
    }
    return ConcludeOptimize(c, order, header, lines, *heatmap, failures, jobs);
}

}  // namespace amihost
