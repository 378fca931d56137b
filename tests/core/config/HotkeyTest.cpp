#include "core/config/Hotkey.h"

#include <set>
#include <thread>

#include <gtest/gtest.h>

using namespace tamsel;

namespace {
Hotkey hk(Modifiers modifiers, MainKey key) {
    return Hotkey{modifiers, key};
}
const Modifiers cmd = Modifiers::command;
const Modifiers opt = Modifiers::option;
const Modifiers shift = Modifiers::shift;
const Modifiers ctrl = Modifiers::control;
} // namespace

TEST(HotkeyParse, RejectsTextsThatAreNotShortcuts) {
    for (const char* text :
         {"", "   ", "\t", "cmd", "cmd+", "+enter", "cmd++enter", "cmd + enter", "cmd+return",
          "cmd+a", "hyper+enter", "cmd+enter\n", "cmd+ enter", "cmd+f1", "cmd+plus", "+"}) {
        EXPECT_FALSE(Hotkey::parse(text).has_value()) << '"' << text << '"';
    }
}

TEST(HotkeyParse, NormalisesCaseAliasesOrderAndSurroundingSpace) {
    auto parsed = Hotkey::parse("  CMD+Enter  ");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, hk(cmd, MainKey::enter));
    EXPECT_EQ(parsed->stringValue(), "cmd+enter");
    EXPECT_EQ(parsed->displayString(), "⌘⏎");

    EXPECT_EQ(Hotkey::parse("Alt+Meta+Space")->stringValue(), "opt+cmd+space");
    EXPECT_EQ(Hotkey::parse("Command+Option+Enter")->stringValue(), "opt+cmd+enter");
    EXPECT_EQ(Hotkey::parse("control+shift+/"), hk(ctrl | shift, MainKey::slash));
    EXPECT_EQ(Hotkey::parse("cmd+cmd+1"), hk(cmd, MainKey::n1));
    EXPECT_EQ(Hotkey::parse("shift+="), hk(shift, MainKey::equal));
    EXPECT_EQ(Hotkey::parse("cmd+\\"), hk(cmd, MainKey::backslash));
    EXPECT_EQ(Hotkey::parse("cmd+shift+enter"), Hotkey::parse("shift+cmd+enter"));
    // Unicode space separators around the text are trimmed too.
    EXPECT_EQ(Hotkey::parse("\u3000ctrl+`\u00A0"), hk(ctrl, MainKey::grave));
}

TEST(HotkeyParse, KeyWithoutModifiersParsesButHasNoModifier) {
    auto parsed = Hotkey::parse("enter");
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->hasModifier());
    EXPECT_EQ(parsed->stringValue(), "enter");
}

TEST(HotkeyPrint, EveryHotkeyRoundTripsThroughItsNotation) {
    for (std::int64_t raw = 0; raw < 16; ++raw) {
        for (MainKey key : MainKeys::allCases) {
            Hotkey hotkey{Modifiers{raw}, key};
            auto back = Hotkey::parse(hotkey.stringValue());
            ASSERT_TRUE(back) << hotkey.stringValue();
            EXPECT_EQ(*back, hotkey);
        }
    }
    EXPECT_EQ(hk(ctrl | opt | shift | cmd, MainKey::space).stringValue(),
              "ctrl+opt+shift+cmd+space");
    EXPECT_EQ(hk(ctrl | opt | shift | cmd, MainKey::space).displayString(), "⌃⌥⇧⌘␣");
    EXPECT_EQ(hk(shift | cmd, MainKey::n1).displayString(), "⇧⌘1");
    EXPECT_EQ(hk(ctrl | opt, MainKey::slash).displayString(), "⌃⌥/");
}

TEST(MainKeyTable, CodesAreDistinctAndMapBack) {
    std::set<std::uint16_t> codes;
    for (MainKey key : MainKeys::allCases) {
        codes.insert(MainKeys::keyCode(key));
        EXPECT_EQ(MainKeys::fromKeyCode(MainKeys::keyCode(key)), key);
        EXPECT_EQ(MainKeys::fromRawValue(MainKeys::rawValue(key)), key);
    }
    EXPECT_EQ(codes.size(), 21u);
    EXPECT_EQ(MainKeys::keyCode(MainKey::enter), 36);
    EXPECT_EQ(MainKeys::keyCode(MainKey::grave), 50);
    EXPECT_EQ(MainKeys::fromKeyCode(76), MainKey::enter);
    EXPECT_FALSE(MainKeys::fromKeyCode(0)); // the A key
    EXPECT_FALSE(MainKeys::fromKeyCode(65535));
    EXPECT_FALSE(MainKeys::fromRawValue("Enter"));
    EXPECT_EQ(MainKeys::pickerLabel(MainKey::space), "␣ Space");
    EXPECT_EQ(MainKeys::pickerLabel(MainKey::comma), ",");
}

