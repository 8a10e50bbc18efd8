// A portable end-to-end driver for the model library: loads it as a simulator
// does (dlopen on Linux, LoadLibrary on Windows) and runs the key checks of the
// C interface. It also writes and checks golden outputs: raw little-endian
// doubles of a fixed stimulus, so that every platform's build can be compared
// bit for bit with the Linux one.
//
//   ami_driver LIBRARY check [GOLDEN_DIR]
//   ami_driver LIBRARY write-golden GOLDEN_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tx_reference.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
using GetWaveFn = long (*)(double*, long, double*, char**, void*);
using CloseFn = long (*)(void*);

struct Library {
    InitFn Init = nullptr;
    GetWaveFn GetWave = nullptr;
    CloseFn Close = nullptr;
    bool Load(const char* path) {
#if defined(_WIN32)
        HMODULE h = LoadLibraryA(path);
        if (h == nullptr) return false;
        Init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(h, "AMI_Init")));
        GetWave =
            reinterpret_cast<GetWaveFn>(reinterpret_cast<void*>(GetProcAddress(h, "AMI_GetWave")));
        Close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(h, "AMI_Close")));
#else
        void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) return false;
        Init = reinterpret_cast<InitFn>(dlsym(h, "AMI_Init"));
        GetWave = reinterpret_cast<GetWaveFn>(dlsym(h, "AMI_GetWave"));
        Close = reinterpret_cast<CloseFn>(dlsym(h, "AMI_Close"));
#endif
        return Init != nullptr && GetWave != nullptr && Close != nullptr;
    }
};

Library lib;
int passedChecks = 0, failedChecks = 0;

void Check(bool ok, const std::string& what) {
    if (ok) {
        ++passedChecks;
    } else {
        ++failedChecks;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

struct Codes {
    int pre, post, diff, pvt;
};

std::string Params(const Codes& c) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "(varnok_meridel_qlx_ami_tx (TXPRECURSOR %d) (TXPOSTCURSOR %d) (TXDIFFCTRL %d) "
                  "(TX_PVT %d))",
                  c.pre, c.post, c.diff, c.pvt);
    return text;
}

struct Session {
    void* handle = nullptr;
    char* msg = nullptr;
    long result = -1;
    Session(std::string params, double bitTime, double interval) {
        char* out = nullptr;
        double impulse[2] = {1.0, 0.0};
        result = lib.Init(impulse, 2, 0, interval, bitTime, &params[0], &out, &handle, &msg);
    }
    ~Session() { lib.Close(handle); }
    long Wave(double* wave, long n) {
        double clock[2] = {7.0, 7.0};
        const long r = lib.GetWave(wave, n, clock, nullptr, handle);
        Check(clock[0] == -1.0 && clock[1] == 7.0, "clock times hold only the -1 terminator");
        return r;
    }
};

std::string Unable(const char* name) {
    return std::string(
               "The IBIS-AMI model, varnok_meridel_qlx_ami_tx, is unable to initialize "
               "the parameter ") +
           name + " from the AMI_Init arguments.  The model will use the default setting. ";
}

void CheckMessages() {
    Session all(Params({3, 5, 12, 1}), 1e-10, 1e-10 / 8);
    Check(all.result == 1 && all.msg == nullptr, "all four parameters read, msg untouched");
    Session none("", 1e-10, 1e-10 / 8);
    const std::string want =
        Unable("TXPRECURSOR") + Unable("TXPOSTCURSOR") + Unable("TXDIFFCTRL") + Unable("TX_PVT");
    Check(none.result == 1 && none.msg != nullptr && want == none.msg,
          "four unable texts in order");
    // Float values are truncated toward zero, locale-independently.
    {
        Session floats(
            "(varnok_meridel_qlx_ami_tx (TXPRECURSOR 2.9) (TXPOSTCURSOR -1.5e0) "
            "(TXDIFFCTRL 1.2e1) (TX_PVT .5))",
            1e-10, 1e-10 / 8);
        Session ints(Params({2, -1, 12, 0}), 1e-10, 1e-10 / 8);
        std::vector<double> a = txref::Prbs7(40, 8), b = a;
        floats.Wave(a.data(), static_cast<long>(a.size()));
        ints.Wave(b.data(), static_cast<long>(b.size()));
        Check(floats.result == 1 && floats.msg == nullptr &&
                  std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0,
              "float parameter values read as truncated integers");
    }
    Session zero(Params({0, 0, 15, 0}), 0.4e-12, 1e-12);
    Check(
        zero.result == 0 && zero.msg != nullptr &&
            std::string(zero.msg) == "Error occurred in varnok_meridel_qlx_ami_tx::Initialize(). ",
        "samples per bit 0 fails Initialize");
}

void CheckSettled() {
    struct Case {
        Codes codes;
        double level, want;
    };
    for (const Case& c : {Case{{0, 0, 15, 0}, 1.0, 0.94215}, Case{{0, 0, 15, 0}, -1.0, -0.94215},
                          Case{{3, 5, 15, 0}, 1.0, 0.80136}}) {
        Session s(Params(c.codes), 1e-10, 1e-10 / 16);
        std::vector<double> x(4000, c.level);
        s.Wave(x.data(), static_cast<long>(x.size()));
        Check(std::fabs(x.back() - c.want) < 5e-6, "settled level " + std::to_string(c.want));
    }
}

