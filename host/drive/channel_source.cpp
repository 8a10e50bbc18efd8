#include "channel_source.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "stimulus.h"

namespace amihost {

std::string LoadChannel(const std::string& source, double dt, double bitTime,
                        const PortOrder& ports, Channel& out) {
    out = Channel{};
    if (source.rfind("line:", 0) == 0) {
        double loss = 0, at = 0;
        char extra = 0;
        if (std::sscanf(source.c_str() + 5, "%lf@%lf%c", &loss, &at, &extra) != 2 || !(loss >= 0) ||
            !(at > 0) || !std::isfinite(loss) || !std::isfinite(at) || loss > 200)
            return "--channel line:LOSS_DB@FREQ_HZ, with a loss of 0 to 200 dB, such as "
                   "line:20@5e9; got '" +
                   source + "'";
        out = LineChannel(loss, at, dt, bitTime);
        return "";
    }
    if (source.rfind("impulse:", 0) == 0 || source.rfind("step:", 0) == 0) {
        const bool step = source[0] == 's';
        const std::string file = source.substr(step ? 5 : 8);
        std::vector<double> values;
        if (const std::string e = ReadWaveform(file, values); !e.empty()) return e;
        if (values.empty()) return file + ": no samples";
        for (std::size_t k = 0; k < values.size(); ++k)
            if (!std::isfinite(values[k]))
                return file + ": sample " + std::to_string(k + 1) + " is not finite";
        out = SampledChannel(values, step, file);
        return "";
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) return "cannot open " + source;
    std::ostringstream text;
    text << in.rdbuf();
    TouchstoneData data;
    if (const std::string e = ParseTouchstone(text.str(), source, ports, data); !e.empty())
        return e;
    out = TouchstoneChannel(data, source, dt, bitTime);
    return "";
}

}  // namespace amihost
