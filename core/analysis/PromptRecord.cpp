#include "core/analysis/PromptRecord.h"

#include "core/toolkit/Hashing.h"

std::size_t
std::hash<tamsel::PromptRecord>::operator()(const tamsel::PromptRecord& record) const noexcept {
    return tamsel::Hashing::fields(record.sessionID, record.project, record.gitBranch,
                                   record.timestamp, record.text, record.firedRuleID,
                                   record.indexInSession);
}

std::size_t
std::hash<tamsel::DateRange>::operator()(const tamsel::DateRange& range) const noexcept {
    return tamsel::Hashing::fields(range.lowerBound, range.upperBound);
}
