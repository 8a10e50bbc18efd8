// The link after the transmitter: its responses through the channel and the
// statistical eye at the channel's output.
#pragma once

#include <cstdint>
#include <vector>

#include "channel.h"
#include "metrics.h"
#include "session.h"
#include "stat_eye.h"

namespace amihost {

// --channel, --ports, --noise-rms and --rj-rms of the options: loads the
// channel (an identity when none is given) and prints its warnings. Returns 0
// or exit status 2.
int LoadChannelOption(const CommonOptions& o, Channel& channel, StatEyeOptions& statOptions);

// The whole convolution of x with h (x.size() + h.size() - 1 samples).
std::vector<double> ConvolveAll(const std::vector<double>& x, const std::vector<double>& h);

struct LinkResponses {
    std::vector<double> pulse, step;  // at the channel's output, volts
    Cursors cursors;
    std::int64_t delaySamples = 0;
    double low = 0, high = 0;  // settled output levels
    StatEye stat;
};

// The transmitter's step and pulse responses (bits from `start` on) through
// the channel, their alignment, and the statistical eye.
LinkResponses ThroughChannel(const Responses& tx, const Channel& channel, std::size_t start, int N,
                             const StatEyeOptions& options);

}  // namespace amihost
