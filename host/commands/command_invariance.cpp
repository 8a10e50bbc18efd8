// amihost check-invariance: one stimulus under several block policies; the
// outputs must agree (a model must not depend on how a simulator cuts the wave).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "grid.h"
#include "html_report.h"
#include "output.h"
#include "report.h"
#include "session.h"
#include "workers.h"

namespace amihost {

namespace {

// A policy's run from its worker: the calls, the breaches, then the output's
// raw doubles. False, with why, when it gave none (a crash, a hang, a failure).
bool ReadPolicyRun(const WorkOutcome& outcome, RunResult& r, std::string& failure) {
    const std::string& p = outcome.payload;
    const std::size_t end = p.find("\n\n");
    if (!outcome.done || end == std::string::npos || (p.size() - end - 2) % 8 != 0) {
        failure = outcome.done ? "no result" : outcome.failure;
        if (failure.empty()) failure = "no result";
        return false;
    }
    std::size_t line = p.find('\n');
    r.waveCalls = std::stol(p.substr(0, line));
    while (line < end) {
        const std::size_t next = p.find('\n', line + 1);
        r.breaches.push_back(p.substr(line + 1, next - line - 1));
        line = next;
    }
    r.output.resize((p.size() - end - 2) / 8);
    if (!r.output.empty()) std::memcpy(r.output.data(), &p[end + 2], 8 * r.output.size());
    return true;
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

}  // namespace

int CommandCheckInvariance(const InvarianceOptions& given) {
    InvarianceOptions o = given;
    std::vector<std::string> names;
    std::vector<BlockPolicy> policies;
    if (const int status = CheckInvarianceOptions(o, names, policies)) return status;
    Setup setup;
    if (const int status = Prepare(o, setup)) return status;
    if (!setup.getWaveExists) {
        PrintError("check-invariance cuts AMI_GetWave calls into blocks; " + o.library +
                   " is run without AMI_GetWave (" +
                   (setup.lib.GetWave == nullptr ? "it exports none" : "GetWave_Exists False") +
                   "): the filter of its AMI_Init's impulse response takes no blocks");
        return ExitStatus(ErrorKind::Input);
    }
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    if (plan.samples > kMaxInMemorySamples) {
        PrintError("check-invariance keeps the waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples (this is " +
                   std::to_string(plan.samples) + ")");
        return ExitStatus(ErrorKind::Input);
    }
    Channel channel;
    StatEyeOptions statOptions;
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    setup.initImpulse = InitImpulse(o, channel);
    std::vector<double> stimulus(static_cast<std::size_t>(plan.samples));
    StimulusSource source(plan, o, setup.ignoreBits);
    source.Fill(stimulus.data(), stimulus.size(), 0);
    // Each policy's run in a worker process (a crash or a hang fails that
    // policy only): the calls, the breaches, then the output's raw doubles.
    auto runOne = [&](std::size_t i) {
        RunResult r = RunModel(setup.lib, ConfigOf(o, setup, policies[i]), stimulus);
        if (!o.channel.empty() && !r.output.empty()) {
            // The channel's output is what a receiver sees; compare that.
            const std::size_t n = r.output.size();
            r.output = ConvolveFull(r.output, channel.impulse);
            r.output.resize(n);
        }
        std::string payload = std::to_string(r.waveCalls) + "\n";
        for (const std::string& b : r.breaches) payload += b + "\n";
        payload += "\n";
        const std::size_t at = payload.size();
        payload.resize(at + 8 * r.output.size());
        if (!r.output.empty()) std::memcpy(&payload[at], r.output.data(), 8 * r.output.size());
        return payload;
    };
    WorkOptions work;
    work.jobs = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(o.jobsGiven ? o.jobs : Cores()), names.size()));
    work.timeoutSeconds = o.timeout;
    InstallInterruptHandler();
    work.stop = [] { return Interrupted(); };
    const std::vector<WorkOutcome> outcomes = RunInWorkers(names.size(), runOne, work);
    if (Interrupted()) {
        PrintError("interrupted");
        return ExitStatus(ErrorKind::Interrupted);
    }
    // Every policy's run; the first that gave output is the reference (when
    // the first policy's run crashed or hung, the others are still compared
    // with each other).
    std::vector<RunResult> runs(names.size());
    std::vector<std::string> failures(names.size());
    std::size_t referenceAt = names.size(), breachCount = 0, failedRuns = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!ReadPolicyRun(outcomes[i], runs[i], failures[i])) {
            ++failedRuns;
            continue;
        }
        breachCount += runs[i].breaches.size();
        if (referenceAt == names.size()) referenceAt = i;
    }
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> breaches;
    double worstAll = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const RunResult& r = runs[i];
        const char* calls = r.waveCalls == 1 ? "call" : "calls";
        std::string line;
        if (!failures[i].empty()) {
            line = "no output: " + failures[i];
        } else if (i == referenceAt) {
            line = "reference (" + std::to_string(r.waveCalls) + " " + calls + ")";
        } else {
            const Difference d = Compare(runs[referenceAt].output, r.output);
            worstAll = std::max(worstAll, d.worst);
            line = Format("largest difference %.3g V, ", d.worst) + std::to_string(d.differing) +
                   " samples differ (" + std::to_string(r.waveCalls) + " " + calls + ")";
            if (d.first < runs[referenceAt].output.size() && d.first < r.output.size())
                line += "; first at sample " + std::to_string(d.first) + ": " +
                        Format("%.17g V", r.output[d.first]) + " against " +
                        Format("%.17g V", runs[referenceAt].output[d.first]);
        }
        for (const std::string& b : r.breaches) {
            std::printf("%s: contract breach: %s\n", name.c_str(), b.c_str());
            breaches.push_back(name + ": " + b);
        }
        if (!o.quiet || !failures[i].empty()) std::printf("%-16s %s\n", name.c_str(), line.c_str());
        table.push_back({name, line});
    }
    const bool compared = referenceAt < names.size() && names.size() - failedRuns >= 2;
    const bool same = compared && worstAll <= o.tolerance;
    std::string verdict;
    if (failedRuns > 0)
        verdict = "not compared: " + std::to_string(failedRuns) + " of " +
                  std::to_string(names.size()) + " runs gave no output";
    if (compared)
        verdict += std::string(verdict.empty() ? "" : "; the others: ") +
                   Format("largest difference %.3g V: ", worstAll) +
                   (worstAll <= o.tolerance ? "invariant" : "NOT invariant") +
                   Format(" (tolerance %.3g V)", o.tolerance);
    if (breachCount > 0)
        verdict += "; " + std::to_string(breachCount) + " contract breach" +
                   (breachCount == 1 ? "" : "es");
    if (!o.quiet || failedRuns > 0) std::printf("%s\n", verdict.c_str());
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
    if (failedRuns > 0) return ExitStatus(ErrorKind::ModelContract);
    return same && breachCount == 0 ? kExitSuccess : ExitStatus(ErrorKind::ModelContract);
}

}  // namespace amihost
