#pragma once

// The whole Prompt Lab analysis of one home folder: transcripts, convention
// files, suggestions and the use of the existing prompts. Never fails: what
// cannot be read is passed over.

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "core/analysis/CandidateBuilder.h"
#include "core/config/Config.h"
#include "core/analysis/RuleUsageReport.h"
#include "core/analysis/TranscriptScanner.h"

namespace tamsel {

struct PromptLabOutcome {
    std::vector<PromptCandidate> candidates;
    std::vector<RuleUsage> usage;
    std::int64_t promptCount = 0;
    std::int64_t dayCount = 0;
    std::int64_t sectionCount = 0;
    // For the preview's and the benchmark's reports.
    std::int64_t scannedFiles = 0;
    std::int64_t skippedLines = 0;
    std::int64_t conventionFileCount = 0;
    double scanSeconds = 0;
    double conventionSeconds = 0;
    double candidateSeconds = 0;
    double usageSeconds = 0;

    bool operator==(const PromptLabOutcome&) const = default;
};

namespace PromptLabPipeline {

// Whole days from the first record to the last, rounded up, at least one;
// no records, no days.
std::int64_t dayCount(const std::optional<DateRange>& period);

enum class Stage { scanned, conventionsRead, candidatesBuilt, usageCounted };

// `home` is the folder holding .claude; none means the user's own. Once
// `isCancelled` answers true the outcome is partial and meant to be dropped.
// `onStage` hears of each stage as it ends, with the outcome filled so far, so
// that a long run can show its progress.
PromptLabOutcome run(const std::vector<Rule>& rules,
                     const std::optional<std::filesystem::path>& home = std::nullopt,
                     const std::function<bool()>& isCancelled = {},
                     const std::function<void(Stage, const PromptLabOutcome&)>& onStage = {});

} // namespace PromptLabPipeline
} // namespace tamsel
