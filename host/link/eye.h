// Waveform metrics of an NRZ output: the eye measured against the bits that
// were sent, levels, 20-80 % rise time, swing and pulse-response cursors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace amihost {

struct EyeMetrics {
    bool valid = false;       // at least one sent 1 and one sent 0 were analysed
    std::string note;         // why the eye is not valid
    int bestPhase = 0;        // sampling phase, samples from the start of the UI window
    double height = 0.0;      // volts: lowest sent "1" minus highest sent "0" there;
                              // zero or negative for a closed or inverted eye
    double widthUi = 0.0;     // unit intervals: the widest span free of threshold crossings
    double threshold = 0.0;   // the decision level
    double highLevel = 0.0;   // mean of the sent "1" samples at the sampling phase
    double lowLevel = 0.0;    // mean of the sent "0" samples at the sampling phase
    double peakToPeak = 0.0;  // over the analysed samples
    std::uint64_t bits = 0;   // unit intervals analysed
    std::uint64_t crossings = 0;
};

// The unit intervals the eye picture draws, from the first analysed one.
constexpr std::uint64_t kDensityBits = 16384;

// Trace density over two unit intervals, for the eye diagram. Column 0 is the
// start of a UI window; positions wrap at two unit intervals.
struct EyeDensity {
    int width = 0, height = 0;
    double v0 = 0, v1 = 0;            // voltage at the bottom and the top
    std::vector<std::uint32_t> hits;  // row-major, row 0 at the top
};

// The bit sent in unit interval b: 0 or 1, or -1 when not known.
using BitFn = std::function<int(std::uint64_t b)>;

// Streams an output waveform (N samples per unit interval) and measures its
// eye against the sent bits, from the window of bit `skipBits` on (the
// ignored bits, counted as bits sent, after this probe's own delay). The system delay `delay`
// (samples from the start of a sent bit to its main cursor in the output)
// places the UI windows: the window of bit b starts at b N + delay - N/2, so
// the main cursor lies in its middle. The decision threshold and the density's
// voltage range come from the first `calibration` analysed samples.
class EyeAccumulator {
public:
    EyeAccumulator(int N, std::uint64_t skipBits, std::int64_t delay, BitFn bit,
                   std::size_t calibration = std::size_t{1} << 20);
    void TrackDensity(int width, int height);
    // The next n samples, starting at absolute sample index `at`.
    void Add(const double* y, std::size_t n, std::uint64_t at);
    EyeMetrics Finish();
    const EyeDensity& Density() const { return density_; }
    // The lowest bit index later samples can still ask for.
    std::uint64_t OldestBitNeeded() const;
    // The phase (0 to N - 1) of absolute sample `sample` in its UI window.
    int PhaseOf(std::uint64_t sample) const;
    // Lowest sent 1 minus highest sent 0 at `phase` (after Finish); NaN without both.
    double HeightAt(int phase) const;

private:
    void Calibrate();
    // Analysed samples from absolute index k on, after calibration.
    void Feed(const double* y, std::size_t n, std::uint64_t k);
    void Draw(double from, double to, std::size_t position);

    int N_;
    std::uint64_t skipBits_;
    std::int64_t origin_;  // sample index where the window of bit 0 starts
    BitFn bit_;
    std::size_t calibration_;
    bool calibrated_ = false;
    std::vector<double> pending_;  // analysed samples before calibration
    std::uint64_t pendingStart_ = 0;
    std::uint64_t lastSample_ = 0;
    double threshold_ = 0, lo_ = 0, hi_ = 0;
    bool haveLast_ = false;
    double last_ = 0;
    std::vector<double> minOne_, maxZero_, sumOne_, sumZero_;
    std::vector<std::uint64_t> ones_, zeros_;
    std::vector<double> binMin_, binMax_;  // crossing phases by bin
    std::uint64_t crossings_ = 0;
    std::uint64_t firstBit_ = UINT64_MAX, lastBit_ = 0;
    bool trackDensity_ = false;
    std::uint64_t densityBitsEnd_ = 0;
    EyeDensity density_;
    double xScale_ = 0, yScale_ = 0;  // pixels per sample and per volt
};

// The whole waveform at once, with the bits sent (one per unit interval).
EyeMetrics MeasureEye(const std::vector<double>& y, int N, std::size_t skipBits, std::int64_t delay,
                      const std::vector<int>& bits);

}  // namespace amihost
