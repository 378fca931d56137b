#pragma once

// Test time: sleeping advances it at once instead of waiting, so paced work
// runs in microseconds of real time and every timestamp is exact.

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "platform/Clock.h"

namespace tamsel {

class VirtualClock final : public Clock {
public:
    Duration now() const override;
    // Advances the time by `duration`; while sleeps are paused, first blocks
    // (in real time) until they are resumed.
    void sleepFor(Duration duration) override;

    void advance(Duration duration);
    void advanceTo(Duration time); // never goes back

    // Lets a test hold a sleeping thread in place while it queues more work.
    void pauseSleeps();
    void resumeSleeps();
    // Real-time wait until `count` threads are held in a paused sleep.
    bool waitForHeldSleepers(std::size_t count, std::chrono::milliseconds timeout);

    std::size_t sleepCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Duration now_{0};
    bool paused_ = false;
    std::size_t heldSleepers_ = 0;
    std::size_t sleepCount_ = 0;
};

} // namespace tamsel
