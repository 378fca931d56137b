#pragma once

// The main thread's task queue, for code that is not tied to the UI toolkit.
// Work finished on other threads comes back through it, and every timer of
// the application (debounced saves, notice expiry, polling) is built on it.

#include <cstdint>
#include <functional>

#include "platform/Cancellation.h"

namespace tamsel {

// Cancels a task queued with postAfter; copies share the same task, and
// cancelling a task that has already run does nothing.
using ScheduledTask = CancellationToken;

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
