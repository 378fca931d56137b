#pragma once

// How often each of the user's prompts shows up, appended, in their history.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/config/Config.h"
#include "core/analysis/PromptRecord.h"

namespace tamsel {

struct RuleUsage {
    std::string ruleID;
    std::string name; // as the prompt was named when the report was made
    std::int64_t count = 0;
    std::optional<Timestamp> lastUsed; // none while count is 0

    bool isUnused() const { return count == 0; }

    bool operator==(const RuleUsage&) const = default;
};

namespace RuleUsageReport {

// One entry per rule, in configuration order, disabled ones included. A
// record counts for the rule its `firedRuleID` names; records naming a rule
// that no longer exists count for nothing.
std::vector<RuleUsage> build(const std::vector<PromptRecord>& records,
                             const std::vector<Rule>& rules);

} // namespace RuleUsageReport

} // namespace tamsel

template <> struct std::hash<tamsel::RuleUsage> {
    std::size_t operator()(const tamsel::RuleUsage& usage) const noexcept;
};
