// The linear filter behind an impulse response that AMI_Init returned: what
// a model without AMI_GetWave does to a waveform. A model's AMI_Init receives
// an impulse response `in` and returns `out`, the same response with its
// equalisation applied; the filter is `out` deconvolved by `in` (exactly
// `out` scaled when `in` is a single sample). And the filter applied to a
// waveform block by block, its state kept from block to block.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace amihost {

// The filter f with out = in * f (both one sample interval apart, any
// units as long as they are the same). When `in` has more than one non-zero
// sample, by the discrete Fourier transform of twice the longer length,
// regularised where `in` holds less than about 1e-12 of its largest
// magnitude (there the channel passes nothing, and f fades to 0), then
// refined twice on what the kept taps give back: in * f = out wherever the
// channel carries signal. At most `out.size()` taps.
std::vector<double> FilterFromInit(const std::vector<double>& in, const std::vector<double>& out);

// The discrete impulse response of a step response: its differences,
// divided by the step's height (`step[0]` counts from 0).
std::vector<double> ImpulseOfStep(const std::vector<double>& step, double height);

class Convolver;  // link/channel.h

// y[n] = sum_k taps[k] x[n - k] in place, over a waveform handed over in
// blocks of any size (the samples before the first block are 0). Short
// filters directly in double precision; long ones by FFT.
class LinearFilter {
public:
    explicit LinearFilter(std::vector<double> taps);
    ~LinearFilter();
    LinearFilter(const LinearFilter&) = delete;
    LinearFilter& operator=(const LinearFilter&) = delete;
    void Apply(double* x, std::size_t n);
    std::size_t Taps() const { return taps_.size(); }

    // Filters up to this many taps run directly.
    static constexpr std::size_t kDirectTaps = 512;

private:
    std::vector<double> taps_;
    std::vector<double> history_;  // the last taps - 1 inputs, oldest first (direct)
    std::vector<double> work_;
    std::unique_ptr<Convolver> fft_;
    double* out_ = nullptr;  // where the FFT path writes its output
};

}  // namespace amihost
