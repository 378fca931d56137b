// The shortcuts a new configuration starts with on Linux must be free on the
// common desktops, or the first start greets the user with "held by another
// program" banners. The list holds every default binding of GNOME 43, KDE
// Plasma 5.27 and Xfce 4.18 (Debian 12) that uses one of our main keys,
// written in our notation.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/config/Hotkey.h"
#include "core/config/Validator.h"

using namespace tamsel;

namespace {

struct DesktopBinding {
    const char* shortcut;
    const char* owner;
};

const DesktopBinding desktopBindings[] = {
    // gsettings schemas: gsettings-desktop-schemas, mutter-common,
    // gnome-shell-common, gnome-settings-daemon-common.
    {"cmd+1", "GNOME org.gnome.shell switch-to-application-1"},
    {"cmd+2", "GNOME org.gnome.shell switch-to-application-2"},
    {"cmd+3", "GNOME org.gnome.shell switch-to-application-3"},
    {"cmd+4", "GNOME org.gnome.shell switch-to-application-4"},
    {"cmd+5", "GNOME org.gnome.shell switch-to-application-5"},
    {"cmd+6", "GNOME org.gnome.shell switch-to-application-6"},
    {"cmd+7", "GNOME org.gnome.shell switch-to-application-7"},
    {"cmd+8", "GNOME org.gnome.shell switch-to-application-8"},
    {"cmd+9", "GNOME org.gnome.shell switch-to-application-9"},
    {"cmd+opt+-", "GNOME media-keys magnifier-zoom-out"},
    {"cmd+opt+8", "GNOME media-keys magnifier"},
    {"cmd+opt+=", "GNOME media-keys magnifier-zoom-in"},
    {"cmd+space", "GNOME wm.keybindings switch-input-source"},
    {"cmd+shift+space", "GNOME wm.keybindings switch-input-source-backward"},
    {"opt+space", "GNOME wm.keybindings activate-window-menu"},
    // /usr/share/kglobalaccel (plasma-workspace).
    {"opt+space", "KDE krunner"},
    {"cmd+.", "KDE emoji selector"},
    {"cmd+ctrl+opt+shift+space", "KDE emoji selector"},
    // KWin and plasmashell keep theirs in code, not in data files; these are
    // their defaults on our main keys as Plasma 5.27's shortcut settings list them.
    {"cmd+1", "KDE plasmashell activate task manager entry 1"},
    {"cmd+2", "KDE plasmashell activate task manager entry 2"},
    {"cmd+3", "KDE plasmashell activate task manager entry 3"},
    {"cmd+4", "KDE plasmashell activate task manager entry 4"},
    {"cmd+5", "KDE plasmashell activate task manager entry 5"},
    {"cmd+6", "KDE plasmashell activate task manager entry 6"},
    {"cmd+7", "KDE plasmashell activate task manager entry 7"},
    {"cmd+8", "KDE plasmashell activate task manager entry 8"},
    {"cmd+9", "KDE plasmashell activate task manager entry 9"},
    {"cmd+0", "KDE plasmashell activate task manager entry 10"},
    {"cmd+=", "KDE KWin zoom in"},
    {"cmd+-", "KDE KWin zoom out"},
    {"opt+`", "KDE KWin walk through windows of the current application"},
    {"opt+shift+`", "KDE KWin walk through windows of the current application (reverse)"},
    // xfce4-keyboard-shortcuts.xml (libxfce4ui-common).
    {"opt+space", "Xfce xfwm4 window menu"},
};

TEST(DesktopShortcuts, NewLinuxConfigurationAvoidsEveryDesktopDefault) {
    for (Language language : {Language::en, Language::ja}) {
        const Config config = Config::makeDefault(language);
        ASSERT_FALSE(config.rules.empty());
        std::vector<Hotkey> seen;
        for (const Rule& rule : config.rules) {
            for (TriggerKind kind : {TriggerKind::send, TriggerKind::insert}) {
                const std::optional<Hotkey> hotkey = rule.hotkeyFor(kind);
                ASSERT_TRUE(hotkey) << rule.hotkeyText(kind);
                EXPECT_EQ(std::count(seen.begin(), seen.end(), *hotkey), 0)
                    << rule.hotkeyText(kind) << " is used twice";
                seen.push_back(*hotkey);
#ifndef __APPLE__
                for (const DesktopBinding& binding : desktopBindings) {
                    const std::optional<Hotkey> taken = Hotkey::parse(binding.shortcut);
                    ASSERT_TRUE(taken) << binding.shortcut;
                    EXPECT_FALSE(*taken == *hotkey)
                        << rule.name << ": " << rule.hotkeyText(kind) << " is " << binding.owner;
                }
#endif
            }
        }
    }
}

TEST(DesktopShortcuts, ShortcutsSuggestedForNewPromptsAvoidThemToo) {
    std::vector<Rule> rules = Rule::defaultRules(Language::en);
    for (int i = 0; i < 12; ++i) {
        const Validator::SuggestedHotkeys suggestion = Validator::suggestHotkeys(rules);
        ASSERT_FALSE(suggestion.insert.empty()) << "prompt " << i;
        for (const std::string& text : {suggestion.send, suggestion.insert}) {
            if (text.empty()) {
                continue; // every send candidate is taken: none is suggested
            }
            const std::optional<Hotkey> hotkey = Hotkey::parse(text);
            ASSERT_TRUE(hotkey) << text;
#ifndef __APPLE__
            for (const DesktopBinding& binding : desktopBindings) {
                EXPECT_FALSE(Hotkey::parse(binding.shortcut) == hotkey)
                    << "prompt " << i << ": " << text << " is " << binding.owner;
            }
#endif
        }
        Rule rule = rules.front();
        rule.hotkey = suggestion.send;
        rule.insertHotkey = suggestion.insert;
        rules.push_back(rule);
    }
}

TEST(DesktopShortcuts, TheListItselfCatchesWhatTheOldDefaultsCollidedWith) {
    // Super+1 to Super+3 were the insert shortcuts before: both GNOME and
    // Plasma take them.
    for (const char* old : {"cmd+1", "cmd+2", "cmd+3"}) {
        const auto hotkey = Hotkey::parse(old);
        ASSERT_TRUE(hotkey);
        EXPECT_EQ(std::count_if(
                      std::begin(desktopBindings), std::end(desktopBindings),
                      [&](const DesktopBinding& b) { return Hotkey::parse(b.shortcut) == hotkey; }),
                  2);
    }
}

} // namespace
