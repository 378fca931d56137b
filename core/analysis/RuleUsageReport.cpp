#include "core/analysis/RuleUsageReport.h"

#include "core/toolkit/Hashing.h"

#include <unordered_map>

namespace tamsel::RuleUsageReport {

std::vector<RuleUsage> build(const std::vector<PromptRecord>& records,
                             const std::vector<Rule>& rules) {
    struct Tally {
        std::int64_t count = 0;
        Timestamp latest = distantPast;
    };
    std::unordered_map<std::string, Tally> tallies;
    for (const PromptRecord& record : records) {
        if (!record.firedRuleID) {
            continue;
        }
        auto [entry, inserted] = tallies.try_emplace(*record.firedRuleID);
        Tally& tally = entry->second;
        tally.latest = inserted ? record.timestamp : std::max(tally.latest, record.timestamp);
        ++tally.count;
    }
    std::vector<RuleUsage> usage;
    usage.reserve(rules.size());
    for (const Rule& rule : rules) {
        RuleUsage entry{rule.id, rule.name, 0, std::nullopt};
        if (const auto found = tallies.find(rule.id); found != tallies.end()) {
            entry.count = found->second.count;
            entry.lastUsed = found->second.latest;
        }
        usage.push_back(std::move(entry));
    }
    return usage;
}

} // namespace tamsel::RuleUsageReport

std::size_t
std::hash<tamsel::RuleUsage>::operator()(const tamsel::RuleUsage& usage) const noexcept {
    return tamsel::Hashing::fields(usage.ruleID, usage.name, usage.count, usage.lastUsed);
}
