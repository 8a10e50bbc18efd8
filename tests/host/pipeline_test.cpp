// The hand-over between the transmitter's thread and the rest of the chain:
// every sample and bit arrives once and in order, whatever the block sizes;
// a failing stage is reported by Close; a producer that stops (Ctrl-C) and a
// stage that is slow do not deadlock.
#include "pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

using amihost::Pipeline;

TEST(Pipeline, HandsOnEverySampleAndBitInOrderAndFinishesOnce) {
    std::vector<double> got;
    std::vector<std::int8_t> bits;
    std::uint64_t nextBit = 0;
    int finished = 0;
    bool bitsInOrder = true;
    std::vector<double> sent(1'000'003);
    std::iota(sent.begin(), sent.end(), 0.0);
    {
        Pipeline p(
            [&](const double* s, std::size_t n, std::uint64_t firstBit,
                const std::vector<std::int8_t>& b) {
                std::this_thread::sleep_for(std::chrono::microseconds(n % 7));  // uneven pace
                got.insert(got.end(), s, s + n);
                bitsInOrder = bitsInOrder && (b.empty() || firstBit == nextBit);
                nextBit += b.size();
                bits.insert(bits.end(), b.begin(), b.end());
            },
            [&] { ++finished; }, [] { return false; });
        std::mt19937 rng(5);
        std::size_t at = 0;
        std::uint64_t bit = 0;
        while (at < sent.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 300000, sent.size() - at);
            std::vector<std::int8_t> b(rng() % 3, static_cast<std::int8_t>(bit % 2));
            ASSERT_TRUE(p.Push(sent.data() + at, n, bit, b));
            bit += b.size();
            at += n;
        }
        EXPECT_TRUE(p.Close());
    }
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(bitsInOrder);
    EXPECT_EQ(finished, 1);
    for (std::size_t k = 0; k < bits.size(); ++k) ASSERT_GE(bits[k], 0);
}

TEST(Pipeline, AStageThatThrowsIsReportedAndAStoppedProducerDoesNotHang) {
    const std::vector<double> block(Pipeline::kBlock, 1.0);
    {
        int finished = 0;
        Pipeline p([](const double*, std::size_t, std::uint64_t,
                      const std::vector<std::int8_t>&) { throw std::runtime_error("stage broke"); },
                   [&] { ++finished; }, [] { return false; });
        for (int k = 0; k < 40; ++k)  // never blocks for good
            EXPECT_TRUE(p.Push(block.data(), block.size(), 0, {}));
        EXPECT_THROW(
            {
                try {
                    static_cast<void>(p.Close());
                } catch (const std::runtime_error& e) {
                    EXPECT_STREQ(e.what(), "stage broke");
                    throw;
                }
            },
            std::runtime_error);
        EXPECT_EQ(finished, 0);
    }
    // A slow stage and a producer told to stop while it waits for room: Push
    // says so, Close too, and the blocks not yet run are abandoned.
    std::atomic<int> polls{0};
    std::atomic<int> ran{0};
    int pushed = 0;
    {
        Pipeline p(
            [&](const double*, std::size_t, std::uint64_t, const std::vector<std::int8_t>&) {
                ++ran;
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            },
            [] {}, [&] { return ++polls > static_cast<int>(Pipeline::kDepth) + 2; });
        while (pushed < 100 && p.Push(block.data(), block.size(), 0, {})) ++pushed;
        EXPECT_FALSE(p.Close());
    }
    EXPECT_LT(pushed, 100);
    EXPECT_LT(ran.load(), 100);  // the rest abandoned, and the thread joined
}
