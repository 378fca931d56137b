#pragma once

// An on-device model for tests: each request waits until the test answers it,
// as the real model answers later on the main thread.

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/LanguageModel.h"

namespace tamsel {

class FakeLanguageModel final : public LanguageModel {
public:
    struct Request {
        std::string instructions;
        std::string prompt;
        GenerationOptions options;
        std::function<void(std::optional<GeneratedPromptDraft>)> completion;
    };

    DrafterAvailability availability() const override { return currentAvailability; }
    void respond(const std::string& instructions, const std::string& prompt,
                 const GenerationOptions& options,
                 std::function<void(std::optional<GeneratedPromptDraft>)> completion) override {
        requests.push_back({instructions, prompt, options, std::move(completion)});
    }
    // Answers the oldest request.
    void answer(std::optional<GeneratedPromptDraft> draft) {
        Request request = std::move(requests.front());
        requests.pop_front();
        request.completion(std::move(draft));
    }

    DrafterAvailability currentAvailability = DrafterAvailability::available;
    std::deque<Request> requests;
};

} // namespace tamsel
