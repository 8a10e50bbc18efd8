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
#include "html_report.h"
#include "link/kernels.h"
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
    const Setup& probe = run.probe;
    const int shardK = run.shardK, shardN = run.shardN;
    const std::map<std::string, std::string>& fixed = run.fixed;
    const Grid& grid = run.grid;
    Channel channel;
    StatEyeOptions statOptions;
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    ApplyReservedJitter(run.probe, "Tx", o.bitTime, statOptions);
    if (run.haveRx) ApplyReservedJitter(run.rxProbe, "Rx", o.bitTime, statOptions);
    const std::shared_ptr<const std::vector<double>> initImpulse = InitImpulse(o, channel);
    // Ranking many candidates: a coarser grid (its error, printed with the
    // best, stays well below a millivolt on 1 V of swing).
    statOptions.gridBins = 2048;
    statOptions.berMap = false;   // no pictures of the candidates' eyes
    statOptions.bestOnly = true;  // only the phases that can be the best
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, probe.ignoreBits, plan)) return status;
    if (plan.samples > kMaxInMemorySamples) {
        PrintError("the confirming runs keep their waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples");
        return ExitStatus(ErrorKind::Input);
    }

    // A share of the grid records what it ran, for merge, and its numbers in
    // full (merge ranks the whole grid by them, as one run does).
    Expected<RunRecord> record = RunRecord{};
    if (shardN > 1) record = RecordRun("optimize", o, run, plan.bits, o.confirm);
    if (!record) {
        PrintError(record.error());
        return ExitStatus(ErrorKind::Input);
    }
    const int digits = shardN > 1 ? 17 : 6;
    auto Cell = [digits](double v) { return CsvNumber(v, digits); };
    if (const int status = CreateOutputFolder(o.outDir)) return status;
    std::vector<Candidate> candidates;
    for (std::uint64_t i = static_cast<std::uint64_t>(shardK - 1); i < grid.total;
         i += static_cast<std::uint64_t>(shardN)) {
        Candidate c;
        c.index = i;
        c.values = grid.Combination(i, fixed);
        candidates.push_back(c);
    }
    // The channel's response padded once, before the workers start (they
    // share its pages).
    const PaddedResponse padded(channel.impulse.data(), channel.impulse.size());
    const int wanted = o.jobsGiven ? o.jobs : Cores();
    const int jobs = static_cast<int>(std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(wanted), candidates.size())));
    // Each candidate in a worker process: "ok height width ber grid_error".
    auto rankOne = [&](std::size_t slot) {
        const Candidate& c = candidates[slot];
        Setup setup;
        CommonOptions quiet = o;
        quiet.quiet = true;
        quiet.sets.clear();
        // The probe's .ami file as read (its fixed codes are among the row's).
        std::map<std::string, std::string> txValues, rxValues;
        SplitRow(run, c.values, txValues, rxValues);
        setup.initImpulse = initImpulse;
        if (Prepare(quiet, setup, txValues, probe.haveFile ? &probe.file : nullptr) != 0)
            return std::string("0 the model could not be loaded or its parameters built");
        StatEyeOptions txOptions = statOptions;
        txOptions.enabled = false;  // only the channel's output is ranked
        const Responses tx = MeasureResponses(setup, quiet, txOptions);
        // A candidate whose model breached the contract is not ranked.
        const std::vector<std::string> breaches = tx.Breaches();
        if (!breaches.empty()) return "0 contract breach: " + breaches.front();
        if (!tx.ok) return "0 " + tx.Note();
        // Without a receiver the channel's output is ranked, and its pulse is
        // all that needs; a receiver is given its step too.
        StatEyeOptions linkOptions = statOptions;
        linkOptions.enabled = !run.haveRx;
        const ProbeResponses channelOut =
            ThroughChannel(tx.probe, channel.impulse, channel.dcGain, o.samplesPerBit, linkOptions,
                           run.haveRx, &padded);
        ProbeResponses rxOut;
        if (run.haveRx && channelOut.ok) {
            Setup rx;
            if (PrepareReceiverRow(o, run, rxValues, rx) != 0)
                return std::string("0 the receiver could not be loaded or its parameters built");
            std::vector<std::string> rxBreaches;
            const std::vector<double> afterTx =
                ImpulseAfterTransmitter(setup, quiet, channel, tx.probe);
            RunConfig rxConfig = ConfigOf(quiet, rx, BlockPolicy{});
            rxConfig.impulse = std::make_shared<const std::vector<double>>(
                ImpulseMatrixOf(afterTx, o.bitTime / o.samplesPerBit));
            rxOut =
                ReceiverResponses(rx.lib, rxConfig, afterTx, channelOut, statOptions, rxBreaches);
            if (!rxBreaches.empty()) return "0 contract breach: receiver: " + rxBreaches.front();
        }
        const ProbeResponses& link = run.haveRx ? rxOut : channelOut;
        if (!channelOut.ok) return "0 " + channelOut.note;
        if (!link.ok || !link.stat.valid)
            return "0 " + (link.note.empty() ? std::string("no statistical eye") : link.note);
        char text[160];
        std::snprintf(text, sizeof text, "1 %.17g %.17g %.17g %.17g", link.stat.heightAtTarget,
                      link.stat.widthAtTarget,
                      link.stat.bathtub[static_cast<std::size_t>(link.stat.bestPhase)],
                      link.stat.gridError);
        return std::string(text);
    };
    AnnounceGrid("optimize", o, grid, candidates.size(), jobs, !o.grid.empty());
    const std::vector<WorkOutcome> outcomes =
        RunRows("optimize", o, jobs, candidates.size(), rankOne);
    if (Interrupted()) {
        PrintError("interrupted; " + o.output + " was not written");
        return ExitStatus(ErrorKind::Interrupted);
    }
    std::size_t failures = 0;
    for (std::size_t slot = 0; slot < candidates.size(); ++slot) {
        Candidate& c = candidates[slot];
        const WorkOutcome& w = outcomes[slot];
        int ok = 0;
        if (w.done &&
            std::sscanf(w.payload.c_str(), "%d %lf %lf %lf %lf", &ok, &c.height, &c.width, &c.ber,
                        &c.gridError) == 5 &&
            ok == 1) {
            c.ok = true;
            continue;
        }
        c.reason = !w.done                ? w.failure
                   : w.payload.size() > 2 ? w.payload.substr(2)
                                          : std::string("no result");
        ++failures;
        PrintWarning("candidate " + std::to_string(c.index) + ": " + c.reason);
    }
    std::vector<std::size_t> order(candidates.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return Better(candidates[a], candidates[b]);
    });

    // The best few, confirmed by a PRBS run through the channel.
    for (std::size_t r = 0; r < order.size() && r < static_cast<std::size_t>(o.confirm); ++r) {
        Candidate& c = candidates[order[r]];
        if (!c.ok) continue;
        Setup setup;
        CommonOptions quiet = o;
        quiet.quiet = true;
        quiet.sets.clear();
        setup.initImpulse = initImpulse;
        std::map<std::string, std::string> txValues, rxValues;
        SplitRow(run, c.values, txValues, rxValues);
        if (Prepare(quiet, setup, txValues) != 0) continue;
        Setup rx;
        if (run.haveRx && PrepareReceiverRow(o, run, rxValues, rx) != 0) continue;
        // The eye leaves out the ignored bits of both models.
        const int ignoreBits = std::max(setup.ignoreBits, run.haveRx ? rx.ignoreBits : 0);
        StimulusPlan rowPlan;
        PlanStimulus(quiet, ignoreBits, rowPlan);
        std::vector<double> stimulus(static_cast<std::size_t>(rowPlan.samples));
        StimulusSource source(rowPlan, quiet, setup.ignoreBits);
        source.SetEdgeJitter(TxEdgeJitter(setup, o.bitTime));
        source.Fill(stimulus.data(), stimulus.size(), 0);
        const RunResult tx = RunModel(setup.lib, ConfigOf(quiet, setup, BlockPolicy{}), stimulus);
        const Responses responses = MeasureResponses(setup, quiet, statOptions);
        const ProbeResponses link = ThroughChannel(responses.probe, channel.impulse, channel.dcGain,
                                                   o.samplesPerBit, statOptions);
        if (tx.initResult != 1 || tx.output.empty() || !link.ok) continue;
        std::vector<double> y = ConvolveFull(tx.output, channel.impulse);
        y.resize(tx.output.size());
        std::int64_t delay = link.delaySamples;
        if (run.haveRx) {
            // Through the receiver's AMI_GetWave, its delay from its own responses.
            std::vector<std::string> rxBreaches;
            const std::vector<double> afterTx =
                ImpulseAfterTransmitter(setup, quiet, channel, responses.probe);
            RunConfig rxConfig = ConfigOf(quiet, rx, BlockPolicy{});
            rxConfig.impulse = std::make_shared<const std::vector<double>>(
                ImpulseMatrixOf(afterTx, o.bitTime / o.samplesPerBit));
            const ProbeResponses rxOut =
                ReceiverResponses(rx.lib, rxConfig, afterTx, link, statOptions, rxBreaches);
            const RunResult z = RunModel(rx.lib, rxConfig, y);
            if (!rxOut.ok || z.initResult != 1 || z.output.size() != y.size()) continue;
            y = z.output;
            delay = rxOut.delaySamples;
        }
        std::vector<int> bits(static_cast<std::size_t>(rowPlan.bits));
        for (std::size_t b = 0; b < bits.size(); ++b) bits[b] = source.Bit(b) == 1;
        const EyeMetrics m =
            MeasureEye(y, o.samplesPerBit, static_cast<std::size_t>(ignoreBits), delay, bits);
        if (m.valid) c.confirmed = m.height;
    }

    OutputFile csv(o.output);
    if (const Status opened = csv.Open(); !opened) {
        PrintError(opened.error());
        return ExitStatus(ErrorKind::Input);
    }
    csv.Write(record->Text());
    std::string header = "index";
    for (const AmiParameter* p : grid.inputs) header += "," + p->path;
    for (const AmiParameter* p : run.rxGrid.inputs) header += "," + (kRxPrefix + p->path);
    // The rank within this shard; merge ranks the whole grid again.
    header +=
        ",stat_eye_height_V,stat_eye_width_UI,ber_at_best,prbs_eye_height_V,ok,reason,rank,"
        "grid_size";
    csv.Write(header + "\n");
    std::vector<std::string> lines(candidates.size());
    std::vector<std::size_t> rankOf(candidates.size());
    for (std::size_t r = 0; r < order.size(); ++r) rankOf[order[r]] = r + 1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& c = candidates[i];
        std::string row = std::to_string(c.index) + ValueCells(run, c.values);
        row += "," + (c.ok ? Cell(c.height) : "") + "," + (c.ok ? Cell(c.width) : "") + "," +
               (c.ok ? Cell(c.ber) : "") + "," + Cell(c.confirmed) + "," + (c.ok ? "1" : "0") +
               "," + CsvText(c.reason) + "," + (c.ok ? std::to_string(rankOf[i]) : "") + "," +
               std::to_string(grid.total);
        csv.Write(row + "\n");
        lines[i] = row;
    }
    if (shardN > 1) csv.Write(ShardEndLine(candidates.size()));
    if (const Status committed = csv.Commit(); !committed) {
        PrintError(committed.error());
        return ExitStatus(ErrorKind::Input);
    }
    // A heat map for a grid of two parameters.
    std::string heatmapNote;
    if (!o.heatmap.empty() && !o.quiet && (grid.axes.size() != 2 || shardN != 1))
        std::printf("no heat map: it needs a grid of exactly two parameters%s\n",
                    shardN != 1 ? " and no --shard" : "");
    if (grid.axes.size() == 2 && shardN == 1 && !o.heatmap.empty()) {
        HeatMap map;
        map.xName = grid.axes[1].first;
        map.yName = grid.axes[0].first;
        map.xLabels = grid.axes[1].second;
        map.yLabels = grid.axes[0].second;
        bool anyOpen = false;
        for (const Candidate& c : candidates) anyOpen = anyOpen || c.height > 0;
        map.title = std::string(anyOpen ? "Statistical eye height at BER 1e-12 (V)"
                                        : "-log10 BER at the best sampling point") +
                    ", " + channel.description;
        for (const Candidate& c : candidates)
            map.values.push_back(!c.ok     ? NAN
                                 : anyOpen ? c.height
                                           : -std::log10(std::max(c.ber, 1e-30)));
        OutputFile png(o.heatmap);
        if (const Status s = png.CommitWritten(WriteHeatMap(png.TemporaryPath(), map)); !s) {
            PrintError(s.error());
            return ExitStatus(ErrorKind::Input);
        }
        heatmapNote = o.heatmap;
    }
    if (candidates.empty()) {
        // A shard beyond the grid (more array tasks than candidates): an
        // empty share, written so that merge sees it complete.
        if (!o.quiet)
            std::printf("shard %d/%d of a grid of %llu holds no candidate; wrote %s\n", shardK,
                        shardN, static_cast<unsigned long long>(grid.total), o.output.c_str());
        return kExitSuccess;
    }
    if (!candidates[order[0]].ok) {
        PrintError("no candidate could be ranked (every AMI_Init failed?)");
        return ExitStatus(ErrorKind::ModelContract);
    }
    const Candidate& best = candidates[order[0]];
    std::string sets, parameters, rxParameters;
    std::map<std::string, std::string> bestTx, bestRx;
    SplitRow(run, best.values, bestTx, bestRx);
    AmiFile file = probe.file;
    ApplyOverrides(file, bestTx, false);
    parameters = BuildParameterString(file);
    const std::string prefix = kRxPrefix;
    for (const auto& axis : grid.axes)
        sets +=
            axis.first.rfind(prefix, 0) == 0
                ? " --rx-set " + axis.first.substr(prefix.size()) + "=" + best.values.at(axis.first)
                : " --set " + axis.first + "=" + best.values.at(axis.first);
    if (run.haveRx && run.rxProbe.haveFile) {
        AmiFile rxFile = run.rxProbe.file;
        ApplyOverrides(rxFile, bestRx, false);
        rxParameters = BuildParameterString(rxFile);
    }
    if (!o.report.empty()) {
        std::vector<std::string> top;
        for (std::size_t r = 0; r < order.size() && r < 20; ++r) top.push_back(lines[order[r]]);
        OptimizeReport report{header, top, heatmapNote, sets, parameters};
        if (const Status s = WriteOptimizeReport(o, probe, plan.Describe(), grid, report); !s) {
            PrintError(s.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    if (!o.quiet) {
        std::printf(
            "ranked %zu of %llu candidates (shard %d/%d) in %d worker process%s behind %s%s\n",
            candidates.size(), static_cast<unsigned long long>(grid.total), shardK, shardN, jobs,
            jobs == 1 ? "" : "es", channel.description.c_str(),
            run.haveRx ? (" and " + run.rxProbe.lib.Path()).c_str() : "");
        std::printf("best:%s\n", sets.c_str());
        std::printf(
            "  statistical eye at BER 1e-12: height %.6g V (to %.2g V), width %.4g UI; best BER "
            "%.3g\n",
            best.height, 2 * best.gridError, best.width, best.ber);
        if (std::isfinite(best.confirmed))
            std::printf("  PRBS run: eye height %.6g V\n", best.confirmed);
        std::printf("  parameter string: %s\n", parameters.c_str());
        if (!rxParameters.empty())
            std::printf("  the receiver's parameter string: %s\n", rxParameters.c_str());
        std::printf("wrote %s%s%s\n", o.output.c_str(), heatmapNote.empty() ? "" : " and ",
                    heatmapNote.c_str());
    }
    if (failures > 0) {
        PrintError(std::to_string(failures) + " of " + std::to_string(candidates.size()) +
                   " candidates could not be ranked (the reason column of " + o.output +
                   " says why)");
        return ExitStatus(ErrorKind::ModelContract);
    }
    return kExitSuccess;
}

}  // namespace amihost
