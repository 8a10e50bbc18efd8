// Parses arbitrary text and reads a few dotted names derived from it. The first
// input byte, when it is odd, injects an allocation failure at a point chosen
// by the second byte, so that every finding reproduces from its input alone.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ami_alloc.h"
#include "ami_parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    long failAt = 0;
    if (size >= 2 && (data[0] & 1u) != 0) {
        failAt = 1 + data[1];
        data += 2;
        size -= 2;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    ami_fail_allocation(failAt);
    {
        AmiParameters params(text.c_str());
        // Dotted names from the text: its words joined by dots, and the model's own.
        std::string name, dotted;
        std::int32_t i = 0;
        double d = 0;
        bool b = false;
        for (char c : text) {
            if (c == '(' || c == ')' || c == ' ' || c == '\n' || c == '\t') {
                if (!name.empty()) {
                    dotted = dotted.empty() ? name : dotted + "." + name;
                    params.GetInt(i, dotted.c_str());
                    params.GetDouble(d, name.c_str());
                    params.GetBool(b, dotted.c_str());
                    name.clear();
                }
            } else if (name.size() < 64) {
                name += c;
            }
            if (dotted.size() > 512) dotted.clear();
        }
        params.GetInt(i, "varnok_meridel_qlx_ami_tx.TXDIFFCTRL");
    }
    ami_fail_allocation(0);
    return 0;
}
