#include "core/toolkit/TextToolkit.h"

#include <algorithm>

#include <regex>
#include <set>

#include <gtest/gtest.h>
#include <random>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

using namespace tamsel;
namespace tt = tamsel::TextToolkit;

TEST(TextToolkitClasses, WhitespaceNewlinesAndTheirUnion) {
    for (char32_t c : {U' ', U'\t', U'\u00A0', U'\u3000', U'\u2003'}) {
        EXPECT_TRUE(tt::isWhitespace(c));
        EXPECT_FALSE(tt::isNewline(c));
    }
    for (char32_t c : {U'\n', U'\v', U'\f', U'\r', U'\u0085', U'\u2028', U'\u2029'}) {
        EXPECT_TRUE(tt::isNewline(c));
        EXPECT_FALSE(tt::isWhitespace(c));
        EXPECT_TRUE(tt::isWhitespaceOrNewline(c));
    }
    for (char32_t c : {U'a', U'\u200B', U'\uFEFF', U'\u0000'}) {
        EXPECT_FALSE(tt::isWhitespaceOrNewline(c));
    }
}

TEST(TextToolkitTrim, BothEndsByClass) {
    EXPECT_EQ(tt::trimWhitespace(" \t\u3000a b\u00A0 "), "a b");
    EXPECT_EQ(tt::trimWhitespace("\na\n"), "\na\n");
    EXPECT_EQ(tt::trimWhitespaceAndNewlines("\r\n\u2028 a\nb \u0085"), "a\nb");
    EXPECT_EQ(tt::trimWhitespaceAndNewlines(" \n "), "");
    EXPECT_TRUE(tt::isBlank("\u3000\n\t"));
    EXPECT_FALSE(tt::isBlank(" x "));
    // A lone invalid byte is content, not space.
    EXPECT_EQ(tt::trimWhitespace(" \xFF "), "\xFF");
}

TEST(TextToolkitLines, EveryNewlineCharacterCuts) {
    EXPECT_EQ(tt::splitLines("a\r\nb\u2028c"), (std::vector<std::string_view>{"a", "", "b", "c"}));
    EXPECT_EQ(tt::splitLines(""), (std::vector<std::string_view>{""}));
    EXPECT_EQ(tt::splitLines("a\n"), (std::vector<std::string_view>{"a", ""}));
}

TEST(TextToolkitGraphemes, CountsUserPerceivedCharacters) {
    EXPECT_EQ(tt::graphemeCount(""), 0u);
    EXPECT_EQ(tt::graphemeCount("a\r\nb"), 3u);
    EXPECT_EQ(tt::graphemeCount("e\u0301"), 1u);                   // e + combining acute
    EXPECT_EQ(tt::graphemeCount("👨‍👩‍👧‍👦"), 1u); // family, joined
    EXPECT_EQ(tt::graphemeCount("🇯🇵🇺🇸"), 2u);                      // two flags
    EXPECT_EQ(tt::graphemeCount("日本語"), 3u);
    EXPECT_EQ(tt::graphemePrefix("🇯🇵🇺🇸x", 1), "🇯🇵");
    EXPECT_EQ(tt::graphemePrefix("abc", 10), "abc");
    EXPECT_EQ(tt::graphemeSuffix("xe\u0301", 1), "e\u0301");
    EXPECT_EQ(tt::graphemeSuffix("ab", 0), "");
}

TEST(TextToolkitGraphemes, ChunksNeverSplitAClusterAndKeepEveryByte) {
    std::string text = "ab👨‍👩‍👧‍👦cde\u0301f\r\ng";
    auto chunks = tt::graphemeChunks(text, 3);
    EXPECT_EQ(chunks, (std::vector<std::string_view>{"ab👨‍👩‍👧‍👦", "cde\u0301",
                                                     "f\r\ng"}));
    EXPECT_EQ(tt::graphemeChunks("abcd", 3), (std::vector<std::string_view>{"abc", "d"}));
    EXPECT_TRUE(tt::graphemeChunks("", 3).empty());
    EXPECT_EQ(tt::graphemeChunks("abc", 0), (std::vector<std::string_view>{"abc"}));
    EXPECT_EQ(tt::graphemeChunks("abc", -1), (std::vector<std::string_view>{"abc"}));
}

TEST(TextToolkitGraphemes, AffixesMustCoverWholeClusters) {
    EXPECT_TRUE(tt::hasGraphemeSuffix("café", "é"));
    EXPECT_FALSE(tt::hasGraphemeSuffix("cafe\u0301", "\u0301")); // only part of a cluster
    EXPECT_TRUE(tt::hasGraphemeSuffix("cafe\u0301", "e\u0301"));
    EXPECT_FALSE(tt::hasGraphemePrefix("e\u0301x", "e"));
    EXPECT_TRUE(tt::hasGraphemePrefix("ex", "e"));
    EXPECT_TRUE(tt::hasGraphemePrefix("ex", ""));
    EXPECT_FALSE(tt::hasGraphemeSuffix("x", "xx"));
}

