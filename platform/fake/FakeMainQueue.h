#pragma once

// The main queue of tests: tasks wait until the test runs them, on the test's
// own thread, and timers fire as the test advances the virtual clock.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/MainQueue.h"
#include "platform/fake/VirtualClock.h"

namespace tamsel {

class FakeMainQueue final : public MainQueue {
public:
    explicit FakeMainQueue(std::shared_ptr<VirtualClock> clock);

    void post(std::function<void()> task) override;
    ScheduledTask postAfter(std::int64_t milliseconds, std::function<void()> task) override;

    // Runs every task that is due now, including those queued meanwhile;
    // returns how many ran.
    std::size_t runPending();
    // Moves the clock forward, running each task at its due time.
    std::size_t advance(std::chrono::milliseconds duration);
    // Tasks queued and not yet run (cancelled ones included until dropped).
    std::size_t pendingCount() const;
    // Real-time wait for other threads to queue work.
    bool waitForPending(std::size_t count, std::chrono::milliseconds timeout);

private:
    struct Task {
        Clock::Duration due;
        std::uint64_t sequence;
        std::function<void()> run;
        ScheduledTask handle;
    };

    // The earliest task due at or before `limit`, taken off the queue.
    bool takeDue(Clock::Duration limit, Task& out);

    std::shared_ptr<VirtualClock> clock_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<Task> tasks_;
    std::uint64_t nextSequence_ = 0;
};

} // namespace tamsel
