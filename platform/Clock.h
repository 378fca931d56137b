#pragma once

// Monotonic time and sleeping, so that paced work (the injector) can run on a
// virtual clock in tests.

#include <chrono>

namespace tamsel {

class Clock {
public:
    using Duration = std::chrono::microseconds;

    virtual ~Clock() = default;
    // Time since an arbitrary fixed origin; never goes backwards.
    virtual Duration now() const = 0;
    // Blocks the calling thread.
    virtual void sleepFor(Duration duration) = 0;
};

// The real clock: std::chrono::steady_clock and a thread sleep.
class SystemClock final : public Clock {
public:
    Duration now() const override;
    void sleepFor(Duration duration) override;
};

} // namespace tamsel
