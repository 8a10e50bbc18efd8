#include "workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>

#include "model_guard.h"

namespace amihost {

namespace {

constexpr std::size_t kCallText = 600;
// An outcome's header: the item (8 bytes), ran to its end (1), payload size (8).
constexpr std::size_t kHeader = 17;
// Items sent to a worker ahead of the one it runs: its next is waiting when
// it answers, so it never idles while this process reads the answer.
constexpr std::size_t kQueued = 2;

bool WriteAll(int fd, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

struct Worker {
    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
    char* call = nullptr;           // shared with the child: the model call it is in
    std::deque<std::size_t> items;  // sent, not answered; the first is running
    std::chrono::steady_clock::time_point started;  // when the first began
};

// The child: items in, outcomes out, until its input closes.
[[noreturn]] void ServeItems(int in, int out, char* call,
                             const std::function<std::string(std::size_t)>& task) {
    // Ctrl-C is the parent's to handle; a crash ends this process quietly
    // (the parent reports it with the call from `call`).
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGTERM, SIG_DFL);
    BecomeWorker(call, kCallText);
    for (;;) {
        std::uint64_t item = 0;
        if (!ReadAll(in, &item, sizeof item)) ::_exit(0);
        std::string payload;
        std::uint8_t ok = 1;
        try {
            payload = task(static_cast<std::size_t>(item));
        } catch (const std::exception& e) {
            ok = 0;
            payload = std::string("failed: ") + e.what();
        } catch (...) {
            ok = 0;
            payload = "failed";
        }
        // One write: the item, whether it ran to its end, the payload's size
        // and the payload.
        const std::uint64_t size = payload.size();
        std::string message(kHeader, '\0');
        std::memcpy(&message[0], &item, sizeof item);
        message[sizeof item] = static_cast<char>(ok);
        std::memcpy(&message[sizeof item + 1], &size, sizeof size);
        message += payload;
        if (!WriteAll(out, message.data(), message.size())) ::_exit(0);
    }
}

bool Start(Worker& w, const std::vector<Worker>& all,
           const std::function<std::string(std::size_t)>& task) {
    int down[2], up[2];
    if (::pipe(down) != 0) return false;
    if (::pipe(up) != 0) {
        ::close(down[0]);
        ::close(down[1]);
        return false;
    }
    if (w.call == nullptr) {
        void* shared =
            ::mmap(nullptr, kCallText, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED) return false;
        w.call = static_cast<char*>(shared);
    }
    w.call[0] = '\0';
    std::fflush(nullptr);  // the child must not write the parent's buffered output again
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {down[0], down[1], up[0], up[1]}) ::close(fd);
        return false;
    }
    if (pid == 0) {
        ::close(down[1]);
        ::close(up[0]);
        // The other workers' pipes: held here, they would keep those workers
        // from seeing the end of their input.
        for (const Worker& other : all)
            for (int fd : {other.toChild, other.fromChild})
                if (fd >= 0 && &other != &w) ::close(fd);
        ServeItems(down[0], up[1], w.call, task);
    }
    ::close(down[0]);
    ::close(up[1]);
    ::fcntl(down[1], F_SETFD, FD_CLOEXEC);
    ::fcntl(up[0], F_SETFD, FD_CLOEXEC);
    w.pid = pid;
    w.toChild = down[1];
    w.fromChild = up[0];
    w.items.clear();
    return true;
}

void Stop(Worker& w, bool kill) {
    if (w.pid <= 0) return;
    if (kill) ::kill(w.pid, SIGKILL);
    if (w.toChild >= 0) ::close(w.toChild);
    if (w.fromChild >= 0) ::close(w.fromChild);
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
    w.toChild = w.fromChild = -1;
}

std::string Where(const Worker& w) {
    const std::string call(w.call, ::strnlen(w.call, kCallText));
    return call.empty() ? "outside the model's calls" : "in " + call;
}

// Why a worker ended before answering: its status, read once it is gone.
std::string Ending(Worker& w) {
    const std::string where = Where(w);
    if (w.toChild >= 0) ::close(w.toChild);
    if (w.fromChild >= 0) ::close(w.fromChild);
    w.toChild = w.fromChild = -1;
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
    int signal = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) >= kWorkerCrashStatus)
        signal = WEXITSTATUS(status) - kWorkerCrashStatus;
    else if (WIFSIGNALED(status))
        signal = WTERMSIG(status);
    if (signal != 0)
        return std::string(w.call[0] != '\0' ? "the model crashed (" : "the worker crashed (") +
               SignalDescription(signal) + ") " + where;
    return "the worker ended (status " +
           std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ") " + where;
}

}  // namespace

