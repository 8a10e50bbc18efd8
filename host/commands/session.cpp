#include "session.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

#include "flows.h"
#include "ibis_check.h"
#include "output.h"
#include "receiver.h"
#include "report.h"

#ifndef AMIHOST_VERSION
#define AMIHOST_VERSION "unknown"
#endif

namespace amihost {

void PrintError(const std::string& text) { std::cerr << "amihost: error: " << text << "\n"; }
namespace {
std::vector<std::string>& Warnings() {
    static std::vector<std::string> warnings;
    return warnings;
}
}  // namespace

void PrintWarning(const std::string& text) {
    std::cerr << "amihost: warning: " << text << "\n";
    Warnings().push_back(text);
}
const std::vector<std::string>& WarningsPrinted() { return Warnings(); }

std::string AmihostVersion() { return AMIHOST_VERSION; }

std::vector<std::pair<std::string, std::string>> RunFacts(const CommonOptions& o,
                                                          const Setup& setup,
                                                          const std::string& stimulus) {
    std::vector<std::pair<std::string, std::string>> facts = {
        {"model", o.library}, {".ami file", o.amiFile.empty() ? "(none)" : o.amiFile}};
    if (!o.ibsFile.empty()) facts.emplace_back(".ibs file", o.ibsFile);
    facts.emplace_back("AMI_parameters_in", setup.parameters);
    facts.emplace_back("channel", o.channel.empty() ? "(none)" : o.channel);
    if (!o.channel.empty() && o.channel.find(".s4p") != std::string::npos)
        facts.emplace_back("ports (in+, in-, out+, out-)", o.ports);
    if (!o.rxLibrary.empty() || !o.rxIbs.empty())
        facts.emplace_back("receiver", o.rxLibrary.empty() ? o.rxIbs : o.rxLibrary);
    facts.emplace_back("stimulus", stimulus);
    facts.emplace_back("bit time", FormatTime(o.bitTime));
    facts.emplace_back("samples per bit", std::to_string(o.samplesPerBit));
    facts.emplace_back("levels", Format("%.6g V", o.low) + " / " + Format("%.6g V", o.high));
    facts.emplace_back("ignored bits", std::to_string(setup.ignoreBits));
    if (o.noiseRms > 0)
        facts.emplace_back("noise (statistical eye)", Format("%.6g V rms", o.noiseRms));
    if (o.rjRms > 0)
        facts.emplace_back("random jitter (statistical eye)", Format("%.6g UI rms", o.rjRms));
    return facts;
}

namespace {

Expected<std::string> ReadFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return Error{path + " is a directory"};
    std::ifstream in(path, std::ios::binary);
    if (!in) return Error{"cannot open " + path};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// "1e6", "1000000" or "1000000.0": a whole number of bits.
bool ParseBits(const std::string& text, std::uint64_t& bits) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(v) || v != std::floor(v) ||
        v < 1 || v > 1e12)
        return false;
    bits = static_cast<std::uint64_t>(v);
    return true;
}

}  // namespace

int CheckCommonOptions(const CommonOptions& o) {
    if (!std::isfinite(o.bitTime) || !(o.bitTime > 0)) {
        PrintError("--bit-time must be a positive, finite number of seconds");
        return ExitStatus(ErrorKind::Usage);
    }
    if (o.samplesPerBit < 1 || o.samplesPerBit > (1 << 20)) {
        PrintError("--samples-per-bit must be between 1 and 1048576");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!std::isfinite(o.high) || !std::isfinite(o.low) || !(o.high > o.low)) {
        PrintError("--high and --low must be finite, with --high above --low");
        return ExitStatus(ErrorKind::Usage);
    }
    if (o.ignoreBitsGiven && (o.ignoreBits < 0 || o.ignoreBits > 1000000)) {
        PrintError("--ignore-bits must be between 0 and 1000000");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!o.parameters.empty() && !o.amiFile.empty()) {
        PrintError(
            "give the parameters either as an .ami file (--ami) or as a string (--params), not "
            "both");
        return ExitStatus(ErrorKind::Usage);
    }
    return kExitSuccess;
}

Expected<std::map<std::string, std::string>> ParseSets(const std::vector<std::string>& sets) {
    std::map<std::string, std::string> out;
    for (const std::string& s : sets) {
        const std::size_t eq = s.find('=');
        if (eq == std::string::npos || eq == 0)
            return Error{"--set expects NAME=VALUE, got '" + s + "'", ErrorKind::Usage};
        std::string name = s.substr(0, eq);
        if (name.rfind("Model_Specific.", 0) == 0) name = name.substr(15);
        out[name] = s.substr(eq + 1);
    }
    return out;
}

std::uint64_t ResponseSamples(int ignoreBits, int samplesPerBit) {
    return (static_cast<std::uint64_t>(ignoreBits) + 8 + 49) *
           static_cast<std::uint64_t>(samplesPerBit);
}

