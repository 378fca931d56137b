#include "platform/RunLoopMainQueue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tamsel;
using namespace std::chrono_literals;

TEST(RunLoopMainQueueTest, RunsTasksByDueTimeOnTheRunningThread) {
    RunLoopMainQueue queue;
    std::vector<int> order;
    bool finished = false;
    const auto runner = std::this_thread::get_id();
    std::thread::id ranOn;
    const auto start = std::chrono::steady_clock::now();
    queue.postAfter(30, [&] {
        order.push_back(3);
        finished = true;
    });
    queue.post([&] { order.push_back(1); });
    auto cancelled = queue.postAfter(10, [&] { order.push_back(99); });
    cancelled.cancel();
    std::thread other(
        [&] { queue.post([&] { order.push_back(2), ranOn = std::this_thread::get_id(); }); });
    other.join();
    queue.runUntil([&] { return finished; });
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ranOn, runner);
}

TEST(RunLoopMainQueueTest, TasksQueuedByTasksRunInTheSameLoop) {
    RunLoopMainQueue queue;
    int depth = 0;
    std::function<void()> step = [&] {
        if (++depth < 5) {
            queue.post(step);
        }
    };
    queue.post(step);
    queue.runUntil([&] { return depth == 5; });
    EXPECT_EQ(depth, 5);
}
