// Drives any IBIS-AMI library as a simulator would, checking the AMI contract
// on every call: return codes, the message text, the clock-time terminator,
// writes beyond the wave (guard samples) and the impulse matrix left alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/init_filter.h"
#include "link/result.h"

namespace amihost {

class Library {
public:
    using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
    using GetWaveFn = long (*)(double*, long, double*, char**, void*);
    using CloseFn = long (*)(void*);

    Status Open(const std::string& path);
    ~Library();
    Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& Path() const { return path_; }
    InitFn Init = nullptr;
    GetWaveFn GetWave = nullptr;
    CloseFn Close = nullptr;

private:
    void* handle_ = nullptr;
    std::string path_;
};

// How the waveform is cut into AMI_GetWave calls.
struct BlockPolicy {
    enum Kind { Whole, Fixed, Bits, Random } kind = Whole;
    std::uint64_t size = 0;  // samples for Fixed, bits for Bits, largest block for Random
    std::uint32_t seed = 1;
    // "whole", "fixed:N", "bits:K", "random:SEED[:MAX]"; an error says what is allowed.
    static Expected<BlockPolicy> Parse(const std::string& text);
    std::string Describe() const;
};

struct RunConfig {
    std::string parameters;  // AMI_parameters_in
    double bitTime = 1e-10;
    int samplesPerBit = 32;
    BlockPolicy policy;
    bool expectImpulseUntouched = true;  // Init_Returns_Impulse False
    // GetWave_Exists: false means AMI_GetWave is not called (even when the
    // library exports it); the waveform goes through the filter that the
    // impulse response AMI_Init returned represents (Init_Returns_Impulse
    // must be True).
    bool getWaveExists = true;
    // Use_Init_Output True, declared (files before AMI 6.0) with both flags
    // True: the waveform goes through AMI_Init's filter, then AMI_GetWave.
    bool initFilterBeforeGetWave = false;
    // DC_Offset of Usage Out: the value AMI_Init returns in
    // AMI_parameters_out is added to every output sample (the waveform at
    // the model's output is AMI_GetWave's plus it).
    bool addDcOffset = false;
    // What AMI_Init receives as its impulse matrix when no column is given:
    // the channel's impulse response, one column, per second (as a simulator
    // sends it); null: no channel, a unit impulse (1 / sample interval at
    // the first sample). A model whose AMI_Init returns an impulse response
    // gets kInitRoomBits unit intervals of 0s after it, room for its filter's
    // response.
    std::shared_ptr<const std::vector<double>> impulse;
};

struct RunResult {
    long initResult = -1, closeResult = -1;
    long waveCalls = 0, failedWaveCalls = 0;
    std::string message;        // what msg pointed to after AMI_Init
    std::string parametersOut;  // AMI_parameters_out after AMI_Init, if any
    std::vector<double> output;
    std::vector<std::string> breaches;  // contract breaches, in the order found
    // Init_Returns_Impulse True: the impulse matrix AMI_Init received and
    // what it returned (first column, per second).
    std::vector<double> initInput, initOutput;
    // No AMI_GetWave (or GetWave_Exists False): the waveform went through
    // the filter of this many taps derived from AMI_Init's impulse response.
    std::size_t initFilterTaps = 0;
    double dcOffset = 0;   // added to the output (DC_Offset returned by AMI_Init)
    bool stopped = false;  // the source or sink ended the run before its last sample
    bool Ok() const { return breaches.empty() && initResult == 1 && failedWaveCalls == 0; }
};

// Unit intervals of 0s appended to the impulse matrix of a model whose
// AMI_Init returns an impulse response.
constexpr int kInitRoomBits = 64;

// The value of (DC_Offset V) in a parameter string, or 0 when there is none.
double DcOffsetIn(const std::string& parameters);

// Guard samples on each side of every wave handed to a model.
constexpr std::size_t kGuardSamples = 64;
// The largest AMI_GetWave call of the "whole" policy: a longer waveform is
// handed over in calls of this many samples, so that memory stays flat.
constexpr std::uint64_t kWholeCallLimit = std::uint64_t{1} << 20;

// One instance of a model, with the contract checked on every call: the
// impulse matrix and AMI_parameters_in left alone, return codes, the
// message text and AMI_parameters_out, writes beyond the wave and the clock
// times (guard samples), the -1 terminator, and outputs that are not finite.
// Every breach is recorded in Result().
class ModelSession {
public:
    ModelSession() = default;
    ~ModelSession();
    ModelSession(const ModelSession&) = delete;
    ModelSession& operator=(const ModelSession&) = delete;
    // AMI_Init with `impulse` as the one-column impulse matrix (the config's,
    // or a unit impulse, when empty). False when it failed or gave no handle,
    // or when the model has no AMI_GetWave and returns no impulse response.
    bool Init(const Library& lib, const RunConfig& config, const std::vector<double>& impulse = {});
    // AMI_GetWave on `n` samples in place (`at`: the first one's index in the
    // whole waveform); appends the clock times the model reports. A model
    // without AMI_GetWave: its AMI_Init's filter, in place (no clock times).
    bool GetWave(double* wave, std::size_t n, std::uint64_t at, std::vector<double>* clockTimes);
    // The same in place: kGuardSamples doubles before `wave` and after its
    // end must be the caller's to overwrite (they receive the guard pattern).
    bool GetWaveGuarded(double* wave, std::size_t n, std::uint64_t at,
                        std::vector<double>* clockTimes);
    long Close();
    const RunResult& Result() const { return r_; }
    // The model runs through its AMI_Init's filter (no AMI_GetWave calls).
    bool ThroughInitFilter() const { return filter_ != nullptr; }

private:
    const Library* lib_ = nullptr;
    RunConfig config_;
    void* handle_ = nullptr;
    bool closed_ = false;
    char* out_ = nullptr;
    std::vector<char> paramsIn_, paramsCopy_;
    std::vector<double> block_, clock_;
    std::unique_ptr<LinearFilter> filter_;     // a model run through its AMI_Init's filter
    std::unique_ptr<LinearFilter> preFilter_;  // that filter before AMI_GetWave (Use_Init_Output)
    bool guardBreach_ = false, clockBreach_ = false, terminatorBreach_ = false,
         paramsBreach_ = false, nonFiniteBreach_ = false;
    RunResult r_;
};

// Fills `n` stimulus samples starting at sample `at`; false stops the run
// before this block (Ctrl-C).
using SourceFn = std::function<bool(double* samples, std::size_t n, std::uint64_t at)>;
// Receives `n` output samples starting at sample `at`, in order; false stops
// the run after this block.
using SinkFn = std::function<bool(const double* samples, std::size_t n, std::uint64_t at)>;
// Called after each block with the samples done so far.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Streams `total` samples through one Init/GetWave.../Close cycle. The
// output is not kept in the result; the sink sees it block by block. A run
// the source or sink stopped is closed at once and marked `stopped`.
RunResult RunModel(const Library& lib, const RunConfig& config, std::uint64_t total,
                   const SourceFn& source, const SinkFn& sink, const ProgressFn& progress = {});

// The whole stimulus in memory; the output lands in RunResult::output.
RunResult RunModel(const Library& lib, const RunConfig& config,
                   const std::vector<double>& stimulus);

}  // namespace amihost
