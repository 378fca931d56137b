#include "app/PromptLabPreview.h"

#include <chrono>
#include <cstdio>

#include "app/OnDeviceDrafter.h"
#include "app/PromptLabPipeline.h"
#include "core/config/ConfigStore.h"
#include "core/toolkit/TextToolkit.h"
#include "platform/RunLoopMainQueue.h"

namespace tamsel::PromptLabPreview {

namespace {

std::string seconds(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1fs", value);
    return buffer;
}

std::string replaceLineFeeds(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += " / ";
        } else {
            out += c;
        }
    }
    return out;
}

// Each line goes out whole, so that a block is never interleaved with other output.
void printLine(std::ostream& out, const std::string& line) {
    out << line + "\n" << std::flush;
}

std::string block(const PromptCandidate& candidate, const std::optional<PromptDraftResult>& draft,
                  double elapsed) {
    std::string heading =
        candidate.title ? *candidate.title
                        : std::string(TextToolkit::graphemePrefix(candidate.representative, 40));
    std::string out = "--- [" + std::string(rawValue(candidate.kind)) + "] " + heading + "\n";
    if (draft) {
        out += "    name: " + draft->name + "\n";
        out += "    text: " + draft->text + "\n";
    } else {
        out += "    name: " + candidate.fallbackName() + "  (原文)\n";
        out += "    text: " +
               std::string(
                   TextToolkit::graphemePrefix(replaceLineFeeds(candidate.fallbackText()), 200)) +
               "\n";
    }
    return out + "    " + seconds(elapsed);
}

} // namespace

int run(std::int64_t limit, const Environment& environment, std::ostream& out) {
    ConfigStore store(ConfigStore::fileURL(environment.home));
    const Config config = store.load(languageFromSystem(environment.preferredLanguages)).config;
    const Language language = resolveLanguage(config.language, environment.preferredLanguages);

    // Each line goes out as soon as its stage ends.
    const PromptLabOutcome outcome = PromptLabPipeline::run(
        config.rules, environment.home, {},
        [&out](PromptLabPipeline::Stage stage, const PromptLabOutcome& sofar) {
            switch (stage) {
            case PromptLabPipeline::Stage::scanned:
                printLine(out, "scan: files=" + std::to_string(sofar.scannedFiles) +
                                   " records=" + std::to_string(sofar.promptCount) + " in " +
                                   seconds(sofar.scanSeconds));
                break;
            case PromptLabPipeline::Stage::conventionsRead:
                printLine(out, "conventions: files=" + std::to_string(sofar.conventionFileCount) +
                                   " sections=" + std::to_string(sofar.sectionCount));
                break;
            case PromptLabPipeline::Stage::candidatesBuilt:
                printLine(out, "candidates: " + std::to_string(sofar.candidates.size()));
                break;
            case PromptLabPipeline::Stage::usageCounted:
                for (const RuleUsage& usage : sofar.usage) {
                    printLine(out, "usage: " + std::to_string(usage.count) + "  " + usage.name);
                }
                break;
            }
        });
    OnDeviceDrafter drafter(environment.languageModel);
    printLine(out, std::string("drafter availability: ") + rawValue(drafter.availability()));

    // Draft the first few one after another on this thread's run loop, as the
    // model answers there.
    auto mainQueue = std::make_shared<RunLoopMainQueue>();
    const std::size_t count = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<std::int64_t>(limit, 0)), outcome.candidates.size());
    std::size_t next = 0;
    bool finished = count == 0;
    std::function<void()> draftNext = [&] {
        if (next == count) {
            finished = true;
            return;
        }
        const PromptCandidate& candidate = outcome.candidates[next++];
        const auto started = std::chrono::steady_clock::now();
        drafter.draft(
            candidate, language, {}, [&, started](std::optional<PromptDraftResult> draft) {
                const double elapsed =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                        .count();
                printLine(out, block(candidate, draft, elapsed));
                mainQueue->post(draftNext);
            });
    };
    mainQueue->post(draftNext);
    mainQueue->runUntil([&] { return finished; });
    return 0;
}

} // namespace tamsel::PromptLabPreview
