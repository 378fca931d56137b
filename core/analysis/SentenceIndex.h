#pragma once

// The Prompt Lab's text toolkit: cuts prompts and convention files into
// sentences, tells instructions from other sentences, reduces a sentence to a
// key that differently worded forms of one request share, and compares keys.
// Lengths, prefixes, suffixes and bigrams count grapheme clusters.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::SentenceIndex {

inline constexpr std::size_t minimumSentenceLength = 6;
inline constexpr std::size_t maximumSentenceLength = 500;
inline constexpr double similarityThreshold = 0.5;

// The text's sentences in text order, trimmed of whitespace, 6 to 500
// characters each; fenced code, quotations, tables, links and code-like lines
// yield none.
std::vector<std::string> sentences(std::string_view text);

bool isInstruction(std::string_view sentence);

// The sentences of the text that are instructions, in text order: what
// sentences() gives, filtered by isInstruction(), without cutting the lines
// that cannot hold one.
std::vector<std::string> instructions(std::string_view text);
// False only when no sentence of the trimmed line can be an instruction.
bool mayHoldInstruction(std::string_view trimmedLine);

// NFKC, lower case, no closing punctuation, polite endings reduced, no white space.
std::string normalize(std::string_view sentence);

// The Jaccard index of the two keys' bigram sets; for an empty set, 1 when
// the keys are equal and 0 otherwise.
double similarity(std::string_view a, std::string_view b);

// Steps of the above, exposed for the builder and for tests.
bool isNoise(std::string_view trimmedLine);
std::string strippingListMarker(std::string_view line);
std::vector<std::string> splitIntoSentences(std::string_view line);
std::set<std::string> bigrams(std::string_view text);
// Every pair of adjacent clusters in text order, repeats included (the single
// cluster for a one-cluster text, nothing for an empty one); the views point
// into `text`.
std::vector<std::string_view> bigramViews(std::string_view text);

} // namespace tamsel::SentenceIndex
