// The channel between transmitter and receiver: its discrete impulse response
// at the simulation's sample interval, from Touchstone data (S21, or SDD21 of
// four ports), a built-in lossy line, or a sampled impulse or step response;
// and its streaming convolution with a waveform.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "result.h"

namespace amihost {

struct Channel {
    std::string description;
    std::vector<double> impulse;        // h[k]: y[n] = sum_k h[k] x[n - k]
    double dcGain = 1.0;                // H(0) of the whole response (settled levels)
    double cutArea = 0.0;               // the response's area beyond `impulse`, relative to dcGain
    std::vector<std::string> warnings;  // data not passive, response visibly non-causal, ...
    int ports = 0;                      // a Touchstone file's ports (0: not a Touchstone file)
    // A response cut short whose tail is positive and does not rise (the
    // built-in line, checked over the kept response's second half): every
    // sample of the cut tail is at most this (the last kept sample); negative
    // when the tail is not known to be so. With cutArea, it bounds what the
    // cut tail adds to the worst case (CutTailBound).
    double tailFirst = -1;
};

// What the channel's response beyond `impulse` can add to the worst-case
// (peak-distortion) sum of the pulse `pulse` (N samples a bit) sent into it,
// summed over every cursor of a phase. With A the pulse's sum, |p| its
// absolute sum, P its length, h1 = tailFirst and S the cut area (of a DC gain
// of 1): for t >= L + P the tail's cursor is A h[t] plus at most
// |p| (h[t - P] - h[t]), which sum, every N samples, to at most
// |A| (h1 + S / N) + |p| h1 ceil(P / N); the ceil(P / N) cursors before
// L + P are each at most |p| h1. NAN when the channel gives no bound.
double CutTailBound(const Channel& channel, const std::vector<double>& pulse, int N);

// The built-in line's impulse response at `dt` on its whole grid (eight
// times kMaxImpulseSamples), of which LineChannel keeps the start.
std::vector<double> LineImpulse(double lossDb, double atHz, double dt);

// No channel: a single tap of 1.
Channel IdentityChannel();

// Port order of a four-port file: the + and - inputs, then the + and - outputs.
struct PortOrder {
    int inPlus = 1, inMinus = 3, outPlus = 2, outMinus = 4;
};
// "1,3,2,4"; an error saying what is expected when malformed.
Expected<PortOrder> ParsePortOrder(const std::string& text);

// The built-in line: H(f) = exp(-a (j f/F)^0.5 - b (j f/F)^0.9), with a and b
// such that each term gives half of `lossDb` at F. Both terms are causal; H(0) = 1.
std::complex<double> LineResponse(double f, double lossDb, double atHz);

// The largest response kept, in samples: a longer one would slow every run.
constexpr std::size_t kMaxImpulseSamples = std::size_t{1} << 16;

// The line's impulse response at sample interval `dt`: computed on a grid
// eight times longer than what is kept (so nothing wraps around), kept until
// less than 1e-4 of its area lies beyond, or for kMaxImpulseSamples (the
// skin-effect term's tail falls as t^-1.5; what lies beyond is in cutArea).
Channel LineChannel(double lossDb, double atHz, double dt, double bitTime);

struct TouchstoneData {
    int ports = 0;
    std::vector<double> frequency;              // hertz, increasing, not negative
    std::vector<std::complex<double>> through;  // S21 or SDD21
};
// Reads Touchstone 1.x or 2.0 text of two or four ports; `name` (the file's
// name) gives the port count by its extension in version 1 and starts every
// error text ("NAME:LINE: ...").
Expected<TouchstoneData> ParseTouchstone(const std::string& text, const std::string& name,
                                         const PortOrder& ports);

// The impulse response of Touchstone data: magnitude and unwrapped phase
// interpolated linearly (below the first point the magnitude holds and the
// phase goes linearly to 0 at DC; a 0 Hz point is used as it is), a raised
// cosine from 90 % of the last point to 0 there.
Channel TouchstoneChannel(const TouchstoneData& data, const std::string& name, double dt,
                          double bitTime);

// A sampled impulse response, or a step response (differenced).
Channel SampledChannel(const std::vector<double>& values, bool step, const std::string& name);

// Streaming convolution by FFT overlap-save (single precision): Push takes the input in blocks of
// any size and hands on the output samples as they are complete; Finish hands
// on the rest, so that exactly as many samples come out as went in.
class Convolver {
public:
    using Sink = std::function<void(const double* y, std::size_t n)>;
    Convolver(const std::vector<double>& impulse, Sink sink);
    ~Convolver();
    void Push(const double* x, std::size_t n);
    void Finish();

private:
    void Block(std::size_t n);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace amihost
