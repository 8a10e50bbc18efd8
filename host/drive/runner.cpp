#include "runner.h"

#include <dlfcn.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "link/inner_loops.h"
#include "model_guard.h"

namespace amihost {

namespace {

// Guard samples around every block, filled with a recognisable NaN.
constexpr std::size_t kGuard = kGuardSamples;
const std::uint64_t kGuardBits = 0x7FF8DEADBEEF0001ull;
const std::uint64_t kClockBits = 0x7FF8DEADBEEF0002ull;

double Pattern(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

bool IsPattern(double d, std::uint64_t bits) {
    std::uint64_t b;
    std::memcpy(&b, &d, 8);
    return b == bits;
}

// Reads a C string the model handed out, bounded so that a missing
// terminator cannot run away.
std::string SafeText(const char* text, std::vector<std::string>& breaches, const char* what) {
    if (text == nullptr) return "";
    constexpr std::size_t kLimit = 1 << 20;
    const void* end = std::memchr(text, '\0', kLimit);
    if (end == nullptr) {
        breaches.push_back(std::string(what) + " is not terminated within 1 MiB");
        return std::string(text, kLimit);
    }
    return std::string(text);
}

// The clock_times array of one call: above kLargeCall entries an anonymous
// mapping (zero pages, touched only where written), else `reuse` filled with
// a pattern that is never -1.
constexpr std::size_t kLargeCall = std::size_t{1} << 20;
struct ClockArray {
    double* data = nullptr;
    std::size_t bytes = 0;
    bool mapped = false;
    ClockArray(std::size_t n, std::vector<double>& reuse) {
        if (n > kLargeCall) {
            bytes = n * sizeof(double);
            void* p =
                ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) {
                data = static_cast<double*>(p);
                mapped = true;
                return;
            }
        }
        if (reuse.size() < n) reuse.resize(n);
        std::fill_n(reuse.begin(), n, Pattern(kClockBits));
        data = reuse.data();
    }
    ~ClockArray() {
        if (mapped) ::munmap(data, bytes);
    }
    ClockArray(const ClockArray&) = delete;
    ClockArray& operator=(const ClockArray&) = delete;
};

}  // namespace

Status Library::Open(const std::string& path) {
    // A bare file name means the file here, not a search of the library path.
    path_ = path;
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        return Error{"cannot load " + path + ": " + (why ? why : "unknown error")};
    }
    Init = reinterpret_cast<InitFn>(dlsym(handle_, "AMI_Init"));
    GetWave = reinterpret_cast<GetWaveFn>(dlsym(handle_, "AMI_GetWave"));
    Close = reinterpret_cast<CloseFn>(dlsym(handle_, "AMI_Close"));
    if (Init == nullptr) return Error{path + " does not export AMI_Init"};
    if (Close == nullptr) return Error{path + " does not export AMI_Close"};
    // AMI_GetWave is optional: a model may do all its work in AMI_Init.
    return {};
}

double DcOffsetIn(const std::string& parameters) {
    const std::string key = "(DC_Offset";
    const std::size_t at = parameters.find(key);
    if (at == std::string::npos) return 0;
    const char* from = parameters.c_str() + at + key.size();
    char* end = nullptr;
    const double v = std::strtod(from, &end);
    return end != from && std::isfinite(v) ? v : 0.0;
}

Library::~Library() {
    if (handle_ != nullptr) dlclose(handle_);
}

namespace {

bool ParsePolicy(const std::string& text, BlockPolicy& out) {
    out = BlockPolicy{};
    const std::size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    // Decimal digits only, at most 2^32 (a block larger than that is no test
    // of anything a simulator does).
    auto number = [](const std::string& s, std::uint64_t& v) {
        if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        v = std::strtoull(s.c_str(), nullptr, 10);
        return v <= (std::uint64_t{1} << 32);
    };
    if (kind == "whole") return rest.empty();
    if (kind == "fixed") {
        out.kind = BlockPolicy::Fixed;
        return number(rest, out.size) && out.size > 0;
    }
    if (kind == "bits") {
        out.kind = BlockPolicy::Bits;
        out.size = 1;
        return rest.empty() || (number(rest, out.size) && out.size > 0);
    }
    if (kind == "random") {
        out.kind = BlockPolicy::Random;
        out.size = 4096;
        const std::size_t c2 = rest.find(':');
        std::uint64_t seed = 1;
        if (!number(rest.substr(0, c2), seed) || seed > 0xFFFFFFFFu) return false;
        out.seed = static_cast<std::uint32_t>(seed);
        if (c2 != std::string::npos && !(number(rest.substr(c2 + 1), out.size) && out.size > 0))
            return false;
        return true;
    }
    return false;
}

}  // namespace

