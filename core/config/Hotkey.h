#pragma once

// A global shortcut: a set of modifier keys and one main key, with its stored
// notation ("cmd+enter") and its symbol form ("⌘⏎").

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

// How keys are named to the user: by the symbols printed on Apple keyboards,
// or by the names on PC keyboards, where command is the Super key and option
// is Alt. The stored notation is the same either way.
enum class KeyNaming { symbols, pcKeys };

#if defined(__APPLE__)
inline constexpr KeyNaming platformKeyNaming = KeyNaming::symbols;
#else
inline constexpr KeyNaming platformKeyNaming = KeyNaming::pcKeys;
#endif

struct Modifiers {
    std::int64_t rawValue = 0;

    static const Modifiers control; // 1
    static const Modifiers option;  // 2
    static const Modifiers shift;   // 4
    static const Modifiers command; // 8

    // Every member, in the canonical order used for tokens, symbols and printing.
    static const std::array<Modifiers, 4> allMembers;

    bool isEmpty() const { return rawValue == 0; }
    bool contains(Modifiers other) const { return (rawValue & other.rawValue) == other.rawValue; }
    Modifiers operator|(Modifiers other) const { return {rawValue | other.rawValue}; }
    Modifiers& operator|=(Modifiers other) {
        rawValue |= other.rawValue;
        return *this;
    }
    bool operator==(const Modifiers&) const = default;

    std::vector<std::string> tokens() const;
    std::string symbols() const;
    // One member's short mark ("⌘", or "Super") and its spoken name
    // ("Command", or "Super").
    static std::string_view mark(Modifiers member, KeyNaming naming);
    static std::string_view spokenName(Modifiers member, KeyNaming naming);
    // One word of the notation, case-insensitive, aliases included.
    static std::optional<Modifiers> token(std::string_view word);

    // Key-event flag bits: the only ones looked at when an event becomes a hotkey.
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t commandFlag = 0x100000;
    static Modifiers fromEventFlags(std::uint64_t flags);
    std::uint64_t eventFlags() const;
};

enum class MainKey : std::uint8_t {
    enter,
    space,
    n0,
    n1,
    n2,
    n3,
    n4,
    n5,
    n6,
    n7,
    n8,
    n9,
    minus,
    equal,
    backslash,
    semicolon,
    quote,
    comma,
    period,
    slash,
    grave,
};

namespace MainKeys {
extern const std::array<MainKey, 21> allCases;
// The keypad's Enter, which types the same as Return.
constexpr std::uint16_t keypadEnterKeyCode = 76;

std::string_view rawValue(MainKey key);
std::optional<MainKey> fromRawValue(std::string_view raw); // exact, case-sensitive
std::uint16_t keyCode(MainKey key);                        // US-ANSI virtual key code
std::string symbol(MainKey key);
std::string pickerLabel(MainKey key);
std::optional<MainKey> fromKeyCode(std::uint16_t keyCode);
} // namespace MainKeys

struct Hotkey {
    Modifiers modifiers;
    MainKey key = MainKey::enter;

    // No value when the text is not a valid shortcut.
    static std::optional<Hotkey> parse(std::string_view text);
    // No value when the event is not a shortcut: no modifier, or no main key.
    static std::optional<Hotkey> fromKeyEvent(std::uint64_t flags, std::uint16_t keyCode);

    std::string stringValue() const;
    std::string displayString() const;
    // "⌘⏎" with symbols; "Super+⏎" with PC key names.
    std::string displayString(KeyNaming naming) const;
    bool hasModifier() const { return !modifiers.isEmpty(); }
    bool operator==(const Hotkey&) const = default;
};

} // namespace tamsel

template <> struct std::hash<tamsel::Modifiers> {
    std::size_t operator()(const tamsel::Modifiers& m) const noexcept {
        return std::hash<std::int64_t>{}(m.rawValue);
    }
};

template <> struct std::hash<tamsel::Hotkey> {
    std::size_t operator()(const tamsel::Hotkey& h) const noexcept {
        return static_cast<std::size_t>(h.modifiers.rawValue) * 31u +
               static_cast<std::size_t>(h.key);
    }
};
