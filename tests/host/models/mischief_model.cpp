// A test model that misbehaves on request, for the host's contract checks and
// the link's invariants. Its parameter string names one behaviour and its
// numbers, e.g. "(mischief (mode startup) (samples 40) (value 0))":
//   pass      wave times `gain` (default 1); reports a clock time per unit
//             interval at `clock` seconds into it (none when not given) and
//             writes AMI_parameters_out on every call, as receivers do
//   startup   as pass, but its first `samples` outputs are `value`
//   return0   AMI_GetWave returns 0
//   overrun   writes one sample past the end of the wave
//   noterm    never terminates clock_times
//   params    changes AMI_parameters_in during AMI_GetWave
//   nan       its output `samples` samples in is NaN
//   initfail  AMI_Init returns 0 (with a handle and a message)
//   badmsg    AMI_Init's message pointer points nowhere valid
//   longmsg   AMI_Init's message is a million characters long
//   bytemsg   AMI_Init's message holds bytes that are not UTF-8
//   echo      AMI_Init's message is the parameter string it received
//   impulse   AMI_Init's message says the impulse matrix it received: its
//             rows and its area (the sum times the sample interval)
//   crash     AMI_GetWave raises a segmentation fault
//   crashbig  AMI_GetWave raises one when handed more than `samples` samples
// A number `fault` (for grids of an .ami file) picks one by number: 1 a
// crash in AMI_GetWave, 2 an AMI_GetWave that never returns, 3 a write past
// the wave, 4 no clock_times terminator.
// Each instance keeps its own state; nothing is global.
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct State {
    std::string mode = "pass";
    double gain = 1, value = 0, clock = -1;
    long samples = 0;
    long long seen = 0;
    double dt = 0, ui = 0;
    char* paramsIn = nullptr;
    char out[128] = {};
    char message[64] = "mischief ready";
    std::string longMessage;
};

double Number(const char* text, const char* name, double fallback) {
    const std::string key = std::string("(") + name + " ";
    const char* at = std::strstr(text, key.c_str());
    if (at == nullptr) return fallback;
    double v = fallback;
    std::sscanf(at + key.size(), "%lf", &v);
    return v;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) long AMI_Init(double* impulse, long rows, long, double dt,
                                                     double ui, char* params, char** out,
                                                     void** handle, char** msg) {
    State* s = new State;
    s->dt = dt;
    s->ui = ui;
    s->paramsIn = params;
    if (const char* m = std::strstr(params, "(mode ")) {
        char word[32] = {};
        const char* word0 = m[6] == '"' ? m + 7 : m + 6;  // as a String of an .ami file
        if (std::sscanf(word0, "%31[a-z0-9]", word) == 1) s->mode = word;
    }
    s->gain = Number(params, "gain", 1);
    s->value = Number(params, "value", 0);
    s->clock = Number(params, "clock", -1);
    s->samples = static_cast<long>(Number(params, "samples", 0));
    const double fault = Number(params, "fault", 0);
    if (fault == 1) s->mode = "crash";
    if (fault == 2) s->mode = "hang";
    if (fault == 3) s->mode = "overrun";
    if (fault == 4) s->mode = "noterm";
    std::snprintf(s->out, sizeof s->out, "(mischief (calls 0))");
    *out = s->out;
    *handle = s;
    *msg = s->message;
    if (s->mode == "impulse") {
        double area = 0;
        for (long k = 0; k < rows; ++k) area += impulse[k] * dt;
        std::snprintf(s->message, sizeof s->message, "rows=%ld area=%.6f", rows, area);
    }
    if (s->mode == "badmsg") *msg = reinterpret_cast<char*>(std::uintptr_t{16});
    if (s->mode == "longmsg") {
        s->longMessage.assign(1000000, 'm');
        *msg = &s->longMessage[0];
    }
    if (s->mode == "echo") {
        s->longMessage = params;
        *msg = &s->longMessage[0];
    }
    if (s->mode == "bytemsg") std::snprintf(s->message, sizeof s->message, "caf\xe9 \x82\xff ok");
    return s->mode == "initfail" ? 0 : 1;
}

__attribute__((visibility("default"))) long AMI_GetWave(double* wave, long size, double* clock,
                                                        char** out, void* handle) {
    State* s = static_cast<State*>(handle);
    int clocks = 0;
    for (long i = 0; i < size; ++i) {
        const long long k = s->seen + i;
        wave[i] *= s->gain;
        if (s->mode == "startup" && k < s->samples) wave[i] = s->value;
        if (s->mode == "nan" && k == s->samples) wave[i] = NAN;
        if (s->clock >= 0 && s->mode != "noterm") {
            // A clock time once per unit interval, `clock` seconds into it.
            const long long perUi = std::llround(s->ui / s->dt),
                            at = std::llround(s->clock / s->dt);
            if (perUi > 0 && k % perUi == at % perUi)
                clock[clocks++] = static_cast<double>(k / perUi) * s->ui + s->clock;
        }
    }
    if (s->mode == "overrun") wave[size] = 1.0;
    if (s->mode == "params" && s->paramsIn != nullptr && s->paramsIn[0] != '\0')
        s->paramsIn[0] = 'X';
    if (s->mode == "crash" || (s->mode == "crashbig" && size > s->samples))
        std::raise(SIGSEGV);  // as a stray pointer would, without undefined behaviour
    if (s->mode == "hang")
        for (volatile long spin = 0;; spin = spin + 1) {
        }
    if (s->mode != "noterm") clock[clocks] = -1;
    s->seen += size;
    std::snprintf(s->out, sizeof s->out, "(mischief (calls %lld))", s->seen);
    if (out != nullptr)
        *out = s->out;  // a NULL here crashes a careful model too: it is the host's bug
    return s->mode == "return0" ? 0 : 1;
}

__attribute__((visibility("default"))) long AMI_Close(void* handle) {
    delete static_cast<State*>(handle);
    return 1;
}
}
