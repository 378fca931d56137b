#pragma once

// One prompt the user typed by hand, as read from a Claude Code transcript.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// Microseconds since the Unix epoch, UTC.
using Timestamp = std::chrono::sys_time<std::chrono::microseconds>;
// Stands in for a missing or unreadable time; sorts before every real date.
inline constexpr Timestamp distantPast = Timestamp::min();

// A closed range of times, from the earliest to the latest.
struct DateRange {
    Timestamp lowerBound;
    Timestamp upperBound;
    bool operator==(const DateRange&) const = default;
};

struct PromptRecord {
    std::string sessionID;
    std::string project; // the conversation's working directory
    std::optional<std::string> gitBranch;
    Timestamp timestamp = distantPast;
    std::string text; // trimmed, with an appended rule text cut off
    std::optional<std::string> firedRuleID;
    std::int64_t indexInSession = 0;

    std::string_view projectName() const {
        std::string_view trimmed = project;
        if (trimmed.ends_with('/')) {
            trimmed.remove_suffix(1);
        }
        std::string_view path = trimmed;
        while (!path.empty()) {
            std::size_t slash = path.rfind('/');
            std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
            if (!last.empty()) {
                return last;
            }
            path = path.substr(0, slash);
        }
        return trimmed;
    }
    bool followsAssistantTurn() const { return indexInSession > 0; }

    bool operator==(const PromptRecord&) const = default;
};

} // namespace tamsel

template <> struct std::hash<tamsel::PromptRecord> {
    std::size_t operator()(const tamsel::PromptRecord& record) const noexcept;
};

template <> struct std::hash<tamsel::DateRange> {
    std::size_t operator()(const tamsel::DateRange& range) const noexcept;
};
