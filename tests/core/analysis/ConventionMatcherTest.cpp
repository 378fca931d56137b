#include "core/analysis/ConventionMatcher.h"

#include <random>

#include <gtest/gtest.h>

#include "core/analysis/SentenceIndex.h"

using namespace tamsel;

namespace {

// The match as first written down: the similarity of the normalised keys,
// the most similar line at or above the threshold, the first of equals.
std::optional<std::size_t> plainClosest(const std::vector<std::string>& lines,
                                        const std::string& sentence) {
    const std::string key = SentenceIndex::normalize(sentence);
    std::optional<std::size_t> best;
    double bestSimilarity = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double similarity =
            SentenceIndex::similarity(key, SentenceIndex::normalize(lines[i]));
        if (similarity >= SentenceIndex::similarityThreshold &&
            (!best || similarity > bestSimilarity)) {
            best = i;
            bestSimilarity = similarity;
        }
    }
    return best;
}

} // namespace

TEST(ConventionMatcher, AgreesWithThePlainMatchOnRandomText) {
    // Few words, so that near and exact ties are common; short lines
    // (one cluster, none) reach the empty-set cases.
    const std::vector<std::string> words{"run",  "the",  "tests", "テスト", "を",      "実行", "。",
                                         "Keep", "diff", "small", " ",      "e\u0301", "!"};
    std::mt19937 random(7);
    auto text = [&] {
        std::string out;
        for (int n = std::uniform_int_distribution<int>(0, 6)(random); n > 0; --n) {
            out += words[std::uniform_int_distribution<std::size_t>(0, words.size() - 1)(random)];
        }
        return out;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> lines(std::uniform_int_distribution<std::size_t>(0, 8)(random));
        for (std::string& line : lines) {
            line = text();
        }
        const ConventionMatcher matcher(lines);
        for (int probe = 0; probe < 5; ++probe) {
            const std::string sentence = text();
            ASSERT_EQ(matcher.closest(sentence), plainClosest(lines, sentence))
                << "round " << round << " sentence '" << sentence << "'";
        }
    }
}

TEST(ConventionMatcher, PrefersTheCloserLineAndNeedsHalfTheBigrams) {
    const std::vector<std::string> lines{"Keep diffs minimal", "Run the tests before committing",
                                         "Run the tests before you commit anything"};
    const ConventionMatcher matcher(lines);
    EXPECT_EQ(matcher.closest("Always run the tests before committing."), 1u);
    EXPECT_EQ(matcher.closest("Never push to main."), std::nullopt);
}
