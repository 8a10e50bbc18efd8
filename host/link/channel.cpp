#include "link/channel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "link/fft.h"
#include "link/memory.h"

namespace amihost {

namespace {

constexpr double kPi = 3.141592653589793;

// The streaming convolution's transform: this many times the response.
constexpr std::size_t kTransformPerTaps = 8;

// The impulse response of H sampled on the FFT grid of `n` points at `dt`,
// in double precision.
std::vector<double> ImpulseOf(const std::function<std::complex<double>(double)>& H, std::size_t n,
                              double dt) {
    std::vector<std::complex<double>> bins;
    ReserveLarge(bins, n / 2 + 1);
    bins.resize(n / 2 + 1);
    for (std::size_t k = 0; k < bins.size(); ++k)
        bins[k] = H(static_cast<double>(k) / (static_cast<double>(n) * dt));
    return InverseRealDouble(bins, n);
}

// Drops trailing samples while all that is dropped holds less than 1e-7 of
// the response's area (in absolute value).
void TrimTail(std::vector<double>& h) {
    double total = 0;
    for (double v : h) total += std::fabs(v);
    double tail = 0;
    std::size_t keep = h.size();
    while (keep > 1) {
        const double e = std::fabs(h[keep - 1]);
        if (tail + e >= 1e-7 * total) break;
        tail += e;
        --keep;
    }
    h.resize(keep);
}

std::size_t GridSize(double dt, double bitTime) {
    const auto spb = static_cast<std::size_t>(std::max(1.0, std::round(bitTime / dt)));
    return std::min<std::size_t>(PowerOfTwoAtLeast(std::max<std::size_t>(4096, 256 * spb)),
                                 kMaxImpulseSamples);
}

std::string At(const std::string& name, int line) {
    return name + ":" + std::to_string(line) + ": ";
}

}  // namespace

Expected<PortOrder> ParsePortOrder(const std::string& text) {
    const Error bad{
        "--ports wants four different ports 1 to 4 (in+, in-, out+, out-), such as "
        "1,3,2,4; got '" +
        text + "'"};
    int p[4];
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &p[0], &p[1], &p[2], &p[3], &extra) != 4)
        return bad;
    for (int i = 0; i < 4; ++i) {
        if (p[i] < 1 || p[i] > 4) return bad;
        for (int j = 0; j < i; ++j)
            if (p[i] == p[j]) return bad;
    }
    return PortOrder{p[0], p[1], p[2], p[3]};
}

std::complex<double> LineResponse(double f, double lossDb, double atHz) {
    const double nepers = lossDb / (20.0 / std::log(10.0));
    const double a = 0.5 * nepers / std::cos(0.25 * kPi);
    const double b = 0.5 * nepers / std::cos(0.45 * kPi);
    const std::complex<double> s(0.0, f / atHz);
    return std::exp(-a * std::pow(s, 0.5) - b * std::pow(s, 0.9));
}

Channel IdentityChannel() {
    Channel c;
    c.impulse = {1.0};
    c.description = "no channel";
    return c;
}

