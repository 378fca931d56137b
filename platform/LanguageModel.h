#pragma once

// The operating system's on-device language model, reached through one
// request per draft: instructions, a prompt, and a two-field answer.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Where drafting happens when it is not the operating system's own model: a
// model server on this computer that the user already runs. Everything the
// Prompt Lab says about it, and the choices it offers, come from here.
struct ModelServerStatus {
    enum class State : std::uint8_t {
        searching,        // discovery under way
        ready,            // `model` on `server` drafts
        noServer,         // nothing answered like a model server
        loading,          // a server answered that it is still loading
        noChatModel,      // servers answered, but none offers a model that can chat
        chooseModel,      // several models and none loaded or picked before
        hostNotConfirmed, // the configured server is not on this computer
        invalidAddress,   // the configured address cannot be used
    };
    State state = State::searching;
    std::string server; // what answered, for the user: "Ollama at 127.0.0.1:11434"
    std::string model;
    std::vector<std::string> models; // the chat models to choose from
    std::string host;                // the host that awaits confirmation
    bool onThisComputer = true;      // false only for a host the user confirmed
    bool operator==(const ModelServerStatus&) const = default;
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
    // Ends the request under way at once; its completion runs with nothing.
    virtual void cancelRequest() {}

    // Only models reached over a local server have these; the operating
    // system's own model has nothing to find, choose or confirm.
    virtual std::optional<ModelServerStatus> serverStatus() const { return std::nullopt; }
    // Called on the main thread whenever availability or the status changes.
    virtual void setStatusObserver(std::function<void()>) {}
    virtual void discoverAgain() {}
    virtual void chooseModel(const std::string&) {}
    virtual void confirmHost(const std::string&) {}
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
