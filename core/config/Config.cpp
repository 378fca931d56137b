#include "core/config/Config.h"

#include <algorithm>

#include "core/toolkit/Hashing.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel {

std::string_view rawValue(InjectionMethod value) {
    return value == InjectionMethod::paste ? "paste" : "type";
}

std::string_view rawValue(TriggerKind value) {
    return value == TriggerKind::send ? "send" : "insert";
}

std::optional<InjectionMethod> injectionMethodFromRawValue(std::string_view raw) {
    if (raw == "paste") {
        return InjectionMethod::paste;
    }
    if (raw == "type") {
        return InjectionMethod::type;
    }
    return std::nullopt;
}

const std::string Rule::defaultSeparator = "\n\n";

const std::string& Rule::effectiveSeparator() const {
    return separator ? *separator : defaultSeparator;
}

std::string Rule::payload() const {
    return effectiveSeparator() + text;
}

bool Rule::isFireable() const {
    return enabled && !TextToolkit::isBlank(text);
}

std::optional<Hotkey> Rule::sendHotkey() const {
    return Hotkey::parse(hotkey);
}

std::optional<Hotkey> Rule::appendOnlyHotkey() const {
    return Hotkey::parse(insertHotkey);
}

std::optional<Hotkey> Rule::hotkeyFor(TriggerKind kind) const {
    return Hotkey::parse(hotkeyText(kind));
}

const std::string& Rule::hotkeyText(TriggerKind kind) const {
    return kind == TriggerKind::send ? hotkey : insertHotkey;
}

std::vector<Rule> Rule::defaultRules(Language language) {
    struct Sample {
        const char* hotkey;
        const char* nameEn;
        const char* textEn;
        const char* nameJa;
        const char* textJa;
    };
#ifdef __APPLE__
    constexpr const char* insertHotkeys[] = {"cmd+1", "cmd+2", "cmd+3"};
#else
    // GNOME and KDE Plasma switch to the first applications of their task
    // bars with Super+1 to Super+9; Control+Alt with a digit is free in
    // GNOME, Plasma and Xfce alike.
    constexpr const char* insertHotkeys[] = {"ctrl+opt+1", "ctrl+opt+2", "ctrl+opt+3"};
#endif
    static constexpr Sample samples[] = {
        {"cmd+enter", "Follow the rules",
         "Follow every rule in CLAUDE.md exactly. If a rule conflicts with my request, stop and "
         "tell me instead of guessing.",
         "ルール厳守",
         "CLAUDE.md "
         "の規約をすべて厳密に守ること。依頼内容と規約が矛盾する場合は、推測で進めず必ず確認するこ"
         "と。"},
        {"cmd+shift+enter", "Plan only",
         "Investigate and plan only. Do not edit any file yet. Present the plan and wait for my "
         "approval.",
         "調査と計画のみ",
         "調査と計画のみ行うこと。ファイルはまだ変更しないこと。計画を提示し、承認を待つこと。"},
        {"ctrl+enter", "Reuse existing code",
         "Before writing anything new, look for existing code that already does this and reuse "
         "it. Match the surrounding style.",
         "既存コードの再利用",
         "新規に書く前に、同じことを行う既存コードがないか確認して再利用すること。周囲のスタイルに"
         "合わせること。"},
    };
    std::vector<Rule> rules;
    for (std::size_t i = 0; i < std::size(samples); ++i) {
        const Sample& sample = samples[i];
        const bool japanese = language == Language::ja;
        rules.push_back(Rule{TextToolkit::makeUuid(), japanese ? sample.nameJa : sample.nameEn,
                             true, sample.hotkey, insertHotkeys[i],
                             japanese ? sample.textJa : sample.textEn, std::nullopt});
    }
    return rules;
}

const std::vector<std::string>& Config::defaultTargetBundleIDs() {
#ifdef __APPLE__
    static const std::vector<std::string> ids{
        "com.apple.Terminal",   "com.googlecode.iterm2",         "dev.warp.Warp-Stable",
        "net.kovidgoyal.kitty", "com.mitchellh.ghostty",         "co.zeit.hyper",
        "com.microsoft.VSCode", "com.todesktop.230313mzl4w4u92", "com.anthropic.claudefordesktop",
    };
#else
    // The class part of WM_CLASS (the second string) that each application sets
    // on its windows under X11, then the app_id of native Wayland windows where
    // it differs; compared exactly, so the case matters.
    static const std::vector<std::string> ids{
        "XTerm",                  // xterm
        "URxvt",                  // rxvt-unicode
        "st-256color",            // st (Debian's stterm)
        "qterminal",              // QTerminal (LXQt)
        "Lxterminal",             // LXTerminal (LXDE)
        "Mate-terminal",          // MATE Terminal
        "Gnome-terminal",         // GNOME Terminal
        "kgx",                    // GNOME Console
        "konsole",                // Konsole
        "Xfce4-terminal",         // Xfce Terminal
        "Tilix",                  // Tilix
        "Terminator",             // Terminator
        "kitty",                  // kitty
        "Alacritty",              // Alacritty
        "org.wezfurlong.wezterm", // WezTerm
        "com.mitchellh.ghostty",  // Ghostty
        "dev.warp.Warp",          // Warp
        "Code",                   // Visual Studio Code
        "VSCodium",               // VSCodium
        "Cursor",                 // Cursor
        "Windsurf",               // Windsurf
        "dev.zed.Zed",            // Zed
        // Native Wayland windows are named by their app_id (sway shows it).
        "foot",                   // foot
        "footclient",             // foot, through its server
        "org.gnome.Terminal",     // GNOME Terminal
        "org.gnome.Console",      // GNOME Console
        "org.kde.konsole",        // Konsole
    };
#endif
    return ids;
}

bool Config::isTargeted(const std::optional<std::string_view>& bundleID) const {
    if (targetBundleIDs.empty()) {
        return true;
    }
    if (!bundleID) {
        return false;
    }
    return std::find(targetBundleIDs.begin(), targetBundleIDs.end(), *bundleID) !=
           targetBundleIDs.end();
}

void Config::clampDelays() {
    preDelayMS = std::clamp<std::int64_t>(preDelayMS, 0, preDelayMax);
    postDelayMS = std::clamp<std::int64_t>(postDelayMS, 0, postDelayMax);
}

Config Config::makeDefault(Language language) {
    Config config;
    config.rules = Rule::defaultRules(language);
    return config;
}

} // namespace tamsel

std::size_t std::hash<tamsel::Rule>::operator()(const tamsel::Rule& rule) const noexcept {
    return tamsel::Hashing::fields(rule.id, rule.name, rule.enabled, rule.hotkey, rule.insertHotkey,
                                   rule.text, rule.separator);
}

std::size_t std::hash<tamsel::Config>::operator()(const tamsel::Config& config) const noexcept {
    return tamsel::Hashing::fields(config.enabled, config.language, config.injectionMethod,
                                   config.preDelayMS, config.postDelayMS, config.targetBundleIDs,
                                   config.rules, config.modelServerURL);
}
