#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "df_model.h"

namespace Tarvessa {

void ReportError(const DFModel* /*block*/, const char* message) {
    // The line is put together first so that it goes out in one write.
    const std::size_t length = std::strlen(message);
    char local[512];
    char* line = length + 1 <= sizeof local ? local : static_cast<char*>(std::malloc(length + 1));
    if (line == nullptr) {
        // No memory for a long line: the message and its line end in two writes.
        std::fwrite(message, 1, length, stderr);
        std::fputc('\n', stderr);
    } else {
        std::memcpy(line, message, length);
        line[length] = '\n';
        std::fwrite(line, 1, length + 1, stderr);
        if (line != local) std::free(line);
    }
    std::fflush(stderr);
}

}  // namespace Tarvessa
