// Waveform metrics of an NRZ output: eye opening at the best sampling phase,
// levels, 20-80 % rise time, swing and pulse-response cursors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace amihost {

struct EyeMetrics {
    bool valid = false;
    int bestPhase = 0;        // sample index within the unit interval
    double height = 0.0;      // volts: lowest "1" minus highest "0" at the best phase
    double widthUi = 0.0;     // unit intervals: 1 minus the spread of threshold crossings
    double threshold = 0.0;   // the decision level
    double highLevel = 0.0;   // mean of the "1" samples at the best phase
    double lowLevel = 0.0;    // mean of the "0" samples at the best phase
    double peakToPeak = 0.0;  // over the analysed samples
    std::uint64_t crossings = 0;
    double centrePhase = 0.0;  // samples: halfway between the crossing edges, for plots
};

// Trace density over two unit intervals, for the eye diagram. Columns are
// positions modulo two unit intervals, drawn circularly.
struct EyeDensity {
    int width = 0, height = 0;
    double v0 = 0, v1 = 0;            // voltage at the bottom and the top
    std::vector<std::uint32_t> hits;  // row-major, row 0 at the top
};

// Streams an output waveform (N samples per unit interval, unit intervals
// starting at multiples of N) and measures its eye from sample `skip` on. The
// decision threshold and the density's voltage range come from the first
// `calibration` analysed samples (all of them for shorter waveforms).
class EyeAccumulator {
public:
    EyeAccumulator(int N, std::uint64_t skip, std::size_t calibration = std::size_t{1} << 20);
    // Adds density tracking for a picture of width x height pixels.
    void TrackDensity(int width, int height);
    // The next n samples, starting at absolute sample index `at`.
    void Add(const double* y, std::size_t n, std::uint64_t at);
    EyeMetrics Finish();
    const EyeDensity& Density() const { return density_; }

private:
    void Calibrate();
    void Process(double v, std::uint64_t k);

    int N_;
    std::uint64_t skip_;
    std::size_t calibration_;
    bool calibrated_ = false;
    std::vector<double> pending_;  // analysed samples before calibration
    std::uint64_t pendingStart_ = 0;
    double threshold_ = 0, lo_ = 0, hi_ = 0;
    bool haveLast_ = false;
    double last_ = 0;
    std::vector<double> minOne_, maxZero_, sumOne_, sumZero_;
    std::vector<std::uint64_t> ones_, zeros_;
    // Threshold crossings by phase bin: the extreme exact phases in each bin.
    std::vector<double> binMin_, binMax_;
    std::uint64_t crossings_ = 0;
    bool trackDensity_ = false;
    EyeDensity density_;
};

// The whole waveform at once.
EyeMetrics MeasureEye(const std::vector<double>& y, int N, std::size_t skip);

// 20-80 % rise time, in samples, of a step response whose step starts at
// sample `start`; the low level is the mean of the `window` samples before the
// step, the high level the final value. Negative when the response never
// crosses both levels.
double RiseTime2080(const std::vector<double>& y, std::size_t start, std::size_t window,
                    double* low, double* high);

struct Cursors {
    int peakIndex = -1;
    int first = 0;               // unit intervals of values[0] relative to the main cursor
    std::vector<double> values;  // at peak + k N for k = first, first + 1, ...
};

// Pulse response relative to `baseline`, sampled at unit-interval spacing
// around its largest magnitude: `pre` cursors before the main one, `post` after.
Cursors PulseCursors(const std::vector<double>& y, double baseline, int N, int pre, int post);

}  // namespace amihost
