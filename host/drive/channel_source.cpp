#include "channel_source.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "stimulus.h"

namespace amihost {

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
    std::ostringstream text;
    text << in.rdbuf();
    const Expected<TouchstoneData> data = ParseTouchstone(text.str(), source, ports);
    if (!data) return Error{data.error()};
    return TouchstoneChannel(*data, source, dt, bitTime);
}

}  // namespace amihost
