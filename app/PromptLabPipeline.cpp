#include "app/PromptLabPipeline.h"

#include <algorithm>
#include <chrono>

#include "core/analysis/ConventionIndex.h"
#include "core/toolkit/HomeDirectory.h"

namespace tamsel::PromptLabPipeline {

std::int64_t dayCount(const std::optional<DateRange>& period) {
    if (!period) {
        return 0;
    }
    using namespace std::chrono;
    constexpr std::int64_t microsecondsPerDay = std::int64_t{86'400} * 1'000'000;
    // The sentinel for a missing date is far enough back to overflow a difference.
    const auto span = static_cast<long double>(period->upperBound.time_since_epoch().count()) -
                      static_cast<long double>(period->lowerBound.time_since_epoch().count());
    const long double days = span / microsecondsPerDay;
    const long double rounded = days == static_cast<std::int64_t>(days)
                                    ? days
                                    : static_cast<long double>(static_cast<std::int64_t>(days) + 1);
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(rounded));
}

namespace {

// A prompt without a readable time sorts first with the earliest possible date;
// counting days from there would report some hundred million days of history.
// The span of the dated prompts is the one the user means.
std::optional<DateRange> datedPeriod(const TranscriptScanner::Result& scanned) {
    const auto& records = scanned.records; // sorted by time
    auto firstDated = std::find_if(records.begin(), records.end(), [](const PromptRecord& record) {
        return record.timestamp != distantPast;
    });
    if (firstDated == records.end()) {
        return scanned.period();
    }
    return DateRange{firstDated->timestamp, records.back().timestamp};
}

} // namespace

PromptLabOutcome run(const std::vector<Rule>& rules,
                     const std::optional<std::filesystem::path>& home,
                     const std::function<bool()>& isCancelled,
                     const std::function<void(Stage, const PromptLabOutcome&)>& onStage) {
    const std::filesystem::path homeFolder = home ? *home : homeDirectory();
    PromptLabOutcome outcome;

    auto lap = [started = std::chrono::steady_clock::now()]() mutable {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - started).count();
        started = now;
        return seconds;
    };
    auto report = [&](Stage stage) {
        if (onStage) {
            onStage(stage, outcome);
        }
    };
    auto scanned = TranscriptScanner::scan(
        homeFolder / ".claude" / "projects", rules,
        isCancelled ? isCancelled : std::function<bool()>([] { return false; }));
    outcome.scanSeconds = lap();
    outcome.scannedFiles = scanned.scannedFiles;
    outcome.skippedLines = scanned.skippedLines;
    outcome.promptCount = static_cast<std::int64_t>(scanned.records.size());
    outcome.dayCount = dayCount(datedPeriod(scanned));
    report(Stage::scanned);

    std::vector<std::string> projects;
    projects.reserve(scanned.records.size());
    for (const PromptRecord& record : scanned.records) {
        projects.push_back(record.project);
    }
    const auto files = ConventionIndex::conventionFiles(projects, homeFolder.string());
    const auto sections = ConventionIndex::sections(files, homeFolder.string());
    outcome.conventionFileCount = static_cast<std::int64_t>(files.size());
    outcome.sectionCount = static_cast<std::int64_t>(sections.size());
    outcome.conventionSeconds = lap();
    report(Stage::conventionsRead);

    outcome.candidates = CandidateBuilder::build(scanned.records, sections);
    outcome.candidateSeconds = lap();
    report(Stage::candidatesBuilt);
    outcome.usage = RuleUsageReport::build(scanned.records, rules);
    outcome.usageSeconds = lap();
    report(Stage::usageCounted);
    return outcome;
}

} // namespace tamsel::PromptLabPipeline