void CheckInvariance() {
    const std::vector<double> x = txref::Prbs7(300, 8);
    std::vector<double> whole = x, split = x;
    {
        Session a(Params({2, 7, 11, 1}), 1e-10, 1e-10 / 8);
        a.Wave(whole.data(), static_cast<long>(whole.size()));
        Session b(Params({2, 7, 11, 1}), 1e-10, 1e-10 / 8);
        std::size_t at = 0, step = 1;
        while (at < split.size()) {
            const std::size_t n = std::min(step, split.size() - at);
            b.Wave(split.data() + at, static_cast<long>(n));
            at += n;
            step = (step * 7 + 3) % 257;
        }
    }
    Check(std::memcmp(whole.data(), split.data(), x.size() * sizeof(double)) == 0,
          "block-size invariance");
}

void CheckBadInputs() {
    Session s(Params({0, 0, 15, 0}), 1e-10, 1e-11);
    double wave[2] = {1.0, 2.0};
    double clock[2] = {5.0, 5.0};
    Check(lib.GetWave(wave, -1, clock, nullptr, s.handle) == 0 && clock[0] == -1.0 &&
              clock[1] == 5.0 && wave[0] == 1.0,
          "negative size refused");
    clock[0] = 5.0;
    Check(lib.GetWave(nullptr, 2, clock, nullptr, s.handle) == 0 && clock[0] == -1.0,
          "null wave refused");
    clock[0] = 5.0;
    Check(lib.GetWave(wave, 2, clock, nullptr, nullptr) == 0 && clock[0] == -1.0,
          "null handle refused");
    Check(lib.Close(nullptr) == 0, "close of null handle");
    Session failed(Params({0, 0, 15, 0}), 1e-10, 0.0);
    clock[0] = 5.0;
    Check(failed.result == 0 && lib.GetWave(wave, 2, clock, nullptr, failed.handle) == 0 &&
              wave[1] == 2.0 && clock[0] == -1.0,
          "failed instance refuses waves");
    Session huge(Params({0, 0, 15, 0}), 2147483647.0, 1.0);
    Check(huge.result == 0 && huge.handle != nullptr, "delay lines too large fail cleanly");
}

// The golden cases: PRBS7 under several code sets at N = 8 and 32.
struct GoldenCase {
    Codes codes;
    int N;
};
const GoldenCase kGolden[] = {
    {{0, 0, 15, 0}, 8},  {{3, 5, 12, 1}, 8},  {{20, 31, 0, 2}, 8}, {{-2, 33, 16, 3}, 8},
    {{0, 0, 15, 0}, 32}, {{7, 13, 9, 2}, 32}, {{25, 0, 3, 1}, 32}, {{1, 1, 1, 1}, 32},
};

std::vector<double> GoldenOutput(const GoldenCase& g) {
    std::vector<double> x = txref::Prbs7(127 * 2, g.N);
    Session s(Params(g.codes), 1e-10, 1e-10 / g.N);
    s.Wave(x.data(), static_cast<long>(x.size()));
    return x;
}

std::string GoldenPath(const std::string& dir, int k) {
    return dir + "/golden_" + std::to_string(k) + ".bin";
}

// Raw little-endian doubles, whatever the host order.
bool WriteDoubles(const std::string& path, const std::vector<double>& v) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    for (double d : v) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        unsigned char bytes[8];
        for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(bits >> (8 * b));
        std::fwrite(bytes, 1, 8, f);
    }
    return std::fclose(f) == 0;
}

bool ReadDoubles(const std::string& path, std::vector<double>& v) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    v.clear();
    unsigned char bytes[8];
    while (std::fread(bytes, 1, 8, f) == 8) {
        std::uint64_t bits = 0;
        for (int b = 0; b < 8; ++b) bits |= std::uint64_t{bytes[b]} << (8 * b);
        double d;
        std::memcpy(&d, &bits, 8);
        v.push_back(d);
    }
    std::fclose(f);
    return true;
}

void CheckGolden(const std::string& dir) {
    int k = 0;
    for (const GoldenCase& g : kGolden) {
        std::vector<double> want;
        const std::string path = GoldenPath(dir, k++);
        if (!ReadDoubles(path, want)) {
            Check(false, "read " + path);
            continue;
        }
        const std::vector<double> got = GoldenOutput(g);
        std::size_t differing = 0;
        double worst = 0.0;
        for (std::size_t n = 0; n < got.size() && n < want.size(); ++n) {
            if (std::memcmp(&got[n], &want[n], 8) != 0) {
                ++differing;
                worst = std::max(worst, std::fabs(got[n] - want[n]));
            }
        }
        if (differing > 0)
            std::printf("%s: %zu samples differ, worst by %g\n", path.c_str(), differing, worst);
        Check(got.size() == want.size() && differing == 0, "bit-identical golden " + path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY check [GOLDEN_DIR] | LIBRARY write-golden DIR\n",
                     argv[0]);
        return 2;
    }
    if (!lib.Load(argv[1])) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    const std::string mode = argv[2];
    if (mode == "write-golden" && argc >= 4) {
        int k = 0;
        for (const GoldenCase& g : kGolden) {
            if (!WriteDoubles(GoldenPath(argv[3], k++), GoldenOutput(g))) {
                std::fprintf(stderr, "cannot write golden files into %s\n", argv[3]);
                return 1;
            }
        }
        std::printf("wrote %d golden files into %s\n", k, argv[3]);
        return 0;
    }
    if (mode != "check") {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    CheckMessages();
    CheckSettled();
    CheckInvariance();
    CheckBadInputs();
    if (argc >= 4) CheckGolden(argv[3]);
    std::printf("%d passed, %d failed\n", passedChecks, failedChecks);
    return failedChecks == 0 ? 0 : 1;
}
