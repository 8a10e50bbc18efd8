// Stimulus waveforms: PRBS patterns, a step, a single pulse, or a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/result.h"

namespace amihost {

// A Fibonacci LFSR for the standard PRBS polynomials x^n + x^k + 1
// (7/6, 9/5, 11/9, 15/14, 23/18, 31/28), started from all ones.
class Prbs {
public:
    // Returns false for an order without a standard polynomial.
    static bool Supported(int order);
    explicit Prbs(int order);
    int NextBit();
    std::uint64_t Period() const { return (std::uint64_t{1} << order_) - 1; }

private:
    int order_;
    int tap_;
    std::uint32_t state_;
};

struct Stimulus {
    std::vector<int> bits;  // the bit per unit interval (empty for a file)
    std::vector<double> samples;
};

// NRZ: each bit held for samplesPerBit samples at `high` or `low`.
Stimulus Nrz(const std::vector<int>& bits, int samplesPerBit, double high, double low);
std::vector<int> PrbsBits(int order, std::uint64_t count);
// `before` bits low, then `after` bits high.
std::vector<int> StepBits(int before, int after);
// `before` bits low, one bit high, `after` bits low.
std::vector<int> PulseBits(int before, int after);
// One sample per line (blank lines and '#' comments skipped), or raw
// little-endian doubles when the name ends in ".bin".
Expected<std::vector<double>> ReadWaveform(const std::string& path);

}  // namespace amihost
