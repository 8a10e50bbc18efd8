#include "channel_source.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "stimulus.h"

namespace amihost {

namespace {

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/'), dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

// A four-port file read with a port order whose differential through gain at
// the lowest frequency is near 0 (the pair's ports mixed up): the order that
// gives a through path, if one of the usual layouts does.
std::string PortOrderHint(const std::string& text, const std::string& name,
                          const TouchstoneData& data, const PortOrder& ports) {
    const double gain = std::abs(data.through.front());
    if (gain >= 0.1) return "";
    const PortOrder layouts[] = {{1, 3, 2, 4}, {1, 2, 3, 4}, {1, 3, 4, 2}, {2, 4, 1, 3}};
    for (const PortOrder& p : layouts) {
        if (p.inPlus == ports.inPlus && p.inMinus == ports.inMinus && p.outPlus == ports.outPlus &&
            p.outMinus == ports.outMinus)
            continue;
        const Expected<TouchstoneData> other = ParseTouchstone(text, name, p);
        if (!other || std::abs(other->through.front()) < 0.5) continue;
        char hint[300];
        std::snprintf(hint, sizeof hint,
                      "%s: the differential gain at the lowest frequency is %.3g with --ports "
                      "%d,%d,%d,%d, and %.3g with --ports %d,%d,%d,%d (in+,in-,out+,out-): give "
                      "that order if it is the file's layout",
                      name.c_str(), gain, ports.inPlus, ports.inMinus, ports.outPlus,
                      ports.outMinus, std::abs(other->through.front()), p.inPlus, p.inMinus,
                      p.outPlus, p.outMinus);
        return hint;
    }
    char hint[200];
    std::snprintf(hint, sizeof hint,
                  "%s: the differential gain at the lowest frequency is %.3g: are the ports in "
                  "the order --ports in+,in-,out+,out-?",
                  name.c_str(), gain);
    return hint;
}

}  // namespace

Expected<Channel> LoadChannel(const std::string& source, double dt, double bitTime,
                              const PortOrder& ports) {
    if (source.rfind("line:", 0) == 0) {
        double loss = 0, at = 0;
        char extra = 0;
        if (std::sscanf(source.c_str() + 5, "%lf@%lf%c", &loss, &at, &extra) != 2 || !(loss >= 0) ||
            !(at > 0) || !std::isfinite(loss) || !std::isfinite(at) || loss > 200)
            return Error{
                "--channel line:LOSS_DB@FREQ_HZ, with a loss of 0 to 200 dB, such as "
                "line:20@5e9; got '" +
                source + "'"};
        return LineChannel(loss, at, dt, bitTime);
    }
    if (source.rfind("impulse:", 0) == 0 || source.rfind("step:", 0) == 0) {
        const bool step = source[0] == 's';
        const std::string file = source.substr(step ? 5 : 8);
        const Expected<std::vector<double>> read = ReadWaveform(file);
        if (!read) return Error{read.error()};
        const std::vector<double>& values = *read;
        if (values.empty()) return Error{file + ": no samples"};
        for (std::size_t k = 0; k < values.size(); ++k)
            if (!std::isfinite(values[k]))
                return Error{file + ": sample " + std::to_string(k + 1) + " is not finite"};
        return SampledChannel(values, step, file);
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) return Error{"cannot open " + source};
    const std::string extension = LowerExtension(source);
    if (extension != ".s2p" && extension != ".s4p" && extension != ".ts")
        return Error{source + ": " +
                     (extension.empty() ? "a name without an extension" : extension) +
                     " is not a channel format: give a Touchstone file (.s2p, .s4p, or .ts with "
                     "[Number of Ports]), impulse:FILE, step:FILE or line:LOSS_DB@FREQ_HZ"};
    std::ostringstream text;
    text << in.rdbuf();
    const Expected<TouchstoneData> data = ParseTouchstone(text.str(), source, ports);
    if (!data) return Error{data.error()};
    Channel channel = TouchstoneChannel(*data, source, dt, bitTime);
    if (data->ports == 4) {
        const std::string hint = PortOrderHint(text.str(), source, *data, ports);
        if (!hint.empty()) channel.warnings.push_back(hint);
    }
    const double nyquist = 0.5 / bitTime;
    if (!data->frequency.empty() && data->frequency.back() < nyquist) {
        char why[240];
        std::snprintf(why, sizeof why,
                      "%s: the data ends at %.4g GHz, below the signal's Nyquist frequency %.4g "
                      "GHz (half the bit rate); the response is taken to 0 above it",
                      source.c_str(), data->frequency.back() * 1e-9, nyquist * 1e-9);
        channel.warnings.push_back(why);
    }
    return channel;
}

}  // namespace amihost
