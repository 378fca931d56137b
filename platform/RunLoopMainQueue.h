#pragma once

// A main queue without a UI toolkit: the thread that calls runUntil() is the
// main thread while it runs. Used by the command-line modes.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/MainQueue.h"

namespace tamsel {

class RunLoopMainQueue final : public MainQueue {
public:
    void post(std::function<void()> task) override;
    ScheduledTask postAfter(std::int64_t milliseconds, std::function<void()> task) override;

    // Runs due tasks, in order, until `done` answers true (checked after every
    // task and at least every `slice`).
    void runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds slice = std::chrono::milliseconds(50));

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Task {
        TimePoint due;
        std::uint64_t sequence = 0;
        std::function<void()> run;
        ScheduledTask handle;
    };

    std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<Task> tasks_;
    std::uint64_t nextSequence_ = 0;
};

} // namespace tamsel
