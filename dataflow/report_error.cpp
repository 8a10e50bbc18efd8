#include <cstdio>

#include "df_model.h"

namespace Tarvessa {

void ReportError(const DFModel* /*block*/, const std::string& message) {
    std::string line;
    line.reserve(message.size() + 1);
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace Tarvessa
