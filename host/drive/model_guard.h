// What happens when a model crashes or hangs inside a call: the tool says
// which model and which call, removes its unfinished result files and exits
// (status 1 for a crash, 130 for Ctrl-C), instead of dying without a word or
// ignoring Ctrl-C while the model loops.
#pragma once

#include <cstddef>
#include <string>

namespace amihost {

// Installs the handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT (on an
// alternate stack, so a model's stack overflow is caught too). Once per process.
void InstallCrashReporter();

// Gives the calling thread its own alternate signal stack (a thread that calls
// models; the installing thread has one).
void PrepareModelThread();

// Marks the calling thread as inside `call` of the model `library` for its
// lifetime.
class ModelCall {
public:
    ModelCall(const char* call, const std::string& library);
    ~ModelCall();
    ModelCall(const ModelCall&) = delete;
    ModelCall& operator=(const ModelCall&) = delete;
};

// Ends the process with status 1, its unfinished result files removed, when
// one model call (on any thread) takes longer than `seconds`: for a run that
// keeps the model in its own process. Once per process.
void StartCallWatchdog(double seconds);

// True while the calling thread is inside a model call.
bool InsideModelCall();
// The text of a model call some thread is inside, or null.
const char* AnyModelCall();

// Unfinished result files, removed when the tool exits from a handler.
void RegisterTemporary(const std::string& path);
void UnregisterTemporary(const std::string& path);

// From a signal handler: removes the registered temporaries, writes `text`
// to standard error and ends the process with `status`.
[[noreturn]] void ExitFromHandler(const char* text, int status);

// The text that describes the current model call, for a handler.
const char* CurrentModelCall();

// In a worker process: each model call's text is also kept in `mirror`
// (memory the parent shares), and a crash inside a model ends the process
// at once with status kWorkerCrashStatus + the signal, for the parent to
// report.
constexpr int kWorkerCrashStatus = 100;
void BecomeWorker(char* mirror, std::size_t size);

// "a segmentation fault", "a bus error", ... for a crash signal.
std::string SignalDescription(int signal);

}  // namespace amihost