TEST(TextToolkitCase, FullLowerCasingAndNfkc) {
    EXPECT_EQ(tt::lowercased("ÄBC Straße ΣΑΣ"), "äbc straße σας");
    EXPECT_EQ(tt::lowercased("İ"), "i\u0307"); // full mapping, not the Turkish locale
    EXPECT_EQ(tt::lowercased("MIXED ascii"), "mixed ascii");
    EXPECT_EQ(tt::nfkc("ＡＢＣ１２３"), "ABC123");
    EXPECT_EQ(tt::nfkc("ｶﾞ"), "ガ");
    EXPECT_EQ(tt::nfkc("e\u0301"), "é");
    EXPECT_EQ(tt::nfkc("plain"), "plain");
}

TEST(TextToolkitUuid, UpperCaseVersionFourAndUnique) {
    const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string id = tt::makeUuid();
        ASSERT_TRUE(std::regex_match(id, shape)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(TextToolkitGraphemes, CountUpToStopsPastTheLimit) {
    const std::string mixed = "ab\r\ncd" + std::string("e\u0301") + "🇯🇵🇺🇸x";
    const std::size_t full = tt::graphemeCount(mixed);
    for (std::size_t limit = 0; limit <= full + 1; ++limit) {
        EXPECT_EQ(tt::graphemeCountUpTo(mixed, limit), std::min(full, limit + 1)) << limit;
    }
    EXPECT_EQ(tt::graphemeCountUpTo("a\r\nb", 5), 3u);
    EXPECT_EQ(tt::graphemeCountUpTo(std::string(1000, 'x') + "é", 10), 11u);
    EXPECT_EQ(tt::graphemeCountUpTo("", 0), 0u);
}

TEST(TextToolkitGraphemes, BoundariesAgreeWithTheBreakIterator) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> reference(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    ASSERT_TRUE(U_SUCCESS(status));
    const std::vector<std::string> pieces{"a",      "あ",     "漢",     "ｶ",   "\uFF9E", "\u3099",
                                          "\r",     "\n",     "\t",     "e",   "\u0301", "\u200D",
                                          "👍",      "\uFE0F", "🇯",      "🇵",   "\u1100", "\u1161",
                                          "\uAC00", "\u0E33", "\u0600", "\xFF"};
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = std::uniform_int_distribution<int>(0, 8)(random);
        const int variety =
            std::uniform_int_distribution<int>(1, static_cast<int>(pieces.size()))(random);
        for (int i = 0; i < length; ++i) {
            text += pieces[std::uniform_int_distribution<int>(0, variety - 1)(random)];
        }
        UText* utext =
            utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
        reference->setText(utext, status);
        std::vector<std::size_t> expected{0};
        for (int32_t at = reference->next(); at != icu::BreakIterator::DONE;
             at = reference->next()) {
            expected.push_back(static_cast<std::size_t>(at));
        }
        reference->setText(icu::UnicodeString());
        utext_close(utext);
        ASSERT_EQ(tt::graphemeBoundaries(text), expected) << text;
        for (std::size_t at = 0; at <= text.size(); ++at) {
            const bool boundary = std::binary_search(expected.begin(), expected.end(), at);
            ASSERT_EQ(tt::hasGraphemePrefix(text, text.substr(0, at)), boundary) << text << at;
            ASSERT_EQ(tt::hasGraphemeSuffix(text, text.substr(at)), boundary) << text << at;
        }
        ASSERT_EQ(tt::graphemeCountUpTo(text, 3), std::min<std::size_t>(expected.size() - 1, 4))
            << text;
    }
}

TEST(TextToolkitCase, FastPathsAgreeWithIcu) {
    auto icuLower = [](const std::string& text) {
        std::string out;
        icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(out);
        return out;
    };
    for (std::string text : {"テストを実行 ABC", "ÀÉ ΣΑΣ. İstanbul \u212A", "漢字ＡＢＣ", "ok\xFF",
                             "ǅ Ⅻ ⓐⒶ", "全角　スペース", "\u00DF straße"}) {
        EXPECT_EQ(tt::lowercased(text), icuLower(text)) << text;
    }
    EXPECT_EQ(tt::lowercased("テストABC"), "テストabc");
    EXPECT_EQ(tt::nfkc("ﾃｽﾄ　ＡＢＣ①"), "テスト ABC1");
    EXPECT_EQ(tt::nfkc("もう正規化済みのテキスト"), "もう正規化済みのテキスト");
    EXPECT_EQ(tt::nfkc("e\u0301"), "\u00E9");
}
