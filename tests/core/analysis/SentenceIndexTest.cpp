#include "core/analysis/SentenceIndex.h"

#include <random>

#include <gtest/gtest.h>

using namespace tamsel;
namespace si = tamsel::SentenceIndex;
using Strings = std::vector<std::string>;

namespace {

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

} // namespace

TEST(SentenceIndexSentences, FencesSkipCodeUntilTheNextFence) {
    EXPECT_EQ(
        si::sentences("Use tabs always.\n```\nkeep this out please\n```\nNever commit secrets."),
        (Strings{"Use tabs always.", "Never commit secrets."}));
    EXPECT_EQ(si::sentences("~~~python\nprint('inside the fence')\n~~~\nOutside again."),
              (Strings{"Outside again."}));
    // An unclosed fence swallows the rest of the text.
    EXPECT_EQ(si::sentences("Before it.\n  ```\nAfter the fence line."), (Strings{"Before it."}));
}

TEST(SentenceIndexSentences, LengthBoundsCountClusters) {
    EXPECT_TRUE(si::sentences("abcde").empty());
    EXPECT_EQ(si::sentences("abcdef"), (Strings{"abcdef"}));
    EXPECT_EQ(si::sentences(repeat("あ", 500)).size(), 1u);
    EXPECT_TRUE(si::sentences(repeat("あ", 501)).empty());
    // Five clusters of two code points each are still five characters.
    EXPECT_TRUE(si::sentences(repeat("e\u0301", 5)).empty());
    EXPECT_EQ(si::sentences(repeat("e\u0301", 6)).size(), 1u);
    // CR LF leaves an empty line between, which is dropped; pieces are trimmed.
    EXPECT_EQ(si::sentences("  first line\r\n\tsecond line  "),
              (Strings{"first line", "second line"}));
}

TEST(SentenceIndexSentences, CutsAfterTerminators) {
    EXPECT_EQ(si::sentences("Use tabs. Never commit secrets."),
              (Strings{"Use tabs.", "Never commit secrets."}));
    EXPECT_EQ(si::sentences("Version 3.14 is required"), (Strings{"Version 3.14 is required"}));
    EXPECT_EQ(si::sentences("テストを書く。コミットする。"),
              (Strings{"テストを書く。", "コミットする。"}));
    EXPECT_EQ(si::splitIntoSentences("Open file.txt, e.g.x now! Done?"),
              (Strings{"Open file.txt, e.g.x now!", " Done?"}));
    // Full-width marks always cut; other punctuation never does.
    EXPECT_EQ(si::splitIntoSentences("本当！？次、あれ; it: ok"),
              (Strings{"本当！", "？", "次、あれ; it: ok"}));
    EXPECT_EQ(si::splitIntoSentences("end.  "), (Strings{"end."}));
    EXPECT_TRUE(si::splitIntoSentences("   ").empty());
}

TEST(SentenceIndexNoise, QuotesTablesLinksTagsAndCode) {
    for (const char* noise :
         {"> quoted text here", "| a | b |", "http://example.com/x", "https://example.com", "#memo",
          "###", "if (a) { b(); }", "ab(c)d;e[g"}) {
        EXPECT_TRUE(si::isNoise(noise)) << noise;
    }
    // A heading has a space; 3 symbols in 10 characters is exactly 30 %.
    for (const char* text : {"# Heading text", "ab(c)d;efg", "Use `make` to build", "plain"}) {
        EXPECT_FALSE(si::isNoise(text)) << text;
    }
    EXPECT_TRUE(si::sentences("> Always quote this.\n| Use tables always |").empty());
}

TEST(SentenceIndexListMarkers, OneBulletThenANumber) {
    EXPECT_EQ(si::strippingListMarker("- 1. Use tabs"), "Use tabs");
    EXPECT_EQ(si::strippingListMarker("* 12)  item"), "item");
    EXPECT_EQ(si::strippingListMarker("・必ず確認"), "必ず確認");
    EXPECT_EQ(si::strippingListMarker("▸ next"), "next");
    EXPECT_EQ(si::strippingListMarker("> quoted"), "quoted");
    // Only the first bullet goes.
    EXPECT_EQ(si::strippingListMarker("- - inner"), "- inner");
    EXPECT_EQ(si::strippingListMarker("+ * x"), "* x");
    // Unicode digits and white space, as the regular expression has them.
    EXPECT_EQ(si::strippingListMarker("١٢. Arabic digits"), "Arabic digits");
    EXPECT_EQ(si::strippingListMarker("３.\u3000全角"), "全角");
    EXPECT_EQ(si::strippingListMarker("1.\u00A0nbsp"), "nbsp");
    // No white space after the number, or another bracket: not a marker.
    EXPECT_EQ(si::strippingListMarker("3.14 is pi"), "3.14 is pi");
    EXPECT_EQ(si::strippingListMarker("1） full-width"), "1） full-width");
    EXPECT_EQ(si::strippingListMarker("-x"), "-x");
    // A space that a combining mark joins is not the marker's space.
    EXPECT_EQ(si::strippingListMarker("- \u0301x"), "- \u0301x");
    EXPECT_EQ(si::sentences("- 2. Keep the diff small"), (Strings{"Keep the diff small"}));
}

