// Worker processes for the commands that run a model many times (sweep,
// optimize, check-invariance): each item runs in a process forked from this
// one, so that a model that crashes, hangs or keeps global state harms only
// the item it was running. A crash or a timeout becomes that item's failure,
// naming the model call it happened in; the other items go on in a new
// worker. Items run one at a time per worker; `jobs` workers at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace amihost {

struct WorkOutcome {
    bool done = false;    // the task ran to its end
    std::string payload;  // what it returned
    std::string failure;  // otherwise why ("the model crashed (...) in AMI_GetWave of ...")
};

struct WorkOptions {
    int jobs = 1;
    double timeoutSeconds = 0;  // per item; 0: none
    // Called in this process as items finish (done, total).
    std::function<void(std::size_t, std::size_t)> progress;
    // Polled while waiting; true stops every worker (the outcomes left are
    // not done).
    std::function<bool()> stop;
};

// Runs task(i) for i = 0 .. count - 1 and returns each outcome. Call it
// before this process starts threads of its own (workers are forked).
std::vector<WorkOutcome> RunInWorkers(std::size_t count,
                                      const std::function<std::string(std::size_t)>& task,
                                      const WorkOptions& options);

}  // namespace amihost
