#include "platform/fake/VirtualClock.h"

namespace tamsel {

Clock::Duration VirtualClock::now() const {
    std::lock_guard guard(mutex_);
    return now_;
}

void VirtualClock::sleepFor(Duration duration) {
    std::unique_lock guard(mutex_);
    ++sleepCount_;
    if (paused_) {
        ++heldSleepers_;
        changed_.notify_all();
        changed_.wait(guard, [this] { return !paused_; });
        --heldSleepers_;
    }
    if (duration > Duration::zero()) {
        now_ += duration;
    }
}

void VirtualClock::advance(Duration duration) {
    std::lock_guard guard(mutex_);
    if (duration > Duration::zero()) {
        now_ += duration;
    }
}

void VirtualClock::advanceTo(Duration time) {
    std::lock_guard guard(mutex_);
    if (time > now_) {
        now_ = time;
    }
}

void VirtualClock::pauseSleeps() {
    std::lock_guard guard(mutex_);
    paused_ = true;
}

void VirtualClock::resumeSleeps() {
    {
        std::lock_guard guard(mutex_);
        paused_ = false;
    }
    changed_.notify_all();
}

bool VirtualClock::waitForHeldSleepers(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [&] { return heldSleepers_ >= count; });
}

std::size_t VirtualClock::sleepCount() const {
    std::lock_guard guard(mutex_);
    return sleepCount_;
}

} // namespace tamsel
