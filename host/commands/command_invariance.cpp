// amihost check-invariance: one stimulus under several block policies; the
// outputs must agree (a model must not depend on how a simulator cuts the wave).
#include <cmath>
#include <cstdio>
#include <cstring>

#include "output.h"
#include "session.h"
#include "workers.h"

namespace amihost {

int CommandCheckInvariance(const InvarianceOptions& given) {
    InvarianceOptions o = given;
    if (const int status = ResolveIbs(o)) return status;
    if (!(o.tolerance >= 0) || !std::isfinite(o.tolerance)) {
        PrintError("--tolerance must be a finite number of volts, 0 or more");
        return 2;
    }
    std::vector<std::string> names;
    for (std::size_t at = 0; at <= o.policies.size();) {
        const std::size_t comma = std::min(o.policies.find(',', at), o.policies.size());
        names.push_back(o.policies.substr(at, comma - at));
        at = comma + 1;
    }
    if (names.size() < 2) {
        PrintError("--policies needs at least two block policies to compare");
        return 2;
    }
    std::vector<BlockPolicy> policies;
    for (const std::string& name : names) {
        const Expected<BlockPolicy> policy = BlockPolicy::Parse(name);
        if (!policy) {
            PrintError(policy.error());
            return 2;
        }
        policies.push_back(*policy);
    }
    Setup setup;
    if (HaveReceiverOptions(o)) {
        PrintError(
            "check-invariance runs no receiver: --rx, --rx-ami, --rx-params, --rx-set and --rx-ibs "
            "are for 'run'");
        return 2;
    }
    if (const int status = Prepare(o, setup)) return status;
    StimulusPlan plan;
    if (const int status = PlanStimulus(o, setup.ignoreBits, plan)) return status;
    if (plan.samples > kMaxInMemorySamples) {
        PrintError("check-invariance keeps the waveform in memory; use at most " +
                   std::to_string(kMaxInMemorySamples) + " samples (this is " +
                   std::to_string(plan.samples) + ")");
        return 2;
    }
    Channel channel;
    StatEyeOptions statOptions;
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
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
    work.jobs = 1;
    work.timeoutSeconds = o.timeout;
    InstallInterruptHandler();
    work.stop = [] { return Interrupted(); };
    const std::vector<WorkOutcome> outcomes = RunInWorkers(names.size(), runOne, work);
    if (Interrupted()) {
        PrintError("interrupted");
        return 130;
    }
    std::vector<double> reference;
    double worstAll = 0;
    std::size_t breachCount = 0, failedRuns = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        RunResult r;
        const std::string& p = outcomes[i].payload;
        const std::size_t end = p.find("\n\n");
        if (!outcomes[i].done || end == std::string::npos || (p.size() - end - 2) % 8 != 0) {
            // No output to compare: the run crashed, hung or failed.
            std::printf("%-16s no output: %s\n", name.c_str(),
                        outcomes[i].done ? "no result" : outcomes[i].failure.c_str());
            ++failedRuns;
            if (i == 0) break;  // nothing to compare against
            continue;
        } else {
            std::size_t line = p.find('\n');
            r.waveCalls = std::stol(p.substr(0, line));
            while (line < end) {
                const std::size_t next = p.find('\n', line + 1);
                r.breaches.push_back(p.substr(line + 1, next - line - 1));
                line = next;
            }
            r.output.resize((p.size() - end - 2) / 8);
            if (!r.output.empty()) std::memcpy(r.output.data(), &p[end + 2], 8 * r.output.size());
        }
        for (const std::string& b : r.breaches)
            std::printf("%s: contract breach: %s\n", name.c_str(), b.c_str());
        breachCount += r.breaches.size();
        const char* calls = r.waveCalls == 1 ? "call" : "calls";
        if (i == 0) {
            reference = r.output;
            if (!o.quiet)
                std::printf("%-16s reference (%ld %s)\n", name.c_str(), r.waveCalls, calls);
            continue;
        }
        double worst = 0;
        std::size_t differing = 0, first = reference.size();
        for (std::size_t k = 0; k < reference.size() && k < r.output.size(); ++k) {
            // The same bits (a NaN at the same sample too) do not differ.
            if (std::memcmp(&r.output[k], &reference[k], 8) == 0) continue;
            ++differing;
            if (first == reference.size()) first = k;
            const double d = std::fabs(r.output[k] - reference[k]);
            worst = std::max(worst, std::isnan(d) ? INFINITY : d);
        }
        if (r.output.size() != reference.size()) worst = INFINITY;
        worstAll = std::max(worstAll, worst);
        if (o.quiet) continue;
        std::printf("%-16s largest difference %.3g V, %zu samples differ (%ld %s)", name.c_str(),
                    worst, differing, r.waveCalls, calls);
        if (first < reference.size() && first < r.output.size()) {
            std::printf("; first at sample %zu: %.17g V against %.17g V", first, r.output[first],
                        reference[first]);
        }
        std::printf("\n");
    }
    if (failedRuns > 0) {
        std::printf("not compared: %zu of %zu runs gave no output\n", failedRuns, names.size());
        return 1;
    }
    const bool same = worstAll <= o.tolerance;
    if (!o.quiet) {
        std::printf("largest difference %.3g V: %s (tolerance %.3g V)", worstAll,
                    same ? "invariant" : "NOT invariant", o.tolerance);
        if (breachCount > 0)
            std::printf("; %zu contract breach%s", breachCount, breachCount == 1 ? "" : "es");
        std::printf("\n");
    }
    return same && breachCount == 0 ? 0 : 1;
}

}  // namespace amihost
