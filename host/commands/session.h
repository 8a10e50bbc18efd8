// What the commands share: checking the common options, loading the model and
// building its parameter string, planning and producing the stimulus, the
// step and pulse runs, and console output.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ami_inputs.h"
#include "channel_source.h"
#include "commands.h"
#include "link/eye.h"
#include "link/responses.h"
#include "runner.h"
#include "stimulus.h"

namespace amihost {

void PrintError(const std::string& text);
void PrintWarning(const std::string& text);
// Every warning this process printed, in order (for the HTML report).
const std::vector<std::string>& WarningsPrinted();
// This tool's version.
std::string AmihostVersion();

// Samples this tool keeps in memory for one run (the step and pulse runs,
// check-invariance and each sweep row): 2^26 doubles, 512 MiB.
constexpr std::uint64_t kMaxInMemorySamples = std::uint64_t{1} << 26;

// Everything a run needs besides the stimulus.
struct Setup {
    Library lib;
    std::string parameters;
    AmiFile file;
    bool haveFile = false;
    int ignoreBits = 0;
    bool impulseUntouched = true;  // Init_Returns_Impulse False
    bool getWaveExists = true;     // GetWave_Exists True and AMI_GetWave exported
    // Use_Init_Output True declared (files before AMI 6.0) with both flags True.
    bool useInitOutput = false;
    bool dcOffsetOut = false;  // DC_Offset of Usage Out: AMI_Init's value added to the output
    // AMI_Init's impulse matrix: the channel's response (null: none given).
    std::shared_ptr<const std::vector<double>> initImpulse;
};

// Checks the options every command shares (finite, positive bit time; high
// above low; sizes that fit in memory). Returns 0 or exit status 2.
int CheckCommonOptions(const CommonOptions& o);

// --ibs: checks the .ibs (errors stop unless --force) and sets the library and
// .ami file from its [Algorithmic Model] for this platform. Returns 0 or 2.
int ResolveIbs(CommonOptions& o);

// Loads the library and builds the parameter string. Returns 0 or an exit status.
// `read`, when given, is the .ami file as already read (a grid's rows take it
// from the probe instead of parsing the file again).
int Prepare(const CommonOptions& o, Setup& setup,
            const std::map<std::string, std::string>& extra = {}, const AmiFile* read = nullptr);

// The receiver's --rx, --rx-ami, --rx-params, --rx-set and --rx-ibs, with the
// same rules as the transmitter's options. Returns 0 or an exit status.
int PrepareReceiver(const CommonOptions& o, Setup& rx);
bool HaveReceiverOptions(const CommonOptions& o);

// --set NAME=VALUE (or Model_Specific.NAME=VALUE) arguments as names and values.
Expected<std::map<std::string, std::string>> ParseSets(const std::vector<std::string>& sets);

struct StimulusPlan {
    std::string kind;  // prbs, step, pulse, file
    int order = 0;
    std::vector<double> fileSamples;
    std::uint64_t bits = 0;  // for generated patterns
    std::uint64_t samples = 0;
    std::string Describe() const { return kind == "prbs" ? "prbs" + std::to_string(order) : kind; }
};

int PlanStimulus(const CommonOptions& o, int ignoreBits, StimulusPlan& plan);

// Produces the planned stimulus block by block and remembers the bits sent
// (for a file: the input read against its middle level at the middle of each
// unit interval), in a window that the eye measurement trims as it goes.
// The bits sent in a stretch of unit intervals, forgotten from the front.
class BitWindow {
public:
    void Append(int bit) { bits_.push_back(static_cast<std::int8_t>(bit)); }
    // 0, 1, or -1 when not (or no longer) known.
    int Bit(std::uint64_t b) const {
        return b < start_ || b - start_ >= bits_.size()
                   ? -1
                   : bits_[static_cast<std::size_t>(b - start_)];
    }
    void ForgetBefore(std::uint64_t b) {
        while (start_ < b && !bits_.empty()) {
            bits_.pop_front();
            ++start_;
        }
    }
    std::uint64_t End() const { return start_ + bits_.size(); }

private:
    std::deque<std::int8_t> bits_;
    std::uint64_t start_ = 0;
};

// Jitter of the transmitted edges (unit intervals): the edge between bits
// b - 1 and b moves by a Gaussian of `rj` rms, a dual Dirac of +-`dj`, a
// sinusoid of amplitude `sj` (frequency `sjHz`; 0: an independent phase
// per edge, the same arcsine distribution) and +`dcd` for a rising edge,
// -`dcd` for a falling one; each draw a function of b alone (the same
// waveform however it is cut in blocks), the total held within 0.49 UI.
struct EdgeJitter {
    double rj = 0, dj = 0, sj = 0, sjHz = 0, dcd = 0;
    bool Any() const { return rj > 0 || dj > 0 || sj > 0 || dcd > 0; }
    // The offset of edge b, in unit intervals; `rising` 0 to 1.
    double Offset(std::uint64_t b, bool rising, double bitTime) const;
};

class StimulusSource {
public:
    StimulusSource(const StimulusPlan& plan, const CommonOptions& o, int ignoreBits);
    // Generated patterns only (a file's waveform is taken as it is).
    void SetEdgeJitter(const EdgeJitter& jitter) { jitter_ = jitter; }
    void Fill(double* samples, std::size_t n, std::uint64_t at);
    // The bit of unit interval b: 0, 1, or -1 when not (or no longer) known.
    int Bit(std::uint64_t b) const;
    void ForgetBefore(std::uint64_t b);
    // Bits 0 to BitsKnown() - 1 have been decided (and until forgotten, Bit
    // gives them).
    std::uint64_t BitsKnown() const;

private:
    int NextBit(std::uint64_t index);
    void MakeBitsThrough(std::uint64_t bit);
    void FillJittered(double* samples, std::size_t n, std::uint64_t at);
    EdgeJitter jitter_;
    std::uint64_t lastBit_ = UINT64_MAX;  // the last bit FillJittered wrote, and its value
    int lastValue_ = -1;
    const StimulusPlan& plan_;
    const CommonOptions& o_;
    bool isFile_;
    Prbs prbs_;
    std::uint64_t bitsMade_ = 0;
    std::uint64_t stepAt_;
    int current_ = 0;
    BitWindow window_;
    std::vector<std::uint8_t> fileBits_;
};

class ProgressBar {
public:
    ProgressBar(bool enabled, std::string label);
    void Update(std::uint64_t done, std::uint64_t total);

private:
    bool enabled_;
    std::string label_;
    int last_ = -1;
};

RunConfig ConfigOf(const CommonOptions& o, const Setup& setup, const BlockPolicy& policy);

// The response runs: a run of 0s, a single 1 and a step, each with the
// ignored bits and eight more before the bit, and 48 after it.
struct Responses {
    bool ok = false;  // the three runs initialised and ran
    RunResult zeros, step, pulse;
    ProbeResponses probe;  // at the model's output
    std::vector<std::string> Breaches() const;
    std::string Note() const;  // why not ok
};
// The inputs of the response runs: a run of 0s, a single 1 and a step at
// ResponseStart(ignoreBits, samples per bit).
ResponseInputs ResponseRunInputs(const CommonOptions& o, int ignoreBits);
Responses MeasureResponses(const Setup& setup, const CommonOptions& o,
                           const StatEyeOptions& statOptions);

// The sample where the response runs' bit starts.
std::size_t ResponseStart(int ignoreBits, int samplesPerBit);

// --channel, --ports, --noise-rms and --rj-rms of the options: loads the
// channel (an identity when none is given) and prints its warnings. Returns 0
// or exit status 2.
int LoadChannelOption(const CommonOptions& o, Channel& channel, StatEyeOptions& statOptions);

// The jitter and noise a model's .ami declares (reserved parameters), added
// to the statistical eye's: `side` "Tx" or "Rx"; _Rj (Gaussian, added in
// quadrature), _Dj (dual Dirac), _Sj (sinusoidal), _DCD (two edges), and
// Rx_Noise (volts, in quadrature) and Rx_Receiver_Sensitivity (volts: every
// opening 2 S less). A value of Type UI is in unit intervals,
// else in seconds. Returns what it applied ("Tx_Rj 0.01 UI"), said once.
std::vector<std::string> ApplyReservedJitter(const Setup& setup, const std::string& side,
                                             double bitTime, StatEyeOptions& options);
// Seconds from a receiver's clock time to its decision: Rx_Decision_Time
// when its .ami declares one (Type UI in unit intervals, else seconds),
// else half a unit interval.
double DecisionTime(const Setup& rx, double bitTime);

// The transmitter's declared jitter (Tx_Rj, Tx_Dj, Tx_Sj with
// Tx_Sj_Frequency, Tx_DCD) for its time-domain edges.
EdgeJitter TxEdgeJitter(const Setup& setup, double bitTime);

// What the receiver's AMI_Init receives after the transmitter `tx` (whose
// responses at its output are `txProbe`): the channel through the
// transmitter's AMI_Init when that returns an impulse response, else the
// channel convolved with the transmitter's GetWave-derived response; the
// bare channel when neither is to be had.
std::vector<double> ImpulseAfterTransmitter(const Setup& tx, const CommonOptions& o,
                                            const Channel& channel, const ProbeResponses& txProbe);

// What a run ran, for the report: model, parameters, channel, receiver,
// stimulus and timing.
std::vector<std::pair<std::string, std::string>> RunFacts(const CommonOptions& o,
                                                          const Setup& setup,
                                                          const std::string& stimulus);

// The channel's impulse response as AMI_Init's impulse matrix (one column,
// per second), or null without --channel.
std::shared_ptr<const std::vector<double>> InitImpulse(const CommonOptions& o,
                                                       const Channel& channel);

// The size of the step and pulse runs, in samples.
std::uint64_t ResponseSamples(int ignoreBits, int samplesPerBit);

// A CSV cell: the number with `digits` significant digits, empty when not finite.
std::string CsvNumber(double v, int digits);
// The cells of one CSV line (no quoting: the tools write none), a line end
// left out.
std::vector<std::string> SplitCsvLine(std::string line);
// A text for one CSV cell: commas become semicolons, line ends spaces, quotes apostrophes.
std::string CsvText(std::string text);

// A time in the unit that fits: "12.3 ps", "4.56 ns", "7.8 us".
std::string FormatTime(double seconds);

}  // namespace amihost