namespace {

// What a Touchstone file's lines say, read one line after another.
struct TouchstoneReading {
    int portCount = 0;
    double unit = 1e9;
    std::string format = "MA";
    bool order21First = true;  // two-port data order of version 1: S11 S21 S12 S22
    bool networkData = true, optionsSeen = false, ended = false;
    std::vector<double> numbers;
    std::vector<int> numberLines;
};

std::string CaseOf(std::string s, int (*to)(int)) {
    for (char& c : s) c = static_cast<char>(to(static_cast<unsigned char>(c)));
    return s;
}

// A [keyword] line of version 2.
void ReadKeywordLine(const std::string& line, TouchstoneReading& r) {
    std::string key = line.substr(line.find('[') + 1);
    key = CaseOf(key.substr(0, key.find(']')), std::tolower);
    const std::string value = line.substr(line.find(']') + 1);
    if (key == "number of ports") r.portCount = std::atoi(value.c_str());
    if (key == "two-port data order") r.order21First = value.find("21_12") != std::string::npos;
    if (key == "network data") r.networkData = true;
    if (key == "version") r.networkData = false;
    if (key == "end" || key == "noise data") r.ended = true;
}

// The option line ("# GHz S MA R 50"); only the first one counts.
Status ReadOptionLine(std::istringstream& words, const std::string& where, TouchstoneReading& r) {
    if (r.optionsSeen) return {};
    r.optionsSeen = true;
    std::string w;
    while (words >> w) {
        w = CaseOf(w, std::toupper);
        if (w == "HZ" || w == "KHZ" || w == "MHZ" || w == "GHZ") {
            r.unit = w == "HZ" ? 1 : w == "KHZ" ? 1e3 : w == "MHZ" ? 1e6 : 1e9;
        } else if (w == "RI" || w == "MA" || w == "DB") {
            r.format = w;
        } else if (w == "S") {
            continue;
        } else if (w == "R") {
            double ohms = 0;
            if (!(words >> ohms) || !(ohms > 0))
                return Error{where + "a reference impedance R needs a positive value"};
        } else if (w == "Y" || w == "Z" || w == "H" || w == "G") {
            return Error{where + "only S parameters are supported"};
        } else {
            return Error{where + "unknown option '" + w + "'"};
        }
    }
    return {};
}

Status ReadDataLine(const std::string& line, const std::string& where, int number,
                    TouchstoneReading& r) {
    std::istringstream all(line);
    all.imbue(std::locale::classic());
    std::string token;
    while (all >> token) {
        char* end = nullptr;
        const double v = std::strtod(token.c_str(), &end);
        if (end == token.c_str() || *end != '\0' || !std::isfinite(v))
            return Error{where + "'" + token + "' is not a number"};
        r.numbers.push_back(v);
        r.numberLines.push_back(number);
    }
    return {};
}

// Every line, comments cut, up to [End] or [Noise Data].
Status ReadLines(const std::string& text, const std::string& name, TouchstoneReading& r) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (!r.ended && std::getline(in, line)) {
        ++number;
        const std::size_t bang = line.find('!');
        if (bang != std::string::npos) line.resize(bang);
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        std::string first;
        if (!(words >> first)) continue;
        Status read;
        if (first[0] == '[')
            ReadKeywordLine(line, r);
        else if (first == "#")
            read = ReadOptionLine(words, At(name, number), r);
        else if (r.networkData)
            read = ReadDataLine(line, At(name, number), number, r);
        if (!read) return read;
    }
    return {};
}

// The numbers as whole frequency points of at least two.
Status CheckPoints(const TouchstoneReading& r, const std::string& name) {
    if (r.portCount != 2 && r.portCount != 4)
        return Error{name + ": only two- and four-port files are supported (.s2p, .s4p)"};
    const std::size_t per = 1 + 2 * static_cast<std::size_t>(r.portCount * r.portCount);
    if (r.numbers.empty()) return Error{name + ": no network data"};
    if (r.numbers.size() % per != 0)
        return Error{At(name, r.numberLines.back()) + "the data ends inside a frequency point (" +
                     std::to_string(r.numbers.size()) + " numbers; each point takes " +
                     std::to_string(per) + ")"};
    if (r.numbers.size() / per < 2)
        return Error{name +
                     ": a single frequency point gives no response; at least two are needed"};
    return {};
}

