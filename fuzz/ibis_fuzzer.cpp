// Checks arbitrary text as an .ibs, .pkg, .ebd or .ami file (by the first
// byte): no crash, hang or unbounded memory on any input. Referenced files are
// not followed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ibis_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* kNames[] = {"fuzz.ibs", "fuzz.pkg", "fuzz.ebd", "fuzz.ami"};
    static const ibis::Kind kKinds[] = {ibis::Kind::Ibs, ibis::Kind::Pkg, ibis::Kind::Ebd, ibis::Kind::Ami};
    const int pick = data[0] % 4;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    ibis::Options options;
    if (data[0] & 4) options.version = "3.2";
    const ibis::FileResult r = ibis::CheckText(kNames[pick], text, kKinds[pick], options, "");
    (void)r;
    return 0;
}
