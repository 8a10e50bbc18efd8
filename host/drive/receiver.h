// A receiver AMI model after the channel, driven as a simulator drives one:
// AMI_Init gets the channel's impulse response, AMI_GetWave the channel's
// output block by block, with the same contract checks as the transmitter.
#pragma once

#include <string>
#include <vector>

#include "link/responses.h"
#include "runner.h"

namespace amihost {

// The impulse matrix a receiver's AMI_Init gets: the channel's response per
// second (samples divided by the sample interval).
std::vector<double> ImpulseMatrixOf(const std::vector<double>& impulse, double dt);

// The receiver's responses: three fresh instances run on the channel's run
// of 0s, its pulse and its step (each as long as the channel's pulse
// response plus 64 unit intervals), their breaches added to `breaches`.
ProbeResponses ReceiverResponses(const Library& lib, const RunConfig& config,
                                 const std::vector<double>& impulse, const ProbeResponses& atInput,
                                 const StatEyeOptions& options, std::vector<std::string>& breaches);

// The sampling instant of a clock time, in samples: the IBIS-AMI clock time
// is where the recovered clock crosses its threshold, and the data is
// sampled `decision` seconds later (Rx_Decision_Time; by default half a
// unit interval).
double ClockSample(double clockTime, double bitTime, int samplesPerBit, double decision);

}  // namespace amihost
