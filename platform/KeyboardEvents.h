#pragma once

// Synthesised keyboard events and the state of the real modifier keys.
//
// Key codes are the US-ANSI virtual key codes used everywhere in the program
// (MainKeys::keyCode); a backend that posts through another numbering (XTest)
// translates them, and types Unicode text by whatever means it has.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tamsel {

class SyntheticKeyEvent {
public:
    virtual ~SyntheticKeyEvent() = default;
    // Modifier flag bits as in Modifiers::*Flag; zero means no modifiers.
    virtual void setFlags(std::uint64_t flags) = 0;
    // The characters the event types, replacing what its key code would.
    virtual void setUnicodeString(std::u16string_view units) = 0;
    virtual void setSourceUserData(std::int64_t value) = 0;
};

// A private event source: its state is independent of the real keyboard's.
class KeyEventSource {
public:
    virtual ~KeyEventSource() = default;
};

class KeyboardEvents {
public:
    virtual ~KeyboardEvents() = default;

    // No value when the system cannot make one; events are then made without.
    virtual std::unique_ptr<KeyEventSource> createPrivateSource() = 0;
    // No value when the event cannot be made.
    virtual std::unique_ptr<SyntheticKeyEvent>
    createKeyEvent(KeyEventSource* source, std::uint16_t keyCode, bool keyDown) = 0;
    // Posts at the hardware level, where every application and tap sees it.
    virtual void post(SyntheticKeyEvent& event) = 0;
    // The modifier flags held on all input sources combined, right now.
    virtual std::uint64_t combinedModifierFlags() = 0;
    // Whether the user holds the key with this virtual key code right now
    // (on any keyboard). A backend that cannot tell says no.
    virtual bool isKeyDown(std::uint16_t keyCode) {
        (void)keyCode;
        return false;
    }
    // The most characters (grapheme clusters) one event types; 0 for no
    // limit. A backend that plans the whole text (XTest, whose keymap changes
    // must not be mixed with keys) wants it in one event.
    static constexpr std::size_t defaultUnicodeStringLimit = 20;
    virtual std::size_t unicodeStringLimit() const { return defaultUnicodeStringLimit; }
    // Whether every character of the UTF-8 `text` can be typed here. A
    // backend that types by keysym through the compositor depends on the
    // user's layout having them; one that brings its own layout types
    // anything.
    virtual bool canType(std::string_view text) {
        (void)text;
        return true;
    }
    // After the last event of one injection: a backend that changed the
    // keyboard layout to type (XTest) puts it back here.
    virtual void injectionFinished() {}
};

} // namespace tamsel
