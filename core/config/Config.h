#pragma once

// The user's configuration: global switches and the ordered list of prompts.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/Hotkey.h"
#include "core/config/Language.h"

namespace tamsel {

enum class InjectionMethod : std::uint8_t { paste, type };
enum class TriggerKind : std::uint8_t { send, insert };

std::string_view rawValue(InjectionMethod value);
std::string_view rawValue(TriggerKind value);
std::optional<InjectionMethod> injectionMethodFromRawValue(std::string_view raw);

struct Rule {
    std::string id;
    std::string name;
    bool enabled = true;
    std::string hotkey;       // "Append & Send"
    std::string insertHotkey; // "Append Only"
    std::string text;
    std::optional<std::string> separator;

    static const std::string defaultSeparator; // a blank line: "\n\n"

    const std::string& effectiveSeparator() const;
    // Exactly what goes after the user's own text.
    std::string payload() const;
    bool isFireable() const;
    std::optional<Hotkey> sendHotkey() const;
    std::optional<Hotkey> appendOnlyHotkey() const;
    std::optional<Hotkey> hotkeyFor(TriggerKind kind) const;
    const std::string& hotkeyText(TriggerKind kind) const;

    static std::vector<Rule> defaultRules(Language language);

    bool operator==(const Rule&) const = default;
};

struct Config {
    static constexpr std::int64_t defaultPreDelayMS = 40;
    static constexpr std::int64_t defaultPostDelayMS = 80;
    static constexpr std::int64_t preDelayMax = 500;
    static constexpr std::int64_t postDelayMax = 1000;

    bool enabled = true;
    LanguagePreference language = LanguagePreference::system;
    InjectionMethod injectionMethod = InjectionMethod::paste;
    std::int64_t preDelayMS = defaultPreDelayMS;
    std::int64_t postDelayMS = defaultPostDelayMS;
    std::vector<std::string> targetBundleIDs = defaultTargetBundleIDs();
    std::vector<Rule> rules;
    // The local model server the Prompt Lab drafts with ("http://127.0.0.1:11434");
    // absent, it is looked for. Only written to the file when set.
    std::optional<std::string> modelServerURL;

    // The applications in which shortcuts work out of the box, for the platform
    // this build runs on: bundle identifiers on macOS, WM_CLASS classes on X11.
    static const std::vector<std::string>& defaultTargetBundleIDs();

    // An empty list targets every application; otherwise the identifier must be
    // listed exactly (case-sensitive), and an unknown application is not targeted.
    bool isTargeted(const std::optional<std::string_view>& bundleID) const;
    void clampDelays();

    static Config makeDefault(Language language);

    bool operator==(const Config&) const = default;
};

} // namespace tamsel

template <> struct std::hash<tamsel::Rule> {
    std::size_t operator()(const tamsel::Rule& rule) const noexcept;
};
template <> struct std::hash<tamsel::Config> {
    std::size_t operator()(const tamsel::Config& config) const noexcept;
};
