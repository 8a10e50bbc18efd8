#include "pipeline.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <csignal>

#include "model_guard.h"

namespace amihost {

Pipeline::Pipeline(Stage stage, std::function<void()> finish, std::function<bool()> stop)
    : stage_(std::move(stage)), finish_(std::move(finish)), stop_(std::move(stop)) {
    thread_ = std::thread([this] { Run(); });
}

Pipeline::~Pipeline() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        abandon_ = true;
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool Pipeline::WaitFor(const std::function<bool()>& ready, std::unique_lock<std::mutex>& lock) {
    while (!ready()) {
        changed_.wait_for(lock, std::chrono::milliseconds(50));
        if (!ready() && stop_) {
            lock.unlock();
            const bool stop = stop_();
            lock.lock();
            if (stop) return false;
        }
    }
    return true;
}

bool Pipeline::Push(const double* samples, std::size_t n, std::uint64_t firstBit,
                    std::vector<std::int8_t> bits) {
    while (n > 0 || !bits.empty()) {
        const std::size_t take = std::min(n, kBlock);
        if (stop_ && stop_()) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!WaitFor([this] { return queue_.size() < kDepth || done_; }, lock)) return false;
        if (done_) return true;  // the stage failed: Close reports it
        Block b;
        if (!spare_.empty()) {
            b.samples = std::move(spare_.back());
            spare_.pop_back();
        }
        b.samples.assign(samples, samples + take);
        b.firstBit = firstBit;
        b.bits = std::move(bits);
        bits.clear();
        queue_.push_back(std::move(b));
        lock.unlock();
        changed_.notify_all();
        samples += take;
        n -= take;
    }
    return true;
}

bool Pipeline::Close() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
        if (!WaitFor([this] { return done_; }, lock)) return false;
    }
    if (thread_.joinable()) thread_.join();
    if (error_) std::rethrow_exception(error_);
    return true;
}

void Pipeline::Run() {
    // Ctrl-C goes to the thread that runs the transmitter; a model called
    // here that crashes is reported as such (alternate stack included).
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, nullptr);
    PrepareModelThread();
    try {
        for (;;) {
            Block b;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
                if (abandon_ || (queue_.empty() && closing_)) break;
                b = std::move(queue_.front());
                queue_.pop_front();
            }
            changed_.notify_all();
            stage_(b.samples.data(), b.samples.size(), b.firstBit, b.bits);
            const std::lock_guard<std::mutex> lock(mutex_);
            spare_.push_back(std::move(b.samples));
        }
        bool abandoned = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            abandoned = abandon_;
        }
        if (!abandoned && finish_) finish_();
    } catch (...) {
        error_ = std::current_exception();
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

}  // namespace amihost
