// amihost check-invariance: one stimulus under several block policies; the
// outputs must agree (a model must not depend on how a simulator cuts the wave).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "grid.h"
#include "grid_row.h"
#include "html_report.h"
#include "interrupt.h"
#include "output.h"
#include "report.h"
#include "session.h"
#include "workers.h"

namespace amihost {

namespace {

// A policy's run from its worker: its output (bit for bit), its AMI_GetWave
// calls and its breaches. False, with why, when it gave none (a crash, a
// hang, a failure).
bool ReadPolicyRun(const WorkOutcome& outcome, RunResult& r, std::string& failure) {
    const Expected<RowOutcome> run =
        outcome.done ? DecodeRowOutcome(outcome.payload) : Expected<RowOutcome>(Error{""});
    if (!outcome.done || !run) {
        failure = outcome.done || outcome.failure.empty() ? "no result" : outcome.failure;
        return false;
    }
    r.waveCalls = static_cast<long>(run->count);
    r.breaches = run->notes;
    r.output = run->numbers;
    return true;
}

// Each policy's run in a worker process (a crash or a hang fails that
// policy only): the channel's output when there is one (what a receiver
// sees), the calls and the breaches.
RowOutcome RunPolicy(const Setup& setup, const InvarianceOptions& o, const BlockPolicy& policy,
                     const std::vector<double>& stimulus, const Channel& channel) {
    RunResult r = RunModel(setup.lib, ConfigOf(o, setup, policy), stimulus);
    if (!o.channel.empty() && !r.output.empty()) {
        const std::size_t n = r.output.size();
        r.output = ConvolveFull(r.output, channel.impulse);
        r.output.resize(n);
    }
    RowOutcome out;
    out.ok = true;
    out.count = static_cast<std::uint64_t>(r.waveCalls);
    out.notes = r.breaches;
    out.numbers = std::move(r.output);
    return out;
}

struct Difference {
    double worst = 0;
    std::size_t differing = 0, first = 0;
};

Difference Compare(const std::vector<double>& reference, const std::vector<double>& output) {
    Difference d;
    d.first = reference.size();
    for (std::size_t k = 0; k < reference.size() && k < output.size(); ++k) {
        // The same bits (a NaN at the same sample too) do not differ.
        if (std::memcmp(&output[k], &reference[k], 8) == 0) continue;
        ++d.differing;
        if (d.first == reference.size()) d.first = k;
        const double diff = std::fabs(output[k] - reference[k]);
        d.worst = std::max(d.worst, std::isnan(diff) ? INFINITY : diff);
    }
    if (output.size() != reference.size()) d.worst = INFINITY;
    return d;
}

// The options of check-invariance: the tolerance, the jobs, the policies
// (parsed into `policies`, named in `names`), and what it does not take.
int CheckInvarianceOptions(InvarianceOptions& o, std::vector<std::string>& names,
                           std::vector<BlockPolicy>& policies) {
    if (const int status = ResolveIbs(o)) return status;
    if (!(o.tolerance >= 0) || !std::isfinite(o.tolerance)) {
        PrintError("--tolerance must be a finite number of volts, 0 or more");
        return ExitStatus(ErrorKind::Usage);
    }
    for (std::size_t at = 0; at <= o.policies.size();) {
        const std::size_t comma = std::min(o.policies.find(',', at), o.policies.size());
        names.push_back(o.policies.substr(at, comma - at));
        at = comma + 1;
    }
    if (o.jobsGiven && o.jobs < 1) {
        PrintError("--jobs must be at least 1");
        return ExitStatus(ErrorKind::Usage);
    }
    if (names.size() < 2) {
        PrintError("--policies needs at least two block policies to compare");
        return ExitStatus(ErrorKind::Usage);
    }
    for (const std::string& name : names) {
        const Expected<BlockPolicy> policy = BlockPolicy::Parse(name);
        if (!policy) {
            PrintError(policy.error());
            return ExitStatus(ErrorKind::Input);
        }
        policies.push_back(*policy);
    }
    if (o.StatisticalNoiseGiven()) {
        PrintError(
            "check-invariance compares waveforms: --noise-rms, --rj-rms, --dj, --sj, --dcd, "
            "--sensitivity and --clock-pdf (statistical eye) have no effect on it");
        return ExitStatus(ErrorKind::Usage);
    }
    if (HaveReceiverOptions(o)) {
        PrintError(
            "check-invariance runs no receiver: --rx, --rx-ami, --rx-params, --rx-set and --rx-ibs "
            "are for 'run'");
        return ExitStatus(ErrorKind::Usage);
    }
    return kExitSuccess;
}

// The model, the stimulus and the channel of the check. Returns 0 or an exit status.
int PrepareInvariance(const InvarianceOptions& o, Setup& setup, StimulusPlan& plan,
                      Channel& channel) {
    if (const int status = Prepare(o, setup)) return status;
    if (!setup.getWaveExists) {
        PrintError("check-invariance cuts AMI_GetWave calls into blocks; " + o.library +
                   " is run without AMI_GetWave (" +
                   (setup.lib.GetWave == nullptr ? "it exports none" : "GetWave_Exists False") +
                   "): the filter of its AMI_Init's impulse response takes no blocks");
        return ExitStatus(ErrorKind::Input);
    }
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    if (plan.samples > kMaxInMemorySamples) {
        PrintError("check-invariance keeps the waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples (this is " +
                   std::to_string(plan.samples) + ")");
        return ExitStatus(ErrorKind::Input);
    }
    StatEyeOptions statOptions;
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    setup.initImpulse = InitImpulse(o, channel);
    return kExitSuccess;
}

// What the policies' runs gave; the first that gave output is the
// reference (when the first policy's run crashed or hung, the others are
// still compared with each other).
struct PolicyRuns {
    std::vector<std::string> names;
    std::vector<RunResult> runs;
    std::vector<std::string> failures;  // why a run gave no output
    std::size_t referenceAt = 0, breachCount = 0, failedRuns = 0;
    double worstAll = 0;  // the largest difference from the reference
};

PolicyRuns ReadPolicyRuns(const std::vector<std::string>& names,
                          const std::vector<WorkOutcome>& outcomes) {
    PolicyRuns p;
    p.names = names;
    p.runs.resize(names.size());
    p.failures.resize(names.size());
    p.referenceAt = names.size();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!ReadPolicyRun(outcomes[i], p.runs[i], p.failures[i])) {
            ++p.failedRuns;
            continue;
        }
        p.breachCount += p.runs[i].breaches.size();
        if (p.referenceAt == names.size()) p.referenceAt = i;
    }
    return p;
}

