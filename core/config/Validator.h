#pragma once

// Why a prompt will not fire, or will fire differently than the user expects;
// and free shortcuts for a new prompt.

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/config/Config.h"

namespace tamsel {

struct RuleIssue {
    enum class Kind { noModifier, duplicate, newlineConflict, emptyText, sameTriggers, noTrigger };

    Kind kind = Kind::noTrigger;
    std::optional<TriggerKind> slot; // for noModifier, duplicate and newlineConflict
    std::string otherRuleName;       // for duplicate: the other prompt, "Untitled" when unnamed

    static RuleIssue noModifier(TriggerKind slot) { return {Kind::noModifier, slot, {}}; }
    static RuleIssue duplicate(TriggerKind slot, std::string otherRuleName) {
        return {Kind::duplicate, slot, std::move(otherRuleName)};
    }
    static RuleIssue newlineConflict(TriggerKind slot) { return {Kind::newlineConflict, slot, {}}; }
    static RuleIssue emptyText() { return {Kind::emptyText, std::nullopt, {}}; }
    static RuleIssue sameTriggers() { return {Kind::sameTriggers, std::nullopt, {}}; }
    static RuleIssue noTrigger() { return {Kind::noTrigger, std::nullopt, {}}; }

    bool operator==(const RuleIssue&) const = default;
};

namespace Validator {

// Every rule id is a key, with an empty list when nothing is wrong.
std::unordered_map<std::string, std::vector<RuleIssue>> issues(const std::vector<Rule>& rules);

struct SuggestedHotkeys {
    std::string send;   // empty when every candidate is taken
    std::string insert; // likewise
    bool operator==(const SuggestedHotkeys&) const = default;
};
SuggestedHotkeys suggestHotkeys(const std::vector<Rule>& existing);

} // namespace Validator
} // namespace tamsel