// --ibs: checks the file, then takes this platform's executable and its .ami
// from the [Algorithmic Model] of the chosen model.
int ResolveIbs(CommonOptions& o) {
    if (o.ibsFile.empty()) return kExitSuccess;
    if (!o.library.empty() || !o.amiFile.empty() || !o.parameters.empty()) {
        PrintError(
            "--ibs takes the library and the .ami file from the .ibs; do not give --library, --ami "
            "or --params too");
        return ExitStatus(ErrorKind::Usage);
    }
    {
        std::string ext = std::filesystem::path(o.ibsFile).extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".ibs") {
            PrintError("--ibs expects an .ibs file; " + o.ibsFile + " is not one");
            return ExitStatus(ErrorKind::Usage);
        }
    }
    const ibis::FileResult check = ibis::CheckFile(o.ibsFile, ibis::Options{});
    if (!check.readable) {
        PrintError("cannot read " + o.ibsFile);
        return ExitStatus(ErrorKind::Io);
    }
    if (check.counts[0] > 0) {
        for (const ibis::Report& r : check.reports)
            if (r.severity == ibis::Severity::Error)
                std::fprintf(stderr, "%s\n", ibis::FormatReport(r).c_str());
        if (!o.force) {
            PrintError(o.ibsFile + " has " + std::to_string(check.counts[0]) +
                       " error(s); --force runs it anyway");
            return ExitStatus(ErrorKind::Usage);
        }
    }
    std::ifstream in(o.ibsFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ibis::IbsModels models = ibis::ReadAlgorithmicModels(text);
    std::set<std::string> allowed;
    for (const auto& [component, model] : models.pinModels)
        if (o.component.empty() || component == o.component) allowed.insert(model);
    if (!o.component.empty() && allowed.empty()) {
        PrintError("no [Component] " + o.component + " with pins in " + o.ibsFile);
        return ExitStatus(ErrorKind::Input);
    }
    const ibis::ExecutableLine* pick = nullptr;
    const ibis::ExecutableLine* half = nullptr;  // a repeater's, which this tool does not pair
    for (const ibis::ExecutableLine& e : models.executables) {
        if (!o.model.empty() && e.model != o.model) continue;
        if (o.model.empty() && !o.component.empty() && !allowed.count(e.model)) continue;
        if (!e.half.empty()) {
            if (half == nullptr) half = &e;
            continue;
        }
        std::string platform = e.platform;
        for (char& c : platform) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (platform.rfind("linux", 0) == 0 && platform.size() >= 3 &&
            platform.compare(platform.size() - 3, 3, "_64") == 0) {
            pick = &e;
            break;
        }
    }
    if (pick == nullptr) {
        PrintError("no Linux 64-bit [Algorithmic Model] executable" +
                   (o.model.empty() ? std::string() : " for [Model] " + o.model) + " in " +
                   o.ibsFile +
                   (half == nullptr ? std::string()
                                    : "; [Model] " + half->model +
                                          " is a repeater (Executable_Rx, Executable_Tx): run "
                                          "one half with --library and --ami"));
        return ExitStatus(ErrorKind::Input);
    }
    const std::filesystem::path folder = std::filesystem::path(o.ibsFile).parent_path();
    o.library = (folder / pick->executable).string();
    o.amiFile = (folder / pick->amiFile).string();
    if (!o.quiet)
        std::fprintf(stderr, "amihost: %s [Model] %s: %s with %s\n", o.ibsFile.c_str(),
                     pick->model.c_str(), pick->executable.c_str(), pick->amiFile.c_str());
    return kExitSuccess;
}