// One policy's result against the reference.
std::string PolicyLine(PolicyRuns& p, std::size_t i) {
    const RunResult& r = p.runs[i];
    const char* calls = r.waveCalls == 1 ? "call" : "calls";
    if (!p.failures[i].empty()) return "no output: " + p.failures[i];
    if (i == p.referenceAt) return "reference (" + std::to_string(r.waveCalls) + " " + calls + ")";
    const std::vector<double>& reference = p.runs[p.referenceAt].output;
    const Difference d = Compare(reference, r.output);
    p.worstAll = std::max(p.worstAll, d.worst);
    std::string line = Format("largest difference %.3g V, ", d.worst) +
                       std::to_string(d.differing) + " samples differ (" +
                       std::to_string(r.waveCalls) + " " + calls + ")";
    if (d.first < reference.size() && d.first < r.output.size())
        line += "; first at sample " + std::to_string(d.first) + ": " +
                Format("%.17g V", r.output[d.first]) + " against " +
                Format("%.17g V", reference[d.first]);
    return line;
}

std::string Verdict(const PolicyRuns& p, bool compared, double tolerance) {
    std::string verdict;
    if (p.failedRuns > 0)
        verdict = "not compared: " + std::to_string(p.failedRuns) + " of " +
                  std::to_string(p.names.size()) + " runs gave no output";
    if (compared)
        verdict += std::string(verdict.empty() ? "" : "; the others: ") +
                   Format("largest difference %.3g V: ", p.worstAll) +
                   (p.worstAll <= tolerance ? "invariant" : "NOT invariant") +
                   Format(" (tolerance %.3g V)", tolerance);
    if (p.breachCount > 0)
        verdict += "; " + std::to_string(p.breachCount) + " contract breach" +
                   (p.breachCount == 1 ? "" : "es");
    return verdict;
}

}  // namespace

int CommandCheckInvariance(const InvarianceOptions& given) {
    InvarianceOptions o = given;
    std::vector<std::string> names;
    std::vector<BlockPolicy> policies;
    if (const int status = CheckInvarianceOptions(o, names, policies)) return status;
    Setup setup;
    StimulusPlan plan;
    Channel channel;
    if (const int status = PrepareInvariance(o, setup, plan, channel)) return status;
    std::vector<double> stimulus(static_cast<std::size_t>(plan.samples));
    StimulusSource source(plan, o, setup.ignoreBits);
    source.Fill(stimulus.data(), stimulus.size(), 0);
    WorkOptions work;
    work.jobs = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(o.jobsGiven ? o.jobs : Cores()), names.size()));
    work.timeoutSeconds = o.timeout;
    InstallInterruptHandler();
    work.stop = [] { return Interrupted(); };
    const std::vector<WorkOutcome> outcomes = RunInWorkers(
        names.size(),
        [&](std::size_t i) {
            return EncodeRowOutcome(RunPolicy(setup, o, policies[i], stimulus, channel));
        },
        work);
    if (Interrupted()) {
        PrintError("interrupted");
        return ExitStatus(ErrorKind::Interrupted);
    }
    PolicyRuns p = ReadPolicyRuns(names, outcomes);
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> breaches;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string line = PolicyLine(p, i);
        for (const std::string& b : p.runs[i].breaches) {
            std::printf("%s: contract breach: %s\n", names[i].c_str(), b.c_str());
            breaches.push_back(names[i] + ": " + b);
        }
        if (!o.quiet || !p.failures[i].empty())
            std::printf("%-16s %s\n", names[i].c_str(), line.c_str());
        table.push_back({names[i], line});
    }
    const bool compared = p.referenceAt < names.size() && names.size() - p.failedRuns >= 2;
    const std::string verdict = Verdict(p, compared, o.tolerance);
    if (!o.quiet || p.failedRuns > 0) std::printf("%s\n", verdict.c_str());
    if (!o.report.empty()) {
        HtmlReport report("amihost check-invariance", o.commandLine, AmihostVersion());
        report.AddFacts("What was run", RunFacts(o, setup, plan.Describe()));
        report.AddTable("Block policies", {"policy", "result against the reference"}, table,
                        verdict);
        report.AddList("Contract breaches", breaches, "breach");
        report.AddList("Warnings", WarningsPrinted(), "warning");
        if (const Status written = report.Write(o.report); !written) {
            PrintError(written.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    if (p.failedRuns > 0) return ExitStatus(ErrorKind::ModelContract);
    const bool same = compared && p.worstAll <= o.tolerance;
    return same && p.breachCount == 0 ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

}  // namespace amihost