// The through response at each frequency point: S21, or the differential
// one of a four-port file in the given port order.
Expected<TouchstoneData> Through(const TouchstoneReading& r, const std::string& name,
                                 const PortOrder& ports) {
    TouchstoneData out;
    const int portCount = r.portCount;
    const std::size_t per = 1 + 2 * static_cast<std::size_t>(portCount * portCount);
    auto value = [&](const double* p) {
        const double a = p[0], b = p[1];
        if (r.format == "RI") return std::complex<double>(a, b);
        const double mag = r.format == "DB" ? std::pow(10.0, a / 20.0) : a;
        return std::polar(mag, b * kPi / 180.0);
    };
    for (std::size_t at = 0; at < r.numbers.size(); at += per) {
        const double f = r.numbers[at] * r.unit;
        const std::string where = At(name, r.numberLines[at]);
        if (f < 0) return Error{where + "a negative frequency"};
        if (!out.frequency.empty() && !(f > out.frequency.back()))
            return Error{where + "frequencies must increase"};
        const double* s = &r.numbers[at + 1];
        // S(i, j) of 1-based ports, from row-major data (and version 1 two-port order).
        auto S = [&](int i, int j) {
            const int index = portCount == 2 && r.order21First ? (j - 1) * 2 + (i - 1)
                                                               : (i - 1) * portCount + (j - 1);
            return value(s + 2 * static_cast<std::size_t>(index));
        };
        const std::complex<double> through =
            portCount == 2
                ? S(2, 1)
                : 0.5 * (S(ports.outPlus, ports.inPlus) - S(ports.outPlus, ports.inMinus) -
                         S(ports.outMinus, ports.inPlus) + S(ports.outMinus, ports.inMinus));
        if (!std::isfinite(through.real()) || !std::isfinite(through.imag()))
            return Error{where + "the data gives a value that is not finite"};
        out.frequency.push_back(f);
        out.through.push_back(through);
    }
    out.ports = portCount;
    return out;
}

}  // namespace

Expected<TouchstoneData> ParseTouchstone(const std::string& text, const std::string& name,
                                         const PortOrder& ports) {
    TouchstoneReading r;
    const std::string lower = CaseOf(name, std::tolower);
    r.portCount = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".s4p") == 0   ? 4
                  : lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".s2p") == 0 ? 2
                                                                                        : 0;
    if (Status read = ReadLines(text, name, r); !read) return Error{read.error()};
    if (Status points = CheckPoints(r, name); !points) return Error{points.error()};
    return Through(r, name, ports);
}

Channel LineChannel(double lossDb, double atHz, double dt, double bitTime) {
    Channel out;
    // One transform on a grid eight times the longest response kept (no
    // wrap-around); kept: the shortest power-of-two length from GridSize on
    // beyond which at most 1e-4 of the area lies, or the longest.
    const std::vector<double> h = LineImpulse(lossDb, atHz, dt);
    std::size_t keep = GridSize(dt, bitTime);
    for (;;) {
        double kept = 0;
        for (std::size_t k = 0; k < keep; ++k) kept += h[k];
        out.cutArea = 1.0 - kept;
        if (std::fabs(out.cutArea) <= 1e-4 || keep >= kMaxImpulseSamples) break;
        keep *= 2;
    }
    out.impulse.assign(h.begin(), h.begin() + static_cast<long>(keep));
    out.dcGain = 1.0;
    bool falling = out.cutArea >= 0;
    for (std::size_t k = keep / 2; k < keep && falling; ++k)
        falling = h[k] > 0 && (k == keep / 2 || h[k] <= h[k - 1]);
    if (falling) out.tailFirst = out.cutArea > 0 ? h[keep - 1] : 0.0;
    char text[160];
    std::snprintf(text, sizeof text, "lossy line, %.3g dB at %.4g GHz", lossDb, atHz * 1e-9);
    out.description = text;
    return out;
}

double CutTailBound(const Channel& channel, const std::vector<double>& pulse, int N) {
    if (channel.tailFirst < 0 || N <= 0) return NAN;
    if (channel.cutArea <= 0) return 0.0;
    double sum = 0, absoluteSum = 0;
    for (const double v : pulse) {
        sum += v;
        absoluteSum += std::fabs(v);
    }
    const double h1 = channel.tailFirst, spans = std::ceil(static_cast<double>(pulse.size()) / N);
    return std::fabs(sum) * (h1 + channel.cutArea / N) + 2 * absoluteSum * h1 * spans;
}

std::vector<double> LineImpulse(double lossDb, double atHz, double dt) {
    return ImpulseOf([&](double f) { return LineResponse(f, lossDb, atHz); },
                     8 * kMaxImpulseSamples, dt);
}

