#include "model_guard.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace amihost {

namespace {

// The current call per thread, as a text a handler can write as it is.
thread_local char tCall[600];
thread_local bool tInside = false;
thread_local char tAltStack[1 << 16];
// Any thread's call, for a handler that runs on another thread.
std::atomic<int> gInside{0};
std::atomic<const char*> gLastCall{nullptr};
// A worker process's shared copy of the current call, and whether this is one.
char* gMirror = nullptr;
std::size_t gMirrorSize = 0;
volatile std::sig_atomic_t gWorker = 0;

// Unfinished files: a fixed table, so that a handler reads it without
// allocating or locking.
constexpr int kSlots = 64;
constexpr std::size_t kPathSize = 1024;
char gPaths[kSlots][kPathSize];
std::atomic<bool> gUsed[kSlots];
std::mutex gRegistry;

void WriteAll(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(2, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

const char* Describe(int signal) {
    return signal == SIGSEGV   ? "a segmentation fault"
           : signal == SIGBUS  ? "a bus error"
           : signal == SIGFPE  ? "an arithmetic exception"
           : signal == SIGILL  ? "an illegal instruction"
           : signal == SIGABRT ? "an abort"
           : signal == SIGKILL ? "killed"
                               : "a signal";
}

extern "C" void OnCrash(int signal) {
    if (!tInside) {
        // Not the model: the default action (a core, the usual status).
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    if (gWorker) ::_exit(kWorkerCrashStatus + signal);
    const char* what = Describe(signal);
    char text[800];
    std::snprintf(text, sizeof text,
                  "amihost: error: the model crashed (%s) in %s; no result files were written\n",
                  what, tCall);
    ExitFromHandler(text, 1);
}

}  // namespace

void InstallCrashReporter() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) return;
    PrepareModelThread();
    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(s, &action, nullptr);
}

void PrepareModelThread() {
    // A thread that already has an alternate stack (a sanitizer's) keeps it.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    stack_t alt{};
    alt.ss_sp = tAltStack;
    alt.ss_size = sizeof tAltStack;
    sigaltstack(&alt, nullptr);
}

namespace {

// When each thread's current call began (0: none), for the watchdog.
constexpr int kCallSlots = 32;
std::atomic<std::int64_t> gCallStart[kCallSlots];
std::atomic<const char*> gCallText[kCallSlots];
std::atomic<int> gNextSlot{0};
thread_local int tSlot = -1;

std::int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void StartCallWatchdog(double seconds) {
    static std::atomic<bool> started{false};
    if (!(seconds > 0) || started.exchange(true)) return;
    const auto limit = static_cast<std::int64_t>(std::min(seconds, 1e9) * 1e9);
    std::thread([seconds, limit] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const std::int64_t now = NowNanoseconds();
            const int used = std::min(gNextSlot.load(), kCallSlots);
            for (int k = 0; k < used; ++k) {
                const std::int64_t began = gCallStart[k].load();
                if (began == 0 || now - began <= limit) continue;
                char text[800];
                std::snprintf(text, sizeof text,
                              "amihost: error: timed out after %g s in %s; no result files were "
                              "written\n",
                              seconds, gCallText[k].load());
                ExitFromHandler(text, 1);
            }
        }
    }).detach();
}

ModelCall::ModelCall(const char* call, const std::string& library) {
    std::snprintf(tCall, sizeof tCall, "%s of %s", call, library.c_str());
    if (tSlot < 0) tSlot = gNextSlot++;
    if (tSlot < kCallSlots) {
        gCallText[tSlot] = tCall;
        gCallStart[tSlot] = NowNanoseconds();
    }
    tInside = true;
    gLastCall = tCall;
    ++gInside;
    if (gMirror != nullptr) std::snprintf(gMirror, gMirrorSize, "%s", tCall);
}

ModelCall::~ModelCall() {
    if (tSlot >= 0 && tSlot < kCallSlots) gCallStart[tSlot] = 0;
    --gInside;
    tInside = false;
    if (gMirror != nullptr) gMirror[0] = '\0';
}

void BecomeWorker(char* mirror, std::size_t size) {
    gMirror = size > 0 ? mirror : nullptr;
    gMirrorSize = size;
    gWorker = 1;
}

std::string SignalDescription(int signal) {
    std::string text = Describe(signal);
    if (text == "a signal") text += " " + std::to_string(signal);
    return text;
}

bool InsideModelCall() { return tInside; }

const char* AnyModelCall() { return gInside.load() > 0 ? gLastCall.load() : nullptr; }

const char* CurrentModelCall() { return tCall; }

void RegisterTemporary(const std::string& path) {
    if (path.size() >= kPathSize) return;
    // Threads register and unregister one at a time; a handler only reads.
    const std::lock_guard<std::mutex> lock(gRegistry);
    for (int k = 0; k < kSlots; ++k) {
        bool expected = false;
        if (!gUsed[k].load() && gUsed[k].compare_exchange_strong(expected, true)) {
            std::memcpy(gPaths[k], path.c_str(), path.size() + 1);
            return;
        }
    }
}

void UnregisterTemporary(const std::string& path) {
    const std::lock_guard<std::mutex> lock(gRegistry);
    for (int k = 0; k < kSlots; ++k)
        if (gUsed[k].load() && path == gPaths[k]) {
            gPaths[k][0] = '\0';
            gUsed[k] = false;
            return;
        }
}

void ExitFromHandler(const char* text, int status) {
    for (int k = 0; k < kSlots; ++k)
        if (gUsed[k].load() && gPaths[k][0] != '\0') ::unlink(gPaths[k]);
    WriteAll(text);
    ::_exit(status);
}

}  // namespace amihost
