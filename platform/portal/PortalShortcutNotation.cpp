#include "platform/portal/PortalShortcutNotation.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

namespace tamsel::PortalShortcutNotation {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The XKB name we ask for, first; what desktops may show instead after it.
struct KeyNames {
    MainKey key;
    std::string_view xkb;
    std::array<std::string_view, 4> others;
};

constexpr std::array<KeyNames, 21> keyNames{{
    {MainKey::enter, "Return", {"enter", "kp_enter", "⏎", "↵"}},
    {MainKey::space, "space", {"spc", "␣", "", ""}},
    {MainKey::n0, "0", {"kp_0", "", "", ""}},
    {MainKey::n1, "1", {"kp_1", "", "", ""}},
    {MainKey::n2, "2", {"kp_2", "", "", ""}},
    {MainKey::n3, "3", {"kp_3", "", "", ""}},
    {MainKey::n4, "4", {"kp_4", "", "", ""}},
    {MainKey::n5, "5", {"kp_5", "", "", ""}},
    {MainKey::n6, "6", {"kp_6", "", "", ""}},
    {MainKey::n7, "7", {"kp_7", "", "", ""}},
    {MainKey::n8, "8", {"kp_8", "", "", ""}},
    {MainKey::n9, "9", {"kp_9", "", "", ""}},
    {MainKey::minus, "minus", {"-", "kp_subtract", "", ""}},
    {MainKey::equal, "equal", {"=", "", "", ""}},
    {MainKey::backslash, "backslash", {"\\", "", "", ""}},
    {MainKey::semicolon, "semicolon", {";", "", "", ""}},
    {MainKey::quote, "apostrophe", {"'", "quote", "quoteright", ""}},
    {MainKey::comma, "comma", {",", "", "", ""}},
    {MainKey::period, "period", {".", "kp_decimal", "", ""}},
    {MainKey::slash, "slash", {"/", "kp_divide", "", ""}},
    {MainKey::grave, "grave", {"`", "quoteleft", "dead_grave", ""}},
}};

std::optional<MainKey> keyNamed(std::string_view word) {
    const std::string name = lower(word);
    for (const KeyNames& names : keyNames) {
        if (lower(names.xkb) == name) {
            return names.key;
        }
        for (std::string_view other : names.others) {
            if (!other.empty() && other == name) {
                return names.key;
            }
        }
    }
    return std::nullopt;
}

// No value for a word that is no modifier; Num Lock (NUM) counts as none.
std::optional<Modifiers> modifierNamed(std::string_view word) {
    const std::string name = lower(word);
    if (name == "ctrl" || name == "control" || name == "primary" || name == "ctl") {
        return Modifiers::control;
    }
    if (name == "alt" || name == "mod1" || name == "option" || name == "opt") {
        return Modifiers::option;
    }
    if (name == "shift") {
        return Modifiers::shift;
    }
    if (name == "logo" || name == "super" || name == "meta" || name == "mod4" || name == "win" ||
        name == "windows" || name == "cmd" || name == "command" || name == "hyper") {
        return Modifiers::command;
    }
    if (name == "num" || name == "numlock" || name == "mod2") {
        return Modifiers{};
    }
    return std::nullopt;
}

// "<Control><Alt>1" as GTK writes accelerators: the words in brackets, then the key.
std::optional<std::vector<std::string>> splitBracketed(std::string_view text) {
    std::vector<std::string> words;
    while (!text.empty() && text.front() == '<') {
        const std::size_t end = text.find('>');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        words.emplace_back(text.substr(1, end - 1));
        text.remove_prefix(end + 1);
    }
    words.emplace_back(text);
    return words;
}

std::vector<std::string> splitJoined(std::string_view text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('+', start);
        if (end == start && start + 1 == text.size()) {
            end = std::string_view::npos; // a last "+" is the key itself
        }
        if (end == std::string_view::npos) {
            words.emplace_back(text.substr(start));
            break;
        }
        words.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::string trigger(const Hotkey& hotkey) {
    // LOGO first, then CTRL, ALT, SHIFT: the order the portal's own examples use.
    const std::pair<Modifiers, const char*> order[] = {
        {Modifiers::command, "LOGO"},
        {Modifiers::control, "CTRL"},
        {Modifiers::option, "ALT"},
        {Modifiers::shift, "SHIFT"},
    };
    std::string text;
    for (const auto& [member, name] : order) {
        if (hotkey.modifiers.contains(member)) {
            text += name;
            text += '+';
        }
    }
    for (const KeyNames& names : keyNames) {
        if (names.key == hotkey.key) {
            text += names.xkb;
        }
    }
    return text;
}

std::optional<Hotkey> parse(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> words;
    if (text.front() == '<') {
        auto bracketed = splitBracketed(text);
        if (!bracketed) {
            return std::nullopt;
        }
        words = std::move(*bracketed);
    } else {
        words = splitJoined(text);
    }
    Hotkey hotkey;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        auto modifier = modifierNamed(trimmed(words[i]));
        if (!modifier) {
            return std::nullopt;
        }
        hotkey.modifiers |= *modifier;
    }
    auto key = keyNamed(trimmed(words.back()));
    if (!key) {
        return std::nullopt;
    }
    hotkey.key = *key;
    return hotkey;
}

} // namespace tamsel::PortalShortcutNotation