namespace {

bool ReservedTrue(const AmiFile& file, const char* name, bool otherwise) {
    const auto it = file.reserved.find(name);
    return it == file.reserved.end() ? otherwise : it->second == "True";
}

// A name for each model instance this process loads (DLL_ID): the model's,
// the process's and a count, unique across worker processes too.
std::string InstanceName(const std::string& root) {
    static std::atomic<unsigned> count{0};
    return root + "_" + std::to_string(::getpid()) + "_" + std::to_string(++count);
}

// DC_Offset (7.1): "the mean value of the steady state high and low voltages
// of the analog channel step response at the Rx pad": the stimulus levels'
// mean through the channel's DC gain (0 V for the default levels, whatever
// the channel). The channel is read here only when a model asks and the
// levels are not symmetric. Returns 0 or an exit status.
int ChannelMidLevel(const CommonOptions& o, const AmiFile& file, double& mid) {
    mid = 0.5 * (o.high + o.low);
    const auto usage = file.reservedUsages.find("DC_Offset");
    if (mid == 0 || o.channel.empty() || usage == file.reservedUsages.end() ||
        (usage->second != "In" && usage->second != "InOut"))
        return kExitSuccess;
    Channel channel;
    StatEyeOptions unused;
    if (const int status = LoadChannelOption(o, channel, unused)) return status;
    mid *= channel.dcGain;
    return kExitSuccess;
}

// What a model asks for that this tool does not give it, said once.
void WarnOfWhatIsNotDriven(const CommonOptions& o, const AmiFile& file) {
    // This tool drives and measures two levels: a model that declares more
    // is run, and its results read, as NRZ.
    const auto modulation = file.reserved.find("Modulation");
    const auto levels = file.reserved.find("Modulation_Levels");
    const bool multilevel =
        (modulation != file.reserved.end() && !modulation->second.empty() &&
         modulation->second != "NRZ") ||
        (levels != file.reserved.end() && std::atoi(levels->second.c_str()) > 2);
    if (multilevel)
        PrintWarning(o.amiFile + " declares Modulation " +
                     (modulation != file.reserved.end() ? modulation->second : "PAM") +
                     ": this tool sends and measures two levels (NRZ); its eyes, BER and codes "
                     "describe an NRZ stimulus");
    // AMI_Resolve (6.1) is not called: a model's Usage Dep parameters keep
    // whatever the model gives them without it.
    if (ReservedTrue(file, "Resolve_Exists", false)) {
        std::string dep;
        for (const auto& [name, usage] : file.reservedUsages)
            if (usage == "Dep") dep += (dep.empty() ? "" : ", ") + name;
        for (const AmiParameter& p : file.parameters)
            if (p.usage == "Dep") dep += (dep.empty() ? "" : ", ") + p.path;
        PrintWarning(o.amiFile + " says Resolve_Exists True: this tool does not call AMI_Resolve" +
                     (dep.empty() ? "" : "; its Usage Dep parameters (" + dep + ") are not sent"));
    }
    // An input without one value to send (a Table, a distribution, none):
    // the model keeps its own.
    for (const auto& [path, format] : file.unsent)
        PrintWarning(o.amiFile + ": " + path +
                     (format.empty() ? " is an input without a value"
                                     : " is an input in the " + format + " format") +
                     ", which has no one value to send: it is not sent; the model uses its own");
    // Back-channel training (7.0) exchanges messages between a Tx and an Rx
    // model through the simulator: none are passed here.
    const auto bci = file.reserved.find("BCI_Protocol");
    if (bci != file.reserved.end())
        PrintWarning(o.amiFile + " declares BCI_Protocol " + bci->second +
                     ": this tool runs no back-channel training; the model runs untrained");
}

// Init_Returns_Impulse and GetWave_Exists of the .ami file against what the
// library exports: which flows the model takes part in. Returns 0 or 2.
int ReadFlowFlags(const CommonOptions& o, Setup& setup, bool say) {
    const AmiFile& file = setup.file;
    const bool exported = setup.lib.GetWave != nullptr;
    const bool returns = ReservedTrue(file, "Init_Returns_Impulse", false);
    const bool declared = ReservedTrue(file, "GetWave_Exists", exported);
    setup.impulseUntouched = !returns;
    setup.getWaveExists = declared && exported;
    // Use_Init_Output (AMI 5.0; removed in 6.0) means something only with
    // both flags True, and only when the file says True.
    setup.useInitOutput =
        returns && setup.getWaveExists && ReservedTrue(file, "Use_Init_Output", false);
    const auto dcOffset = file.reservedUsages.find("DC_Offset");
    setup.dcOffsetOut = dcOffset != file.reservedUsages.end() && dcOffset->second == "Out";
    if (declared && !exported) {
        PrintError(o.amiFile + " says GetWave_Exists True, but " + o.library +
                   " does not export AMI_GetWave");
        return ExitStatus(ErrorKind::Input);
    }
    if (!declared && !returns) {
        PrintError(o.amiFile +
                   " says GetWave_Exists False and Init_Returns_Impulse False: the model "
                   "returns nothing a simulator can use");
        return ExitStatus(ErrorKind::Input);
    }
    if (say && !o.quiet) WarnOfWhatIsNotDriven(o, file);
    // Said once, by the run that reads the file (grid rows take it as read).
    if (say && !o.quiet && !declared && exported)
        PrintWarning(o.amiFile +
                     " says GetWave_Exists False: the AMI_GetWave the library exports is not "
                     "called; waveforms go through the filter of AMI_Init's impulse response");
    return kExitSuccess;
}

}  // namespace

