#include "core/config/Hotkey.h"

#include "core/toolkit/TextToolkit.h"

namespace tamsel {

const Modifiers Modifiers::control{1};
const Modifiers Modifiers::option{2};
const Modifiers Modifiers::shift{4};
const Modifiers Modifiers::command{8};
const std::array<Modifiers, 4> Modifiers::allMembers{Modifiers{1}, Modifiers{2}, Modifiers{4},
                                                     Modifiers{8}};

namespace {

struct ModifierInfo {
    std::int64_t bit;
    std::string_view token;
    std::string_view symbol;
    std::uint64_t eventFlag;
};

constexpr std::array<ModifierInfo, 4> modifierInfo{{
    {1, "ctrl", "\u2303", Modifiers::controlFlag},
    {2, "opt", "\u2325", Modifiers::optionFlag},
    {4, "shift", "\u21E7", Modifiers::shiftFlag},
    {8, "cmd", "\u2318", Modifiers::commandFlag},
}};

struct MainKeyInfo {
    std::string_view rawValue;
    std::uint16_t keyCode;
};

// Indexed by MainKey; key codes are the US-ANSI positions, so a shortcut names
// a physical key whatever layout is active.
constexpr std::array<MainKeyInfo, 21> mainKeyInfo{{
    {"enter", 36}, {"space", 49}, {"0", 29}, {"1", 18}, {"2", 19}, {"3", 20}, {"4", 21},
    {"5", 23},     {"6", 22},     {"7", 26}, {"8", 28}, {"9", 25}, {"-", 27}, {"=", 24},
    {"\\", 42},    {";", 41},     {"'", 39}, {",", 43}, {".", 47}, {"/", 44}, {"`", 50},
}};

constexpr int noKey = -1;
constexpr std::size_t keyCodeTableSize = 128;

// Built once on first use (thread-safe static initialisation), then read-only:
// the tap thread reads it for every key-down.
const std::array<int, keyCodeTableSize>& keyCodeTable() {
    static const std::array<int, keyCodeTableSize> table = [] {
        std::array<int, keyCodeTableSize> built;
        built.fill(noKey);
        for (MainKey key : MainKeys::allCases) {
            built[MainKeys::keyCode(key)] = static_cast<int>(key);
        }
        return built;
    }();
    return table;
}

} // namespace

std::vector<std::string> Modifiers::tokens() const {
    std::vector<std::string> out;
    for (const auto& info : modifierInfo) {
        if (rawValue & info.bit) {
            out.emplace_back(info.token);
        }
    }
    return out;
}

std::string Modifiers::symbols() const {
    std::string out;
    for (const auto& info : modifierInfo) {
        if (rawValue & info.bit) {
            out += info.symbol;
        }
    }
    return out;
}

std::optional<Modifiers> Modifiers::token(std::string_view word) {
    const std::string lower = TextToolkit::lowercased(word);
    if (lower == "ctrl" || lower == "control") {
        return control;
    }
    if (lower == "opt" || lower == "option" || lower == "alt") {
        return option;
    }
    if (lower == "shift") {
        return shift;
    }
    if (lower == "cmd" || lower == "command" || lower == "meta") {
        return command;
    }
    return std::nullopt;
}

Modifiers Modifiers::fromEventFlags(std::uint64_t flags) {
    Modifiers out;
    for (const auto& info : modifierInfo) {
        if (flags & info.eventFlag) {
            out.rawValue |= info.bit;
        }
    }
    return out;
}

std::uint64_t Modifiers::eventFlags() const {
    std::uint64_t flags = 0;
    for (const auto& info : modifierInfo) {
        if (rawValue & info.bit) {
            flags |= info.eventFlag;
        }
    }
    return flags;
}

namespace MainKeys {

const std::array<MainKey, 21> allCases{
    MainKey::enter,     MainKey::space, MainKey::n0,    MainKey::n1,     MainKey::n2,
    MainKey::n3,        MainKey::n4,    MainKey::n5,    MainKey::n6,     MainKey::n7,
    MainKey::n8,        MainKey::n9,    MainKey::minus, MainKey::equal,  MainKey::backslash,
    MainKey::semicolon, MainKey::quote, MainKey::comma, MainKey::period, MainKey::slash,
    MainKey::grave,
};

std::string_view rawValue(MainKey key) {
    return mainKeyInfo[static_cast<std::size_t>(key)].rawValue;
}

std::optional<MainKey> fromRawValue(std::string_view raw) {
    for (MainKey key : allCases) {
        if (rawValue(key) == raw) {
            return key;
        }
    }
    return std::nullopt;
}

std::uint16_t keyCode(MainKey key) {
    return mainKeyInfo[static_cast<std::size_t>(key)].keyCode;
}

std::string symbol(MainKey key) {
    switch (key) {
    case MainKey::enter:
        return "\u23CE";
    case MainKey::space:
        return "\u2423";
    default:
        // Upper-casing leaves digits and punctuation as they are.
        return std::string(rawValue(key));
    }
}

std::string pickerLabel(MainKey key) {
    switch (key) {
    case MainKey::enter:
        return "\u23CE Enter";
    case MainKey::space:
        return "\u2423 Space";
    default:
        return std::string(rawValue(key));
    }
}

std::optional<MainKey> fromKeyCode(std::uint16_t code) {
    if (code == keypadEnterKeyCode) {
        return MainKey::enter;
    }
    if (code >= keyCodeTableSize) {
        return std::nullopt;
    }
    int entry = keyCodeTable()[code];
    if (entry == noKey) {
        return std::nullopt;
    }
    return static_cast<MainKey>(entry);
}

} // namespace MainKeys

std::optional<Hotkey> Hotkey::parse(std::string_view text) {
    std::string_view trimmed = TextToolkit::trimWhitespace(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (true) {
        std::size_t plus = trimmed.find('+', start);
        if (plus == std::string_view::npos) {
            components.push_back(trimmed.substr(start));
            break;
        }
        components.push_back(trimmed.substr(start, plus - start));
        start = plus + 1;
    }
    auto key = MainKeys::fromRawValue(TextToolkit::lowercased(components.back()));
    if (!key) {
        return std::nullopt;
    }
    Hotkey hotkey{{}, *key};
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        auto modifier = Modifiers::token(components[i]);
        if (!modifier) {
            return std::nullopt;
        }
        hotkey.modifiers |= *modifier;
    }
    return hotkey;
}

std::optional<Hotkey> Hotkey::fromKeyEvent(std::uint64_t flags, std::uint16_t keyCode) {
    Modifiers modifiers = Modifiers::fromEventFlags(flags);
    if (modifiers.isEmpty()) {
        return std::nullopt;
    }
    auto key = MainKeys::fromKeyCode(keyCode);
    if (!key) {
        return std::nullopt;
    }
    return Hotkey{modifiers, *key};
}

std::string Hotkey::stringValue() const {
    std::string out;
    for (const auto& token : modifiers.tokens()) {
        out += token;
        out += '+';
    }
    out += MainKeys::rawValue(key);
    return out;
}

std::string Hotkey::displayString() const {
    return modifiers.symbols() + MainKeys::symbol(key);
}

std::string Hotkey::displayString(KeyNaming naming) const {
    if (naming == KeyNaming::symbols) {
        return displayString();
    }
    std::string out;
    for (Modifiers member : Modifiers::allMembers) {
        if (modifiers.contains(member)) {
            out += Modifiers::mark(member, naming);
            out += '+';
        }
    }
    return out + MainKeys::symbol(key);
}

namespace {

struct ModifierNames {
    std::string_view symbol;
    std::string_view spokenWithSymbols;
    std::string_view pcKey;
    std::string_view spokenPC;
};

// Indexed like Modifiers::allMembers.
constexpr std::array<ModifierNames, 4> modifierNames{{
    {"\u2303", "Control", "Ctrl", "Control"},
    {"\u2325", "Option", "Alt", "Alt"},
    {"\u21E7", "Shift", "Shift", "Shift"},
    {"\u2318", "Command", "Super", "Super"},
}};

const ModifierNames& namesOf(Modifiers member) {
    for (std::size_t i = 0; i < Modifiers::allMembers.size(); ++i) {
        if (Modifiers::allMembers[i] == member) {
            return modifierNames[i];
        }
    }
    return modifierNames[0];
}

} // namespace

std::string_view Modifiers::mark(Modifiers member, KeyNaming naming) {
    return naming == KeyNaming::symbols ? namesOf(member).symbol : namesOf(member).pcKey;
}

std::string_view Modifiers::spokenName(Modifiers member, KeyNaming naming) {
    return naming == KeyNaming::symbols ? namesOf(member).spokenWithSymbols
                                        : namesOf(member).spokenPC;
}

} // namespace tamsel