TEST(MainKeyTable, FirstUseFromManyThreadsAgrees) {
    std::vector<std::thread> threads;
    std::vector<int> hits(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&hits, t] {
            for (MainKey key : MainKeys::allCases) {
                hits[t] += MainKeys::fromKeyCode(MainKeys::keyCode(key)) == key;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int count : hits) {
        EXPECT_EQ(count, 21);
    }
}

TEST(HotkeyFromKeyEvent, LooksOnlyAtTheFourModifierBits) {
    constexpr std::uint64_t capsLock = 0x10000;
    constexpr std::uint64_t numericPad = 0x200000;
    constexpr std::uint64_t fn = 0x800000;
    constexpr std::uint64_t leftCommandDevice = 0x8;
    EXPECT_EQ(Hotkey::fromKeyEvent(Modifiers::commandFlag | capsLock | leftCommandDevice, 36),
              hk(cmd, MainKey::enter));
    EXPECT_EQ(Hotkey::fromKeyEvent(Modifiers::commandFlag | numericPad, 76),
              hk(cmd, MainKey::enter));
    EXPECT_FALSE(Hotkey::fromKeyEvent(capsLock, 36));
    EXPECT_FALSE(Hotkey::fromKeyEvent(fn, 36));
    EXPECT_FALSE(Hotkey::fromKeyEvent(0, 36));
    EXPECT_FALSE(Hotkey::fromKeyEvent(Modifiers::commandFlag, 0)); // a letter
    EXPECT_EQ(Hotkey::fromKeyEvent(Modifiers::controlFlag | Modifiers::optionFlag |
                                       Modifiers::shiftFlag | Modifiers::commandFlag,
                                   18),
              hk(ctrl | opt | shift | cmd, MainKey::n1));
    EXPECT_EQ(Modifiers::fromEventFlags((ctrl | shift).eventFlags()), ctrl | shift);
}

TEST(ModifiersTest, TokensAndAliases) {
    EXPECT_EQ((cmd | ctrl).tokens(), (std::vector<std::string>{"ctrl", "cmd"}));
    EXPECT_EQ(Modifiers{}.symbols(), "");
    EXPECT_EQ(Modifiers::token("ALT"), opt);
    EXPECT_EQ(Modifiers::token("Control"), ctrl);
    EXPECT_EQ(Modifiers::token("meta"), cmd);
    EXPECT_FALSE(Modifiers::token("super"));
    EXPECT_FALSE(Modifiers::token(" cmd"));
    EXPECT_FALSE(Modifiers::token(""));
}

TEST(HotkeyNaming, PCKeyNamesSayWhichPhysicalKeysToPress) {
    struct Case {
        Hotkey hotkey;
        const char* symbols;
        const char* pcKeys;
    };
    const Case cases[] = {
        {hk(cmd, MainKey::enter), "⌘⏎", "Super+⏎"},
        {hk(opt | shift, MainKey::n1), "⌥⇧1", "Alt+Shift+1"},
        {hk(ctrl | opt | shift | cmd, MainKey::space), "⌃⌥⇧⌘␣", "Ctrl+Alt+Shift+Super+␣"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hotkey.displayString(KeyNaming::symbols), c.symbols);
        EXPECT_EQ(c.hotkey.displayString(KeyNaming::pcKeys), c.pcKeys);
    }
    EXPECT_EQ(Modifiers::spokenName(cmd, KeyNaming::pcKeys), "Super");
    EXPECT_EQ(Modifiers::spokenName(opt, KeyNaming::pcKeys), "Alt");
    EXPECT_EQ(Modifiers::spokenName(cmd, KeyNaming::symbols), "Command");
    EXPECT_EQ(Modifiers::mark(ctrl, KeyNaming::symbols), "⌃");
}