int Prepare(const CommonOptions& o, Setup& setup, const std::map<std::string, std::string>& extra,
            const AmiFile* read) {
    if (o.library.empty()) {
        PrintError("no library given (--library)");
        return ExitStatus(ErrorKind::Input);
    }
    if (const int status = CheckCommonOptions(o)) return status;
    if (const Status opened = setup.lib.Open(o.library); !opened) {
        PrintError(opened.error());
        return ExitStatus(ErrorKind::Input);
    }
    Expected<std::map<std::string, std::string>> sets = ParseSets(o.sets);
    if (!sets) {
        PrintError(sets.error());
        return ExitStatus(sets.kind());
    }
    std::map<std::string, std::string> overrides = std::move(*sets);
    for (const auto& [k, v] : extra) overrides[k] = v;
    setup.ignoreBits = kDefaultIgnoreBits;
    if (!o.amiFile.empty() && read != nullptr) {
        setup.file = *read;
    } else if (!o.amiFile.empty()) {
        const Expected<std::string> text = ReadFile(o.amiFile);
        if (!text) {
            PrintError(text.error());
            return ExitStatus(ErrorKind::Input);
        }
        Expected<AmiFile> file = ReadAmiFile(*text);
        if (!file) {
            PrintError(o.amiFile + ": " + file.error());
            return ExitStatus(ErrorKind::Input);
        }
        setup.file = std::move(*file);
    }
    if (!o.amiFile.empty()) {
        setup.haveFile = true;
        bool failed = false;
        for (const Issue& issue : ApplyOverrides(setup.file, overrides, o.strict)) {
            if (issue.error) {
                PrintError(issue.text);
                failed = true;
            } else if (!o.quiet) {
                PrintWarning(issue.text);
            }
        }
        if (failed) return ExitStatus(ErrorKind::Input);
        double dcOffset = 0;
        if (const int status = ChannelMidLevel(o, setup.file, dcOffset)) return status;
        AddToolInputs(setup.file, o.library, InstanceName(setup.file.root), dcOffset);
        setup.parameters = BuildParameterString(setup.file);
        const auto ignore = setup.file.reserved.find("Ignore_Bits");
        setup.ignoreBits = kDefaultIgnoreBits;
        if (ignore != setup.file.reserved.end())
            setup.ignoreBits = std::clamp(std::atoi(ignore->second.c_str()), 0, 1000000);
        if (const int status = ReadFlowFlags(o, setup, read == nullptr)) return status;
    } else {
        if (!overrides.empty()) {
            PrintError("--set needs an .ami file (--ami)");
            return ExitStatus(ErrorKind::Usage);
        }
        setup.parameters = o.parameters;
        // A raw string the AMI parser rejects would only make the model fail.
        if (!setup.parameters.empty()) {
            if (const Status parsed = ParseParameterString(setup.parameters); !parsed) {
                PrintError("--params: " + parsed.error());
                return ExitStatus(ErrorKind::Usage);
            }
        }
        if (!o.ignoreBitsGiven && !o.quiet) {
            std::fprintf(stderr,
                         "amihost: no .ami file: leaving the first %d bits out of the eye "
                         "(--ignore-bits to change)\n",
                         kDefaultIgnoreBits);
        }
    }
    if (o.amiFile.empty() && setup.lib.GetWave == nullptr) {
        // No .ami file to say so: a library without AMI_GetWave is taken as
        // one whose AMI_Init returns its impulse response.
        setup.impulseUntouched = false;
        setup.getWaveExists = false;
        if (!o.quiet)
            PrintWarning(o.library +
                         " exports no AMI_GetWave: taken as Init_Returns_Impulse True, its "
                         "AMI_Init's impulse response applied as a filter");
    }
    if (o.ignoreBitsGiven) setup.ignoreBits = o.ignoreBits;
    const std::uint64_t responses = ResponseSamples(setup.ignoreBits, o.samplesPerBit);
    if (responses > kMaxInMemorySamples) {
        PrintError("the step and pulse runs would take " + std::to_string(responses) +
                   " samples (ignored bits + 57 bits at " + std::to_string(o.samplesPerBit) +
                   " samples per bit), more than the " + std::to_string(kMaxInMemorySamples) +
                   " this tool keeps in memory; use fewer samples per bit or ignored bits");
        return ExitStatus(ErrorKind::Input);
    }
    return kExitSuccess;
}

bool HaveReceiverOptions(const CommonOptions& o) {
    return !o.rxLibrary.empty() || !o.rxAmi.empty() || !o.rxParams.empty() || !o.rxSets.empty() ||
           !o.rxIbs.empty();
}

int PrepareReceiver(const CommonOptions& o, Setup& rx) {
    CommonOptions r = o;
    r.library = o.rxLibrary;
    r.amiFile = o.rxAmi;
    r.parameters = o.rxParams;
    r.sets = o.rxSets;
    r.ibsFile = o.rxIbs;
    r.component.clear();
    r.model.clear();
    r.ignoreBitsGiven = true;  // the transmitter's ignored bits say it
    r.ignoreBits = 0;
    if (r.library.empty() && r.ibsFile.empty()) {
        PrintError("--rx-ami, --rx-params and --rx-set need a receiver (--rx or --rx-ibs)");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!r.ibsFile.empty() && (!r.library.empty() || !r.amiFile.empty() || !r.parameters.empty())) {
        PrintError(
            "--rx-ibs takes the receiver's library and .ami file from the .ibs; do not give --rx, "
            "--rx-ami or --rx-params too");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!r.parameters.empty() && !r.amiFile.empty()) {
        PrintError(
            "give the receiver's parameters either as an .ami file (--rx-ami) or as a string "
            "(--rx-params), not both");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!r.sets.empty() && r.amiFile.empty() && r.ibsFile.empty()) {
        PrintError("--rx-set needs the receiver's .ami file (--rx-ami or --rx-ibs)");
        return ExitStatus(ErrorKind::Usage);
    }
    if (const int status = ResolveIbs(r)) return status;
    if (const int status = Prepare(r, rx)) return status;
    // The receiver's own Ignore_Bits, read by Prepare from its .ami file.
    rx.ignoreBits = 0;
    if (rx.haveFile) {
        const auto ignore = rx.file.reserved.find("Ignore_Bits");
        if (ignore != rx.file.reserved.end())
            rx.ignoreBits = std::clamp(std::atoi(ignore->second.c_str()), 0, 1000000);
    }
    return kExitSuccess;
}

