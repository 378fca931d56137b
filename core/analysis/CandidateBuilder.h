#pragma once

// Turns the hand-typed prompts of the history and the CLAUDE.md sections into
// Prompt Lab suggestions: instructions retyped in several conversations,
// corrections typed after assistant replies, convention sections, and
// retyped instructions that a convention already states.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/CandidateKind.h"
#include "core/analysis/ConventionIndex.h"
#include "core/analysis/PromptRecord.h"
#include "core/analysis/SimilarKeyMerge.h"

namespace tamsel {

struct PromptCandidate {
    std::string id;
    CandidateKind kind = CandidateKind::repeated;
    std::optional<std::string> title;
    std::optional<std::string> context;
    std::string representative;
    std::vector<std::string> examples;
    int occurrences = 0;
    std::vector<std::string> projects;
    std::optional<DateRange> period;
    std::optional<std::string> conventionSource;
    std::optional<std::string> sourceName;

    // The wording shown when no drafted one exists.
    std::string fallbackText() const;
    std::string fallbackName() const;

    bool operator==(const PromptCandidate&) const = default;
};

namespace CandidateBuilder {

inline constexpr std::size_t minimumRepeats = 3;
inline constexpr std::size_t minimumCorrections = 2;
inline constexpr std::size_t maximumCorrectionLength = 120;
inline constexpr std::size_t maximumExamples = 5;

// One sentence of one prompt with its key. It refers to its record rather
// than copying it: a prompt can carry a pasted log of hundreds of kilobytes.
// The records given to the builder outlive its observations.
struct Observation {
    std::string key;
    std::string sentence;
    const PromptRecord* record = nullptr;

    bool operator==(const Observation& other) const {
        return key == other.key && sentence == other.sentence &&
               (record == other.record ||
                (record != nullptr && other.record != nullptr && *record == *other.record));
    }
};

// All candidates, sorted by kind, occurrences (descending) and representative.
std::vector<PromptCandidate> build(const std::vector<PromptRecord>& records,
                                   const std::vector<ConventionSection>& sections);

std::vector<Observation> observations(const std::vector<PromptRecord>& records);
std::vector<PromptCandidate> corrections(const std::vector<PromptRecord>& records);
PromptCandidate candidate(const ConventionSection& section);
std::vector<PromptCandidate> cluster(const std::vector<Observation>& observations,
                                     CandidateKind kind, std::size_t minimum);
std::size_t sessionCount(const std::vector<Observation>& observations);

} // namespace CandidateBuilder

} // namespace tamsel

template <> struct std::hash<tamsel::PromptCandidate> {
    std::size_t operator()(const tamsel::PromptCandidate& candidate) const noexcept;
};
