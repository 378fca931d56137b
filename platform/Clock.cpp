#include "platform/Clock.h"

#include <thread>

namespace tamsel {

Clock::Duration SystemClock::now() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleepFor(Duration duration) {
    if (duration > Duration::zero()) {
        std::this_thread::sleep_for(duration);
    }
}

} // namespace tamsel
