#pragma once

// What the injector did to the system, in order, with the virtual time of each
// step: the keyboard events it posted and the pasteboard operations.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/fake/VirtualClock.h"

namespace tamsel {

struct TimelineEntry {
    enum class Kind : std::uint8_t {
        keyDown,
        keyUp,
        pasteboardRead,
        pasteboardClear,
        pasteboardSetString,
        pasteboardWrite,
    };

    Kind kind = Kind::keyDown;
    Clock::Duration time{0};
    // Key events.
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    std::string unicodeText; // UTF-8 of the attached string, empty if none
    std::int64_t marker = 0; // the source user data
    bool fromPrivateSource = false;
    // Pasteboard operations.
    std::string pasteboard;
    std::string text;                            // pasteboardSetString
    std::vector<PasteboardItemContents> written; // pasteboardWrite

    bool isKey() const { return kind == Kind::keyDown || kind == Kind::keyUp; }
};

class Timeline {
public:
    explicit Timeline(std::shared_ptr<VirtualClock> clock) : clock_(std::move(clock)) {}

    // Stamps the entry with the current virtual time.
    void record(TimelineEntry entry);
    std::vector<TimelineEntry> entries() const;
    void clear();
    const std::shared_ptr<VirtualClock>& clock() const { return clock_; }

private:
    std::shared_ptr<VirtualClock> clock_;
    mutable std::mutex mutex_;
    std::vector<TimelineEntry> entries_;
};

} // namespace tamsel
