#include "link.h"

#include <cmath>

namespace amihost {

int LoadChannelOption(const CommonOptions& o, Channel& channel, StatEyeOptions& statOptions) {
    channel = Channel{};
    channel.impulse = {1.0};
    channel.description = "no channel";
    if (!(o.noiseRms >= 0) || !(o.rjRms >= 0) || !std::isfinite(o.noiseRms) || !std::isfinite(o.rjRms)) {
        Error("--noise-rms and --rj-rms must be finite and not negative");
        return 2;
    }
    statOptions.noiseRms = o.noiseRms;
    statOptions.jitterRms = o.rjRms;
    if (o.channel.empty()) return 0;
    PortOrder ports;
    if (!ParsePortOrder(o.ports, ports)) {
        Error("--ports expects four distinct ports 1 to 4: in+,in-,out+,out- (such as 1,3,2,4)");
        return 2;
    }
    if (const std::string e = LoadChannel(o.channel, o.bitTime / o.samplesPerBit, o.bitTime, ports, channel); !e.empty()) {
        Error(e);
        return 2;
    }
    if (!o.quiet)
        for (const std::string& w : channel.warnings) Warning(w);
    return 0;
}

std::vector<double> ConvolveAll(const std::vector<double>& x, const std::vector<double>& h) {
    std::vector<double> y;
    y.reserve(x.size() + h.size());
    Convolver conv(h, [&](const double* out, std::size_t n) { y.insert(y.end(), out, out + n); });
    conv.Push(x.data(), x.size());
    const std::vector<double> zeros(h.size() > 0 ? h.size() - 1 : 0, 0.0);
    conv.Push(zeros.data(), zeros.size());
    conv.Finish();
    return y;
}

LinkResponses ThroughChannel(const Responses& tx, const Channel& channel, std::size_t start, int N,
                             const StatEyeOptions& options) {
    LinkResponses r;
    if (!tx.ok || start == 0 || start >= tx.pulse.output.size()) return r;
    // The all-zeros level passes at the channel's DC gain; the rest is the
    // pulse's excess over it, convolved in full so that no tail is lost.
    double dc = 0;
    for (double v : channel.impulse) dc += v;
    const double base = tx.pulse.output[start - 1];
    std::vector<double> excess(tx.pulse.output.size());
    for (std::size_t k = 0; k < excess.size(); ++k) excess[k] = tx.pulse.output[k] - base;
    r.pulse = ConvolveAll(excess, channel.impulse);
    for (double& v : r.pulse) v += base * dc;
    r.step = ConvolveAll(tx.step.output, channel.impulse);
    r.step.resize(tx.step.output.size());
    r.low = tx.low * dc;
    r.high = r.step.back();
    AlignPulse(r.pulse, start, N, r.cursors, r.delaySamples);
    if (r.cursors.peakIndex >= 0)
        r.stat = ComputeStatEye(r.pulse, base * dc, N, r.cursors.peakIndex, options);
    return r;
}

}  // namespace amihost
