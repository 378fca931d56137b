#pragma once

// The system-wide keyboard tap: a source of key-downs that the program may
// swallow or let through, run on a thread of its own.
//
// On macOS this is a session event tap on the tap thread's run loop. Under X11
// it is a set of passive key grabs in synchronous mode on a display connection
// of its own: only the shortcuts the client watches are ever delivered, and a
// pass-through verdict replays the key to the focused window.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Hotkey.h"
#include "platform/FrontWindow.h"

namespace tamsel {

enum class TapEventType : std::uint8_t {
    keyDown,
    other,
    // The system turned the tap off because the callback was too slow, or
    // because of user input; neither carries a key.
    tapDisabledByTimeout,
    tapDisabledByUserInput,
};

struct TapEvent {
    TapEventType type = TapEventType::keyDown;
    std::uint16_t keyCode = 0; // virtual key code, US-ANSI numbering
    std::uint64_t flags = 0;   // modifier flag bits as in Modifiers::*Flag
    // The source user data field, where our own synthesised events carry
    // their marker.
    std::int64_t sourceUserData = 0;
    // The window in front as the key went down, read by the tap itself at
    // that moment; a tap that cannot tell leaves it empty, and the frontmost
    // application last reported to the controller counts instead.
    std::optional<FrontWindow> frontWindow;

    bool operator==(const TapEvent&) const = default;
};

enum class TapVerdict : std::uint8_t { passThrough, consume };

// What the tap calls back, always on the tap thread.
class EventTapClient {
public:
    // Must return quickly: the system gives up on slow taps.
    virtual TapVerdict handleTapEvent(const TapEvent& event) = 0;
    // The shortcuts that may fire now. A tap that can only see what it asks
    // for (X11 grabs) reads this when it starts running and after each
    // watchedHotkeysChanged(); a tap that sees every key may ignore it.
    virtual std::vector<Hotkey> watchedHotkeys() const = 0;
    // The watched shortcuts that the system refused to deliver to us (under
    // X11, another client grabbed them first); empty when all are live.
    // Reported after every start and change of the watched set.
    virtual void watchedHotkeysUnavailable(std::vector<Hotkey> hotkeys) { (void)hotkeys; }
    // Whether a shortcut may fire while `application` is in front. A tap that
    // must decide before any key is pressed (shortcuts a compositor holds for
    // us) asks, and holds them only where they may fire.
    virtual bool firesIn(const std::optional<std::string>& application) const {
        (void)application;
        return true;
    }

protected:
    ~EventTapClient() = default;
};

// One live tap, created on the thread that will run it. Destroying it removes
// it from that thread's loop and releases the system tap (or the grabs); the
// last owner may be any thread.
class EventTap {
public:
    virtual ~EventTap() = default;

    // Any thread.
    virtual void setEnabled(bool enabled) = 0;
    // The tap thread: delivers events to the client until stop(). A stop()
    // that comes before run() makes run() return at once.
    virtual void run() = 0;
    // Any thread.
    virtual void stop() = 0;
    // Any thread: the client's watched shortcuts changed.
    virtual void watchedHotkeysChanged() = 0;
};

class EventTapService {
public:
    virtual ~EventTapService() = default;
    // Called on the tap thread. The client must outlive the tap. No value
    // when the system refuses (typically for lack of permission).
    virtual std::shared_ptr<EventTap> createTap(EventTapClient& client) = 0;
};

} // namespace tamsel
