#pragma once

// Keys that XTest delivers look exactly like the user's, grabs included, so
// the marker an event carries elsewhere is kept here instead: the keyboard
// notes each key-down it is about to post and the tap claims it when the
// key arrives. Any thread.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tamsel {

class SyntheticKeyLedger {
public:
    using Clock = std::chrono::steady_clock;
    // A posted key that never reached the tap (no grab matched it) must not
    // excuse the user's own press of that key later on.
    static constexpr auto lifetime = std::chrono::milliseconds(500);

    // `flags` are the modifiers the key goes out with (Modifiers::*Flag).
    void expect(unsigned xKeyCode, std::uint64_t flags, Clock::time_point now = Clock::now());
    // True once for each expected key-down of that keycode and those
    // modifiers still in its lifetime. Our plain Return must not excuse the
    // user's Super+Return a moment later, which only a grab delivers.
    bool claim(unsigned xKeyCode, std::uint64_t flags, Clock::time_point now = Clock::now());

private:
    struct Entry {
        unsigned keyCode;
        std::uint64_t flags;
        Clock::time_point expires;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace tamsel
