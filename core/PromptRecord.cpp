#include "core/PromptRecord.h"

std::size_t
std::hash<tamsel::PromptRecord>::operator()(const tamsel::PromptRecord& record) const noexcept {
    auto combine = [](std::size_t& seed, std::size_t value) {
        seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    };
    const std::hash<std::string> text;
    std::size_t seed = 0;
    combine(seed, text(record.sessionID));
    combine(seed, text(record.project));
    combine(seed, record.gitBranch ? text(*record.gitBranch) + 1 : 0);
    combine(seed, std::hash<std::int64_t>{}(record.timestamp.time_since_epoch().count()));
    combine(seed, text(record.text));
    combine(seed, record.firedRuleID ? text(*record.firedRuleID) + 1 : 0);
    combine(seed, std::hash<std::int64_t>{}(record.indexInSession));
    return seed;
}
