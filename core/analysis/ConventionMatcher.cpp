#include "core/analysis/ConventionMatcher.h"

#include <algorithm>
#include <utility>

#include "core/analysis/SentenceIndex.h"

namespace tamsel {

namespace {

std::vector<std::string_view> sortedBigrams(std::string_view key) {
    std::vector<std::string_view> bigrams = SentenceIndex::bigramViews(key);
    std::sort(bigrams.begin(), bigrams.end());
    bigrams.erase(std::unique(bigrams.begin(), bigrams.end()), bigrams.end());
    return bigrams;
}

// SentenceIndex::similarity on prepared sets, as the fraction common / all.
std::pair<std::size_t, std::size_t> similarityFraction(std::string_view a,
                                                       const std::vector<std::string_view>& setA,
                                                       std::string_view b,
                                                       const std::vector<std::string_view>& setB) {
    if (setA.empty() || setB.empty()) {
        return {a == b ? 1 : 0, 1};
    }
    std::size_t common = 0;
    for (std::size_t i = 0, j = 0; i < setA.size() && j < setB.size();) {
        if (setA[i] < setB[j]) {
            ++i;
        } else if (setB[j] < setA[i]) {
            ++j;
        } else {
            ++common, ++i, ++j;
        }
    }
    return {common, setA.size() + setB.size() - common};
}

} // namespace

ConventionMatcher::ConventionMatcher(const std::vector<std::string>& lines) {
    keys_.reserve(lines.size());
    for (const std::string& line : lines) {
        keys_.push_back(SentenceIndex::normalize(line));
    }
    // Only now that keys_ no longer grows may views point into its strings.
    bigrams_.reserve(keys_.size());
    for (const std::string& key : keys_) {
        bigrams_.push_back(sortedBigrams(key));
    }
}

std::optional<std::size_t> ConventionMatcher::closest(std::string_view sentence) const {
    const std::string key = SentenceIndex::normalize(sentence);
    const std::vector<std::string_view> bigrams = sortedBigrams(key);
    std::optional<std::size_t> best;
    std::pair<std::size_t, std::size_t> bestFraction{0, 1};
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        auto [common, all] = similarityFraction(key, bigrams, keys_[i], bigrams_[i]);
        // common / all >= 1/2, and strictly above the best so far.
        if (2 * common >= all &&
            (!best || common * bestFraction.second > bestFraction.first * all)) {
            best = i;
            bestFraction = {common, all};
        }
    }
    return best;
}

} // namespace tamsel
