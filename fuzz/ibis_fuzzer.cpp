// Checks arbitrary text as an .ibs, .pkg, .ebd or .ami file (by the first
// byte): no crash, hang or unbounded memory on any input. With bit 3 of the
// first byte set, the input instead becomes an executable beside an .ibs that
// names it: the rest of the input after a fixed ELF or PE header (so that the
// header is valid and the tables behind it are hostile), read for its exports.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ibis_check.h"

namespace {

const char kIbs[] =
    "[IBIS Ver] 5.1\n[File Name] f.ibs\n[File Rev] 1\n[Component] c\n[Manufacturer] m\n"
    "[Package]\nR_pkg 1 NA NA\nL_pkg 1n NA NA\nC_pkg 1p NA NA\n[Pin] signal_name model_name\n1 s "
    "t\n"
    "[Model] t\nModel_type Input\nC_comp 1p NA NA\n[Voltage Range] 1 NA NA\n"
    "[Algorithmic Model]\nExecutable Linux_GCC_64 f.so f.ami\n[End Algorithmic Model]\n[End]\n";
const char kAmi[] =
    "(f (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
    " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
    " (GetWave_Exists (Usage Info) (Type Boolean) (Value True))))\n";

void Write(const std::string& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A folder of this process's own, made once and removed at exit.
std::string gFolder;

void RemoveFolder() {
    for (const char* file : {"/f.ibs", "/f.ami", "/f.so"}) std::remove((gFolder + file).c_str());
    ::rmdir(gFolder.c_str());
}

const std::string& Folder() {
    if (gFolder.empty()) {
        char name[] = "/tmp/ibis-fuzz-XXXXXX";
        if (const char* made = ::mkdtemp(name)) {
            gFolder = made;
            std::atexit(RemoveFolder);
        }
    }
    return gFolder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 8) {
        // An ELF or PE header start, then the input: offsets and counts in the
        // headers come from the input.
        std::string exe;
        if (data[0] & 16) {
            exe = std::string(
                      "\x7f"
                      "ELF",
                      4) +
                  std::string(1, (data[0] & 32) ? '\2' : '\1') + "\1";
        } else {
            exe = "MZ";
        }
        exe += text;
        if (exe.size() < 64) exe.resize(64, '\0');
        const std::string dir = Folder();
        if (dir.empty()) return 0;
        Write(dir + "/f.ibs", kIbs);
        Write(dir + "/f.ami", kAmi);
        Write(dir + "/f.so", exe);
        const ibis::FileResult r = ibis::CheckFile(dir + "/f.ibs", ibis::Options{});
        (void)r;
        return 0;
    }
    static const char* kNames[] = {"fuzz.ibs", "fuzz.pkg", "fuzz.ebd", "fuzz.ami", "fuzz.ims"};
    static const ibis::Kind kKinds[] = {ibis::Kind::Ibs, ibis::Kind::Pkg, ibis::Kind::Ebd,
                                        ibis::Kind::Ami, ibis::Kind::Ims};
    const int pick = data[0] % 5;
    ibis::Options options;
    if (data[0] & 4) options.version = "3.2";
    const ibis::FileResult r = ibis::CheckText(kNames[pick], text, kKinds[pick], options, "");
    (void)r;
    return 0;
}