std::vector<WorkOutcome> RunInWorkers(std::size_t count,
                                      const std::function<std::string(std::size_t)>& task,
                                      const WorkOptions& options) {
    std::vector<WorkOutcome> out(count);
    const std::size_t jobs = std::max<std::size_t>(
        1, std::min<std::size_t>(static_cast<std::size_t>(std::max(options.jobs, 1)), count));
    std::vector<Worker> workers(count == 0 ? 0 : jobs);
    std::size_t next = 0, finished = 0;
    std::vector<std::size_t> again;  // sent to a worker that ended before running them
    auto fail = [&](std::size_t item, std::string why) {
        out[item].failure = std::move(why);
        ++finished;
    };
    // The worker has ended: its first item fails for `why`, the others are
    // sent again.
    auto lost = [&](Worker& w, std::string why) {
        fail(w.items.front(), std::move(why));
        for (std::size_t k = w.items.size(); k-- > 1;) again.push_back(w.items[k]);
        w.items.clear();
    };
    auto give = [&](Worker& w) {
        while (w.items.size() < kQueued && (!again.empty() || next < count)) {
            const std::size_t item = again.empty() ? next : again.back();
            auto take = [&] { again.empty() ? void(++next) : again.pop_back(); };
            if (w.pid <= 0 && !Start(w, workers, task)) {
                take();
                fail(item, "cannot start a worker process: " + std::string(std::strerror(errno)));
                return;
            }
            const std::uint64_t index = item;
            if (!WriteAll(w.toChild, &index, sizeof index)) {
                take();
                if (w.items.empty()) {
                    fail(item, Ending(w));
                } else {
                    // Its answers so far are read first; this item goes to
                    // the next worker.
                    again.push_back(item);
                }
                return;
            }
            take();
            if (w.items.empty()) w.started = std::chrono::steady_clock::now();
            w.items.push_back(item);
        }
    };
    // SIGPIPE from a worker that died between items: a failed write instead.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    for (Worker& w : workers) give(w);
    while (finished < count) {
        if (options.stop && options.stop()) break;
        std::vector<pollfd> fds;
        std::vector<Worker*> owners;
        for (Worker& w : workers)
            if (!w.items.empty()) {
                fds.push_back({w.fromChild, POLLIN, 0});
                owners.push_back(&w);
            }
        if (fds.empty()) {
            // Nothing running, items left: the workers could not start.
            for (Worker& w : workers) give(w);
            if (options.progress) options.progress(finished, count);
            continue;
        }
        const int ready = ::poll(fds.data(), fds.size(), 100);
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t k = 0; k < fds.size(); ++k) {
            Worker& w = *owners[k];
            const std::size_t item = w.items.front();
            if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
                char header[kHeader];
                std::uint64_t index = 0, size = 0;
                const bool read = ReadAll(w.fromChild, header, sizeof header);
                if (read) {
                    std::memcpy(&index, header, sizeof index);
                    std::memcpy(&size, header + sizeof index + 1, sizeof size);
                }
                std::string payload;
                const bool mine = read && index == item && size < (std::uint64_t{1} << 40);
                if (mine) payload.resize(static_cast<std::size_t>(size));
                if (mine && ReadAll(w.fromChild, payload.data(), payload.size())) {
                    const bool ok = header[sizeof index] != 0;
                    out[item].done = ok;
                    (ok ? out[item].payload : out[item].failure) = std::move(payload);
                    ++finished;
                    w.items.pop_front();
                    w.started = now;
                    give(w);
                    continue;
                }
                lost(w, Ending(w));
                give(w);
                continue;
            }
            const double seconds = std::chrono::duration<double>(now - w.started).count();
            if (options.timeoutSeconds > 0 && seconds > options.timeoutSeconds) {
                char text[64];
                std::snprintf(text, sizeof text, "timed out after %g s ", options.timeoutSeconds);
                const std::string why = text + Where(w);
                Stop(w, true);
                lost(w, why);
                give(w);
            }
        }
        if (options.progress) options.progress(finished, count);
    }
    for (Worker& w : workers) Stop(w, !w.items.empty());
    ::sigaction(SIGPIPE, &previous, nullptr);
    for (Worker& w : workers)
        if (w.call != nullptr) ::munmap(w.call, kCallText);
    return out;
}

}  // namespace amihost
