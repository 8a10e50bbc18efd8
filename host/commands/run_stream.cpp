// amihost run, streaming: the stimulus through the transmitter (this
// thread), the channel's convolution and what follows it (the receiver, the
// eyes and files after the channel) on threads of their own, the bits sent
// travelling with the samples.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "interrupt.h"
#include "output.h"
#include "pipeline.h"
#include "plots.h"
#include "receiver.h"
#include "run_state.h"

namespace fs = std::filesystem;

namespace amihost {

constexpr double kTwoPi = 6.283185307179586;

void ClockPhases::Add(double phase) {
    sinSum += std::sin(phase);
    cosSum += std::cos(phase);
    ++count;
}

double ClockPhases::MeanSamples(int N) const {
    double phase = std::atan2(sinSum, cosSum) / kTwoPi * N;
    if (phase < 0) phase += N;
    return phase;
}

namespace {

// Little-endian doubles, whatever this machine's byte order.
void AppendRaw(OutputFile& out, const double* samples, std::size_t n) {
    unsigned char bytes[8 * 256];
    while (n > 0) {
        const std::size_t chunk = std::min<std::size_t>(n, 256);
        for (std::size_t i = 0; i < chunk; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &samples[i], 8);
            for (int b = 0; b < 8; ++b)
                bytes[8 * i + static_cast<std::size_t>(b)] =
                    static_cast<unsigned char>(bits >> (8 * b));
        }
        out.Write(bytes, 8 * chunk);
        samples += chunk;
        n -= chunk;
    }
}

}  // namespace

// The waveform at one probe: CSV (time, [input,] output) and raw doubles,
// the first `limit` samples.
class WaveformFiles {
public:
    WaveformFiles(const fs::path& dir, const std::string& stem, bool withInput, std::uint64_t limit,
                  std::uint64_t csvLimit, double dt)
        : csv_((dir / (stem + ".csv")).string()),
          raw_((dir / (stem + ".bin")).string()),
          withInput_(withInput),
          limit_(limit),
          csvLimit_(std::min(csvLimit, limit)),
          dt_(dt) {}
    Status Open() {
        if (limit_ == 0) return {};
        if (Status opened = raw_.Open(true); !opened) return opened;
        if (csvLimit_ == 0) return {};
        if (Status opened = csv_.Open(); !opened) return opened;
        csv_.Write(withInput_ ? "time_s,input_V,output_V\n" : "time_s,output_V\n");
        return {};
    }
    void Add(const double* input, const double* y, std::size_t n, std::uint64_t at) {
        if (at >= limit_) return;
        const auto keep = static_cast<std::size_t>(std::min<std::uint64_t>(n, limit_ - at));
        AppendRaw(raw_, y, keep);
        if (at >= csvLimit_) return;
        const auto text = static_cast<std::size_t>(std::min<std::uint64_t>(n, csvLimit_ - at));
        text_.clear();
        text_.reserve(64 * text);
        for (std::size_t i = 0; i < text; ++i) {
            AppendCsvNumber(text_, static_cast<double>(at + i) * dt_);
            if (withInput_) {
                text_ += ',';
                AppendCsvNumber(text_, input[i]);
            }
            text_ += ',';
            AppendCsvNumber(text_, y[i]);
            text_ += '\n';
        }
        csv_.Write(text_);
    }
    void Commit(std::vector<std::string>& files, std::vector<std::string>& errors) {
        if (limit_ == 0) return;
        for (OutputFile* f : {&csv_, &raw_}) {
            if (f == &csv_ && csvLimit_ == 0) continue;
            if (const Status committed = f->Commit(); !committed) {
                errors.push_back(committed.error());
            } else {
                files.push_back(f->Path());
            }
        }
    }

private:
    OutputFile csv_, raw_;
    bool withInput_;
    std::uint64_t limit_, csvLimit_;
    double dt_;
    std::string text_;
};

RunState::RunState() = default;
RunState::~RunState() = default;

