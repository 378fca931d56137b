#include "engine/InjectionText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tamsel;
using ::testing::ElementsAre;

namespace {

TEST(InjectionText, FlattensEveryKindOfLineBreakToOneSpace) {
    EXPECT_EQ(InjectionText::flattenForTyping("a\r\nb\nc\rd"), "a b c d");
    EXPECT_EQ(InjectionText::flattenForTyping("\r\r\n\n\r"), "    ");
    EXPECT_EQ(InjectionText::flattenForTyping("\n\nText"), "  Text");
    // Other separators and tabs are not line breaks here.
    EXPECT_EQ(InjectionText::flattenForTyping("a\tb\u2028c\u0085d"), "a\tb\u2028c\u0085d");
    EXPECT_EQ(InjectionText::flattenForTyping(""), "");
}

TEST(InjectionText, PlainTextForFussyTerminalsHasNoControlCharacterLeft) {
    EXPECT_EQ(InjectionText::withoutControlCharacters("\n\nPlan\tonly.\r\n\x1b[0m 日本"),
              "  Plan only.  [0m 日本");
    EXPECT_EQ(InjectionText::withoutControlCharacters("✅ done"), "✅ done");
}

TEST(InjectionText, ChunksCountCharactersNotBytes) {
    EXPECT_TRUE(InjectionText::chunks("", 20).empty());
    EXPECT_THAT(InjectionText::chunks("abcdef", 0), ElementsAre("abcdef"));
    EXPECT_THAT(InjectionText::chunks("abcdef", -4), ElementsAre("abcdef"));
    EXPECT_THAT(InjectionText::chunks("abcdefg", 3), ElementsAre("abc", "def", "g"));
    EXPECT_THAT(InjectionText::chunks("abcdef", 3), ElementsAre("abc", "def"));

    const std::string text(45, 'q');
    auto pieces = InjectionText::chunks(text, 20);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 20u);
    EXPECT_EQ(pieces[1].size(), 20u);
    EXPECT_EQ(pieces[2].size(), 5u);

    // A family emoji (joined by zero-width joiners), a flag and a combining
    // accent are one character each.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    const std::string flag = "\U0001F1EF\U0001F1F5";
    EXPECT_THAT(InjectionText::chunks(family + flag + "e\u0301" + "日本", 2),
                ElementsAre(family + flag, "e\u0301日", "本"));
}

} // namespace
