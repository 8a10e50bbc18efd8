#include "grid_row.h"

#include <algorithm>
#include <cstring>

#include "interrupt.h"
#include "output.h"
#include "receiver.h"

namespace amihost {

bool LoadRowModels(const GridRun& run, const CommonOptions& o,
                   const std::map<std::string, std::string>& values,
                   const std::shared_ptr<const std::vector<double>>& initImpulse, bool reuseFile,
                   RowModels& m) {
    m.quiet = o;
    m.quiet.quiet = true;
    m.quiet.sets.clear();
    SplitRow(run, values, m.txValues, m.rxValues);
    m.tx.initImpulse = initImpulse;
    const AmiFile* file = reuseFile && run.probe.haveFile ? &run.probe.file : nullptr;
    if (Prepare(m.quiet, m.tx, m.txValues, file) == 0) return true;
    m.failure = "the model could not be loaded or its parameters built";
    return false;
}

bool LoadRowReceiver(const GridRun& run, const CommonOptions& o, RowModels& m) {
    if (PrepareReceiverRow(o, run, m.rxValues, m.rx) == 0) return true;
    m.failure = "the receiver could not be loaded or its parameters built";
    return false;
}

RunConfig ReceiverConfig(const RowModels& m, const std::vector<double>& afterTx) {
    RunConfig config = ConfigOf(m.quiet, m.rx, BlockPolicy{});
    const double dt = m.quiet.bitTime / m.quiet.samplesPerBit;
    config.impulse = std::make_shared<const std::vector<double>>(ImpulseMatrixOf(afterTx, dt));
    return config;
}

RowStream StreamRow(const RowModels& m, int ignoreBits, int sourceIgnoreBits) {
    StimulusPlan plan;
    PlanStimulus(m.quiet, ignoreBits, plan);
    std::vector<double> stimulus(static_cast<std::size_t>(plan.samples));
    StimulusSource source(plan, m.quiet, sourceIgnoreBits);
    source.SetEdgeJitter(TxEdgeJitter(m.tx, m.quiet.bitTime));
    source.Fill(stimulus.data(), stimulus.size(), 0);
    RowStream out;
    out.result = RunModel(m.tx.lib, ConfigOf(m.quiet, m.tx, BlockPolicy{}), stimulus);
    out.bits.resize(static_cast<std::size_t>(plan.bits));
    for (std::size_t b = 0; b < out.bits.size(); ++b) out.bits[b] = source.Bit(b) == 1;
    return out;
}

namespace {

constexpr char kRowMagic[] = "amihost-row";
constexpr unsigned char kRowVersion = 1;

void PutSize(std::string& out, std::uint64_t v) {
    for (int b = 0; b < 8; ++b) out += static_cast<char>((v >> (8 * b)) & 0xFF);
}

void PutText(std::string& out, const std::string& text) {
    PutSize(out, text.size());
    out += text;
}

// Reads the fields back in order; false once the bytes run out.
class RowReader {
public:
    explicit RowReader(const std::string& bytes) : bytes_(bytes) {}
    bool Size(std::uint64_t& v) {
        if (bytes_.size() - at_ < 8) return false;
        v = 0;
        for (int b = 0; b < 8; ++b)
            v |=
                std::uint64_t{static_cast<unsigned char>(bytes_[at_ + static_cast<std::size_t>(b)])}
                << (8 * b);
        at_ += 8;
        return true;
    }
    bool Text(std::string& text) {
        std::uint64_t n = 0;
        if (!Size(n) || bytes_.size() - at_ < n) return false;
        text = bytes_.substr(at_, static_cast<std::size_t>(n));
        at_ += static_cast<std::size_t>(n);
        return true;
    }
    bool Byte(unsigned char& c) {
        if (at_ >= bytes_.size()) return false;
        c = static_cast<unsigned char>(bytes_[at_++]);
        return true;
    }
    bool Skip(const char* expected, std::size_t n) {
        if (bytes_.size() - at_ < n || bytes_.compare(at_, n, expected, n) != 0) return false;
        at_ += n;
        return true;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    const std::string& bytes_;
    std::size_t at_ = 0;
};

}  // namespace

std::string EncodeRowOutcome(const RowOutcome& r) {
    std::string out(kRowMagic, sizeof kRowMagic - 1);
    out += static_cast<char>(kRowVersion);
    out += static_cast<char>(r.ok ? 1 : 0);
    PutText(out, r.reason);
    PutSize(out, r.numbers.size());
    for (double v : r.numbers) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        PutSize(out, bits);
    }
    PutText(out, r.text);
    PutSize(out, r.notes.size());
    for (const std::string& note : r.notes) PutText(out, note);
    PutSize(out, r.count);
    return out;
}

Expected<RowOutcome> DecodeRowOutcome(const std::string& bytes) {
    RowReader in(bytes);
    if (!in.Skip(kRowMagic, sizeof kRowMagic - 1)) return Error{"not a row result"};
    unsigned char version = 0, ok = 0;
    if (!in.Byte(version) || version != kRowVersion)
        return Error{"a row result of version " + std::to_string(version) + ", not " +
                     std::to_string(kRowVersion)};
    RowOutcome r;
    std::uint64_t count = 0;
    if (!in.Byte(ok) || ok > 1 || !in.Text(r.reason) || !in.Size(count) || count > bytes.size())
        return Error{"a row result cut short"};
    r.ok = ok == 1;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t bits = 0;
        if (!in.Size(bits)) return Error{"a row result cut short"};
        double v;
        std::memcpy(&v, &bits, sizeof v);
        r.numbers.push_back(v);
    }
    std::uint64_t notes = 0;
    if (!in.Text(r.text) || !in.Size(notes) || notes > bytes.size())
        return Error{"a row result cut short"};
    r.notes.resize(static_cast<std::size_t>(notes));
    for (std::string& note : r.notes)
        if (!in.Text(note)) return Error{"a row result cut short"};
    if (!in.Size(r.count) || !in.AtEnd()) return Error{"a row result of the wrong length"};
    return r;
}

int LoadGridChannel(const CommonOptions& o, const GridRun& run, Channel& channel,
                    StatEyeOptions& statOptions,
                    std::shared_ptr<const std::vector<double>>& initImpulse) {
    if (const int status = LoadChannelOption(o, channel, statOptions)) return status;
    ApplyReservedJitter(run.probe, "Tx", o.bitTime, statOptions);
    if (run.haveRx) ApplyReservedJitter(run.rxProbe, "Rx", o.bitTime, statOptions);
    initImpulse = InitImpulse(o, channel);
    return kExitSuccess;
}

Expected<GridRows> RunGridRows(const char* command, const CommonOptions& o, const Grid& grid,
                               std::size_t rows, bool jobsGiven, int jobsAsked, bool gridGiven,
                               const std::string& output,
                               const std::function<RowOutcome(std::size_t)>& row) {
    GridRows out;
    out.wanted = jobsGiven ? jobsAsked : Cores();
    out.jobs = static_cast<int>(std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(out.wanted), rows)));
    AnnounceGrid(command, o, grid, rows, out.jobs, gridGiven);
    out.outcomes = RunRows(command, o, out.jobs, rows,
                           [&row](std::size_t slot) { return EncodeRowOutcome(row(slot)); });
    if (Interrupted())
        return Error{"interrupted; " + output + " was not written", ErrorKind::Interrupted};
    return out;
}

}  // namespace amihost