int OpenWaveforms(RunState& s) {
    s.waveSamples = std::min(s.plan.samples, s.o.maxWaveformSamples);
    s.csvSamples = std::min(s.waveSamples, s.o.csvSamples);
    const std::uint64_t csvBytes = s.csvSamples * 60 * s.probes.size();
    if (csvBytes > (std::uint64_t{100} << 20) && !s.o.quiet)
        PrintWarning("the waveform CSV files will take about " + std::to_string(csvBytes >> 20) +
                     " MB (--csv-samples limits them)");
    for (std::size_t k = 0; k < s.probes.size(); ++k) {
        s.waves.push_back(std::make_unique<WaveformFiles>(s.dir, "waveform" + s.probes[k].suffix,
                                                          k == kTxProbe, s.waveSamples,
                                                          s.csvSamples, s.dt));
        if (const Status opened = s.waves.back()->Open(); !opened) {
            PrintError(opened.error());
            return ExitStatus(ErrorKind::Input);
        }
    }
    return kExitSuccess;
}

void CommitWaveforms(RunState& s) {
    for (auto& w : s.waves) w->Commit(s.files, s.writeErrors);
}

namespace {

// Each probe's eye, against the bits sent: the transmitter's from the
// stimulus, the later ones from the bits that travel with the samples.
void OpenEyes(RunState& s) {
    for (std::size_t k = 0; k < s.probes.size(); ++k) {
        BitFn bit;
        if (k == kTxProbe)
            bit = [source = s.source.get()](std::uint64_t b) { return source->Bit(b); };
        else
            bit = [bits = &s.linkBits](std::uint64_t b) { return bits->Bit(b); };
        const ProbeResponses& r = s.probes[k].responses;
        s.eyes.push_back(std::make_unique<EyeAccumulator>(
            s.N, static_cast<std::uint64_t>(s.ignoreBits), r.ok ? r.delaySamples : 0, bit));
        if (s.o.plots) s.eyes.back()->TrackDensity(kEyePlotWidth, kEyePlotHeight);
    }
}

// The probes after the transmitter: the channel's convolution on a thread
// of its own, then the receiver, the eyes and the waveform files after it.
class LinkStages {
public:
    explicit LinkStages(RunState& s) : s_(s) {
        afterChannel_ = std::make_unique<Pipeline>(
            [this](const double* y, std::size_t n, std::uint64_t,
                   const std::vector<std::int8_t>& bits) { AfterChannel(y, n, bits); },
            std::function<void()>{}, std::function<bool()>{});
        // Bits lead the samples through the convolution: each output block
        // takes along every bit received so far.
        convolver_ =
            std::make_unique<Convolver>(s.channel.impulse, [this](const double* y, std::size_t n) {
                // This pipeline has no stop: its producer stops with the first.
                static_cast<void>(afterChannel_->Push(y, n, 0, std::move(bitsToHand_)));
                bitsToHand_.clear();
            });
        toChannel_ = std::make_unique<Pipeline>(
            [this](const double* samples, std::size_t n, std::uint64_t,
                   const std::vector<std::int8_t>& bits) {
                bitsToHand_.insert(bitsToHand_.end(), bits.begin(), bits.end());
                convolver_->Push(samples, n);
            },
            [this] { convolver_->Finish(); }, [] { return Interrupted(); });
    }
    // The transmitter's output and the bits from `firstBit` on decided with
    // it. False when the run was interrupted.
    [[nodiscard]] bool Push(const double* samples, std::size_t n, std::uint64_t firstBit,
                            const std::vector<std::int8_t>& bits) {
        return toChannel_->Push(samples, n, firstBit, bits);
    }
    // Waits for the rest of the chain; false when the run was interrupted.
    [[nodiscard]] bool Close() { return toChannel_->Close() && afterChannel_->Close(); }

private:
    void AfterChannel(const double* y, std::size_t n, const std::vector<std::int8_t>& bits) {
        for (std::int8_t b : bits) s_.linkBits.Append(b);
        s_.eyes[kChannelProbe]->Add(y, n, at_);
        s_.waves[kChannelProbe]->Add(nullptr, y, n, at_);
        if (s_.rxStarted) Receive(y, n);
        at_ += n;
        std::uint64_t oldest = UINT64_MAX;
        for (std::size_t k = kChannelProbe; k < s_.eyes.size(); ++k)
            oldest = std::min(oldest, s_.eyes[k]->OldestBitNeeded());
        s_.linkBits.ForgetBefore(oldest);
    }
    void Receive(const double* y, std::size_t n) {
        rxBlock_.assign(y, y + n);
        s_.rx.GetWave(rxBlock_.data(), n, at_, &clockTimes_);
        s_.eyes[kRxProbe]->Add(rxBlock_.data(), n, at_);
        s_.waves[kRxProbe]->Add(nullptr, rxBlock_.data(), n, at_);
        for (double t : clockTimes_) {
            const double sample = ClockSample(t, s_.o.bitTime, s_.N, s_.decisionTime);
            if (!(sample >= 0) || !std::isfinite(sample)) continue;
            const int phase =
                s_.eyes[kRxProbe]->PhaseOf(static_cast<std::uint64_t>(std::llround(sample)));
            s_.clock.Add(kTwoPi * phase / s_.N);
        }
        clockTimes_.clear();
    }

