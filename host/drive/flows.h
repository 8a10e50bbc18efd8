// The statistical (Init) flow: the channel's impulse response through the
// transmitter's AMI_Init, then the receiver's, each model's returned impulse
// response taken as the response after it. A model whose AMI_Init returns
// no impulse response (Init_Returns_Impulse False) is represented in this
// flow by the response its AMI_GetWave gives to a step (its differences).
#pragma once

#include <string>
#include <vector>

#include "link/responses.h"
#include "runner.h"

namespace amihost {

struct InitStep {
    bool returned = false;        // AMI_Init returned the impulse response
    std::vector<double> impulse;  // the response after this model, per sample
    RunResult init;               // the AMI_Init call (its breaches)
};

// One model's AMI_Init on `in` (per sample, as the channel's taps): what it
// returned, per sample, when Init_Returns_Impulse is True (config's
// expectImpulseUntouched false); else, without calling it, `in` convolved
// with `stepImpulse` (the model's GetWave-derived impulse response, per
// sample; empty: no response).
InitStep InitThrough(const Library& lib, const RunConfig& config, const std::vector<double>& in,
                     const std::vector<double>& stepImpulse);

// The GetWave-derived impulse response of the first model of the chain (its
// input the ideal step): the differences of the step response at its
// output (the step minus the run of 0s, from `start`), per unit of the
// step's `height`.
std::vector<double> StepImpulse(const ProbeResponses& after, double height);

// The responses at a probe of the Init flow: an ideal source's runs (the
// same bits as the response runs: `zeros`, `pulse`, `step` inputs, the bit
// at `start`) through the impulse response `h` (per sample) whose DC gain
// is `dcGain`.
ProbeResponses InitFlowResponses(const std::vector<double>& zeros, const std::vector<double>& pulse,
                                 const std::vector<double>& step, std::size_t start,
                                 const std::vector<double>& h, double dcGain, int N,
                                 const StatEyeOptions& options);

// How far the Init flow's pulse response lies from the time-domain flow's
// at one probe: the largest difference of their samples (volts) and that
// relative to the time-domain flow's main cursor.
struct FlowDifference {
    double pulseMaxAbs = 0;
    double relativeToMain = 0;
    double statEyeHeight = 0;  // Init flow's statistical eye height minus the time domain's
};
FlowDifference CompareFlows(const ProbeResponses& init, const ProbeResponses& timeDomain);

}  // namespace amihost
