#pragma once

// Drafting through a model server the user already runs on this computer
// (Ollama's own API, or the OpenAI-compatible chat API of llama-server, LM
// Studio, llamafile, vLLM). It finds the server, picks a model that can
// chat, and sends one request at a time. The history excerpts in a request
// go to this computer only, unless the user confirmed the configured host.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/LanguageModel.h"
#include "platform/net/LoopbackHttp.h"
#include "platform/net/ModelServerAddress.h"

namespace tamsel {

class LocalModelServer final : public LanguageModel,
                               public std::enable_shared_from_this<LocalModelServer> {
public:
    struct Settings {
        std::optional<std::string> configuredURL; // from the configuration file
        std::optional<std::string> ollamaHost;    // OLLAMA_HOST
        // Remembers the model the user picked and the host they confirmed.
        std::filesystem::path stateFile;
        std::string defaultHost = "127.0.0.1";
        std::vector<ModelServerAddresses::DefaultPort> defaultPorts =
            ModelServerAddresses::defaultPorts();
        int probeTimeoutMS = 1500;
        // A model loaded cold may take minutes before the first byte.
        int draftTimeoutMS = 180'000;
        // Where failures are told, one line each; stderr by default.
        std::function<void(const std::string&)> report;
    };

    // `$XDG_STATE_HOME/tamsel/drafting.json` (or ~/.local/state/...).
    static std::filesystem::path defaultStateFile(const std::filesystem::path& home);

    explicit LocalModelServer(Settings settings);

    // Starts looking for a server; the status follows when the probes end.
    void start();
    // A new address from the settings page: look again.
    void setConfiguredURL(std::optional<std::string> url);

    DrafterAvailability availability() const override;
    void respond(const std::string& instructions, const std::string& prompt,
                 const GenerationOptions& options,
                 std::function<void(std::optional<GeneratedPromptDraft>)> completion) override;
    void cancelRequest() override;
    std::optional<ModelServerStatus> serverStatus() const override { return status_; }
    void setStatusObserver(std::function<void()> observer) override {
        observer_ = std::move(observer);
    }
    void discoverAgain() override;
    void chooseModel(const std::string& model) override;
    void confirmHost(const std::string& host) override;

    // What the last discovery found, a line per server probed, then the
    // choice and why: for `tamsel --draft-check`.
    const std::vector<std::string>& discoveryReport() const { return report_; }
    const std::optional<std::string>& configuredURL() const { return settings_.configuredURL; }
    bool isDiscovering() const { return status_.state == ModelServerStatus::State::searching; }

private:
    struct Candidate {
        ModelServerAddress address;
        std::optional<ModelServerFlavour> flavour; // unknown for a configured URL
    };
    struct Found {
        enum class Kind { nothing, loading, server };
        Kind kind = Kind::nothing;
        ModelServerFlavour flavour = ModelServerFlavour::openAICompatible;
        std::string label;
        std::vector<std::string> chatModels;
        std::vector<std::string> skipped;
        std::vector<std::string> loaded;
        std::string detail;
    };
    struct Remembered {
        std::string model;
        std::string confirmedHost;
    };

    std::vector<Candidate> candidates();
    void probe(std::size_t index, const Candidate& candidate, int generation);
    void probeOllama(std::size_t index, const Candidate& candidate, int generation);
    void probeOpenAI(std::size_t index, const Candidate& candidate, int generation);
    void finishProbe(std::size_t index, Found found, int generation);
    void decide();
    void setStatus(ModelServerStatus status);
    Remembered readRemembered() const;
    void writeRemembered(const Remembered& remembered) const;
    void tell(const std::string& line) const;

    Settings settings_;
    LoopbackHttp http_;
    ModelServerStatus status_;
    std::function<void()> observer_;
    std::vector<std::string> report_;

    int generation_ = 0;
    std::vector<Candidate> probing_;
    std::vector<std::optional<Found>> found_;
    std::optional<ModelServerAddress> chosenAddress_;
    ModelServerFlavour chosenFlavour_ = ModelServerFlavour::ollama;
    std::shared_ptr<HttpCall> request_;
    // The state file as read at construction and written since.
    Remembered remembered_;
};

} // namespace tamsel