int PlanStimulus(const CommonOptions& o, int ignoreBits, StimulusPlan& plan) {
    const std::string& s = o.stimulus;
    const auto N = static_cast<std::uint64_t>(o.samplesPerBit);
    std::uint64_t bits = 0;
    if (!o.bitsText.empty() && !ParseBits(o.bitsText, bits)) {
        const double v = std::strtod(o.bitsText.c_str(), nullptr);
        PrintError(
            v > 1e12 ? "--bits must be at most 1e12, got '" + o.bitsText + "'"
                     : "--bits must be a whole number of at least 1 (such as 2000 or 1e6), got '" +
                           o.bitsText + "'");
        return ExitStatus(ErrorKind::Usage);
    }
    if (s.rfind("prbs", 0) == 0) {
        plan.kind = "prbs";
        plan.order = std::atoi(s.c_str() + 4);
        if (!Prbs::Supported(plan.order) || s != "prbs" + std::to_string(plan.order)) {
            PrintError("unknown stimulus '" + s +
                       "' (prbs7, prbs9, prbs11, prbs15, prbs23, prbs31)");
            return ExitStatus(ErrorKind::Input);
        }
        const std::uint64_t period = (std::uint64_t{1} << plan.order) - 1;
        plan.bits = bits > 0 ? bits
                             : static_cast<std::uint64_t>(ignoreBits) +
                                   std::min<std::uint64_t>(period, 65535);
    } else if (s == "step" || s == "pulse") {
        plan.kind = s;
        plan.bits = bits > 0 ? bits : static_cast<std::uint64_t>(ignoreBits) + 64;
    } else if (s.rfind("file:", 0) == 0) {
        plan.kind = "file";
        Expected<std::vector<double>> read = ReadWaveform(s.substr(5));
        if (!read) {
            PrintError(read.error());
            return ExitStatus(ErrorKind::Input);
        }
        plan.fileSamples = std::move(*read);
        plan.samples = plan.fileSamples.size();
        plan.bits = plan.samples / N;
        return kExitSuccess;
    } else {
        PrintError("unknown stimulus '" + s + "' (prbsN, step, pulse or file:PATH)");
        return ExitStatus(ErrorKind::Input);
    }
    if (plan.bits > (std::uint64_t{1} << 62) / N) {
        PrintError("--bits " + o.bitsText + " at " + std::to_string(N) +
                   " samples per bit is too many samples");
        return ExitStatus(ErrorKind::Usage);
    }
    plan.samples = plan.bits * N;
    return kExitSuccess;
}

StimulusSource::StimulusSource(const StimulusPlan& plan, const CommonOptions& o, int ignoreBits)
    : plan_(plan),
      o_(o),
      isFile_(plan.kind == "file"),
      prbs_(plan.kind == "prbs" ? plan.order : 7) {
    stepAt_ = static_cast<std::uint64_t>(ignoreBits) + 8;
    if (plan_.kind == "file" && !plan_.fileSamples.empty()) {
        const auto [lo, hi] =
            std::minmax_element(plan_.fileSamples.begin(), plan_.fileSamples.end());
        const double middle = 0.5 * (*lo + *hi);
        const auto N = static_cast<std::size_t>(o.samplesPerBit);
        for (std::size_t b = 0; (b + 1) * N <= plan_.fileSamples.size(); ++b)
            fileBits_.push_back(plan_.fileSamples[b * N + N / 2] > middle ? 1 : 0);
    }
}

void StimulusSource::Fill(double* samples, std::size_t n, std::uint64_t at) {
    if (plan_.kind == "file") {
        std::copy_n(plan_.fileSamples.begin() + static_cast<long>(at), n, samples);
        return;
    }
    if (jitter_.Any()) {
        FillJittered(samples, n, at);
        return;
    }
    const auto N = static_cast<std::uint64_t>(o_.samplesPerBit);
    std::size_t i = 0;
    while (i < n) {
        const std::uint64_t bit = (at + i) / N;
        MakeBitsThrough(bit);
        // The rest of this bit's samples.
        const auto run =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - i, (bit + 1) * N - (at + i)));
        std::fill_n(samples + i, run, current_ ? o_.high : o_.low);
        i += run;
    }
}

void StimulusSource::MakeBitsThrough(std::uint64_t bit) {
    while (bitsMade_ <= bit) {
        current_ = NextBit(bitsMade_);
        window_.Append(current_);
        ++bitsMade_;
    }
}

namespace {

// A uniform number in (0, 1) from a counter (splitmix64).
double Uniform(std::uint64_t key) {
    std::uint64_t z = key + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53;
}

}  // namespace

double EdgeJitter::Offset(std::uint64_t b, bool rising, double bitTime) const {
    constexpr double kTwoPi = 6.283185307179586;
    double d = rising ? dcd : -dcd;
    if (rj > 0)  // Box-Muller
        d += rj * std::sqrt(-2 * std::log(Uniform(4 * b))) * std::cos(kTwoPi * Uniform(4 * b + 1));
    if (dj > 0) d += Uniform(4 * b + 2) < 0.5 ? -dj : dj;
    if (sj > 0)
        d += sj * std::sin(sjHz > 0 ? kTwoPi * sjHz * bitTime * static_cast<double>(b)
                                    : kTwoPi * Uniform(4 * b + 3));
    return std::clamp(d, -0.49, 0.49);
}

