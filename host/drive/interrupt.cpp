#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include "model_guard.h"

namespace amihost {

namespace {
std::atomic<bool> gInterrupted{false};
// Whether the command polls Interrupted(); until it does, Ctrl-C ends the
// process at once, saying so.
std::atomic<bool> gPolled{false};
extern "C" void OnInterrupt(int) {
    // A model that loops forever never returns to where the flag is polled.
    // So does one on another thread, which this thread may be waiting for.
    const char* call = InsideModelCall() ? CurrentModelCall() : AnyModelCall();
    if (call != nullptr) {
        char text[800];
        std::snprintf(text, sizeof text,
                      "amihost: error: interrupted inside %s; no result files were written\n",
                      call);
        ExitFromHandler(text, 130);
    }
    if (!gPolled)
        ExitFromHandler("amihost: error: interrupted; no result files were written\n", 130);
    gInterrupted = true;
}
}  // namespace

void InstallInterruptHandler() {
    gPolled = true;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

void InstallImmediateInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return gInterrupted.load(); }

}  // namespace amihost