Channel SampledChannel(const std::vector<double>& values, bool step, const std::string& name) {
    Channel out;
    out.impulse = values;
    if (step)
        for (std::size_t k = values.size(); k-- > 1;) out.impulse[k] = values[k] - values[k - 1];
    out.dcGain = 0;
    for (double v : out.impulse) out.dcGain += v;
    out.description = std::string(step ? "step response " : "impulse response ") + name;
    return out;
}

Channel TouchstoneChannel(const TouchstoneData& data, const std::string& name, double dt,
                          double bitTime) {
    Channel out;
    out.ports = data.ports;
    for (std::size_t k = 0; k < data.through.size(); ++k) {
        if (std::abs(data.through[k]) > 1.0 + 1e-6) {
            char text[160];
            std::snprintf(text, sizeof text, "%s is not passive: |S21| = %.4g at %.4g GHz",
                          name.c_str(), std::abs(data.through[k]), data.frequency[k] * 1e-9);
            out.warnings.push_back(text);
            break;
        }
    }
    std::vector<double> phase(data.through.size());
    for (std::size_t k = 0; k < phase.size(); ++k) {
        phase[k] = std::arg(data.through[k]);
        if (k > 0) {
            while (phase[k] - phase[k - 1] > kPi) phase[k] -= 2 * kPi;
            while (phase[k] - phase[k - 1] < -kPi) phase[k] += 2 * kPi;
        }
    }
    // A point at 0 Hz: a real value, whose phase is 0 or pi; the unwrapped
    // phases after it follow from there.
    const double fLo = data.frequency.front(), fHi = data.frequency.back();
    auto H = [&](double f) -> std::complex<double> {
        if (f >= fHi) return 0.0;
        double mag, ph;
        if (f <= fLo) {
            mag = std::abs(data.through.front());
            ph = fLo > 0 ? phase.front() * f / fLo : phase.front();
        } else {
            const auto it = std::upper_bound(data.frequency.begin(), data.frequency.end(), f);
            const std::size_t k = static_cast<std::size_t>(it - data.frequency.begin());
            const double w =
                (f - data.frequency[k - 1]) / (data.frequency[k] - data.frequency[k - 1]);
            mag = (1 - w) * std::abs(data.through[k - 1]) + w * std::abs(data.through[k]);
            ph = (1 - w) * phase[k - 1] + w * phase[k];
        }
        const double taper =
            f < 0.9 * fHi ? 1.0 : 0.5 * (1 + std::cos(kPi * (f - 0.9 * fHi) / (0.1 * fHi)));
        return std::polar(mag * taper, ph);
    };
    // The grid: at least 256 unit intervals, longer while the last quarter
    // still holds more than 1e-4 of the response's area (a long delay or a
    // slow tail), up to the data's own time span 1 / (its point spacing).
    double spacing = fHi;
    for (std::size_t k = 1; k < data.frequency.size(); ++k)
        spacing = std::min(spacing, data.frequency[k] - data.frequency[k - 1]);
    std::size_t n = GridSize(dt, bitTime);
    for (;;) {
        out.impulse = ImpulseOf(H, n, dt);
        double total = 0, last = 0;
        for (std::size_t k = 0; k < n; ++k) {
            total += std::fabs(out.impulse[k]);
            if (k >= n - n / 4) last += std::fabs(out.impulse[k]);
        }
        if (!(last > 1e-4 * total) || 2 * n > kMaxImpulseSamples ||
            static_cast<double>(2 * n) * dt > 1.0 / spacing)
            break;
        n *= 2;
    }
    const double dc = H(0.0).real();
    // Energy in the last tenth of the period is response before time 0.
    double total = 0, early = 0;
    for (std::size_t k = 0; k < out.impulse.size(); ++k) {
        total += out.impulse[k] * out.impulse[k];
        if (k >= out.impulse.size() - out.impulse.size() / 10)
            early += out.impulse[k] * out.impulse[k];
    }
    if (total > 0 && early > 0.01 * total)
        out.warnings.push_back(name + ": the impulse response is visibly non-causal (" +
                               std::to_string(static_cast<int>(100 * early / total)) +
                               " % of its energy before time 0)");
    out.impulse.resize(out.impulse.size() - out.impulse.size() / 10);
    TrimTail(out.impulse);
    double kept = 0;
    for (double v : out.impulse) kept += v;
    out.dcGain = dc;
    out.cutArea = dc != 0 ? (dc - kept) / dc : 0.0;
    out.description = "Touchstone " + name;
    return out;
}