Expected<BlockPolicy> BlockPolicy::Parse(const std::string& text) {
    BlockPolicy policy;
    if (ParsePolicy(text, policy)) return policy;
    if (text == "fixed:0" || text == "bits:0" || text.rfind("random:", 0) == 0)
        return Error{"block policy '" + text +
                     "': block sizes must be at least 1 and a random policy needs a seed "
                     "(random:SEED[:MAX])"};
    return Error{"unknown block policy '" + text +
                 "' (whole, fixed:N, bits:K, random:SEED[:MAX], numbers up to 2^32)"};
}

std::string BlockPolicy::Describe() const {
    switch (kind) {
        case Whole:
            return "whole";
        case Fixed:
            return "fixed:" + std::to_string(size);
        case Bits:
            return "bits:" + std::to_string(size);
        case Random:
            return "random:" + std::to_string(seed) + ":" + std::to_string(size);
    }
    return "?";
}

ModelSession::~ModelSession() {
    if (handle_ != nullptr && !closed_) Close();
}

bool ModelSession::Init(const Library& lib, const RunConfig& config,
                        const std::vector<double>& impulseColumn) {
    lib_ = &lib;
    config_ = config;
    const double interval = config.bitTime / config.samplesPerBit;
    // The impulse matrix: one column, no aggressors. Without a channel, a
    // unit impulse (the identity channel).
    std::vector<double> impulse = impulseColumn;
    if (impulse.empty() && config.impulse != nullptr) impulse = *config.impulse;
    if (impulse.empty()) impulse.assign(1, 1.0 / interval);
    const bool returnsImpulse = !config.expectImpulseUntouched;
    if (returnsImpulse)
        impulse.resize(impulse.size() + static_cast<std::size_t>(kInitRoomBits) *
                                            static_cast<std::size_t>(config.samplesPerBit),
                       0.0);
    const std::vector<double> impulseCopy = impulse;
    paramsIn_.assign(config.parameters.begin(), config.parameters.end());
    paramsIn_.push_back('\0');
    const std::vector<char> paramsCopy = paramsIn_;
    char* msg = nullptr;
    {
        // Reading the texts the model points to is part of the call: a
        // pointer that is not valid is the model's crash, reported as one.
        const ModelCall call("AMI_Init", lib.Path());
        r_.initResult = lib.Init(impulse.data(), static_cast<long>(impulse.size()), 0, interval,
                                 config.bitTime, paramsIn_.data(), &out_, &handle_, &msg);
        r_.message = SafeText(msg, r_.breaches, "the AMI_Init message");
        r_.parametersOut = SafeText(out_, r_.breaches, "AMI_parameters_out");
    }
    if (r_.initResult != 1)
        r_.breaches.push_back("AMI_Init returned " + std::to_string(r_.initResult));
    if (config.expectImpulseUntouched && impulse != impulseCopy)
        r_.breaches.push_back(
            "AMI_Init changed the impulse matrix although Init_Returns_Impulse is False");
    if (paramsIn_ != paramsCopy) r_.breaches.push_back("AMI_Init changed AMI_parameters_in");
    paramsCopy_ = paramsCopy;
    if (handle_ == nullptr) {
        r_.breaches.push_back("AMI_Init gave no memory handle");
        return false;
    }
    if (returnsImpulse) {
        r_.initInput = impulseCopy;
        r_.initOutput = impulse;
        if (!AllFinite(impulse.data(), impulse.size())) {
            r_.breaches.push_back(
                "AMI_Init returned an impulse response with values that are not finite");
            return false;
        }
    }
    if (config.addDcOffset) r_.dcOffset = DcOffsetIn(r_.parametersOut);
    if (lib.GetWave == nullptr || !config.getWaveExists) {
        // The time-domain flow of a model without AMI_GetWave: the filter its
        // returned impulse response represents.
        if (!returnsImpulse) {
            r_.breaches.push_back(
                "the model has no AMI_GetWave and its AMI_Init returns no impulse response "
                "(Init_Returns_Impulse False): nothing to apply to a waveform");
            return false;
        }
        filter_ = std::make_unique<LinearFilter>(FilterFromInit(impulseCopy, impulse));
        r_.initFilterTaps = filter_->Taps();
    } else if (config.initFilterBeforeGetWave && returnsImpulse) {
        // Use_Init_Output True: AMI_GetWave's input is made with what AMI_Init returned.
        preFilter_ = std::make_unique<LinearFilter>(FilterFromInit(impulseCopy, impulse));
        r_.initFilterTaps = preFilter_->Taps();
    }
    return r_.initResult == 1;
}

