#pragma once

// The operating system's on-device language model, reached through one
// request per draft: instructions, a prompt, and a two-field answer.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tamsel {

enum class DrafterAvailability : std::uint8_t {
    available,
    unsupportedOS,
    deviceNotEligible,
    notEnabled,
    notReady,
};

constexpr const char* rawValue(DrafterAvailability availability) {
    switch (availability) {
    case DrafterAvailability::available:
        return "available";
    case DrafterAvailability::unsupportedOS:
        return "unsupportedOS";
    case DrafterAvailability::deviceNotEligible:
        return "deviceNotEligible";
    case DrafterAvailability::notEnabled:
        return "notEnabled";
    case DrafterAvailability::notReady:
        return "notReady";
    }
    return "notReady";
}

struct GenerationOptions {
    bool greedy = true;
    int maximumResponseTokens = 320;
    bool operator==(const GenerationOptions&) const = default;
};

// The shape the model must fill: two text fields, each described to the model.
struct GeneratedPromptDraft {
    static constexpr const char* nameDescription = "短い名詞句の名前";
    static constexpr const char* textDescription = "末尾に付ける1〜3文の命令";
    std::string name;
    std::string text;
    bool operator==(const GeneratedPromptDraft&) const = default;
};

class LanguageModel {
public:
    virtual ~LanguageModel() = default;
    // Read afresh on every call: the user may turn the model on meanwhile.
    virtual DrafterAvailability availability() const = 0;
    // One request in a fresh session, the schema included in the prompt.
    // `completion` runs later on the main thread with the answer, or with
    // nothing when the request failed for any reason.
    virtual void respond(const std::string& instructions, const std::string& prompt,
                         const GenerationOptions& options,
                         std::function<void(std::optional<GeneratedPromptDraft>)> completion) = 0;
};

// Where no on-device model exists (every Linux system).
class NoLanguageModel final : public LanguageModel {
public:
    DrafterAvailability availability() const override { return DrafterAvailability::unsupportedOS; }
    void respond(const std::string&, const std::string&, const GenerationOptions&,
                 std::function<void(std::optional<GeneratedPromptDraft>)> completion) override {
        completion(std::nullopt);
    }
};

} // namespace tamsel
