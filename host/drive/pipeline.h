// A second thread for the rest of the chain: the thread that runs the
// transmitter hands on blocks of its output, with the bits sent during them,
// and the stage (channel, receiver, their eyes and files) runs them in order
// on a thread of its own, so that the two halves of a run use two cores.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace amihost {

class Pipeline {
public:
    // `stage` gets each block: samples, their count, and the bits (0/1, or
    // -1 when unknown) of the unit intervals from `firstBit` on that became
    // known with it. `finish` runs after the last block.
    using Stage = std::function<void(const double* samples, std::size_t n, std::uint64_t firstBit,
                                     const std::vector<std::int8_t>& bits)>;
    // `stop` is asked before each block is handed on and while the producer
    // waits (Ctrl-C); once it says true, Push and Close return false at once
    // and the blocks not yet run are abandoned when the pipeline is destroyed.
    Pipeline(Stage stage, std::function<void()> finish, std::function<bool()> stop);
    ~Pipeline();  // abandons the blocks not yet run and joins
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // False when `stop` said so (the rest of the samples not handed on).
    [[nodiscard]] bool Push(const double* samples, std::size_t n, std::uint64_t firstBit,
                            std::vector<std::int8_t> bits);
    // Waits until every block has run and `finish` too; rethrows what the
    // stage threw (a fault, such as memory running out). False when `stop`
    // said so first.
    [[nodiscard]] bool Close();

    static constexpr std::size_t kBlock = std::size_t{1} << 16;  // samples per hand-over
    static constexpr std::size_t kDepth = 32;                    // blocks in flight

private:
    struct Block {
        std::vector<double> samples;
        std::uint64_t firstBit = 0;
        std::vector<std::int8_t> bits;
    };
    void Run();
    // False when `stop_` said so before `ready` held.
    bool WaitFor(const std::function<bool()>& ready, std::unique_lock<std::mutex>& lock);

    Stage stage_;
    std::function<void()> finish_;
    std::function<bool()> stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> queue_;
    std::vector<std::vector<double>> spare_;
    bool closing_ = false, abandon_ = false, done_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

}  // namespace amihost
