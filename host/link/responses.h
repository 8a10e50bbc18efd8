// Pulse and step responses at a probe, free of whatever the model does before
// it settles: each is the run with the bit (or the step) minus the same run of
// 0s. From them: settled levels, the 20-80 % rise time, the cursors, the
// system delay that centres the eye, and the statistical eye; and the same
// through a linear channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/stat_eye.h"

namespace amihost {

class PaddedResponse;  // link/inner_loops.h

struct Cursors {
    int peakIndex = -1;          // the main cursor: the largest value above the baseline
    int first = 0;               // unit intervals of values[0] relative to the main cursor
    std::vector<double> values;  // at peak + k N for k = first, first + 1, ...
};

// Pulse response relative to `baseline`, from sample `from` on: the main
// cursor is its largest (signed) value, so that a strong negative post-cursor
// never takes its place; `pre` cursors before it and `post` after, one unit
// interval apart.
Cursors PulseCursors(const std::vector<double>& y, double baseline, int N, int pre, int post,
                     std::size_t from = 0);

// 20-80 % rise time, in samples, of a step response whose step starts at
// sample `start`; the low level is the mean of the `window` samples before the
// step, the high level `settled` when given (a probe's settled level: one
// definition for every probe, however long its run), else the final value.
// Empty when the response never crosses both levels. `t20` and `t80`, when
// given, receive the crossings (fractional samples).
std::optional<double> RiseTime2080(const std::vector<double>& y, std::size_t start,
                                   std::size_t window, double* low, double* high,
                                   std::optional<double> settled = std::nullopt,
                                   double* t20 = nullptr, double* t80 = nullptr);

struct ProbeResponses {
    bool ok = false;
    std::string note;           // why not ok
    std::size_t start = 0;      // sample where the pulse's bit (and the step) starts
    std::vector<double> pulse;  // the isolated 1 minus the run of 0s
    std::vector<double> step;   // the step minus the run of 0s
    double low = 0, high = 0;   // settled levels: a long run of 0s, of 1s
    std::optional<double> riseSamples;
    double rise20 = -1, rise80 = -1;  // where `step` crosses 20 % and 80 % (samples)
    Cursors cursors;                  // of `pulse` (baseline 0): -2 ... +5 UI
    std::int64_t delaySamples = 0;    // from `start` to the middle of the pulse at half its height
    StatEye stat;
};

// From three runs of one model that share everything up to `start`: a run of
// 0s, the same with a single 1 at `start`, and the same with 1s from `start`
// on. Each run must be long enough for the model to settle at its end.
ProbeResponses AnalyseResponses(const std::vector<double>& zeros, const std::vector<double>& pulse,
                                const std::vector<double>& step, std::size_t start, int N,
                                const StatEyeOptions& options);

// The same responses after a linear channel of impulse response `h` and DC
// gain `dcGain` (the whole response's, beyond what `h` holds). Without
// `withStep` the step response is left out (empty, and no rise time):
// ranking codes needs only the pulse.
// `padded`, when given, is h padded once for many pulses through one
// channel (otherwise each call pads it; the same bits either way).
ProbeResponses ThroughChannel(const ProbeResponses& in, const std::vector<double>& h, double dcGain,
                              int N, const StatEyeOptions& options, bool withStep = true,
                              const PaddedResponse* padded = nullptr);

// The input signals that give a probe's responses to the next model in the
// chain: its run of 0s, its pulse and its step, `length` samples each.
struct ResponseInputs {
    std::vector<double> zeros, pulse, step;
};
ResponseInputs InputsFrom(const ProbeResponses& r, std::size_t length);

// Cursors and the system delay (the middle of the pulse at half its height,
// from `start`) of a pulse response relative to `baseline`.
void AlignPulse(const std::vector<double>& pulse, double baseline, std::size_t start, int N,
                Cursors& cursors, std::int64_t& delay);

// The whole linear convolution of x with h (x.size() + h.size() - 1 samples),
// in double precision: directly over the non-zero stretch of x when that is
// short (each product and sum one fused multiply-add, in increasing order of
// x's index), else by FFT. `padded`: as for ThroughChannel.
std::vector<double> ConvolveFull(const std::vector<double>& x, const std::vector<double>& h,
                                 const PaddedResponse* padded = nullptr);

}  // namespace amihost
