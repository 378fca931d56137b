#include "core/RuleUsageReport.h"

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
    auto combine = [](std::size_t& seed, std::size_t value) {
        seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    };
    std::size_t seed = 0;
    combine(seed, std::hash<std::string>{}(usage.ruleID));
    combine(seed, std::hash<std::string>{}(usage.name));
    combine(seed, std::hash<std::int64_t>{}(usage.count));
    combine(seed, usage.lastUsed
                      ? std::hash<std::int64_t>{}(usage.lastUsed->time_since_epoch().count()) + 1
                      : 0);
    return seed;
}
