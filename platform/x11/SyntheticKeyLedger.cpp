#include "platform/x11/SyntheticKeyLedger.h"

#include <algorithm>

namespace tamsel {

void SyntheticKeyLedger::expect(unsigned xKeyCode, std::uint64_t flags, Clock::time_point now) {
    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [now](const Entry& entry) { return entry.expires <= now; });
    entries_.push_back({xKeyCode, flags, now + lifetime});
}

bool SyntheticKeyLedger::claim(unsigned xKeyCode, std::uint64_t flags, Clock::time_point now) {
    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [now](const Entry& entry) { return entry.expires <= now; });
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.keyCode == xKeyCode && entry.flags == flags;
    });
    if (found == entries_.end()) {
        return false;
    }
    entries_.erase(found);
    return true;
}

} // namespace tamsel
