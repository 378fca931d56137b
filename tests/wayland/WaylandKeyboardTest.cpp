#include "platform/wayland/WaylandKeyboard.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/config/Hotkey.h"
#include "tests/support/SwaySession.h"

using namespace tamsel;
using namespace tamsel::testing;

namespace {

std::u16string utf16(std::u32string_view text) {
    std::u16string units;
    for (char32_t c : text) {
        if (c >= 0x10000) {
            units += char16_t(0xD800 + ((c - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += char16_t(c);
        }
    }
    return units;
}

class WaylandKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        sway.enter();
        output = sway.folder() / "typed.txt";
        terminal = std::make_unique<ChildProcess>(
            std::vector<std::string>{"foot", "sh", "-c", "cat > " + output.string()},
            sway.environment(), (sway.folder() / "foot.log").string());
        ASSERT_TRUE(sway.waitForFocus("foot"));
        std::string error;
        keyboard = WaylandKeyboard::create(error);
        ASSERT_TRUE(keyboard) << error;
    }

    void press(std::uint16_t keyCode, std::uint64_t flags = 0) {
        for (bool down : {true, false}) {
            auto event = keyboard->createKeyEvent(nullptr, keyCode, down);
            event->setFlags(flags);
            keyboard->post(*event);
        }
    }
    void type(std::u32string_view text) {
        auto event = keyboard->createKeyEvent(nullptr, 0, true);
        event->setUnicodeString(utf16(text));
        keyboard->post(*event);
    }

    SwaySession sway;
    std::filesystem::path output;
    std::unique_ptr<ChildProcess> terminal;
    std::shared_ptr<WaylandKeyboard> keyboard;
};

} // namespace

TEST_F(WaylandKeyboardTest, TypesAnyCharacterIntoANativeTerminal) {
    type(U"hello 日本語のテスト ✅ done");
    press(36); // Return hands the line to cat
    ASSERT_TRUE(waitUntil([this] { return readFile(output).find('\n') != std::string::npos; }))
        << readFile(output);
    EXPECT_EQ(readFile(output), "hello 日本語のテスト ✅ done\n");
}

TEST_F(WaylandKeyboardTest, ThousandsOfMixedCharactersArriveWhole) {
    std::u32string text;
    const std::u32string pieces[] = {U"Review the plan. ", U"計画を見直すこと。", U"✅ ",
                                     U"ÄÖÜ éè ", U"日本語の長い文章を入力する。"};
    for (int round = 0; text.size() < 2000; ++round) {
        text += pieces[round % 5];
        // Ever new characters: more than one layout of the keyboard holds.
        for (int extra = 0; extra < 6; ++extra) {
            text += char32_t(0x4E00 + round * 6 + extra);
        }
        if (round % 10 == 9) {
            text += U'\n'; // a terminal's line holds 4,095 characters at most
        }
    }
    type(text);
    press(36);
    std::string expected;
    for (char32_t c : text) {
        // UTF-8 by hand: the test must not lean on the code it checks.
        if (c < 0x80) {
            expected += char(c);
        } else if (c < 0x800) {
            expected += char(0xC0 | (c >> 6));
            expected += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            expected += char(0xE0 | (c >> 12));
            expected += char(0x80 | ((c >> 6) & 0x3F));
            expected += char(0x80 | (c & 0x3F));
        } else {
            expected += char(0xF0 | (c >> 18));
            expected += char(0x80 | ((c >> 12) & 0x3F));
            expected += char(0x80 | ((c >> 6) & 0x3F));
            expected += char(0x80 | (c & 0x3F));
        }
    }
    ASSERT_TRUE(waitUntil([&] { return readFile(output).size() >= expected.size() + 1; },
                          std::chrono::seconds(30)));
    const std::string typed = readFile(output);
    const auto [wrong, _] = std::mismatch(typed.begin(), typed.end(), expected.begin(), expected.end());
    EXPECT_EQ(typed.size(), expected.size() + 1);
    EXPECT_EQ(wrong - typed.begin(), std::ptrdiff_t(expected.size())) << "first difference";
}
