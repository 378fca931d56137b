#pragma once

// The layout our virtual keyboard types with. A Wayland client turns key
// codes into text with the layout the compositor sent it, and a virtual
// keyboard brings its own: so each character to type gets a key of its own,
// whatever the user's layout is, Japanese and emoji included. The keys the
// injector presses by name (Return, Insert, the modifiers) keep their usual
// codes, so shortcuts such as Shift+Insert mean what they always mean.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tamsel {

class TypingKeymap {
public:
    // Linux input (evdev) codes of the keys pressed by name.
    static constexpr unsigned returnCode = 28;
    static constexpr unsigned tabCode = 15;
    static constexpr unsigned spaceCode = 57;
    static constexpr unsigned insertCode = 110;
    static constexpr unsigned vCode = 47;
    static constexpr unsigned shiftCode = 42;
    static constexpr unsigned controlCode = 29;
    static constexpr unsigned altCode = 56;
    static constexpr unsigned superCode = 125;

    // Modifier masks in the keymap's own modifier order.
    static constexpr std::uint32_t shiftMask = 1U << 0;
    static constexpr std::uint32_t controlMask = 1U << 2;
    static constexpr std::uint32_t altMask = 1U << 3;
    static constexpr std::uint32_t superMask = 1U << 6;

    TypingKeymap();

    // The evdev code that types `keysym`, adding a key for it when there is
    // room; no value when the keymap is full (start again with reset()).
    std::optional<unsigned> codeFor(std::uint32_t keysym);
    // Whether codeFor() added keys since the text was last taken.
    bool changed() const { return changed_; }
    // The keymap in XKB's text format, ready for the compositor.
    std::string text();
    // Drops every typed character's key; the named keys stay.
    void reset();
    std::size_t spareKeysLeft() const { return spareCodes_.size() - typed_.size(); }
    // How many characters one layout holds.
    std::size_t capacity() const { return spareCodes_.size(); }

private:
    std::map<std::uint32_t, unsigned> named_; // keysym -> code
    std::map<std::uint32_t, unsigned> typed_; // keysym -> code
    std::vector<unsigned> spareCodes_;
    bool changed_ = true;
};

} // namespace tamsel
