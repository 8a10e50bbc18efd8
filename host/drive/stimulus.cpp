#include "stimulus.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace amihost {

namespace {
int TapOf(int order) {
    switch (order) {
        case 7:
            return 6;
        case 9:
            return 5;
        case 11:
            return 9;
        case 15:
            return 14;
        case 23:
            return 18;
        case 31:
            return 28;
        default:
            return 0;
    }
}
}  // namespace

bool Prbs::Supported(int order) { return TapOf(order) != 0; }

Prbs::Prbs(int order)
    : order_(order), tap_(TapOf(order)), state_(static_cast<std::uint32_t>(Period())) {}

int Prbs::NextBit() {
    const std::uint32_t bit = ((state_ >> (order_ - 1)) ^ (state_ >> (tap_ - 1))) & 1u;
    state_ = ((state_ << 1) | bit) & static_cast<std::uint32_t>(Period());
    return static_cast<int>(bit);
}

Stimulus Nrz(const std::vector<int>& bits, int samplesPerBit, double high, double low) {
    Stimulus s;
    s.bits = bits;
    s.samples.reserve(bits.size() * static_cast<std::size_t>(samplesPerBit));
    for (int b : bits)
        s.samples.insert(s.samples.end(), static_cast<std::size_t>(samplesPerBit), b ? high : low);
    return s;
}

std::vector<int> PrbsBits(int order, std::uint64_t count) {
    Prbs p(order);
    std::vector<int> bits(count);
    for (int& b : bits) b = p.NextBit();
    return bits;
}

std::vector<int> StepBits(int before, int after) {
    std::vector<int> bits(static_cast<std::size_t>(before), 0);
    bits.insert(bits.end(), static_cast<std::size_t>(after), 1);
    return bits;
}

std::vector<int> PulseBits(int before, int after) {
    std::vector<int> bits(static_cast<std::size_t>(before), 0);
    bits.push_back(1);
    bits.insert(bits.end(), static_cast<std::size_t>(after), 0);
    return bits;
}

Expected<std::vector<double>> ReadWaveform(const std::string& path) {
    std::vector<double> samples;
    const bool raw = path.size() > 4 && path.compare(path.size() - 4, 4, ".bin") == 0;
    std::ifstream in(path, raw ? std::ios::binary : std::ios::in);
    if (!in) return Error{"cannot open " + path};
    if (raw) {
        unsigned char bytes[8];
        while (in.read(reinterpret_cast<char*>(bytes), 8)) {
            std::uint64_t bits = 0;
            for (int b = 0; b < 8; ++b) bits |= std::uint64_t{bytes[b]} << (8 * b);
            double d;
            std::memcpy(&d, &bits, 8);
            if (!std::isfinite(d))
                return Error{path + ": sample " + std::to_string(samples.size() + 1) +
                             " is not finite"};
            samples.push_back(d);
        }
        if (in.gcount() != 0) return Error{path + ": size is not a whole number of doubles"};
    } else {
        // Each line holds exactly one number; blank lines and '#' comments aside.
        std::string line;
        std::uint64_t number = 0;
        while (std::getline(in, line)) {
            ++number;
            const std::size_t hash = line.find('#');
            if (hash != std::string::npos) line.resize(hash);
            const std::size_t first = line.find_first_not_of(" \t\r");
            if (first == std::string::npos) continue;
            const std::size_t last = line.find_last_not_of(" \t\r");
            const std::string field = line.substr(first, last - first + 1);
            std::istringstream in1(field);
            in1.imbue(std::locale::classic());
            double v = 0;
            if (!(in1 >> v) || in1.peek() != std::char_traits<char>::eof()) {
                return Error{path + ":" + std::to_string(number) + ": '" + field +
                             "' is not one number (one sample per line)"};
            }
            if (!std::isfinite(v)) {
                return Error{path + ":" + std::to_string(number) + ": '" + field +
                             "' is not finite"};
            }
            samples.push_back(v);
        }
    }
    if (samples.empty()) return Error{path + " holds no samples"};
    return samples;
}

}  // namespace amihost