void StimulusSource::FillJittered(double* samples, std::size_t n, std::uint64_t at) {
    // Sample k covers [k, k + 1); bit b the samples from b N, its edges at
    // b N + N d_b and (b + 1) N + N d_(b+1): each sample takes the levels it
    // covers in proportion.
    const int N = o_.samplesPerBit;
    auto level = [&](int bit) { return bit ? o_.high : o_.low; };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t k = at + i, b = k / static_cast<std::uint64_t>(N);
        MakeBitsThrough(b + 1);
        // The bit before may be forgotten already (by the eye, after the
        // last block): it was this source's last `self`.
        int before = b > 0 ? window_.Bit(b - 1) : window_.Bit(b);
        if (before < 0 && b > 0 && lastBit_ == b - 1) before = lastValue_;
        const int self = window_.Bit(b), after = window_.Bit(b + 1);
        lastBit_ = b;
        lastValue_ = self;
        const double local = static_cast<double>(k - b * static_cast<std::uint64_t>(N));
        double v = level(self);
        if (before >= 0 && before != self) {
            const double edge = N * jitter_.Offset(b, self == 1, o_.bitTime);
            v += (level(before) - level(self)) * std::clamp(edge - local, 0.0, 1.0);
        }
        if (after >= 0 && after != self) {
            const double edge = N + N * jitter_.Offset(b + 1, after == 1, o_.bitTime);
            v += (level(after) - level(self)) * std::clamp(local + 1 - edge, 0.0, 1.0);
        }
        samples[i] = v;
    }
}

int StimulusSource::Bit(std::uint64_t b) const {
    if (isFile_) return b < fileBits_.size() ? fileBits_[b] : -1;
    return window_.Bit(b);
}

void StimulusSource::ForgetBefore(std::uint64_t b) { window_.ForgetBefore(b); }

std::uint64_t StimulusSource::BitsKnown() const {
    return isFile_ ? fileBits_.size() : window_.End();
}

int StimulusSource::NextBit(std::uint64_t index) {
    if (plan_.kind == "prbs") return prbs_.NextBit();
    if (plan_.kind == "step") return index >= stepAt_ ? 1 : 0;
    return index == stepAt_ ? 1 : 0;  // pulse
}

ProgressBar::ProgressBar(bool enabled, std::string label)
    : enabled_(enabled && isatty(2)), label_(std::move(label)) {}

void ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
    if (!enabled_ || total == 0) return;
    const int percent = static_cast<int>(100 * done / total);
    if (percent == last_ && done != total) return;
    last_ = percent;
    const int filled = percent / 4;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(25 - filled), '.').c_str(), percent);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

std::shared_ptr<const std::vector<double>> InitImpulse(const CommonOptions& o,
                                                       const Channel& channel) {
    if (o.channel.empty()) return nullptr;
    return std::make_shared<const std::vector<double>>(
        ImpulseMatrixOf(channel.impulse, o.bitTime / o.samplesPerBit));
}

RunConfig ConfigOf(const CommonOptions& o, const Setup& setup, const BlockPolicy& policy) {
    RunConfig c;
    c.parameters = setup.parameters;
    c.bitTime = o.bitTime;
    c.samplesPerBit = o.samplesPerBit;
    c.policy = policy;
    c.expectImpulseUntouched = setup.impulseUntouched;
    c.getWaveExists = setup.getWaveExists;
    c.addDcOffset = setup.dcOffsetOut;
    c.initFilterBeforeGetWave = setup.useInitOutput;
    c.impulse = setup.initImpulse;
    return c;
}

std::size_t ResponseStart(int ignoreBits, int samplesPerBit) {
    return static_cast<std::size_t>(ignoreBits + 8) * static_cast<std::size_t>(samplesPerBit);
}

