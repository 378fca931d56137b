#pragma once

// Reads the Claude Code transcripts (one JSON Lines file per conversation)
// and keeps the prompts the user typed by hand.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/PromptRecord.h"
#include "core/config/Config.h"

namespace tamsel {

namespace TranscriptScanner {

struct Result {
    std::vector<PromptRecord> records; // by timestamp; ties keep file, then line order
    std::int64_t scannedFiles = 0;
    // Lines that carried a user marker but were not a JSON object, and lines
    // too long to read.
    std::int64_t skippedLines = 0;

    // From the earliest to the latest record; none without records.
    std::optional<DateRange> period() const;

    bool operator==(const Result&) const = default;
};

struct FileResult {
    std::vector<PromptRecord> records; // in line order
    std::int64_t skippedLines = 0;

    bool operator==(const FileResult&) const = default;
};

struct SeparatedText {
    std::string body;
    std::optional<std::string> ruleID;

    bool operator==(const SeparatedText&) const = default;
};

// ~/.claude/projects
std::filesystem::path defaultRoot();

// Every *.jsonl below `root` (hidden names and everything under them left out,
// as are paths through "/subagents/"), sorted by their bytes. Links to folders
// are not followed. An unreadable root gives nothing.
std::vector<std::filesystem::path> transcriptFiles(const std::filesystem::path& root);

// `workers` 0 picks one per core. The result does not depend on it: files are
// merged in path order, and `isCancelled` is asked once per file, in path
// order, from one thread at a time.
Result scan(const std::optional<std::filesystem::path>& root, const std::vector<Rule>& rules,
            const std::function<bool()>& isCancelled, unsigned workers = 0);

FileResult scanFile(const std::filesystem::path& file, const std::vector<Rule>& rules);

// The text of a message's "content", given as JSON text; none for a missing
// value (nullopt), for JSON that does not parse, and for anything but a string
// or an array of objects with at least one text part.
std::optional<std::string> plainText(std::optional<std::string_view> contentJson);

// Slash commands, their output, bash-mode lines, interruption notices and
// bare system reminders.
bool isMachineGenerated(std::string_view trimmedText);

// Cuts the text of the first rule (in configuration order) found at the end
// of `text`, with or without its separator, or with the separator flattened.
SeparatedText separateAppendedRule(std::string_view text, const std::vector<Rule>& rules);

// "YYYY-MM-DDTHH:MM:SS", an optional fraction, then "Z" or "+HH:MM"/"-HH:MM".
// Digits past the microsecond are dropped.
std::optional<Timestamp> date(std::optional<std::string_view> text);

} // namespace TranscriptScanner

} // namespace tamsel
