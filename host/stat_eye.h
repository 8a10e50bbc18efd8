// The statistical eye: from a pulse response, the distribution of the
// inter-symbol interference over all bit patterns (the cursors' two-point
// distributions convolved), with Gaussian noise and random jitter; the bit
// error ratio over sampling phase and decision level; eye height and width at
// a target BER, and the bathtub curve.
#pragma once

#include <cstdint>
#include <vector>

namespace amihost {

struct StatEyeOptions {
    double noiseRms = 0.0;   // volts, Gaussian, added at the decision
    double jitterRms = 0.0;  // unit intervals, Gaussian random jitter of the sampling instant
    double targetBer = 1e-12;
    int levels = 1024;       // voltage bins
};

struct StatEye {
    bool valid = false;
    int N = 0;                        // phases per unit interval
    double v0 = 0, v1 = 0;            // the voltage grid: levels bins from v0 to v1
    std::vector<double> ber;          // [phase * levels + bin]: BER deciding at that level
    std::vector<double> bathtub;      // per phase: BER at its best decision level
    int bestPhase = 0;                // phase of the lowest BER
    double heightAtTarget = 0.0;      // volts of decision levels with BER <= target at bestPhase
    double widthAtTarget = 0.0;       // unit intervals of phases with BER <= target
    double thresholdAtBest = 0.0;
};

// `pulse`: the response to a single 1 bit above the all-zeros output
// `baseline`, `N` samples per unit interval; `main` is the sample of its main
// cursor. Phase 0 is half a unit interval before the main cursor.
StatEye ComputeStatEye(const std::vector<double>& pulse, double baseline, int N, std::int64_t main,
                       const StatEyeOptions& options);

// The distribution of sum_i b_i c_i over fair independent bits b_i, on `bins`
// levels from v0 to v1 (probabilities summing to 1). Cursors of two levels or
// more count exactly (their shifts rounded to whole levels); smaller ones
// together as a Gaussian.
std::vector<double> IsiDistribution(const std::vector<double>& cursors, double v0, double v1, int bins);

}  // namespace amihost