bool ModelSession::GetWave(double* wave, std::size_t count, std::uint64_t at,
                           std::vector<double>* clockTimes) {
    if (handle_ == nullptr || closed_) return false;
    // The wave between guard samples; the buffer keeps its size from call to
    // call, so only the guards and the wave are written.
    if (block_.size() < count + 2 * kGuardSamples) block_.resize(count + 2 * kGuardSamples);
    std::copy_n(wave, count, block_.begin() + static_cast<long>(kGuardSamples));
    const bool ok = GetWaveGuarded(block_.data() + kGuardSamples, count, at, clockTimes);
    std::copy_n(block_.begin() + static_cast<long>(kGuardSamples), count, wave);
    return ok;
}

bool ModelSession::GetWaveGuarded(double* wave, std::size_t count, std::uint64_t at,
                                  std::vector<double>* clockTimes) {
    if (handle_ == nullptr || closed_) return false;
    if (preFilter_) preFilter_->Apply(wave, count);
    if (filter_) {
        filter_->Apply(wave, count);
        for (std::size_t k = 0; k < count && r_.dcOffset != 0; ++k) wave[k] += r_.dcOffset;
        return true;
    }
    std::fill_n(wave - kGuard, kGuard, Pattern(kGuardBits));
    std::fill_n(wave + count, kGuard, Pattern(kGuardBits));
    // Room for a clock time per sample and the terminator (a model that
    // writes one per sample must not write into memory it does not own),
    // then guards.
    const std::size_t clocks = count + 1;
    // A large call gets fresh zero pages (untouched until the model writes
    // them, and no -1 among them); a small one reuses a buffer it fills.
    ClockArray clock(clocks + kGuard, clock_);
    std::fill_n(clock.data + clocks, kGuard, Pattern(kClockBits));
    long result = 0;
    {
        const ModelCall call("AMI_GetWave", lib_->Path());
        result = lib_->GetWave(wave, static_cast<long>(count), clock.data, &out_, handle_);
    }
    ++r_.waveCalls;
    if (result != 1) {
        ++r_.failedWaveCalls;
        if (r_.failedWaveCalls <= 5)
            r_.breaches.push_back("AMI_GetWave returned " + std::to_string(result) +
                                  " for the block at sample " + std::to_string(at));
    }
    const double* before = wave - kGuard;  // the guard samples in front of the wave
    for (std::size_t g = 0; g < kGuard && !guardBreach_; ++g) {
        if (!IsPattern(before[g], kGuardBits) || !IsPattern(wave[count + g], kGuardBits)) {
            r_.breaches.push_back("AMI_GetWave wrote outside the wave (block at sample " +
                                  std::to_string(at) + ")");
            guardBreach_ = true;
        }
    }
    std::size_t terminator = clocks;
    for (std::size_t k = 0; k < clocks && terminator == clocks; ++k)
        if (clock.data[k] == -1.0) terminator = k;
    for (std::size_t k = clocks; k < clocks + kGuard && !clockBreach_; ++k) {
        if (!IsPattern(clock.data[k], kClockBits)) {
            r_.breaches.push_back("AMI_GetWave wrote past the clock_times array");
            clockBreach_ = true;
        }
    }
    if (terminator == clocks && !terminatorBreach_) {
        r_.breaches.push_back("clock_times has no -1 terminator (block at sample " +
                              std::to_string(at) + ")");
        terminatorBreach_ = true;
    }
    if (clockTimes != nullptr)
        for (std::size_t k = 0; k < terminator; ++k) clockTimes->push_back(clock.data[k]);
    if (paramsIn_ != paramsCopy_ && !paramsBreach_) {
        r_.breaches.push_back("AMI_GetWave changed AMI_parameters_in (block at sample " +
                              std::to_string(at) + ")");
        paramsBreach_ = true;
    }
    for (std::size_t k = 0; k < count && r_.dcOffset != 0; ++k) wave[k] += r_.dcOffset;
    for (std::size_t k = 0; k < count && !nonFiniteBreach_; ++k) {
        if (!std::isfinite(wave[k])) {
            r_.breaches.push_back("AMI_GetWave returned a value that is not finite (" +
                                  std::to_string(wave[k]) + ") at sample " +
                                  std::to_string(at + k));
            nonFiniteBreach_ = true;
        }
    }
    return result == 1;
}

