#pragma once

// The messages exchanged with local model servers, built and read without
// any network: the chat request for each protocol, its reply, the lists of
// models, and the error bodies each server sends.

#include <optional>
#include <string>
#include <vector>

#include <QByteArray>

#include "platform/LanguageModel.h"
#include "platform/net/ModelServerAddress.h"

namespace tamsel::ModelServerProtocol {

// The excerpts travel between these lines, marked as material to rewrite.
inline constexpr const char* sourceStart = "<<<SOURCE";
inline constexpr const char* sourceEnd = "SOURCE>>>";

// The drafting instructions, then what the model must know about the
// request's data and the answer's shape.
std::string systemMessage(const std::string& instructions);
// The prompt text between the source markers; a marker inside the excerpts
// is broken up so that the data cannot end the block early.
std::string userMessage(const std::string& prompt);
// The answer's JSON schema: "name" and "text", both strings, both required.
QByteArray draftSchema();

QByteArray chatRequest(ModelServerFlavour flavour, const std::string& model,
                       const std::string& instructions, const std::string& prompt,
                       const GenerationOptions& options);
// The path of the chat request under the server's address.
const char* chatPath(ModelServerFlavour flavour);

struct ChatReply {
    std::optional<GeneratedPromptDraft> draft;
    std::string failure; // why there is no draft, for stderr
};
ChatReply parseChatReply(ModelServerFlavour flavour, const QByteArray& body);

struct ModelList {
    std::vector<std::string> chatModels;
    // Models that must not be used, each with the reason: "name (reason)".
    std::vector<std::string> skipped;
};
// Ollama's /api/tags: models run elsewhere (remote_host) or only embed are skipped.
std::optional<ModelList> parseOllamaTags(const QByteArray& body);
// Ollama's /api/ps: the models held in memory right now.
std::optional<std::vector<std::string>> parseOllamaLoaded(const QByteArray& body);
std::optional<std::string> parseOllamaVersion(const QByteArray& body);
// /v1/models of the OpenAI-compatible servers.
std::optional<ModelList> parseOpenAIModels(const QByteArray& body);

// The message inside an error body of any of the servers' shapes, if any.
std::optional<std::string> errorMessage(const QByteArray& body);

} // namespace tamsel::ModelServerProtocol