    RunState& s_;
    std::uint64_t at_ = 0;  // samples after the channel so far
    std::vector<double> rxBlock_, clockTimes_;
    std::vector<std::int8_t> bitsToHand_;
    std::unique_ptr<Convolver> convolver_;
    // Destroyed first: the transmitter's side, then the side after the channel.
    std::unique_ptr<Pipeline> afterChannel_, toChannel_;
};

void StartReceiver(RunState& s) {
    if (s.haveRx) {
        s.rxStarted = s.rx.Init(s.rxSetup.lib, s.rxConfig);
        if (!s.rxStarted) s.rx.Close();
    }
    s.decisionTime = s.haveRx ? DecisionTime(s.rxSetup, s.o.bitTime) : 0.5 * s.o.bitTime;
}

}  // namespace

int StreamRun(RunState& s) {
    s.source = std::make_unique<StimulusSource>(s.plan, s.o, s.ignoreBits);
    // The transmitter's declared jitter moves its edges in the stream too.
    s.edgeJitter = TxEdgeJitter(s.tx, s.o.bitTime);
    s.source->SetEdgeJitter(s.edgeJitter);
    OpenEyes(s);
    StartReceiver(s);
    std::unique_ptr<LinkStages> links;
    if (s.haveLink) links = std::make_unique<LinkStages>(s);
    StimulusSource& source = *s.source;
    std::vector<double> lastInput;
    std::uint64_t bitsHanded = 0;
    std::vector<std::int8_t> newBits;
    ProgressBar bar(!s.o.quiet && s.plan.samples > (std::uint64_t{1} << 22), "AMI_GetWave");
    InstallInterruptHandler();
    s.result = RunModel(
        s.tx.lib, ConfigOf(s.o, s.tx, s.policy), s.plan.samples,
        [&](double* samples, std::size_t n, std::uint64_t at) {
            if (Interrupted()) return false;
            source.Fill(samples, n, at);
            if (at < s.csvSamples)  // the input goes only into the CSV
                lastInput.assign(samples, samples + std::min<std::uint64_t>(n, s.csvSamples - at));
            // The bits decided for these samples, for the channel's thread.
            newBits.clear();
            for (; bitsHanded < source.BitsKnown(); ++bitsHanded)
                newBits.push_back(static_cast<std::int8_t>(source.Bit(bitsHanded)));
            return true;
        },
        [&](const double* samples, std::size_t n, std::uint64_t at) {
            if (links && !links->Push(samples, n, bitsHanded - newBits.size(), newBits))
                return false;
            s.eyes[kTxProbe]->Add(samples, n, at);
            s.waves[kTxProbe]->Add(lastInput.data(), samples, n, at);
            source.ForgetBefore(s.eyes[kTxProbe]->OldestBitNeeded());
            return true;
        },
        [&](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
    if (s.result.stopped || (links && !links->Close())) {
        links.reset();  // abandons the blocks not yet run
        PrintError("interrupted; no result files were written");
        return ExitStatus(ErrorKind::Interrupted);
    }
    if (s.haveRx && s.rxStarted) s.rx.Close();
    return kExitSuccess;
}

}  // namespace amihost
