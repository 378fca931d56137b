#pragma once

// Turns a Prompt Lab suggestion into a short prompt (a name and one to three
// imperative sentences) with the on-device language model. Every failure means
// "no draft": the caller then shows the suggestion's own wording.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/analysis/CandidateBuilder.h"
#include "core/config/Language.h"
#include "platform/Cancellation.h"
#include "platform/LanguageModel.h"

namespace tamsel {

struct PromptDraftResult {
    std::string name;
    std::string text;
    bool operator==(const PromptDraftResult&) const = default;
};

class OnDeviceDrafter {
public:
    static constexpr int firstBudget = 1000;
    static constexpr int secondBudget = 400;
    static constexpr std::size_t maximumTextLength = 400;

    explicit OnDeviceDrafter(std::shared_ptr<LanguageModel> model);

    DrafterAvailability availability() const { return model_->availability(); }
    LanguageModel& model() const { return *model_; }

    // Two attempts, the second with a smaller budget; `completion` runs on the
    // main thread exactly once. A cancellation between the attempts ends the
    // drafting with no result.
    void draft(const PromptCandidate& candidate, Language language, CancellationToken cancellation,
               std::function<void(std::optional<PromptDraftResult>)> completion);

    static std::string instructions(Language language);
    static std::string prompt(const PromptCandidate& candidate, Language language, int budget);
    static std::optional<PromptDraftResult> accept(const GeneratedPromptDraft& generated);
    // A Japanese draft must be written in Japanese; an English answer to
    // Japanese sources is no draft (the source wording is shown instead).
    static bool isInLanguage(const PromptDraftResult& draft, Language language);

private:
    static void generate(const std::shared_ptr<LanguageModel>& model,
                         const PromptCandidate& candidate, Language language, int budget,
                         std::function<void(std::optional<PromptDraftResult>)> completion);

    std::shared_ptr<LanguageModel> model_;
};

} // namespace tamsel
