#include "flows.h"

#include <algorithm>
#include <cmath>

#include "link/init_filter.h"

namespace amihost {

InitStep InitThrough(const Library& lib, const RunConfig& config, const std::vector<double>& in,
                     const std::vector<double>& stepImpulse) {
    InitStep s;
    s.returned = !config.expectImpulseUntouched;
    if (!s.returned) {
        // Its AMI_Init returns nothing to use: no call needed.
        if (!stepImpulse.empty()) s.impulse = ConvolveFull(in, stepImpulse);
        return s;
    }
    const double dt = config.bitTime / config.samplesPerBit;
    std::vector<double> matrix(in.size());
    for (std::size_t k = 0; k < in.size(); ++k) matrix[k] = in[k] / dt;
    ModelSession session;
    // Only AMI_Init's answer matters here: a model without AMI_GetWave is
    // not asked for a waveform.
    RunConfig initOnly = config;
    initOnly.getWaveExists = true;
    const bool started = session.Init(lib, initOnly, matrix);
    session.Close();
    s.init = session.Result();
    if (!started) return s;
    s.impulse = s.init.initOutput;
    for (double& v : s.impulse) v *= dt;
    return s;
}

std::vector<double> StepImpulse(const ProbeResponses& after, double height) {
    if (!after.ok || after.step.size() <= after.start) return {};
    const std::vector<double> step(after.step.begin() + static_cast<long>(after.start),
                                   after.step.end());
    return ImpulseOfStep(step, height);
}

ProbeResponses InitFlowResponses(const std::vector<double>& zeros, const std::vector<double>& pulse,
                                 const std::vector<double>& step, std::size_t start,
                                 const std::vector<double>& h, double dcGain, int N,
                                 const StatEyeOptions& options) {
    StatEyeOptions none = options;
    none.enabled = false;
    const ProbeResponses source = AnalyseResponses(zeros, pulse, step, start, N, none);
    return ThroughChannel(source, h, dcGain, N, options);
}

FlowDifference CompareFlows(const ProbeResponses& init, const ProbeResponses& timeDomain) {
    FlowDifference d;
    const std::size_t n = std::min(init.pulse.size(), timeDomain.pulse.size());
    for (std::size_t k = 0; k < n; ++k)
        d.pulseMaxAbs = std::max(d.pulseMaxAbs, std::fabs(init.pulse[k] - timeDomain.pulse[k]));
    double main = 0;
    for (double v : timeDomain.pulse) main = std::max(main, std::fabs(v));
    d.relativeToMain = main > 0 ? d.pulseMaxAbs / main : 0.0;
    if (init.stat.valid && timeDomain.stat.valid)
        d.statEyeHeight = init.stat.heightAtTarget - timeDomain.stat.heightAtTarget;
    return d;
}

}  // namespace amihost
