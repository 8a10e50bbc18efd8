// Drives any IBIS-AMI library as a simulator would, checking the AMI contract
// on every call: return codes, the message text, the clock-time terminator,
// writes beyond the wave (guard samples) and the impulse matrix left alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace amihost {

class Library {
public:
    using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
    using GetWaveFn = long (*)(double*, long, double*, char**, void*);
    using CloseFn = long (*)(void*);

    // Returns an error text, empty on success.
    std::string Open(const std::string& path);
    ~Library();
    Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    InitFn Init = nullptr;
    GetWaveFn GetWave = nullptr;
    CloseFn Close = nullptr;

private:
    void* handle_ = nullptr;
};

// How the waveform is cut into AMI_GetWave calls.
struct BlockPolicy {
    enum Kind { Whole, Fixed, Bits, Random } kind = Whole;
    std::uint64_t size = 0;  // samples for Fixed, bits for Bits, largest block for Random
    std::uint32_t seed = 1;
    // "whole", "fixed:N", "bits:K", "random:SEED[:MAX]"; returns false if malformed.
    static bool Parse(const std::string& text, BlockPolicy& out);
    std::string Describe() const;
};

struct RunConfig {
    std::string parameters;  // AMI_parameters_in
    double bitTime = 1e-10;
    int samplesPerBit = 32;
    BlockPolicy policy;
    bool expectImpulseUntouched = true;  // Init_Returns_Impulse False
};

struct RunResult {
    long initResult = -1, closeResult = -1;
    long waveCalls = 0, failedWaveCalls = 0;
    std::string message;        // what msg pointed to after AMI_Init
    std::string parametersOut;  // AMI_parameters_out after AMI_Init, if any
    std::vector<double> output;
    std::vector<std::string> breaches;  // contract breaches, in the order found
    bool Ok() const { return breaches.empty() && initResult == 1 && failedWaveCalls == 0; }
};

// Fills `n` stimulus samples starting at sample `at`.
using SourceFn = std::function<void(double* samples, std::size_t n, std::uint64_t at)>;
// Receives `n` output samples starting at sample `at`, in order.
using SinkFn = std::function<void(const double* samples, std::size_t n, std::uint64_t at)>;
// Called after each block with the samples done so far.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Streams `total` samples through one Init/GetWave.../Close cycle. The
// output is not kept in the result; the sink sees it block by block.
RunResult RunModel(const Library& lib, const RunConfig& config, std::uint64_t total,
                   const SourceFn& source, const SinkFn& sink, const ProgressFn& progress = {});

// The whole stimulus in memory; the output lands in RunResult::output.
RunResult RunModel(const Library& lib, const RunConfig& config,
                   const std::vector<double>& stimulus);

}  // namespace amihost
