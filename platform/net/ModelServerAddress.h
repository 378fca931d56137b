#pragma once

// Where a local model server listens, and whether that place is this
// computer. Prompt Lab excerpts come from the user's private history, so
// anything that is not loopback needs the user's explicit confirmation.

#include <optional>
#include <string>
#include <vector>

namespace tamsel {

enum class ModelServerFlavour {
    ollama,           // its own API under /api
    openAICompatible, // chat completions under /v1 (llama-server, LM Studio, llamafile, vLLM)
};

struct ModelServerAddress {
    std::string scheme = "http";
    std::string host = "127.0.0.1";
    int port = 0;

    // "http://127.0.0.1:11434", with brackets around an IPv6 host.
    std::string baseURL() const;
    // "127.0.0.1:11434", for the user.
    std::string hostAndPort() const;
    bool isLoopback() const;
    bool operator==(const ModelServerAddress&) const = default;
};

namespace ModelServerAddresses {

// A URL the user typed: a scheme of http or https, a host, an optional port
// (80 or 443 by default) and nothing after the path's "/". Spaces around it
// are ignored. Anything else is refused with a reason for the user.
struct Parsed {
    std::optional<ModelServerAddress> address;
    std::string error;
};
Parsed parseURL(const std::string& text);

// OLLAMA_HOST as that server reads it: "host", "host:port", a URL; no scheme
// means http, no port means 11434, and an address that listens everywhere
// (0.0.0.0, ::) means this computer for a client.
std::optional<ModelServerAddress> parseOllamaHost(const std::string& text);

// The ports the common servers listen on by default, in the order to prefer
// them, each with the protocol to try there first.
struct DefaultPort {
    int port;
    ModelServerFlavour flavour;
};
const std::vector<DefaultPort>& defaultPorts();

bool isLoopbackHost(const std::string& host);

} // namespace ModelServerAddresses

} // namespace tamsel
