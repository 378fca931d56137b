#include "platform/fake/FakeMainQueue.h"

#include <algorithm>

namespace tamsel {

FakeMainQueue::FakeMainQueue(std::shared_ptr<VirtualClock> clock) : clock_(std::move(clock)) {}

void FakeMainQueue::post(std::function<void()> task) {
    postAfter(0, std::move(task));
}

ScheduledTask FakeMainQueue::postAfter(std::int64_t milliseconds, std::function<void()> task) {
    ScheduledTask handle;
    const Clock::Duration due =
        clock_->now() + std::chrono::milliseconds(std::max<std::int64_t>(milliseconds, 0));
    {
        std::lock_guard guard(mutex_);
        tasks_.push_back(Task{due, nextSequence_++, std::move(task), handle});
    }
    posted_.notify_all();
    return handle;
}

bool FakeMainQueue::takeDue(Clock::Duration limit, Task& out) {
    std::lock_guard guard(mutex_);
    auto earliest =
        std::min_element(tasks_.begin(), tasks_.end(), [](const Task& a, const Task& b) {
            return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
    if (earliest == tasks_.end() || earliest->due > limit) {
        return false;
    }
    out = std::move(*earliest);
    tasks_.erase(earliest);
    return true;
}

std::size_t FakeMainQueue::runPending() {
    std::size_t ran = 0;
    Task task;
    while (takeDue(clock_->now(), task)) {
        if (!task.handle.isCancelled()) {
            task.run();
            ++ran;
        }
    }
    return ran;
}

std::size_t FakeMainQueue::advance(std::chrono::milliseconds duration) {
    const Clock::Duration target = clock_->now() + duration;
    std::size_t ran = 0;
    Task task;
    while (takeDue(target, task)) {
        clock_->advanceTo(task.due);
        if (!task.handle.isCancelled()) {
            task.run();
            ++ran;
        }
    }
    clock_->advanceTo(target);
    return ran;
}

std::size_t FakeMainQueue::pendingCount() const {
    std::lock_guard guard(mutex_);
    return tasks_.size();
}

bool FakeMainQueue::waitForPending(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return posted_.wait_for(guard, timeout, [&] { return tasks_.size() >= count; });
}

} // namespace tamsel
