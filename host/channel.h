// The channel between transmitter and receiver: its discrete impulse response
// at the simulation's sample interval, from a Touchstone file (S21, or SDD21
// of four ports), a built-in lossy line, or a sampled impulse or step
// response; and its streaming convolution with a waveform.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace amihost {

struct Channel {
    std::string description;
    std::vector<double> impulse;        // h[k]: y[n] = sum_k h[k] x[n - k]
    std::vector<std::string> warnings;  // data not passive, response visibly non-causal, ...
};

// Port order of a four-port file: the + and - inputs, then the + and - outputs.
struct PortOrder {
    int inPlus = 1, inMinus = 3, outPlus = 2, outMinus = 4;
};
// "1,3,2,4": false when malformed.
bool ParsePortOrder(const std::string& text, PortOrder& order);

// Loads `source`: FILE.s2p, FILE.s4p, line:LOSS_DB@FREQ_HZ, impulse:FILE or
// step:FILE, for the sample interval `dt` and unit interval `bitTime`.
// Returns an error text ("FILE:LINE: ..."), empty on success.
std::string LoadChannel(const std::string& source, double dt, double bitTime, const PortOrder& ports,
                        Channel& out);

// The built-in line: H(f) = exp(-a (j f/F)^0.5 - b (j f/F)^0.9), with a and b
// such that each term gives half of `lossDb` at F. Both terms are causal.
std::complex<double> LineResponse(double f, double lossDb, double atHz);

struct TouchstoneData {
    std::vector<double> frequency;                   // hertz, increasing
    std::vector<std::complex<double>> through;       // S21 or SDD21
};
// Reads a Touchstone 1.x or 2.0 file of two or four ports.
std::string ReadTouchstone(const std::string& path, const PortOrder& ports, TouchstoneData& out);

// Streaming convolution by FFT overlap-add: Push takes the input in blocks of
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
