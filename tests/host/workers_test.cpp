// Worker processes: every item's outcome comes back to its own slot, a crash
// or a hang fails only the item that was running, and the items sent to that
// worker behind it run elsewhere; a row's outcome crosses as versioned bytes.
#include "workers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "grid_row.h"

using namespace amihost;

namespace {

std::string Square(std::size_t i) { return std::to_string(i * i); }

}  // namespace

TEST(Workers, should_return_every_outcome_to_its_item_whatever_the_workers_do) {
    // Item 3 crashes, item 5 throws, item 8 crashes as its worker's last.
    // (An illegal instruction: the sanitizers take a segmentation fault for
    // their own.)
    auto task = [](std::size_t i) -> std::string {
        if (i == 3 || i == 8) ::raise(SIGILL);
        if (i == 5) throw std::runtime_error("no square today");
        if (i == 7) return std::string(1 << 20, 'x');  // more than a pipe holds
        return Square(i);
    };
    for (int jobs : {1, 2, 3}) {
        WorkOptions options;
        options.jobs = jobs;
        std::size_t lastDone = 0;
        options.progress = [&](std::size_t done, std::size_t total) {
            EXPECT_EQ(total, 9u);
            EXPECT_GE(done, lastDone);
            lastDone = done;
        };
        const std::vector<WorkOutcome> out = RunInWorkers(9, task, options);
        ASSERT_EQ(out.size(), 9u);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i == 3 || i == 8) {
                EXPECT_FALSE(out[i].done) << i;
                EXPECT_NE(out[i].failure.find("crashed (an illegal instruction)"),
                          std::string::npos)
                    << i << ": " << out[i].failure;
            } else if (i == 5) {
                EXPECT_FALSE(out[i].done);
                EXPECT_EQ(out[i].failure, "failed: no square today");
            } else if (i == 7) {
                EXPECT_TRUE(out[i].done);
                EXPECT_EQ(out[i].payload, std::string(1 << 20, 'x'));
            } else {
                EXPECT_TRUE(out[i].done) << i << " with " << jobs << " jobs: " << out[i].failure;
                EXPECT_EQ(out[i].payload, Square(i)) << i;
            }
        }
        EXPECT_EQ(lastDone, 9u) << jobs << " jobs";
    }
}

TEST(Workers, should_time_out_a_hanging_item_and_run_those_queued_behind_it) {
    auto task = [](std::size_t i) -> std::string {
        if (i == 1) ::sleep(30);
        return Square(i);
    };
    WorkOptions options;
    options.jobs = 1;  // items 2 and later wait behind the hang
    options.timeoutSeconds = 0.5;
    const auto started = std::chrono::steady_clock::now();
    const std::vector<WorkOutcome> out = RunInWorkers(6, task, options);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i == 1) {
            EXPECT_FALSE(out[i].done);
            EXPECT_EQ(out[i].failure.rfind("timed out after 0.5 s", 0), 0u) << out[i].failure;
        } else {
            EXPECT_TRUE(out[i].done) << i << ": " << out[i].failure;
            EXPECT_EQ(out[i].payload, Square(i));
        }
    }
}

TEST(Workers, should_stop_when_asked_and_leave_the_rest_not_done) {
    std::size_t polls = 0;
    WorkOptions options;
    options.jobs = 2;
    options.stop = [&] { return ++polls > 3; };
    auto task = [](std::size_t i) -> std::string {
        ::usleep(20000);
        return Square(i);
    };
    const std::vector<WorkOutcome> out = RunInWorkers(1000, task, options);
    std::size_t done = 0;
    for (const WorkOutcome& o : out) done += o.done;
    EXPECT_LT(done, 1000u);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i].done) {
            EXPECT_EQ(out[i].payload, Square(i));
        }
}

// What a worker sends back for a row comes back bit for bit (every double,
// NaN and infinities included, the texts with any byte), and anything but a
// whole result of this version is refused: each prefix of a result, a byte
// more, another version, another format.
TEST(RowOutcomes, should_come_back_bit_for_bit_and_refuse_anything_else) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    const RowOutcome sent{true,
                          std::string("a reason\n with \0 a NUL", 23),
                          {0.1, -0.0, tiny, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(), 1.0 / 3},
                          "7,0,15,1.05,,\"quoted\"",
                          {"a breach", "", "another"},
                          12345678901234ull};
    const std::string bytes = EncodeRowOutcome(sent);
    const Expected<RowOutcome> back = DecodeRowOutcome(bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->ok, sent.ok);
    EXPECT_EQ(back->reason, sent.reason);
    EXPECT_EQ(back->text, sent.text);
    EXPECT_EQ(back->notes, sent.notes);
    EXPECT_EQ(back->count, sent.count);
    ASSERT_EQ(back->numbers.size(), sent.numbers.size());
    for (std::size_t i = 0; i < sent.numbers.size(); ++i)
        EXPECT_EQ(std::memcmp(&back->numbers[i], &sent.numbers[i], sizeof(double)), 0) << i;
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(DecodeRowOutcome(bytes.substr(0, n))) << n << " bytes";
    EXPECT_FALSE(DecodeRowOutcome(bytes + "x"));
    std::string otherVersion = bytes;
    otherVersion[11] = 2;  // after "amihost-row"
    const Expected<RowOutcome> refused = DecodeRowOutcome(otherVersion);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("version 2"), std::string::npos) << refused.error();
    EXPECT_FALSE(DecodeRowOutcome("1 0.5 0.5 1e-12 0.001"));  // the old text form
    const Expected<RowOutcome> empty = DecodeRowOutcome(EncodeRowOutcome(RowOutcome{}));
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->ok);
    EXPECT_TRUE(empty->numbers.empty() && empty->reason.empty() && empty->text.empty() &&
                empty->notes.empty() && empty->count == 0);
}
