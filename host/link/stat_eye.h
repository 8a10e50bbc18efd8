// The statistical eye: from a pulse response, the distribution of the
// inter-symbol interference over all bit patterns (every cursor's two-point
// distribution convolved), with Gaussian noise and random jitter; the bit
// error ratio over sampling phase and decision level; eye height, threshold
// and width at a target BER; and the peak-distortion (worst-case) eye beside it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace amihost {

// A bounded jitter term of the sampling instant, in unit intervals: dual
// Dirac (half the instants `amplitude` early, half late: deterministic
// jitter, or the two edges of duty-cycle distortion), or sinusoidal (the
// arcsine distribution over [-amplitude, amplitude]).
// Or a table: offsets (unit intervals) with their probabilities, each at
// its nearest sample, the whole scaled to a sum of 1.
struct JitterTerm {
    enum Kind { DualDirac, Sinusoidal, Table } kind = DualDirac;
    double amplitude = 0.0;
    std::vector<std::pair<double, double>> table;  // (offset, probability)
    JitterTerm() = default;
    JitterTerm(Kind k, double a) : kind(k), amplitude(a) {}
};

struct StatEyeOptions {
    double noiseRms = 0.0;   // volts, Gaussian, added at the decision
    double jitterRms = 0.0;  // unit intervals, Gaussian random jitter of the sampling instant
    std::vector<JitterTerm> jitter;  // bounded terms, convolved with the Gaussian
    // Volts: the receiver decides right only this far from its threshold
    // (Rx_Receiver_Sensitivity); every height, the worst case's too, is 2 S less.
    double sensitivity = 0.0;
    double targetBer = 1e-12;
    int levels = 1024;       // voltage levels of the BER map (the picture)
    int gridBins = 8192;     // most bins of each ISI distribution
    int exactCursors = 128;  // the largest cursors each counted exactly; the rest as one group
    bool enabled = true;     // false: no statistical eye (StatEye::valid stays false)
    bool berMap = true;      // false: no BER map (StatEye::ber empty) unless jitter needs it
    // Only what ranking needs (without jitter or a BER map): the best phase,
    // its height, BER and threshold, the width and the worst case; phases
    // that bounds prove cannot be the best are not computed (their heights
    // and bathtub NaN, and gridError covers the phases computed).
    bool bestOnly = false;
};

struct StatEye {
    bool valid = false;
    int N = 0;                    // phases per unit interval
    int levels = 0;               // rows of the BER map
    double v0 = 0, v1 = 0;        // the BER map's voltages: `levels` from v0 to v1
    std::vector<double> ber;      // [phase * levels + level]: BER deciding at that level (or empty)
    std::vector<double> bathtub;  // per phase: BER at its best decision level
    std::vector<double>
        heights;        // per phase: volts of the widest run of levels at or below the target
    int bestPhase = 0;  // the phase of the widest vertical opening at the target BER
    double heightAtTarget = 0.0;  // volts, at bestPhase
    double thresholdAtBest =
        0.0;  // volts: the middle of that opening (or the level of the lowest BER)
    double widthAtTarget =
        0.0;  // unit intervals: the contiguous run of open phases through bestPhase
    // The worst case over all patterns (no noise): lowest 1 minus highest 0.
    double peakDistortionHeight = 0.0;  // at bestPhase
    double peakDistortionBest = 0.0;    // at its own best phase
    int peakDistortionPhase = 0;
    double peakDistortionWidth = 0.0;  // unit intervals of phases with a positive worst-case height
    // Bound on how far any level of any ISI distribution lies from its exact
    // value because of the grid (volts); the heights are exact to twice it.
    double gridError = 0.0;
    // The cursors beyond the largest `exactCursors` of each phase, taken
    // together: how many (at most, over the phases), and the largest of them.
    int groupedCursors = 0;
    double largestGrouped = 0.0;
};

// `pulse`: the response to one isolated 1 minus the response to the same run
// of 0s (so nothing the model does before it settles remains), `N` samples per
// unit interval; `main` is the sample at the centre of its bit (phase N/2);
// `baseline` is the settled level of a run of 0s. Phase p samples at
// main - N/2 + p.
StatEye ComputeStatEye(const std::vector<double>& pulse, double baseline, int N, std::int64_t main,
                       const StatEyeOptions& options);

// The distribution of sum_i b_i c_i over fair independent bits b_i: mass
// `p[i]` at `(lo + i) * step`. The `exact` largest cursors count exactly:
// `error` bounds how far any of their patterns' sums lies from the level that
// holds it. The smaller rest, a tail of many tiny cursors, acts as one
// bounded group: a Gaussian of their mean and variance cut at the least and
// the most they can sum to (never beyond the sum of their magnitudes).
struct IsiDistribution {
    double step = 0;
    std::int64_t lo = 0;
    std::vector<double> p;
    double error = 0;
    int grouped = 0;
    double largestGrouped = 0;
    double Level(std::size_t i) const {
        return static_cast<double>(lo + static_cast<std::int64_t>(i)) * step;
    }
};
// The distribution of the sampling instant's offset, in samples of 1/N of a
// unit interval from -half to +half: the Gaussian of jitterRms convolved with
// each bounded term (a dual Dirac at the nearest samples: the phases lie half
// a sample off the edges, so it closes the same phases; an arcsine's mass
// integrated over each sample's half-sample neighbourhood). {1} without jitter.
std::vector<double> JitterDistribution(const StatEyeOptions& options, int N);
bool HasJitter(const StatEyeOptions& options);

IsiDistribution ComputeIsi(const std::vector<double>& cursors, int maxBins, int exact = 1 << 30);

}  // namespace amihost
