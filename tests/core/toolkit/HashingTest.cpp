#include "core/toolkit/Hashing.h"

#include <gtest/gtest.h>

#include "core/analysis/CandidateBuilder.h"
#include "core/analysis/ConventionIndex.h"

using namespace tamsel;

TEST(Hashing, AbsentDiffersFromEmptyAndListsCountTheirLength) {
    using Hashing::fields;
    EXPECT_NE(fields(std::optional<std::string>()), fields(std::optional<std::string>("")));
    EXPECT_NE(fields(std::vector<std::string>{"a", ""}), fields(std::vector<std::string>{"a"}));
    EXPECT_NE(fields(std::string("a"), std::string("b")),
              fields(std::string("b"), std::string("a")));
    EXPECT_EQ(fields(Timestamp(std::chrono::seconds(5))),
              fields(Timestamp(std::chrono::seconds(5))));
}

TEST(Hashing, EveryFieldOfASuggestionCounts) {
    PromptCandidate base;
    base.id = "repeated:x";
    const std::hash<PromptCandidate> hash;
    EXPECT_EQ(hash(base), hash(PromptCandidate(base)));
    std::vector<PromptCandidate> changed(11, base);
    changed[0].id = "repeated:y";
    changed[1].kind = CandidateKind::correction;
    changed[2].title = "";
    changed[3].context = "";
    changed[4].representative = "r";
    changed[5].examples = {""};
    changed[6].occurrences = 1;
    changed[7].projects = {"p"};
    changed[8].period = DateRange{};
    changed[9].conventionSource = "";
    changed[10].sourceName = "";
    for (const PromptCandidate& candidate : changed) {
        EXPECT_NE(candidate, base);
        EXPECT_NE(hash(candidate), hash(base));
    }
    ConventionSection section{"T", "s", std::nullopt, {"a", "b"}, 1};
    ConventionSection other = section;
    other.lead = "";
    EXPECT_NE(std::hash<ConventionSection>{}(section), std::hash<ConventionSection>{}(other));
}