long ModelSession::Close() {
    if (handle_ == nullptr || closed_) return r_.closeResult;
    closed_ = true;
    {
        const ModelCall call("AMI_Close", lib_->Path());
        r_.closeResult = lib_->Close(handle_);
    }
    if (r_.closeResult != 1)
        r_.breaches.push_back("AMI_Close returned " + std::to_string(r_.closeResult));
    return r_.closeResult;
}

RunResult RunModel(const Library& lib, const RunConfig& config, std::uint64_t total,
                   const SourceFn& source, const SinkFn& sink, const ProgressFn& progress) {
    ModelSession session;
    if (!session.Init(lib, config)) {
        session.Close();  // when it gave a handle
        return session.Result();
    }
    std::mt19937 rng(config.policy.seed);
    std::uint64_t at = 0;
    std::vector<double> block;
    const std::uint64_t largest = kWholeCallLimit;  // keeps a "whole" run's buffer bounded
    while (at < total) {
        std::uint64_t n = total - at;
        // Block policies are about AMI_GetWave calls: a model run through
        // its AMI_Init's filter gets none, and takes the waveform whole.
        const BlockPolicy::Kind kind =
            session.ThroughInitFilter() ? BlockPolicy::Whole : config.policy.kind;
        switch (kind) {
            case BlockPolicy::Whole:
                break;
            case BlockPolicy::Fixed:
                n = std::min(n, config.policy.size);
                break;
            case BlockPolicy::Bits:
                n = std::min(n,
                             config.policy.size * static_cast<std::uint64_t>(config.samplesPerBit));
                break;
            case BlockPolicy::Random:
                n = std::min<std::uint64_t>(n, 1 + rng() % config.policy.size);
                break;
        }
        if (n > largest && kind == BlockPolicy::Whole) n = largest;
        const auto count = static_cast<std::size_t>(n);
        // The model works in place between guard samples of this buffer.
        if (block.size() < count + 2 * kGuardSamples) block.resize(count + 2 * kGuardSamples);
        double* wave = block.data() + kGuardSamples;
        if (!source(wave, count, at)) break;
        session.GetWaveGuarded(wave, count, at, nullptr);
        const bool more = sink(wave, count, at);
        at += n;
        if (progress) progress(at, total);
        if (!more) break;
    }
    session.Close();
    RunResult r = session.Result();
    r.stopped = at < total;
    return r;
}

RunResult RunModel(const Library& lib, const RunConfig& config,
                   const std::vector<double>& stimulus) {
    std::vector<double> output(stimulus.size());
    RunResult r = RunModel(
        lib, config, stimulus.size(),
        [&](double* samples, std::size_t n, std::uint64_t at) {
            std::copy_n(stimulus.begin() + static_cast<long>(at), n, samples);
            return true;
        },
        [&](const double* samples, std::size_t n, std::uint64_t at) {
            std::copy_n(samples, n, output.begin() + static_cast<long>(at));
            return true;
        });
    r.output = std::move(output);
    return r;
}

}  // namespace amihost