struct Convolver::Impl {
    Sink sink;
    std::size_t m = 0, blockLength = 0, n = 0;
    std::unique_ptr<RealFft> fft;
    std::vector<float> spectrum;  // packed
    std::vector<float> input;     // the last m - 1 inputs, then the new ones
    std::vector<float> work;
    std::vector<double> output;
    std::size_t filled = 0;
    double gain = 0;  // the tap of a one-tap response
};

Convolver::Convolver(const std::vector<double>& impulse, Sink sink) : impl_(new Impl) {
    Impl& s = *impl_;
    s.sink = std::move(sink);
    s.m = std::max<std::size_t>(impulse.size(), 1);
    s.gain = impulse.empty() ? 0.0 : impulse[0];
    // Overlap-save: each transform of n points gives n - m + 1 new outputs.
    s.n = PowerOfTwoAtLeast(std::max<std::size_t>(kTransformPerTaps * s.m, 1024));
    s.blockLength = s.n - s.m + 1;
    s.output.assign(s.m == 1 ? 65536 : s.blockLength, 0.0);
    if (s.m == 1) return;
    s.fft = std::make_unique<RealFft>(s.n);
    ReserveLarge(s.spectrum, s.n);
    ReserveLarge(s.input, s.n);
    ReserveLarge(s.work, s.n);
    s.spectrum.assign(s.n, 0.0f);
    for (std::size_t k = 0; k < impulse.size(); ++k) s.spectrum[k] = static_cast<float>(impulse[k]);
    s.fft->Forward(s.spectrum.data());
    s.input.assign(s.n, 0.0f);
    s.work.assign(s.n, 0.0f);
}

Convolver::~Convolver() = default;

void Convolver::Block(std::size_t count) {
    Impl& s = *impl_;
    const std::size_t history = s.m - 1;
    std::copy_n(s.input.begin(), history + count, s.work.begin());
    std::fill(s.work.begin() + static_cast<long>(history + count), s.work.end(), 0.0f);
    s.fft->Forward(s.work.data());
    MultiplyPacked(s.work.data(), s.spectrum.data(), s.n);
    s.fft->Inverse(s.work.data());
    // Outputs before index m - 1 wrapped around; the rest are exact.
    for (std::size_t k = 0; k < count; ++k) s.output[k] = s.work[history + k];
    s.sink(s.output.data(), count);
    std::copy(s.input.begin() + static_cast<long>(count),
              s.input.begin() + static_cast<long>(count + history), s.input.begin());
}

void Convolver::Push(const double* x, std::size_t n) {
    Impl& s = *impl_;
    if (s.m == 1) {
        // A single tap: a gain, exact in double precision.
        while (n > 0) {
            const std::size_t take = std::min(n, s.output.size());
            for (std::size_t k = 0; k < take; ++k) s.output[k] = s.gain * x[k];
            s.sink(s.output.data(), take);
            x += take;
            n -= take;
        }
        return;
    }
    const std::size_t history = s.m - 1;
    while (n > 0) {
        const std::size_t take = std::min(n, s.blockLength - s.filled);
        float* to = s.input.data() + history + s.filled;
        for (std::size_t k = 0; k < take; ++k) to[k] = static_cast<float>(x[k]);
        s.filled += take;
        x += take;
        n -= take;
        if (s.filled == s.blockLength) {
            Block(s.blockLength);
            s.filled = 0;
        }
    }
}

void Convolver::Finish() {
    if (impl_->m > 1 && impl_->filled > 0) Block(impl_->filled);
    impl_->filled = 0;
}

}  // namespace amihost
