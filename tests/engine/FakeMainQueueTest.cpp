// The fake main queue carries every timing test of the application model, so
// its own timing must be right.

#include "platform/fake/FakeMainQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace tamsel;
using namespace std::chrono_literals;

namespace {

class FakeMainQueueTest : public ::testing::Test {
protected:
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    FakeMainQueue queue{clock};
    std::string log;
};

TEST_F(FakeMainQueueTest, TasksWaitForTheTestAndRunInOrder) {
    queue.post([&] { log += "a"; });
    queue.post([&] {
        log += "b";
        queue.post([&] { log += "c"; }); // queued while running: runs in the same turn
    });
    EXPECT_EQ(log, "");
    EXPECT_EQ(queue.runPending(), 3u);
    EXPECT_EQ(log, "abc");
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(FakeMainQueueTest, TimersFireAtTheirTimeAsTheClockAdvances) {
    queue.postAfter(400, [&] { log += "save@" + std::to_string(clock->now().count() / 1000); });
    queue.postAfter(100,
                    [&] { log += "poll@" + std::to_string(clock->now().count() / 1000) + " "; });
    EXPECT_EQ(queue.runPending(), 0u);
    EXPECT_EQ(queue.advance(399ms), 1u);
    EXPECT_EQ(log, "poll@100 ");
    EXPECT_EQ(clock->now(), 399ms);
    EXPECT_EQ(queue.advance(1ms), 1u);
    EXPECT_EQ(log, "poll@100 save@400");
}

TEST_F(FakeMainQueueTest, CancelledTasksNeverRun) {
    ScheduledTask first = queue.postAfter(400, [&] { log += "first"; });
    first.cancel();
    queue.postAfter(400, [&] { log += "second"; });
    EXPECT_EQ(queue.advance(1s), 1u);
    EXPECT_EQ(log, "second");
}

TEST_F(FakeMainQueueTest, OtherThreadsCanBeWaitedFor) {
    std::thread poster([&] { queue.post([&] { log += "x"; }); });
    EXPECT_TRUE(queue.waitForPending(1, 5s));
    poster.join();
    EXPECT_EQ(queue.runPending(), 1u);
    EXPECT_EQ(log, "x");
}

} // namespace
