#pragma once

// The main thread's task queue, for code that is not tied to the UI toolkit.
// Work finished on other threads comes back through it, and every timer of
// the application (debounced saves, notice expiry, polling) is built on it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace tamsel {

// Cancels a task queued with postAfter. Copies share the same task; a handle
// that outlives its task (or a default-constructed one) cancels nothing.
class ScheduledTask {
public:
    ScheduledTask() = default;
    static ScheduledTask make() {
        return ScheduledTask(std::make_shared<std::atomic<bool>>(false));
    }

    void cancel() const {
        if (cancelled_) {
            cancelled_->store(true, std::memory_order_release);
        }
    }
    bool isCancelled() const { return cancelled_ && cancelled_->load(std::memory_order_acquire); }

private:
    explicit ScheduledTask(std::shared_ptr<std::atomic<bool>> flag) : cancelled_(std::move(flag)) {}
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Both may be called from any thread. A task always runs later on the main
    // thread, never inside the call that queued it, so callers may post while
    // holding their own locks. Tasks run in the order they became due.
    virtual void post(std::function<void()> task) = 0;
    // A task cancelled before it starts never runs.
    virtual ScheduledTask postAfter(std::int64_t milliseconds, std::function<void()> task) = 0;
};

} // namespace tamsel
