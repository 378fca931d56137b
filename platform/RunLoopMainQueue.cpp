#include "platform/RunLoopMainQueue.h"

#include <algorithm>

namespace tamsel {

void RunLoopMainQueue::post(std::function<void()> task) {
    postAfter(0, std::move(task));
}

ScheduledTask RunLoopMainQueue::postAfter(std::int64_t milliseconds, std::function<void()> task) {
    ScheduledTask handle;
    {
        std::lock_guard guard(mutex_);
        tasks_.push_back({std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(std::max<std::int64_t>(milliseconds, 0)),
                          nextSequence_++, std::move(task), handle});
    }
    posted_.notify_one();
    return handle;
}

void RunLoopMainQueue::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds slice) {
    while (!done()) {
        Task next;
        {
            std::unique_lock lock(mutex_);
            const auto now = std::chrono::steady_clock::now();
            auto earliest = std::min_element(tasks_.begin(), tasks_.end(), [](auto& a, auto& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
            if (earliest == tasks_.end() || earliest->due > now) {
                const TimePoint wakeUp =
                    earliest == tasks_.end() ? now + slice : std::min(earliest->due, now + slice);
                posted_.wait_until(lock, wakeUp);
                continue;
            }
            next = std::move(*earliest);
            tasks_.erase(earliest);
        }
        if (!next.handle.isCancelled()) {
            next.run();
        }
    }
}

} // namespace tamsel
