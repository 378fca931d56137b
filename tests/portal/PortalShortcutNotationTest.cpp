#include "platform/portal/PortalShortcutNotation.h"

#include <gtest/gtest.h>

namespace tamsel {
namespace {

using PortalShortcutNotation::parse;
using PortalShortcutNotation::trigger;

std::vector<Modifiers> everyModifierSet() {
    std::vector<Modifiers> sets;
    for (std::int64_t bits = 1; bits < 16; ++bits) {
        sets.push_back(Modifiers{bits});
    }
    return sets;
}

TEST(PortalShortcutNotation, WritesTheTriggersThePortalExpects) {
    EXPECT_EQ(trigger(*Hotkey::parse("cmd+shift+enter")), "LOGO+SHIFT+Return");
    EXPECT_EQ(trigger(*Hotkey::parse("ctrl+opt+1")), "CTRL+ALT+1");
    EXPECT_EQ(trigger(*Hotkey::parse("ctrl+enter")), "CTRL+Return");
    EXPECT_EQ(trigger(Hotkey{Modifiers{15}, MainKey::grave}), "LOGO+CTRL+ALT+SHIFT+grave");
    EXPECT_EQ(trigger(Hotkey{Modifiers::command, MainKey::quote}), "LOGO+apostrophe");
    EXPECT_EQ(trigger(Hotkey{Modifiers::control, MainKey::space}), "CTRL+space");
}

TEST(PortalShortcutNotation, EveryKeyWithEveryModifierSetComesBackAsItWent) {
    int checked = 0;
    for (MainKey key : MainKeys::allCases) {
        for (Modifiers modifiers : everyModifierSet()) {
            const Hotkey hotkey{modifiers, key};
            const std::string text = trigger(hotkey);
            EXPECT_EQ(parse(text), hotkey) << text;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 21 * 15);
}

TEST(PortalShortcutNotation, ReadsWhatDesktopsShow) {
    const Hotkey superShiftReturn = *Hotkey::parse("cmd+shift+enter");
    // KDE Plasma's descriptions, GNOME's, GTK accelerators, the keypad's Enter.
    EXPECT_EQ(parse("Meta+Shift+Return"), superShiftReturn);
    EXPECT_EQ(parse("Super+Shift+Enter"), superShiftReturn);
    EXPECT_EQ(parse("<Super><Shift>Return"), superShiftReturn);
    EXPECT_EQ(parse("Shift+Meta+KP_Enter"), superShiftReturn);
    EXPECT_EQ(parse(" logo + shift + return "), superShiftReturn);
    EXPECT_EQ(parse("Control+Alt+1"), Hotkey::parse("ctrl+opt+1"));
    EXPECT_EQ(parse("<Control><Alt>1"), Hotkey::parse("ctrl+opt+1"));
    EXPECT_EQ(parse("Ctrl+Num+Return"), Hotkey::parse("ctrl+enter"));
    EXPECT_EQ(parse("Ctrl+-"), (Hotkey{Modifiers::control, MainKey::minus}));
    EXPECT_EQ(parse("Ctrl+/"), (Hotkey{Modifiers::control, MainKey::slash}));
    EXPECT_EQ(parse("Ctrl+`"), (Hotkey{Modifiers::control, MainKey::grave}));
    EXPECT_EQ(parse("Alt+QuoteLeft"), (Hotkey{Modifiers::option, MainKey::grave}));
}

TEST(PortalShortcutNotation, RefusesWhatIsNoShortcutOfOurs) {
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(parse("Meta+F5"), std::nullopt);          // a key we never fire on
    EXPECT_EQ(parse("Hyper+Foo+Return"), std::nullopt); // an unknown modifier
    EXPECT_EQ(parse("CTRL+"), std::nullopt);
    EXPECT_EQ(parse("<Control"), std::nullopt);
    EXPECT_EQ(parse("CTRL+ALT"), std::nullopt);
}

} // namespace
} // namespace tamsel
