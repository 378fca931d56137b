#pragma once

// Finds the CLAUDE.md line that a retyped instruction restates. Every line is
// compared with every repeated instruction, so each line's key and bigram
// set are made once.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

class ConventionMatcher {
public:
    explicit ConventionMatcher(const std::vector<std::string>& lines);
    // The bigram sets point into the keys: a copy would point into the original.
    ConventionMatcher(const ConventionMatcher&) = delete;
    ConventionMatcher& operator=(const ConventionMatcher&) = delete;

    // The index of the line whose key is most similar to the sentence's, when
    // the similarity reaches the threshold; the first of equally similar lines.
    std::optional<std::size_t> closest(std::string_view sentence) const;

private:
    std::vector<std::string> keys_;
    std::vector<std::vector<std::string_view>> bigrams_;
};

} // namespace tamsel
