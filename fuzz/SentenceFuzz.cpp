// Prompts and CLAUDE.md files are whatever the user wrote, in any encoding:
// the sentence index must hold its bounds on arbitrary bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/SentenceIndex.h"
#include "core/toolkit/TextToolkit.h"
#include "fuzz/FuzzCheck.h"

using namespace tamsel;
using tamsel::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> sentences = SentenceIndex::sentences(text);

    std::vector<std::string> expectedInstructions;
    std::string previousKey;
    for (const std::string& sentence : sentences) {
        const std::size_t length = TextToolkit::graphemeCount(sentence);
        check(length >= SentenceIndex::minimumSentenceLength &&
                  length <= SentenceIndex::maximumSentenceLength,
              "sentence length within bounds");
        check(TextToolkit::trimWhitespaceAndNewlines(sentence) == sentence,
              "sentences are trimmed");
        if (SentenceIndex::isInstruction(sentence)) {
            expectedInstructions.push_back(sentence);
        }

        const std::string key = SentenceIndex::normalize(sentence);
        check(SentenceIndex::similarity(key, key) == 1.0, "a key is like itself");
        const double similarity = SentenceIndex::similarity(key, previousKey);
        check(similarity >= 0.0 && similarity <= 1.0, "similarity within [0, 1]");
        check(similarity == SentenceIndex::similarity(previousKey, key), "similarity is symmetric");

        const std::vector<std::string_view> views = SentenceIndex::bigramViews(key);
        check(std::set<std::string>(views.begin(), views.end()) == SentenceIndex::bigrams(key),
              "bigram views and bigram set agree");
        previousKey = key;
    }
    check(SentenceIndex::instructions(text) == expectedInstructions,
          "instructions are the sentences that are instructions");
    return 0;
}