namespace {

// A reserved parameter's number as the .ami file gives it, or nothing.
std::optional<double> ReservedNumber(const AmiFile& file, const std::string& name) {
    const auto it = file.reserved.find(name);
    if (it == file.reserved.end()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(it->second.c_str(), &end);
    if (end == it->second.c_str() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// A reserved time in unit intervals (inUi) or seconds: a Type UI value is in
// unit intervals, any other in seconds.
std::optional<double> ReservedTime(const AmiFile& file, const std::string& name, double bitTime,
                                   bool inUi) {
    const std::optional<double> v = ReservedNumber(file, name);
    if (!v) return v;
    const auto type = file.reservedTypes.find(name);
    const bool ui = type != file.reservedTypes.end() && type->second == "UI";
    return ui == inUi ? *v : inUi ? *v / bitTime : *v * bitTime;
}

}  // namespace

std::vector<std::string> ApplyReservedJitter(const Setup& setup, const std::string& side,
                                             double bitTime, StatEyeOptions& options) {
    std::vector<std::string> applied;
    if (!setup.haveFile) return applied;
    const AmiFile& file = setup.file;
    // In unit intervals; a term of zero or below zero is left out.
    auto read = [&](const std::string& name, double& value) {
        const std::optional<double> t = ReservedTime(file, name, bitTime, true);
        if (!t || *t < 0) return false;
        value = *t;
        return value != 0;
    };
    double v = 0;
    if (read(side + "_Rj", v)) {
        options.jitterRms = std::hypot(options.jitterRms, v);
        applied.push_back(side + "_Rj " + Format("%.6g", v) + " UI rms");
    }
    const std::pair<const char*, JitterTerm::Kind> bounded[] = {{"_Dj", JitterTerm::DualDirac},
                                                                {"_Sj", JitterTerm::Sinusoidal},
                                                                {"_DCD", JitterTerm::DualDirac}};
    for (const auto& [suffix, kind] : bounded) {
        if (!read(side + suffix, v)) continue;
        options.jitter.push_back({kind, v});
        applied.push_back(side + suffix + " " + Format("%.6g", v) + " UI");
    }
    if (side != "Rx") return applied;
    auto volts = [&](const char* name, double& value) {
        const std::optional<double> n = ReservedNumber(file, name);
        value = n.value_or(0);
        return value > 0;
    };
    if (volts("Rx_Noise", v)) {
        options.noiseRms = std::hypot(options.noiseRms, v);
        applied.push_back("Rx_Noise " + Format("%.6g", v) + " V rms");
    }
    const auto pdf = file.reservedTables.find("Rx_Clock_PDF");
    if (pdf != file.reservedTables.end()) {
        // Rows of (offset, probability): the offset in unit intervals for
        // Type UI, else seconds.
        const auto type = file.reservedTypes.find("Rx_Clock_PDF");
        const bool ui = type != file.reservedTypes.end() && type->second == "UI";
        JitterTerm table;
        table.kind = JitterTerm::Table;
        double total = 0;
        std::size_t skipped = 0;
        for (const std::vector<std::string>& row : pdf->second) {
            ++skipped;
            if (row.size() != 2) continue;
            const double offset = std::strtod(row[0].c_str(), nullptr) / (ui ? 1.0 : bitTime);
            const double p = std::strtod(row[1].c_str(), nullptr);
            if (!std::isfinite(offset) || !(p >= 0) || !std::isfinite(p) ||
                std::fabs(offset) >= 0.5)
                continue;
            table.table.emplace_back(offset, p);
            total += p;
            --skipped;
        }
        if (total > 0) {
            options.jitter.push_back(table);
            applied.push_back("Rx_Clock_PDF " + std::to_string(table.table.size()) + " points" +
                              (skipped > 0 ? " (" + std::to_string(skipped) +
                                                 " row(s) left out: not an offset within 0.5 UI "
                                                 "and a probability)"
                                           : ""));
        }
    }
    if (volts("Rx_Receiver_Sensitivity", v)) {
        options.sensitivity = std::max(options.sensitivity, v);
        applied.push_back("Rx_Receiver_Sensitivity " + Format("%.6g", v) + " V");
    }
    return applied;
}

std::vector<double> ImpulseAfterTransmitter(const Setup& tx, const CommonOptions& o,
                                            const Channel& channel, const ProbeResponses& txProbe) {
    const InitStep s = InitThrough(tx.lib, ConfigOf(o, tx, BlockPolicy{}), channel.impulse,
                                   StepImpulse(txProbe, o.high - o.low));
    return s.impulse.empty() ? channel.impulse : s.impulse;
}

double DecisionTime(const Setup& rx, double bitTime) {
    if (!rx.haveFile) return 0.5 * bitTime;
    return ReservedTime(rx.file, "Rx_Decision_Time", bitTime, false).value_or(0.5 * bitTime);
}

EdgeJitter TxEdgeJitter(const Setup& setup, double bitTime) {
    EdgeJitter j;
    if (!setup.haveFile) return j;
    // In unit intervals; a term below zero is none.
    auto ui = [&](const char* name) {
        return std::max(0.0, ReservedTime(setup.file, name, bitTime, true).value_or(0));
    };
    j.rj = ui("Tx_Rj");
    j.dj = ui("Tx_Dj");
    j.sj = ui("Tx_Sj");
    j.dcd = ui("Tx_DCD");
    j.sjHz = std::max(0.0, ReservedNumber(setup.file, "Tx_Sj_Frequency").value_or(0));
    return j;
}

ResponseInputs ResponseRunInputs(const CommonOptions& o, int ignoreBits) {
    const int lead = ignoreBits + 8;
    ResponseInputs in;
    in.zeros = Nrz(StepBits(lead + 49, 0), o.samplesPerBit, o.high, o.low).samples;
    in.step = Nrz(StepBits(lead, 49), o.samplesPerBit, o.high, o.low).samples;
    in.pulse = Nrz(PulseBits(lead, 48), o.samplesPerBit, o.high, o.low).samples;
    return in;
}

Responses MeasureResponses(const Setup& setup, const CommonOptions& o,
                           const StatEyeOptions& statOptions) {
    Responses r;
    const BlockPolicy whole;
    const ResponseInputs in = ResponseRunInputs(o, setup.ignoreBits);
    r.zeros = RunModel(setup.lib, ConfigOf(o, setup, whole), in.zeros);
    r.step = RunModel(setup.lib, ConfigOf(o, setup, whole), in.step);
    r.pulse = RunModel(setup.lib, ConfigOf(o, setup, whole), in.pulse);
    r.ok = true;
    for (const RunResult* run : {&r.zeros, &r.step, &r.pulse})
        r.ok = r.ok && run->initResult == 1 && run->failedWaveCalls == 0 && !run->output.empty();
    if (!r.ok) return r;
    r.probe = AnalyseResponses(r.zeros.output, r.pulse.output, r.step.output,
                               ResponseStart(setup.ignoreBits, o.samplesPerBit), o.samplesPerBit,
                               statOptions);
    r.ok = r.probe.ok;
    return r;
}

std::vector<std::string> Responses::Breaches() const {
    std::vector<std::string> all;
    for (const std::string& b : zeros.breaches) all.push_back("run of 0s: " + b);
    for (const std::string& b : step.breaches) all.push_back("step run: " + b);
    for (const std::string& b : pulse.breaches) all.push_back("pulse run: " + b);
    return all;
}

std::string Responses::Note() const {
    for (const RunResult* run : {&zeros, &step, &pulse}) {
        if (run->initResult != 1)
            return "AMI_Init returned " + std::to_string(run->initResult) +
                   (run->message.empty() ? "" : " (" + run->message + ")");
        if (run->failedWaveCalls > 0)
            return "AMI_GetWave failed " + std::to_string(run->failedWaveCalls) + " time(s)";
    }
    return probe.note;
}

int LoadChannelOption(const CommonOptions& o, Channel& channel, StatEyeOptions& statOptions) {
    channel = IdentityChannel();
    for (const double v : {o.noiseRms, o.rjRms, o.djUi, o.sjUi, o.dcdUi, o.sensitivity}) {
        if (!(v >= 0) || !std::isfinite(v)) {
            PrintError(
                "--noise-rms, --rj-rms, --dj, --sj, --dcd and --sensitivity must be finite and not "
                "negative");
            return ExitStatus(ErrorKind::Usage);
        }
    }
    if (o.djUi >= 0.5 || o.sjUi >= 0.5 || o.dcdUi >= 0.5) {
        PrintError("--dj, --sj and --dcd are in unit intervals and must be below 0.5");
        return ExitStatus(ErrorKind::Usage);
    }
    statOptions.noiseRms = o.noiseRms;
    statOptions.jitterRms = o.rjRms;
    statOptions.jitter = {JitterTerm(JitterTerm::DualDirac, o.djUi),
                          JitterTerm(JitterTerm::Sinusoidal, o.sjUi),
                          JitterTerm(JitterTerm::DualDirac, o.dcdUi)};
    statOptions.sensitivity = o.sensitivity;
    if (!o.clockPdf.empty()) {
        JitterTerm table;
        table.kind = JitterTerm::Table;
        double total = 0;
        for (const std::string& item : SplitCsvLine(o.clockPdf)) {
            double offset = 0, p = 0;
            char extra = 0;
            if (std::sscanf(item.c_str(), "%lf:%lf%c", &offset, &p, &extra) != 2 ||
                !std::isfinite(offset) || std::fabs(offset) >= 0.5 || !(p >= 0) ||
                !std::isfinite(p)) {
                PrintError(
                    "--clock-pdf OFFSET_UI:PROBABILITY,... with offsets within +-0.5 UI; got '" +
                    item + "'");
                return ExitStatus(ErrorKind::Usage);
            }
            table.table.emplace_back(offset, p);
            total += p;
        }
        if (!(total > 0)) {
            PrintError("--clock-pdf: the probabilities sum to 0");
            return ExitStatus(ErrorKind::Usage);
        }
        statOptions.jitter.push_back(table);
    }
    if (o.channel.empty()) {
        if (o.portsGiven) {
            PrintError("--ports orders the ports of a four-port --channel file; there is none");
            return ExitStatus(ErrorKind::Usage);
        }
        return kExitSuccess;
    }
    const Expected<PortOrder> ports = ParsePortOrder(o.ports);
    if (!ports) {
        PrintError(ports.error());
        return ExitStatus(ErrorKind::Input);
    }
    Expected<Channel> loaded =
        LoadChannel(o.channel, o.bitTime / o.samplesPerBit, o.bitTime, *ports);
    if (!loaded) {
        PrintError(loaded.error());
        return ExitStatus(ErrorKind::Input);
    }
    channel = std::move(*loaded);
    if (o.portsGiven && channel.ports != 4) {
        PrintError("--ports orders the ports of a four-port Touchstone file; " + o.channel +
                   " is not one");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!o.quiet)
        for (const std::string& w : channel.warnings) PrintWarning(w);
    return kExitSuccess;
}

std::string CsvNumber(double v, int digits) {
    if (!std::isfinite(v)) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    return text;
}

std::vector<std::string> SplitCsvLine(std::string line) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::vector<std::string> cells;
    std::size_t at = 0;
    for (std::size_t comma; (comma = line.find(',', at)) != std::string::npos; at = comma + 1)
        cells.push_back(line.substr(at, comma - at));
    cells.push_back(line.substr(at));
    return cells;
}

std::string CsvText(std::string text) {
    for (char& c : text) {
        if (c == ',') c = ';';
        if (c == '\n' || c == '\r') c = ' ';
        if (c == '"') c = '\'';
    }
    return text;
}

std::string FormatTime(double seconds) {
    const double a = std::fabs(seconds);
    char text[48];
    if (a < 1e-9) {
        std::snprintf(text, sizeof text, "%.4g ps", seconds * 1e12);
    } else if (a < 1e-6) {
        std::snprintf(text, sizeof text, "%.4g ns", seconds * 1e9);
    } else if (a < 1e-3) {
        std::snprintf(text, sizeof text, "%.4g us", seconds * 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.4g s", seconds);
    }
    return text;
}

}  // namespace amihost
