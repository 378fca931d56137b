#include "platform/fake/Timeline.h"

namespace tamsel {

void Timeline::record(TimelineEntry entry) {
    entry.time = clock_->now();
    std::lock_guard guard(mutex_);
    entries_.push_back(std::move(entry));
}

std::vector<TimelineEntry> Timeline::entries() const {
    std::lock_guard guard(mutex_);
    return entries_;
}

void Timeline::clear() {
    std::lock_guard guard(mutex_);
    entries_.clear();
}

} // namespace tamsel