TEST(SentenceIndexInstructions, JapaneseEndingsAndWords) {
    for (const char* yes : {"必ずテストを書くこと。", "変更しないで", "確認してください！",
                            "コードを読め。これは禁止", "直して。。", "早くしろ",
                            "常に日本語で答える", "テストを書くべきです"}) {
        EXPECT_TRUE(si::isInstruction(yes)) << yes;
    }
    for (const char* no : {"これで良い？", "テストを書いた", "", "  \n ",
                           // "して" with a combining dakuten is "しで", not "して".
                           "変更して\u3099"}) {
        EXPECT_FALSE(si::isInstruction(no)) << no;
    }
}

TEST(SentenceIndexInstructions, EnglishMarkersNeedTheirSpace) {
    for (const char* yes : {"Please keep the diff small", "Use tabs.", "NEVER push to main",
                            "Make sure lint passes", "Don't touch it", "you must write tests"}) {
        EXPECT_TRUE(si::isInstruction(yes)) << yes;
    }
    for (const char* no : {"Can you check this?", "The build is fast", "Tabs are what we use",
                           "Please keep it?", "He uses tabs"}) {
        EXPECT_FALSE(si::isInstruction(no)) << no;
    }
}

TEST(SentenceIndexNormalize, FoldsCaseWidthAndSpaces) {
    EXPECT_EQ(si::normalize("  Run   the tests.  "), "runthetests");
    EXPECT_EQ(si::normalize("ＲＵＮ　ｔｅｓｔｓ！！"), "runtests");
    EXPECT_EQ(si::normalize("ﾃｽﾄを実行、"), "テストを実行");
    EXPECT_EQ(si::normalize("a\tb\nc\u2028d"), "abcd");
}

TEST(SentenceIndexNormalize, PoliteEndings) {
    for (const char* form :
         {"テストを実行してください。", "テストを実行すること", "テストを実行して欲しい",
          "テストを実行して下さい！", "テストを実行しなさい", "テストを実行してね"}) {
        EXPECT_EQ(si::normalize(form), "テストを実行する") << form;
    }
    EXPECT_EQ(si::normalize("変更しないでください"), "変更しない");
    EXPECT_EQ(si::normalize("変更しないこと。"), "変更しない");
    EXPECT_EQ(si::normalize("確認ください"), "確認");
    // The step repeats from the top after each replacement.
    EXPECT_EQ(si::normalize("テストしてくださいください"), "テストする");
    // An ending as long as the whole text does not match; a shorter one may.
    EXPECT_EQ(si::normalize("すること"), "する");
    EXPECT_EQ(si::normalize("こと"), "こと");
    EXPECT_EQ(si::normalize("ください"), "ください");
}

TEST(SentenceIndexSimilarity, BigramJaccardAndItsEmptyCases) {
    EXPECT_EQ(si::bigrams("abab"), (std::set<std::string>{"ab", "ba"}));
    EXPECT_EQ(si::bigrams("あ"), (std::set<std::string>{"あ"}));
    EXPECT_TRUE(si::bigrams("").empty());
    EXPECT_EQ(si::bigrams("e\u0301x"), (std::set<std::string>{"e\u0301x"}));
    EXPECT_DOUBLE_EQ(si::similarity("runthetests", "runthetests"), 1.0);
    EXPECT_DOUBLE_EQ(si::similarity("abcd", "wxyz"), 0.0);
    EXPECT_DOUBLE_EQ(si::similarity("a", "a"), 1.0);
    EXPECT_DOUBLE_EQ(si::similarity("a", "b"), 0.0);
    EXPECT_DOUBLE_EQ(si::similarity("", ""), 1.0);
    EXPECT_DOUBLE_EQ(si::similarity("", "abc"), 0.0);
    // {ab bc cd de ef fg} and {ab bc cd de ex xy}: 4 of 8.
    EXPECT_DOUBLE_EQ(si::similarity("abcdefg", "abcdexy"), 0.5);
    EXPECT_DOUBLE_EQ(si::similarity("aaaa", "aaa"), 1.0);
}

TEST(SentenceIndexInstructions, PrefilteredLinesGiveTheSameInstructions) {
    EXPECT_FALSE(si::mayHoldInstruction("E       AssertionError: assert 3 == 4"));
    EXPECT_FALSE(si::mayHoldInstruction("reuses the buffer"));
    EXPECT_TRUE(si::mayHoldInstruction("we REUSE it"));
    EXPECT_TRUE(si::mayHoldInstruction("Make Sure"));
    EXPECT_TRUE(si::mayHoldInstruction("テスト")); // not ASCII: never ruled out
    const std::vector<std::string> words{
        "use",   "USE",    "Keep",   "make",      "sure", "do",     "not",   "don't",
        "Never", "please", "x.",     "tabs",      "ok?",  "\n",     "```\n", "- ",
        "1. ",   "だめ",   "こと。", "\u212Aeep", "stop", "avoid!", "must",  "ensure"};
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int i = 0, n = std::uniform_int_distribution<int>(0, 14)(random); i < n; ++i) {
            text += words[std::uniform_int_distribution<std::size_t>(0, words.size() - 1)(random)];
            text += std::uniform_int_distribution<int>(0, 3)(random) == 0 ? "" : " ";
        }
        std::vector<std::string> expected;
        for (const std::string& sentence : si::sentences(text)) {
            if (si::isInstruction(sentence)) {
                expected.push_back(sentence);
            }
        }
        ASSERT_EQ(si::instructions(text), expected) << text;
    }
}
